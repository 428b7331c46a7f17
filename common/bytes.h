// Little-endian helpers, the word sum and NUL-padded text fields: the one home of the byte helpers that
// every frame, block and record of Vantor, Kelvra and the simulator is built with.
// Pure functions; no alignment is assumed. Thread-safe (no state).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace bytes {

// Pointer forms: `p` points at 2 (u16) or 4 (u32) valid bytes.
inline void put_u16le(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline std::uint16_t get_u16le(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline void put_u32le(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline std::uint32_t get_u32le(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Span forms: the bytes at `offset` must lie inside the span.
inline void put_u16(std::span<std::uint8_t> out, std::size_t offset, std::uint16_t v) {
    put_u16le(out.subspan(offset, 2).data(), v);
}

inline std::uint16_t get_u16(std::span<const std::uint8_t> in, std::size_t offset) {
    return get_u16le(in.subspan(offset, 2).data());
}

inline void put_u32(std::span<std::uint8_t> out, std::size_t offset, std::uint32_t v) {
    put_u32le(out.subspan(offset, 4).data(), v);
}

inline std::uint32_t get_u32(std::span<const std::uint8_t> in, std::size_t offset) {
    return get_u32le(in.subspan(offset, 4).data());
}

inline void put_f32(std::span<std::uint8_t> out, std::size_t offset, float v) {
    static_assert(sizeof(float) == 4);
    put_u32(out, offset, std::bit_cast<std::uint32_t>(v));
}

// The u32 at `offset` of a possibly short answer: bytes beyond the span read as zero.
inline std::uint32_t get_u32_or_zero(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (offset + i < bytes.size()) v |= std::uint32_t{bytes[offset + i]} << (8 * i);
    }
    return v;
}

// Reads fields of outside bytes whose length is not yet known to hold them: a field that does not lie
// wholly inside reads as zero and marks the reader failed, so a decoder reads a header's fields and
// checks ok() once.
class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> in) : in_(in) {}

    std::uint16_t u16(std::size_t offset) { return fits(offset, 2) ? get_u16le(in_.data() + offset) : 0; }
    std::uint32_t u32(std::size_t offset) { return fits(offset, 4) ? get_u32le(in_.data() + offset) : 0; }
    // Every read so far lay inside the bytes.
    bool ok() const { return ok_; }

  private:
    bool fits(std::size_t offset, std::size_t n) {
        const bool inside = offset <= in_.size() && n <= in_.size() - offset;
        ok_ = ok_ && inside;
        return inside;
    }

    std::span<const std::uint8_t> in_;
    bool ok_ = true;
};

// Sum modulo 2^32 of the little-endian u32 words of `bytes` (a trailing partial word is ignored).
// Every record the system writes ends with such a sum over the words before it.
// Runs at memory speed over a whole 2 MB screen configuration image.
std::uint32_t word_sum(std::span<const std::uint8_t> bytes);

template <std::size_t N>
void put_bytes(std::span<std::uint8_t> out, std::size_t offset, const std::array<char, N>& field) {
    for (std::size_t i = 0; i < N; ++i) out[offset + i] = static_cast<std::uint8_t>(field[i]);
}

template <std::size_t N>
void put_bytes(std::span<std::uint8_t> out, std::size_t offset, const std::array<std::uint8_t, N>& field) {
    for (std::size_t i = 0; i < N; ++i) out[offset + i] = field[i];
}

// The text of a NUL-padded field (up to its first NUL).
inline std::string_view field_text(std::span<const std::uint8_t> in, std::size_t offset, std::size_t width) {
    const char* p = reinterpret_cast<const char*>(in.subspan(offset, width).data());
    std::size_t n = 0;
    while (n < width && p[n] != '\0') ++n;
    return {p, n};
}

// Text fields: `set_text` refuses a text that leaves no room for the NUL (or holds one); `cut_text`
// keeps at most N - 1 bytes. Both zero the rest of the field.
template <std::size_t N>
bool set_text(std::array<char, N>& field, std::string_view text) {
    if (text.size() >= N || text.find('\0') != std::string_view::npos) return false;
    field.fill('\0');
    for (std::size_t i = 0; i < text.size(); ++i) field[i] = text[i];
    return true;
}

template <std::size_t N>
void cut_text(std::array<char, N>& field, std::string_view text) {
    field.fill('\0');
    for (std::size_t i = 0; i < text.size() && i + 1 < N && text[i] != '\0'; ++i) field[i] = text[i];
}

template <std::size_t N>
constexpr std::array<char, N> text_field(std::string_view text) {
    std::array<char, N> field{};
    for (std::size_t i = 0; i < text.size() && i + 1 < N; ++i) field[i] = text[i];
    return field;
}

template <std::size_t N>
std::string_view text_of(const std::array<char, N>& field) {
    std::size_t n = 0;
    while (n < N && field[n] != '\0') ++n;
    return {field.data(), n};
}

}  // namespace bytes
