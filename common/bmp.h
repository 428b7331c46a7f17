// BMP files and device-independent bitmaps (DIBs): Kelvra reads, converts and writes them; ledcard-sim
// reads the BMP pictures a card receives.
//
// The reader is strict about sizes: every header field (header size, width, height, planes, bit
// count, compression, colour-table size, pixel offset, row padding) is checked against the bytes
// present before a pixel is read. It reads the 12-byte OS/2 header and the 40, 52, 56, 108 and
// 124-byte Windows headers; 1, 4, 8, 16, 24 and 32 bits per pixel; BI_RGB and BI_BITFIELDS; rows
// bottom-up or top-down (negative height); run-length rows of 8 (BI_RLE8) and 4 bits (BI_RLE4),
// bottom-up only. Every other compression is refused.
//
// The DIBs Kelvra hands out have one layout: a 40-byte BITMAPINFOHEADER, a colour table of
// 2^bits 4-byte entries for 1, 4 and 8 bits per pixel (none for 24), then the rows bottom-up, each
// padded to a multiple of 4 bytes. Palettised pictures keep their bit count; all others become 24-bit.
//
// Pure functions over bytes; thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/bitmap.h"
#include "common/picture_size.h"

namespace image {

inline constexpr std::size_t kFileHeaderSize = 14;
inline constexpr std::size_t kInfoHeaderSize = 40;
// Largest width or height read, and the most pixels in all: the card cap of picture_size.h, checked
// before a pixel is decoded.
inline constexpr std::int64_t kMaxSide = kMaxPictureSide;
inline constexpr std::int64_t kMaxPixels = kMaxPicturePixels;

enum class BmpError {
    kNone,
    kTooShort,          // fewer bytes than a header announces
    kNotBmp,            // the file does not begin with "BM"
    kBadHeaderSize,     // a header size this reader does not know
    kBadSize,           // width not above 0 or height 0
    kTooLarge,          // more than kMaxSide a side or kMaxPixels in all
    kBadPlanes,         // planes not 1
    kBadBitCount,       // not 1, 4, 8, 16, 24 or 32 bits per pixel
    kCompressed,        // a compression other than BI_RLE8, BI_RLE4 and BI_BITFIELDS
    kTopDownRunLength,  // run-length rows with a negative height
    kBadMasks,          // BI_BITFIELDS masks that are empty, not contiguous or overlap
    kBadColourTable,    // the colour table does not fit before the pixels
    kBadPixelOffset,    // the pixel offset lies inside the headers or beyond the file
    kTruncatedPixels,   // the rows do not fit in the bytes present
};

struct BmpDecode {
    std::optional<Bitmap> bitmap;
    BmpError error = BmpError::kNone;
};

// Reads a BMP file (14-byte file header "BM", then a DIB).
BmpDecode decode_bmp_file(std::span<const std::uint8_t> file);

// Reads a packed DIB (header, masks, colour table and rows with nothing between them).
BmpDecode decode_dib(std::span<const std::uint8_t> dib);

// The DIB of a picture in the layout above.
std::vector<std::uint8_t> make_dib(const Bitmap& bitmap);

// A BMP file: the 14-byte file header followed by make_dib(bitmap).
std::vector<std::uint8_t> encode_bmp(const Bitmap& bitmap);

// The 14-byte file header put before a DIB of `dib_size` bytes whose pixels start `bits_offset`
// bytes into the DIB: "BM", file size, two reserved words of 0, offset of the pixels in the file.
std::vector<std::uint8_t> file_header_for(std::size_t dib_size, std::size_t bits_offset);

// Facts of a DIB's header; none when the header itself is short or unknown.
struct DibFacts {
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative: rows top-down
    int bits_per_pixel = 0;
    std::size_t header_size = 0;
    std::size_t colour_table_size = 0;  // bytes of the colour table (and BI_BITFIELDS masks)
    std::size_t bits_offset = 0;        // header, masks and colour table
};
std::optional<DibFacts> dib_facts(std::span<const std::uint8_t> dib);

}  // namespace image
