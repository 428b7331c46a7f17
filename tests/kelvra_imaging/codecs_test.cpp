// The encoders read back by other decoders (libjpeg-turbo's djpeg, giflib's reader), the format texts,
// and the picture loading for sending.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "library/imaging/bmp.h"
#include "library/imaging/codecs.h"
#include "library/imaging/octree.h"
#include "pictures.h"
#include "tests/support/temp_dir.h"

namespace {

namespace img = kelvra::imaging;
using image::PictureType;
using img::Bitmap;
using Bytes = std::vector<std::uint8_t>;

// The decoded raster and colours of a GIF, read with giflib.
struct Gif {
    int width = 0, height = 0;
    Bytes indices;
    std::vector<img::Rgb> colours;
};

int read_from(GifFileType* gif, GifByteType* out, int length) {
    auto* in = static_cast<std::pair<const Bytes*, std::size_t>*>(gif->UserData);
    const int n = std::min<int>(length, static_cast<int>(in->first->size() - in->second));
    std::memcpy(out, in->first->data() + in->second, static_cast<std::size_t>(n));
    in->second += static_cast<std::size_t>(n);
    return n;
}

std::optional<Gif> read_gif(const Bytes& bytes) {
    std::pair<const Bytes*, std::size_t> in{&bytes, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&in, read_from, &error);
    if (gif == nullptr) return std::nullopt;
    std::optional<Gif> out;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount == 1) {
        const SavedImage& image = gif->SavedImages[0];
        const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        Gif g;
        g.width = image.ImageDesc.Width;
        g.height = image.ImageDesc.Height;
        g.indices.assign(image.RasterBits, image.RasterBits + g.width * g.height);
        for (int i = 0; map != nullptr && i < map->ColorCount; ++i)
            g.colours.push_back({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
        out = g;
    }
    DGifCloseFile(gif, &error);
    return out;
}

Bytes rgb_of(const Gif& g) {
    Bytes rgb;
    for (auto i : g.indices) rgb.insert(rgb.end(), {g.colours.at(i).r, g.colours.at(i).g, g.colours.at(i).b});
    return rgb;
}

// The frame header of a JPEG: its marker and each component's sampling byte; the quantisation values.
struct JpegFacts {
    int frame_marker = 0;
    int width = 0, height = 0;
    std::vector<int> sampling;
    std::vector<int> quantisers;
};

JpegFacts jpeg_facts(const Bytes& j) {
    JpegFacts f;
    for (std::size_t at = 2; at + 4 <= j.size();) {
        if (j[at] != 0xFF) break;
        const int marker = j[at + 1];
        const std::size_t length = static_cast<std::size_t>(j[at + 2] << 8 | j[at + 3]);
        if (at + 2 + length > j.size()) break;
        const std::uint8_t* seg = &j[at + 4];
        if (marker >= 0xC0 && marker <= 0xC2) {
            f.frame_marker = marker;
            f.height = seg[1] << 8 | seg[2];
            f.width = seg[3] << 8 | seg[4];
            for (int c = 0; c < seg[5]; ++c) f.sampling.push_back(seg[6 + 3 * c + 1]);
        } else if (marker == 0xDB) {
            for (std::size_t i = 0; i + 1 < length - 2; i += 65)
                for (std::size_t k = 1; k <= 64; ++k) f.quantisers.push_back(seg[i + k]);
        } else if (marker == 0xDA) {
            break;
        }
        at += 2 + length;
    }
    return f;
}

TEST(JpegEncoder, BaselineQuality100WithoutSubsamplingReadBackByDjpeg) {
    const Bitmap picture = pictures::ramps(97, 61);  // not a multiple of the block size
    const auto jpeg = img::encode_jpeg(picture);
    ASSERT_TRUE(jpeg);
    const auto facts = jpeg_facts(*jpeg);
    EXPECT_EQ(facts.frame_marker, 0xC0);  // baseline
    EXPECT_EQ(facts.width, 97);
    EXPECT_EQ(facts.height, 61);
    EXPECT_EQ(facts.sampling, (std::vector<int>{0x11, 0x11, 0x11}));  // 4:4:4
    ASSERT_FALSE(facts.quantisers.empty());
    for (int q : facts.quantisers) EXPECT_EQ(q, 1);  // quality 100

    support::TempDir dir;
    const auto file = dir.write("a.jpg", *jpeg);
    const auto decoded = pictures::read_ppm(pictures::run("djpeg -pnm '" + file.string() + "' 2>/dev/null"));
    ASSERT_EQ(decoded.width, 97) << "djpeg (libjpeg-turbo-progs) could not read the file";
    ASSERT_EQ(decoded.height, 61);
    EXPECT_GT(pictures::psnr(decoded.rgb, picture.rgb), 40.0);
}

TEST(GifEncoder, PalettisedPictureKeepsItsPaletteAndIndices) {
    Bitmap p;
    p.width = 7;
    p.height = 3;
    p.palette_bits = 4;
    p.palette = {{1, 2, 3}, {250, 0, 0}, {0, 250, 0}, {0, 0, 250}, {9, 9, 9}};
    for (int i = 0; i < 21; ++i) {
        p.indices.push_back(static_cast<std::uint8_t>(i % 5));
        const auto c = p.palette[static_cast<std::size_t>(i % 5)];
        p.rgb.insert(p.rgb.end(), {c.r, c.g, c.b});
    }
    const auto gif = img::encode_gif(p);
    ASSERT_TRUE(gif);
    const auto g = read_gif(*gif);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->width, 7);
    EXPECT_EQ(g->height, 3);
    EXPECT_EQ(g->indices, p.indices);
    ASSERT_EQ(g->colours.size(), 8u);  // the colour map is a power of two long
    EXPECT_EQ(std::vector<img::Rgb>(g->colours.begin(), g->colours.begin() + 5), p.palette);
}

TEST(GifEncoder, DirectColourPictureIsReducedWithTheOctree) {
    const Bitmap picture = pictures::ramps(200, 120);
    const auto gif = img::encode_gif(picture);
    ASSERT_TRUE(gif);
    const auto g = read_gif(*gif);
    ASSERT_TRUE(g);
    const auto reduced = img::reduce_to_256_colours(picture);
    ASSERT_TRUE(reduced);
    EXPECT_EQ(rgb_of(*g), reduced->rgb);
    EXPECT_GT(pictures::psnr(rgb_of(*g), picture.rgb), 28.0);
}

TEST(Encoders, RefuseEmptyPictures) {
    for (auto f : {PictureType::Jpeg, PictureType::Gif, PictureType::Bmp})
        EXPECT_FALSE(img::encode(Bitmap{}, f)) << static_cast<int>(f);
}

TEST(FormatTexts, CaptureClassification) {
    const std::pair<const char*, PictureType> cases[] = {
        {"jpg", PictureType::Jpeg},       {"/x/a.JPG", PictureType::Jpeg},
        {"jpeg", PictureType::Jpeg},      {"/x/a.gif", PictureType::Gif},
        {"/x/a.GIF", PictureType::Gif},   {"Gif", PictureType::Gif},
        {"bmp", PictureType::Bmp},        {"/x/a.BMP", PictureType::Bmp},
        {"Bmp", PictureType::Bmp},        {"/x/a.png", PictureType::Jpeg},
        {"", PictureType::Jpeg},          {"Jpeg", PictureType::Jpeg},  // "Jpeg" holds none: JPEG anyway
        {"/gif/a.bmp", PictureType::Gif}, {"/bmp/a.jpg", PictureType::Jpeg},
        {"/x/a.gIf", PictureType::Jpeg},  {"bMp", PictureType::Jpeg},
    };
    for (const auto& [text, format] : cases) EXPECT_EQ(img::classify_capture_format(text), format) << text;
}

TEST(FormatTexts, ConversionClassificationRefusesOthers) {
    EXPECT_EQ(img::classify_conversion_format("JPG"), PictureType::Jpeg);
    EXPECT_EQ(img::classify_conversion_format("image/Jpeg"), PictureType::Jpeg);
    EXPECT_EQ(img::classify_conversion_format("gIf"), PictureType::Gif);
    EXPECT_EQ(img::classify_conversion_format("BMP"), PictureType::Bmp);
    EXPECT_EQ(img::classify_conversion_format("tif"), std::nullopt);
    EXPECT_EQ(img::classify_conversion_format("png"), std::nullopt);
    EXPECT_EQ(img::classify_conversion_format(""), std::nullopt);
}

TEST(PictureForSending, BmpIsReEncodedOthersSentAsRead) {
    support::TempDir dir;
    const Bitmap picture = pictures::ramps(40, 30);
    const auto bmp = dir.write("a.bmp", img::encode_bmp(picture));
    const Bytes jpeg_bytes = *img::encode_jpeg(picture);
    const auto jpg = dir.write("b.jpg", jpeg_bytes);

    const auto as_gif = img::load_picture_for_sending(bmp.string(), true);
    ASSERT_TRUE(as_gif.bytes);
    EXPECT_TRUE(as_gif.converted);
    const auto g = read_gif(*as_gif.bytes);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->width, 40);

