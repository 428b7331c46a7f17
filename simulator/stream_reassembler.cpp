#include "simulator/stream_reassembler.h"

#include "common/frame.h"

namespace sim {

void StreamReassembler::feed(std::span<const std::uint8_t> bytes) {
    if (start_ > 0 && start_ * 2 >= buffer_.size()) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

std::optional<std::vector<std::uint8_t>> StreamReassembler::next() {
    for (;;) {
        // Hunt for the lead-in; a partial lead-in at the end waits for more bytes.
        while (start_ < buffer_.size() && buffer_[start_] != 0x7E) {
            if (buffer_[start_] != 0) ++junk_;
            ++start_;
        }
        const std::size_t avail = buffer_.size() - start_;
        const std::uint8_t* p = buffer_.data() + start_;
        if (avail >= 2 && p[1] != 0x7E) {
            ++junk_;
            ++start_;
            continue;
        }
        if (avail >= 3 && p[2] != 0x7E) {
            junk_ += 2;
            start_ += 2;
            continue;
        }
        if (avail < frame::kHeaderSize) return std::nullopt;
        const std::size_t n = frame::get_u32le(p + frame::kLengthOffset);
        if (n > kMaxFrameData) {
            // Not a frame we can trust: drop this lead-in and look for the next one.
            ++rejected_lengths_;
            junk_ += 3;
            start_ += 3;
            continue;
        }
        const std::size_t size = frame::kHeaderSize + n + 1;
        if (avail < size) return std::nullopt;
        std::vector<std::uint8_t> out(p, p + size);
        start_ += size;
        return out;
    }
}

}  // namespace sim
