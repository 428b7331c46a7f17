// Picture files in memory: the JPEG, GIF and BMP encoders, the format texts callers name them by, and
// the conversions the exports rest on (a memory BMP to another format, a DIB to a file, a picture
// loaded for sending to a card).
//
// JPEG: libjpeg-turbo, baseline, quality 100, no chroma subsampling (4:4:4). GIF: giflib, one 8-bit
// palettised image (a direct-colour picture is first reduced with the octree). BMP: this library's own
// writer (make_dib with a file header).
//
// Pure functions over bytes, except load_picture_for_sending, which reads a file. Thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/picture_size.h"
#include "library/imaging/bitmap.h"

namespace kelvra::imaging {

using Bytes = std::vector<std::uint8_t>;

// Capture and screen saving: a text containing "jpg", "jpeg" or "JPG" is JPEG; else one containing
// "gif", "Gif" or "GIF" is GIF; else one containing "bmp", "Bmp" or "BMP" is BMP; anything else JPEG.
image::PictureType classify_capture_format(std::string_view text);

// MBmpToMImage: the lower-cased text containing "jpeg" or "jpg" is JPEG, "gif" GIF, "bmp" BMP; any
// other text is refused.
std::optional<image::PictureType> classify_conversion_format(std::string_view text);

std::optional<Bytes> encode_jpeg(const Bitmap& picture);
// A palettised picture is written with its own palette; any other is reduced to 256 colours first.
std::optional<Bytes> encode_gif(const Bitmap& picture);
std::optional<Bytes> encode(const Bitmap& picture, image::PictureType format);

// Why a conversion gave nothing.
enum class ConversionError {
    kNone,
    kFormatRefused,  // the format text names no format this library writes
    kTooLarge,       // the picture declares more than the card cap (common/picture_size.h)
    kUnreadable,     // not a BMP this library reads
    kEncodingFailed,
};

struct Conversion {
    std::optional<Bytes> bytes;
    ConversionError error = ConversionError::kNone;
};

// A memory BMP file re-encoded in the format the text names (classify_conversion_format). The format
// and the declared size are checked before a pixel is decoded.
Conversion convert_bmp_checked(std::span<const std::uint8_t> bmp_file, std::string_view format);
// convert_bmp_checked without the reason.
std::optional<Bytes> convert_bmp(std::span<const std::uint8_t> bmp_file, std::string_view format);

// A DIB (header, colour table, rows) as a file in the given format: a BMP file header is put before it
// (pixel offset from the DIB's own header) and the result converted as convert_bmp. None for an empty
// or unreadable DIB.
std::optional<Bytes> convert_dib(std::span<const std::uint8_t> dib, std::string_view format);

// A picture file read for sending to a card. A file whose headers declare more than the card cap
// (common/picture_size.h) is refused (`too_large`) before any decoding; so is one whose size cannot
// be read. BMP files (the lower-cased path contains "bmp") are re-encoded, as GIF when `to_gif`, else
// as BMP; if that fails the file's own bytes are kept and `converted` is false. Other files are
// returned as read. `bytes` is none when the file cannot be read or is refused.
struct PictureForSending {
    std::optional<Bytes> bytes;
    bool converted = false;
    bool too_large = false;
};
PictureForSending load_picture_for_sending(std::string_view path, bool to_gif);

}  // namespace kelvra::imaging
