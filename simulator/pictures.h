// The pictures a card receives, decoded for its screen: BMP (the reader Kelvra uses), JPEG
// (libjpeg-turbo) and GIF (giflib, the first image). The format is told by the file's first bytes,
// never by its name.
//
// A picture larger than a card shows (the cap of common/picture_size.h) is refused before anything is
// allocated for its pixels: the size its headers declare is checked first, and each decoder checks
// the sizes it reads again before it allocates (a GIF's first image, a JPEG's frame).
//
// Threading: pure functions; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "common/bitmap.h"

namespace sim {

struct PictureDecode {
    std::optional<image::Bitmap> bitmap;
    bool too_large = false;  // refused for its declared size
    std::string why;         // when refused or unreadable: what the card notes
};

// No bitmap for a file of another format, one that does not decode, or one that is too large.
PictureDecode decode_picture(std::span<const std::uint8_t> file);

}  // namespace sim
