// The pictures a card receives, decoded for its screen: BMP (the reader Kelvra uses), JPEG
// (libjpeg-turbo) and GIF (giflib, the first image). The format is told by the file's first bytes,
// never by its name.
//
// Threading: pure functions; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "common/bitmap.h"

namespace sim {

// None for a file of another format, or one that does not decode.
std::optional<image::Bitmap> decode_picture(std::span<const std::uint8_t> file);

}  // namespace sim
