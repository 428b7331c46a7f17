// The largest picture a card is sent or shows, and the size a BMP, JPEG or GIF file declares in its
// headers, read without decoding a pixel: a few bytes can declare a picture of gigabytes, so every
// reader of pictures from outside checks the declared size first.
//
// The cap: a card's mapping table holds 1024 x 512 pixels, the largest screen it drives; a picture
// may have four times as many (a 1920 x 1080 picture fits) and at most 16384 pixels a side (a long
// strip 16 tables wide).
//
// Pure functions over bytes; thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace image {

inline constexpr std::int64_t kMaxPictureSide = 16384;
inline constexpr std::int64_t kMaxPicturePixels = 4 * 1024 * 512;

// True when a picture of width x height (both above 0) is within the cap.
constexpr bool fits_card(std::int64_t width, std::int64_t height) {
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

// The picture formats the library, the simulator and the cards know.
enum class PictureType { Bmp, Jpeg, Gif };

struct DeclaredSize {
    PictureType type = PictureType::Bmp;
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// What the headers declare. BMP: the width and height of its DIB header. JPEG: those of its first
// frame header (SOFn), found by walking the marker segments before it (bytes between segments that
// are no marker are skipped, as decoders skip them). GIF: the largest extent of the
// logical screen and of every image descriptor (left + width, top + height), found by skipping the
// data sub-blocks. The type is told by the first bytes ("BM", FF D8 FF, "GIF8"). None for another
// type, or when the headers that hold the size are cut short or malformed; a GIF cut short after its
// first image gives what was read up to there.
std::optional<DeclaredSize> declared_size(std::span<const std::uint8_t> file);

}  // namespace image
