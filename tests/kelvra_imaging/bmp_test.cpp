// The BMP/DIB reader and writer on literal bytes: each header field checked against the bytes present,
// one field changed at a time for the exact refusal; the DIB layout the library hands out.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "library/imaging/bmp.h"

namespace {

using kelvra::imaging::Bitmap;
using kelvra::imaging::BmpError;
using kelvra::imaging::decode_bmp_file;
using kelvra::imaging::decode_dib;
using Bytes = std::vector<std::uint8_t>;

// 2 x 2, 24 bits, bottom-up. Top row: red, green; bottom row: blue, white.
const Bytes kRgb24 = {
    'B', 'M', 70,  0,   0,   0,   0, 0, 0, 0, 54, 0, 0, 0,         // file header
    40,  0,   0,   0,   2,   0,   0, 0, 2, 0, 0,  0, 1, 0, 24, 0,  // size, width, height, planes, bits
    0,   0,   0,   0,   16,  0,   0, 0, 0, 0, 0,  0, 0, 0, 0,  0,
    0,   0,   0,   0,   0,   0,   0, 0,  // BI_RGB, image size, ...
    255, 0,   0,   255, 255, 255, 0, 0,  // bottom row (B G R), 2 padding
    0,   0,   255, 0,   255, 0,   0, 0,  // top row
};

const Bytes kTopRedGreenBottomBlueWhite = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};

// 3 x 2, 1 bit, palette black and a light grey. Top row 1 0 1, bottom row 0 1 1.
const Bytes kPal1 = {
    'B',        'M', 70, 0, 0,   0,   0,   0, 0, 0, 62, 0, 0, 0,  // pixels at 14 + 40 + 8
    40,         0,   0,  0, 3,   0,   0,   0, 2, 0, 0,  0, 1, 0, 1, 0, 0, 0, 0, 0,
    8,          0,   0,  0, 0,   0,   0,   0, 0, 0, 0,  0, 2, 0, 0, 0, 0, 0, 0, 0,  // 2 colours used
    0,          0,   0,  0, 200, 201, 202, 0,                                       // palette (B G R 0)
    0b01100000, 0,   0,  0,                                                         // bottom row
    0b10100000, 0,   0,  0,                                                         // top row
};

Bytes with(Bytes b, std::size_t at, std::vector<std::uint8_t> v) {
    for (std::size_t i = 0; i < v.size(); ++i) b[at + i] = v[i];
    return b;
}

TEST(BmpReader, ReadsBottomUpRowsAndPadding) {
    const auto d = decode_bmp_file(kRgb24);
    ASSERT_TRUE(d.bitmap) << static_cast<int>(d.error);
    EXPECT_EQ(d.bitmap->width, 2);
    EXPECT_EQ(d.bitmap->height, 2);
    EXPECT_EQ(d.bitmap->rgb, kTopRedGreenBottomBlueWhite);
    EXPECT_FALSE(d.bitmap->palettised());
}

TEST(BmpReader, NegativeHeightMeansTopDown) {
    const auto d = decode_bmp_file(with(kRgb24, 22, {0xFE, 0xFF, 0xFF, 0xFF}));
    ASSERT_TRUE(d.bitmap);
    EXPECT_EQ(d.bitmap->height, 2);
    const Bytes flipped = {0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255, 0};
    EXPECT_EQ(d.bitmap->rgb, flipped);
}

TEST(BmpReader, OneBitPixelsMostSignificantFirstWithShortColourTable) {
    const auto d = decode_bmp_file(kPal1);
    ASSERT_TRUE(d.bitmap) << static_cast<int>(d.error);
    EXPECT_EQ(d.bitmap->palette_bits, 1);
    EXPECT_EQ(d.bitmap->indices, (Bytes{1, 0, 1, 0, 1, 1}));
    EXPECT_EQ(d.bitmap->rgb,
              (Bytes{202, 201, 200, 0, 0, 0, 202, 201, 200, 0, 0, 0, 202, 201, 200, 202, 201, 200}));
}

