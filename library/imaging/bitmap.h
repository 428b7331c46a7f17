// Pictures in memory for Kelvra's imaging: the RGB picture of common/bitmap.h, shared with ledcard-sim.
#pragma once

#include "common/bitmap.h"

namespace kelvra::imaging {
using image::Bitmap;
using image::Rgb;
using image::rgb_bitmap;
}  // namespace kelvra::imaging
