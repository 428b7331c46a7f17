// The process's frame trace: what the bounded TCP stream and Vantor's discovery socket send and
// receive, handed to one sink (vantor-cli --trace prints it in hex). No sink, no cost beyond a lock.
//
// Threading: set_frame_trace and trace_frame may be called from any thread; one lock guards the sink,
// which is called with it held, so lines from two threads never interleave.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace platform {

enum class TraceDirection { Sent, Received };

using FrameTraceSink = std::function<void(TraceDirection, std::span<const std::uint8_t>)>;

// An empty sink ends the trace.
void set_frame_trace(FrameTraceSink sink);
void trace_frame(TraceDirection direction, std::span<const std::uint8_t> bytes);

}  // namespace platform