TEST(BmpReader, SixteenAndThirtyTwoBitFields) {
    // 1 x 1, 16 bits BI_BITFIELDS 5-6-5 after a 40-byte header: pure red 0xF800.
    Bytes rgb565 = {'B',  'M',  0, 0,    0,    0, 0, 0,    0,    0, 66, 0,    0, 0, 40, 0, 0,
                    0,    1,    0, 0,    0,    1, 0, 0,    0,    1, 0,  16,   0, 3, 0,  0, 0,
                    4,    0,    0, 0,    0,    0, 0, 0,    0,    0, 0,  0,    0, 0, 0,  0, 0,
                    0,    0,    0, 0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0,  0x1F, 0, 0, 0,  // masks
                    0x00, 0xF8, 0, 0};
    auto d = decode_bmp_file(rgb565);
    ASSERT_TRUE(d.bitmap) << static_cast<int>(d.error);
    EXPECT_EQ(d.bitmap->rgb, (Bytes{255, 0, 0}));
    // Half green (0x20 of 0x3F) and a little blue.
    d = decode_bmp_file(with(rgb565, 66, {0x02, 0x04}));
    ASSERT_TRUE(d.bitmap);
    EXPECT_EQ(d.bitmap->rgb, (Bytes{0, 130, 16}));
    // Overlapping masks and a mask with a hole are refused.
    EXPECT_EQ(decode_bmp_file(with(rgb565, 58, {0xE0, 0x0F})).error, BmpError::kBadMasks);
    EXPECT_EQ(decode_bmp_file(with(rgb565, 62, {0x1D})).error, BmpError::kBadMasks);
    EXPECT_EQ(decode_bmp_file(with(rgb565, 62, {0x00})).error, BmpError::kBadMasks);
    // 32 bits, masks swapped to blue-green-red order in the bytes.
    Bytes bgr32 = with(rgb565, 28, {32});
    bgr32 = with(bgr32, 54, {0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0});
    bgr32 = with(bgr32, 66, {10, 20, 30, 0});
    d = decode_bmp_file(bgr32);
    ASSERT_TRUE(d.bitmap) << static_cast<int>(d.error);
    EXPECT_EQ(d.bitmap->rgb, (Bytes{10, 20, 30}));
}

TEST(BmpReader, OldTwelveByteHeaderWithThreeByteColours) {
    const Bytes os2 = {'B',        'M', 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0,
                       0,          12,  0, 0, 0, 2, 0, 1, 0, 1, 0,  1, 0,  // 2 x 1, 1 plane, 1 bit
                       0,          0,   0, 9, 8, 7,                        // palette (B G R)
                       0b01000000, 0,   0, 0};
    const auto d = decode_bmp_file(os2);
    ASSERT_TRUE(d.bitmap) << static_cast<int>(d.error);
    EXPECT_EQ(d.bitmap->rgb, (Bytes{0, 0, 0, 7, 8, 9}));
}

TEST(BmpReader, RunLengthEightAndFourBits) {
    // 4 x 2 RLE8: bottom row run of 3 x index 1 and one absolute... top row delta then end.
    const Bytes rle8 = {
        'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0, 40, 0, 0,   0,   4,   0, 0,
        0,   2,   0, 0, 0, 1, 0, 8, 0, 1, 0,  0, 0, 0, 0,  0, 0,   0,   0,   0, 0,
        0,   0,   0, 0, 2, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 255, 255, 255, 0,  // palette: black, white
        3,   1,   1, 0,                                                          // bottom: 3 x 1, 1 x 0
        0,   0,                                                                  // end of line
        0,   2,   2, 0,                                                          // delta 2 right
        0,   3,   1, 1, 1, 0,  // absolute 3 (the third dropped past the row end)
        0,   1};
    auto d = decode_bmp_file(rle8);
    ASSERT_TRUE(d.bitmap) << static_cast<int>(d.error);
    EXPECT_EQ(d.bitmap->indices, (Bytes{0, 0, 1, 1, 1, 1, 1, 0}));
    // The same as RLE4: runs alternate two indices.
    Bytes rle4 = with(rle8, 28, {4});
    rle4 = with(rle4, 30, {2});
    rle4 = with(rle4, 62, {4, 0x10});
    d = decode_bmp_file(rle4);
    ASSERT_TRUE(d.bitmap) << static_cast<int>(d.error);
    EXPECT_EQ(d.bitmap->indices[4], 1);
    EXPECT_EQ(d.bitmap->indices[5], 0);
    EXPECT_EQ(d.bitmap->indices[6], 1);
    EXPECT_EQ(d.bitmap->indices[7], 0);
    // Cut inside an absolute run: what arrived stays, nothing beyond the data is read.
    const Bytes cut(rle8.begin(), rle8.begin() + 76);
    EXPECT_TRUE(decode_bmp_file(cut).bitmap);
    // Top-down run-length rows are refused.
    EXPECT_EQ(decode_bmp_file(with(rle8, 22, {0xFE, 0xFF, 0xFF, 0xFF})).error, BmpError::kTopDownRunLength);
}

struct Refusal {
    const char* what;
    std::size_t at;
    std::vector<std::uint8_t> bytes;
    BmpError error;
};

class BmpRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(BmpRefusal, OneFieldChanged) {
    const auto& c = GetParam();
    const auto d = decode_bmp_file(with(kRgb24, c.at, c.bytes));
    EXPECT_FALSE(d.bitmap);
    EXPECT_EQ(d.error, c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BmpRefusal,
    testing::Values(
        Refusal{"not BM", 0, {'B', 'A'}, BmpError::kNotBmp},
        Refusal{"pixel offset inside the header", 10, {40}, BmpError::kBadPixelOffset},
        Refusal{"pixel offset beyond the file", 10, {71}, BmpError::kBadPixelOffset},
        Refusal{"pixel offset below the file header", 10, {4}, BmpError::kBadPixelOffset},
        Refusal{"pixel offset leaves too few bytes", 10, {57}, BmpError::kTruncatedPixels},
        Refusal{"header size 20", 14, {20}, BmpError::kBadHeaderSize},
        Refusal{"header larger than the file", 14, {124}, BmpError::kTooShort},
        Refusal{"width 0", 18, {0}, BmpError::kBadSize},
        Refusal{"negative width", 18, {0xFF, 0xFF, 0xFF, 0xFF}, BmpError::kBadSize},
        Refusal{"height 0", 22, {0}, BmpError::kBadSize},
        Refusal{"lowest height", 22, {0, 0, 0, 0x80}, BmpError::kTooLarge},
        Refusal{"huge width", 18, {0, 0, 0, 0x40}, BmpError::kTooLarge},
        Refusal{"taller than the rows present", 22, {3}, BmpError::kTruncatedPixels},
        Refusal{"planes 2", 26, {2}, BmpError::kBadPlanes},
        Refusal{"2 bits per pixel", 28, {2}, BmpError::kBadBitCount},
        Refusal{"48 bits per pixel", 28, {48}, BmpError::kBadBitCount},
        Refusal{"wider than the rows present", 18, {3}, BmpError::kTruncatedPixels},
        Refusal{"8 bits per pixel: the colour table overlaps the pixels", 28, {8}, BmpError::kBadColourTable},
        Refusal{"run-length on 24 bits", 30, {1}, BmpError::kCompressed},
        Refusal{"JPEG inside", 30, {4}, BmpError::kCompressed},
        Refusal{"bit fields on 24 bits", 30, {3}, BmpError::kCompressed}),
    [](const auto& info) {
        std::string name;
        for (const char* p = info.param.what; *p; ++p)
            if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
        return name;
    });

TEST(BmpReader, EveryCutOfAFileIsRefusedWithoutReadingPastIt) {
    // The last row (the top one) may lack its padding: 68 bytes hold kRgb24 whole, 67 kPal1.
    for (const auto& [file, whole] : {std::pair{&kRgb24, 68u}, std::pair{&kPal1, 67u}}) {
        for (std::size_t n = 0; n < file->size(); ++n) {
            // A copy of exactly n bytes on the heap, so that a read past it is caught.
            const Bytes cut(file->begin(), file->begin() + static_cast<long>(n));
            EXPECT_EQ(decode_bmp_file(cut).bitmap.has_value(), n >= whole) << n << " bytes";
        }
    }
    // Without only the last row's padding the picture is whole.
    const Bytes no_padding(kRgb24.begin(), kRgb24.end() - 2);
    EXPECT_TRUE(decode_bmp_file(no_padding).bitmap);
}

TEST(DibLayout, PalettisedKeepsBitCountWithFullTableBottomUp) {
    const auto pal1 = decode_bmp_file(kPal1).bitmap;
    ASSERT_TRUE(pal1);
    const auto dib = kelvra::imaging::make_dib(*pal1);
    // 40-byte header, 2 colours, 2 rows of 4 bytes.
    ASSERT_EQ(dib.size(), 40u + 8u + 8u);
    EXPECT_EQ(dib[0], 40);
    EXPECT_EQ(dib[4], 3);
    EXPECT_EQ(dib[8], 2);
    EXPECT_EQ(dib[14], 1);
    EXPECT_EQ(dib[16], 0);
    EXPECT_EQ(dib[32], 0);  // colours used 0: the full table of 2^bits follows
    EXPECT_EQ(Bytes(dib.begin() + 40, dib.end()),
              (Bytes{0, 0, 0, 0, 200, 201, 202, 0, 0b01100000, 0, 0, 0, 0b10100000, 0, 0, 0}));
    const auto facts = kelvra::imaging::dib_facts(dib);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->colour_table_size, 8u);
    EXPECT_EQ(facts->bits_offset, 48u);
}

TEST(DibLayout, EveryBitCountReadsBackTheSamePixels) {
    // 5 x 3 pictures: rows that need padding at every bit count.
    for (int bits : {1, 4, 8, 24}) {
        Bitmap b;
        b.width = 5;
        b.height = 3;
        if (bits <= 8) {
            b.palette_bits = bits;
            b.palette.resize(std::size_t{1} << bits);
            for (std::size_t i = 0; i < b.palette.size(); ++i)
                b.palette[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7};
            for (int i = 0; i < 15; ++i)
                b.indices.push_back(static_cast<std::uint8_t>((i * 7) % (1 << bits)));
            for (auto i : b.indices)
                b.rgb.insert(b.rgb.end(), {b.palette[i].r, b.palette[i].g, b.palette[i].b});
        } else {
            for (int i = 0; i < 45; ++i) b.rgb.push_back(static_cast<std::uint8_t>(i * 5));
        }
        const auto d = decode_dib(kelvra::imaging::make_dib(b));
        ASSERT_TRUE(d.bitmap) << bits;
        EXPECT_EQ(d.bitmap->rgb, b.rgb) << bits;
        EXPECT_EQ(d.bitmap->indices, b.indices) << bits;
        const auto file = decode_bmp_file(kelvra::imaging::encode_bmp(b));
        ASSERT_TRUE(file.bitmap) << bits;
        EXPECT_EQ(file.bitmap->rgb, b.rgb) << bits;
    }
}

}  // namespace
