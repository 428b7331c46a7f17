// Little-endian reads and writes over byte buffers, for the screen configuration records.
// Pure functions; no alignment is assumed. Thread-safe (no state).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace screenconfig {

inline std::uint32_t load_le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void store_le32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// 32-bit wrapping sum of the little-endian words in `bytes` (a trailing partial word is ignored).
// Every record this program writes ends with such a sum over the words before it.
std::uint32_t word_sum(std::span<const std::uint8_t> bytes);

}  // namespace screenconfig
