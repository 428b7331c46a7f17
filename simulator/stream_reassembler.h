// Cuts a TCP byte stream into frames. Senders use three wire forms on one connection: stream (three
// zero bytes after the packet), fixed (zero padding to 2080 bytes) and exact (nothing after it), and
// TCP may split or join them anywhere. Zero bytes between frames are padding; other bytes before a
// lead-in are counted as junk and dropped.
//
// Threading: a plain value; one owner (the connection that feeds it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sim {

// Larger length fields are taken as corrupt; no sender of this protocol puts more than 2048 data
// bytes in a frame.
inline constexpr std::size_t kMaxFrameData = 65536;

class StreamReassembler {
  public:
    void feed(std::span<const std::uint8_t> bytes);
    // The next complete frame (29 + n bytes), or nothing until more bytes arrive.
    std::optional<std::vector<std::uint8_t>> next();

    std::size_t pending() const { return buffer_.size() - start_; }
    std::size_t junk_bytes() const { return junk_; }  // non-zero bytes dropped outside frames
    std::size_t rejected_lengths() const { return rejected_lengths_; }

  private:
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;
    std::size_t junk_ = 0;
    std::size_t rejected_lengths_ = 0;
};

}  // namespace sim
