#include "platform/frame_trace.h"

#include <mutex>

namespace platform {
namespace {

struct Trace {
    std::mutex mutex;
    FrameTraceSink sink;
};

Trace& trace() {
    static Trace t;
    return t;
}

}  // namespace

void set_frame_trace(FrameTraceSink sink) {
    std::lock_guard lock(trace().mutex);
    trace().sink = std::move(sink);
}

void trace_frame(TraceDirection direction, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    std::lock_guard lock(trace().mutex);
    if (trace().sink) trace().sink(direction, bytes);
}

}  // namespace platform