    const auto as_bmp = img::load_picture_for_sending(bmp.string(), false);
    ASSERT_TRUE(as_bmp.bytes);
    const auto back = img::decode_bmp_file(*as_bmp.bytes);
    ASSERT_TRUE(back.bitmap);
    EXPECT_EQ(back.bitmap->rgb, picture.rgb);

    const auto same = img::load_picture_for_sending(jpg.string(), true);
    ASSERT_TRUE(same.bytes);
    EXPECT_FALSE(same.converted);
    EXPECT_EQ(*same.bytes, jpeg_bytes);

    // A ".bmp" whose rows are cut short is kept as it is (its size is known); bytes whose size cannot
    // be read and a missing file give none.
    Bytes cut = img::encode_bmp(picture);
    cut.resize(80);
    const auto kept = img::load_picture_for_sending(dir.write("c.bmp", cut).string(), true);
    ASSERT_TRUE(kept.bytes);
    EXPECT_FALSE(kept.converted);
    EXPECT_EQ(*kept.bytes, cut);
    const auto unknown =
        img::load_picture_for_sending(dir.write("d.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xE0, 1}).string(), false);
    EXPECT_FALSE(unknown.bytes);
    EXPECT_FALSE(unknown.too_large);
    EXPECT_FALSE(img::load_picture_for_sending(dir.text("none.bmp"), true).bytes);
}

}  // namespace
