#include "common/picture_size.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "common/bytes.h"

namespace image {
namespace {

bool starts_with(std::span<const std::uint8_t> file, std::string_view magic) {
    return file.size() >= magic.size() && std::memcmp(file.data(), magic.data(), magic.size()) == 0;
}

std::uint32_t be16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at] << 8 | b[at + 1]);
}

std::optional<DeclaredSize> bmp_size(std::span<const std::uint8_t> f) {
    constexpr std::size_t kDib = 14;
    if (f.size() < kDib + 4) return std::nullopt;
    const std::uint32_t header = bytes::get_u32(f, kDib);
    DeclaredSize out{PictureType::Bmp, 0, 0};
    if (header == 12) {
        if (f.size() < kDib + 12) return std::nullopt;
        out.width = bytes::get_u16(f, kDib + 4);
        out.height = bytes::get_u16(f, kDib + 6);
        return out;
    }
    if (header < 16 || f.size() < kDib + 12) return std::nullopt;
    out.width = static_cast<std::int32_t>(bytes::get_u32(f, kDib + 4));
    const std::int64_t h = static_cast<std::int32_t>(bytes::get_u32(f, kDib + 8));
    out.height = h < 0 ? -h : h;  // negative: rows top-down
    return out;
}

std::optional<DeclaredSize> jpeg_size(std::span<const std::uint8_t> f) {
    std::size_t at = 2;  // after SOI
    while (at + 1 < f.size()) {
        // Decoders skip bytes that are no marker (libjpeg warns and goes on), so this reader does too:
        // a frame header behind junk still counts.
        if (f[at] != 0xFF) {
            ++at;
            continue;
        }
        std::uint8_t marker = f[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        at += 2;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;              // no length
        if (marker == 0xD9 || marker == 0xDA || at + 2 > f.size()) return std::nullopt;  // no frame yet
        const std::size_t length = be16(f, at);
        if (length < 2) return std::nullopt;
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 7 || at + 7 > f.size()) return std::nullopt;
            return DeclaredSize{PictureType::Jpeg, be16(f, at + 5), be16(f, at + 3)};
        }
        at += length;
    }
    return std::nullopt;
}

// Skips data sub-blocks from `at`; false when they run past the end.
bool skip_sub_blocks(std::span<const std::uint8_t> f, std::size_t& at) {
    while (at < f.size()) {
        const std::size_t n = f[at++];
        if (n == 0) return true;
        at += n;
    }
    return false;
}

std::optional<DeclaredSize> gif_size(std::span<const std::uint8_t> f) {
    if (f.size() < 13) return std::nullopt;
    DeclaredSize out{PictureType::Gif, bytes::get_u16(f, 6), bytes::get_u16(f, 8)};
    std::size_t at = 13;
    if (f[10] & 0x80) at += 3u * (std::size_t{1} << ((f[10] & 7) + 1));
    while (at < f.size()) {
        const std::uint8_t kind = f[at++];
        if (kind == 0x3B) break;  // trailer
        if (kind == 0x21) {       // extension: label, then sub-blocks
            ++at;
            if (!skip_sub_blocks(f, at)) break;
            continue;
        }
        if (kind != 0x2C || at + 9 > f.size()) break;
        out.width = std::max<std::int64_t>(out.width,
                                           std::int64_t{bytes::get_u16(f, at)} + bytes::get_u16(f, at + 4));
        out.height = std::max<std::int64_t>(
            out.height, std::int64_t{bytes::get_u16(f, at + 2)} + bytes::get_u16(f, at + 6));
        const std::uint8_t flags = f[at + 8];
        at += 9;
        if (flags & 0x80) at += 3u * (std::size_t{1} << ((flags & 7) + 1));
        ++at;  // LZW minimum code size
        if (!skip_sub_blocks(f, at)) break;
    }
    return out;
}

}  // namespace

std::optional<DeclaredSize> declared_size(std::span<const std::uint8_t> file) {
    if (starts_with(file, "BM")) return bmp_size(file);
    if (starts_with(file, "\xFF\xD8\xFF")) return jpeg_size(file);
    if (starts_with(file, "GIF8")) return gif_size(file);
    return std::nullopt;
}

}  // namespace image
