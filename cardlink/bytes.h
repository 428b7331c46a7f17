// Little-endian reads over byte spans for the card link. Threading: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace cardlink {

// The u32 at `offset`; bytes beyond the span read as zero (a short datagram is zero-filled).
inline std::uint32_t read_u32le(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (offset + i < bytes.size()) v |= std::uint32_t{bytes[offset + i]} << (8 * i);
    }
    return v;
}

}  // namespace cardlink
