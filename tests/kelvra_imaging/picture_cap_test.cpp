// The picture size cap as Kelvra keeps it: files whose headers declare sizes just under and just over
// the cap, and the run-length "bomb" (1,080 bytes declaring 32768 x 8192 pixels), read for sending and
// converted. What is over the cap is refused by its declared size, before anything is decoded; the
// requested format is checked before the size.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/picture_size.h"
#include "kelvra/kelvra.h"
#include "library/imaging/codecs.h"
#include "tests/support/declared_pictures.h"
#include "tests/support/temp_dir.h"

namespace {

namespace img = kelvra::imaging;
using support::Bytes;

enum class Kind { Bmp, Jpeg, Gif, GifImage };

struct Declared {
    const char* name;
    Kind kind;
    std::uint32_t width, height;
    bool fits;
};

Bytes file_of(const Declared& d) {
    switch (d.kind) {
        case Kind::Bmp:
            return support::rle8_bmp(d.width, d.height);
        case Kind::Jpeg:
            return support::jpeg_declaring(static_cast<std::uint16_t>(d.width),
                                           static_cast<std::uint16_t>(d.height));
        case Kind::Gif:
            return support::gif_declaring(static_cast<std::uint16_t>(d.width),
                                          static_cast<std::uint16_t>(d.height));
        case Kind::GifImage:
            return support::gif_declaring(static_cast<std::uint16_t>(d.width),
                                          static_cast<std::uint16_t>(d.height), true);
    }
    return {};
}

const char* extension(Kind k) {
    return k == Kind::Bmp ? ".bmp" : k == Kind::Jpeg ? ".jpg" : ".gif";
}

class DeclaredSizes : public testing::TestWithParam<Declared> {};

TEST_P(DeclaredSizes, ReadForSendingOnlyWithinTheCap) {
    const Declared& d = GetParam();
    support::TempDir dir;
    const Bytes file = file_of(d);
    const auto declared = image::declared_size(file);
    ASSERT_TRUE(declared);
    EXPECT_EQ(declared->width, d.width);
    EXPECT_EQ(declared->height, d.height);
    EXPECT_EQ(image::fits_card(declared->width, declared->height), d.fits);

    const auto path = dir.write(std::string("p") + extension(d.kind), file);
    const auto loaded = img::load_picture_for_sending(path.string(), false);
    EXPECT_EQ(loaded.too_large, !d.fits);
    EXPECT_EQ(loaded.bytes.has_value(), d.fits);
    if (d.kind == Kind::Bmp && d.fits) {
        EXPECT_TRUE(loaded.converted) << "a BMP within the cap is re-encoded";
    }
}

INSTANTIATE_TEST_SUITE_P(Cap, DeclaredSizes,
                         testing::Values(Declared{"bmp_square_under", Kind::Bmp, 1448, 1448, true},
                                         Declared{"bmp_exactly_the_cap", Kind::Bmp, 16384, 128, true},
                                         Declared{"bmp_square_over", Kind::Bmp, 1449, 1448, false},
                                         Declared{"bmp_side_over", Kind::Bmp, 16385, 1, false},
                                         Declared{"bmp_rle_bomb", Kind::Bmp, 32768, 8192, false},
                                         Declared{"jpeg_under", Kind::Jpeg, 1448, 1448, true},
                                         Declared{"jpeg_over", Kind::Jpeg, 1449, 1448, false},
                                         Declared{"jpeg_32768", Kind::Jpeg, 32768, 32768, false},
                                         Declared{"gif_under", Kind::Gif, 1448, 1448, true},
                                         Declared{"gif_over", Kind::Gif, 1449, 1448, false},
                                         Declared{"gif_65535", Kind::Gif, 65535, 65535, false},
                                         Declared{"gif_image_65535", Kind::GifImage, 65535, 65535, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PictureCap, ConversionChecksFormatThenSizeBeforeDecoding) {
    const Bytes bomb = support::rle8_bmp(32768, 8192);
    EXPECT_EQ(img::convert_bmp_checked(bomb, "tif").error, img::ConversionError::kFormatRefused);
    EXPECT_EQ(img::convert_bmp_checked(bomb, "jpg").error, img::ConversionError::kTooLarge);
    EXPECT_EQ(img::convert_bmp_checked(bomb, "bmp").error, img::ConversionError::kTooLarge);
    EXPECT_EQ(img::convert_bmp_checked(support::rle8_bmp(1449, 1448), "gif").error,
              img::ConversionError::kTooLarge);
    const auto small = img::convert_bmp_checked(support::rle8_bmp(64, 32), "jpg");
    EXPECT_EQ(small.error, img::ConversionError::kNone);
    EXPECT_TRUE(small.bytes);

    Bytes copy = bomb;
    KelvraMemoryBlock block{copy.data(), static_cast<uint32_t>(copy.size())};
    EXPECT_EQ(MBmpToMImage(&block, "jpg"), nullptr);
    EXPECT_EQ(MBmpToMImage(&block, "bmp"), nullptr);
    Bytes dib(bomb.begin() + 14, bomb.end());
    KelvraMemoryBlock dib_block{dib.data(), static_cast<uint32_t>(dib.size())};
    EXPECT_EQ(DIBFormatCovert(&dib_block, "gif"), nullptr);
    support::TempDir dir;
    EXPECT_EQ(LoadBmpToDIB(dir.write("bomb.bmp", bomb).c_str()), nullptr);
    EXPECT_EQ(KELVRA_MAX_PICTURE_PIXELS, 4 * 1024 * 512) << "four times a card's mapping table";
}

TEST(PictureCap, DeclaredSizeOfBytesThatAreNoPicture) {
    EXPECT_FALSE(image::declared_size(Bytes{}));
    EXPECT_FALSE(image::declared_size(Bytes{'B', 'M', 0, 0}));
    EXPECT_FALSE(image::declared_size(Bytes{0xFF, 0xD8, 0xFF, 0xDA, 0, 2})) << "a scan before any frame";
    EXPECT_FALSE(image::declared_size(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 200, 1})) << "a segment cut short";
    EXPECT_FALSE(image::declared_size(Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0}));
    EXPECT_FALSE(image::declared_size(Bytes{'P', 'N', 'G'}));
    // Junk between segments is skipped, as decoders skip it: the frame behind it still counts.
    Bytes junk = support::jpeg_declaring(32768, 32768);
    junk.insert(junk.begin() + 20, {0x12, 0x34, 0x56});  // after the 18 bytes of APP0
    const auto behind_junk = image::declared_size(junk);
    ASSERT_TRUE(behind_junk);
    EXPECT_EQ(behind_junk->width, 32768);
    // A top-down BMP declares a negative height.
    Bytes top_down = support::rle8_bmp(10, 20);
    support::put_le(top_down, 22, static_cast<std::uint32_t>(-20), 4);
    const auto size = image::declared_size(top_down);
    ASSERT_TRUE(size);
    EXPECT_EQ(size->height, 20);
}

}  // namespace
