// BMP files and DIBs for Kelvra's imaging: the reader and writer of common/bmp.h, shared with
// ledcard-sim, which reads the BMP pictures a card receives.
#pragma once

#include "common/bmp.h"
#include "library/imaging/bitmap.h"

namespace kelvra::imaging {
using image::BmpDecode;
using image::BmpError;
using image::decode_bmp_file;
using image::decode_dib;
using image::dib_facts;
using image::DibFacts;
using image::encode_bmp;
using image::file_header_for;
using image::kFileHeaderSize;
using image::kInfoHeaderSize;
using image::kMaxPixels;
using image::kMaxSide;
using image::make_dib;
}  // namespace kelvra::imaging
