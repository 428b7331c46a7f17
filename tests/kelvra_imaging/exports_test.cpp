// The picture exports as a C caller uses them: memory blocks in and out, paths, format texts, and
// every capture without a display.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kelvra/kelvra.h"
#include "library/imaging/bmp.h"
#include "pictures.h"
#include "tests/support/temp_dir.h"

namespace {

namespace img = kelvra::imaging;
using Bytes = std::vector<std::uint8_t>;

struct BlockFree {
    void operator()(KelvraMemoryBlock* b) const { KelvraFreeMemoryBlock(b); }
};
using Block = std::unique_ptr<KelvraMemoryBlock, BlockFree>;

Bytes bytes_of(const Block& b) {
    return b ? Bytes(b->data, b->data + b->size) : Bytes();
}

// A caller's own block over its own bytes.
KelvraMemoryBlock view(Bytes& bytes) {
    return KelvraMemoryBlock{bytes.data(), static_cast<uint32_t>(bytes.size())};
}

class ImagingExports : public testing::Test {
  protected:
    support::TempDir dir;
    img::Bitmap picture = pictures::ramps(33, 17);
    Bytes bmp = img::encode_bmp(picture);
};

TEST_F(ImagingExports, MemoryBmpToEachFormat) {
    KelvraMemoryBlock in = view(bmp);
    const Block jpeg(MBmpToMImage(&in, "JPG"));
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(jpeg->data[0], 0xFF);
    EXPECT_EQ(jpeg->data[1], 0xD8);
    const Block gif(MBmpToMImage(&in, "Gif"));
    ASSERT_TRUE(gif);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(gif->data), 4), "GIF8");
    const Block back(MBmpToMImage(&in, "bmp"));
    ASSERT_TRUE(back);
    const auto decoded = img::decode_bmp_file(bytes_of(back));
    ASSERT_TRUE(decoded.bitmap);
    EXPECT_EQ(decoded.bitmap->rgb, picture.rgb);
    // The caller's block is left as it was.
    EXPECT_EQ(in.data, bmp.data());
    EXPECT_EQ(Bytes(in.data, in.data + in.size), img::encode_bmp(picture));
}

TEST_F(ImagingExports, MemoryBmpRefusals) {
    KelvraMemoryBlock in = view(bmp);
    EXPECT_EQ(MBmpToMImage(&in, "tif"), nullptr);
    EXPECT_EQ(MBmpToMImage(&in, nullptr), nullptr);
    EXPECT_EQ(MBmpToMImage(nullptr, "jpg"), nullptr);
    KelvraMemoryBlock empty{bmp.data(), 0};
    EXPECT_EQ(MBmpToMImage(&empty, "jpg"), nullptr);
    KelvraMemoryBlock cut{bmp.data(), 100};  // headers whole, rows missing
    EXPECT_EQ(MBmpToMImage(&cut, "jpg"), nullptr);
}

TEST_F(ImagingExports, LoadBmpToDibNeedsLowerCaseBmpInThePath) {
    const auto path = dir.write("p.bmp", bmp);
    const auto upper = dir.write("p.BMP", bmp);
    const Block dib(LoadBmpToDIB(path.c_str()));
    ASSERT_TRUE(dib);
    EXPECT_EQ(bytes_of(dib), Bytes(bmp.begin() + 14, bmp.end()));  // a 24-bit file: its own DIB
    EXPECT_EQ(LoadBmpToDIB(upper.c_str()), nullptr);
    EXPECT_EQ(LoadBmpToDIB(dir.text("missing.bmp").c_str()), nullptr);
    EXPECT_EQ(LoadBmpToDIB(nullptr), nullptr);
    const auto junk = dir.write("junk.bmp", std::string("BM not a picture"));
    EXPECT_EQ(LoadBmpToDIB(junk.c_str()), nullptr);
}

TEST_F(ImagingExports, TopDownFileBecomesBottomUpDibThatConvertsBack) {
    // The same picture stored top-down: LoadBmpToDIB gives the bottom-up layout.
    Bytes top_down = bmp;
    const std::int32_t minus = -picture.height;
    std::memcpy(&top_down[22], &minus, 4);
    for (int y = 0; y < picture.height; ++y) {  // rows in the other order
        const std::size_t row = (33 * 3 + 3) / 4 * 4;
        std::copy(bmp.begin() + 54 + static_cast<long>((picture.height - 1 - y) * row),
                  bmp.begin() + 54 + static_cast<long>((picture.height - y) * row),
                  top_down.begin() + 54 + static_cast<long>(y * row));
    }
    const auto path = dir.write("t.bmp", top_down);
    const Block dib(LoadBmpToDIB(path.c_str()));
    ASSERT_TRUE(dib);
    EXPECT_EQ(bytes_of(dib), Bytes(bmp.begin() + 14, bmp.end()));
    const Block again(DIBFormatCovert(dib.get(), "bmp"));
    ASSERT_TRUE(again);
    EXPECT_EQ(bytes_of(again), bmp);
    EXPECT_EQ(DIBFormatCovert(nullptr, "bmp"), nullptr);
    KelvraMemoryBlock empty{dib->data, 0};
    EXPECT_EQ(DIBFormatCovert(&empty, "bmp"), nullptr);
    EXPECT_EQ(DIBFormatCovert(dib.get(), "tif"), nullptr);
}

TEST_F(ImagingExports, DibWithBitFieldsAndLongHeaderConvertsAtItsOwnPixelOffset) {
    // 2 x 1, 32 bits, 108-byte header with masks inside it: pixels right after the header.
    Bytes dib(108 + 8, 0);
    dib[0] = 108, dib[4] = 2, dib[8] = 1, dib[12] = 1, dib[14] = 32, dib[16] = 3;
    dib[42] = 0xFF;  // red   0x00FF0000
    dib[45] = 0xFF;  // green 0x0000FF00
    dib[48] = 0xFF;  // blue  0x000000FF
    const Bytes pixels = {1, 2, 3, 0, 4, 5, 6, 0};
    std::copy(pixels.begin(), pixels.end(), dib.begin() + 108);
    KelvraMemoryBlock in = view(dib);
    const Block out(DIBFormatCovert(&in, "bmp"));
    ASSERT_TRUE(out);
    const auto decoded = img::decode_bmp_file(bytes_of(out));
    ASSERT_TRUE(decoded.bitmap);
    EXPECT_EQ(decoded.bitmap->rgb, (Bytes{3, 2, 1, 6, 5, 4}));
}

TEST_F(ImagingExports, SaveMemFileNeedsAnAbsolutePath) {
    KelvraMemoryBlock in = view(bmp);
    const auto target = dir.text("out.bmp");
    EXPECT_EQ(SaveMemFileToDisk(&in, target.c_str()), 1);
    EXPECT_EQ(support::read_bytes(target), bmp);
    // Written again over a longer file: truncated to the block.
    Bytes small = {1, 2, 3};
    KelvraMemoryBlock s = view(small);
    EXPECT_EQ(SaveMemFileToDisk(&s, target.c_str()), 1);
    EXPECT_EQ(support::read_bytes(target), small);

    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EXPECT_EQ(SaveMemFileToDisk(&in, "pic.jpg"), 0);
    EXPECT_EQ(SaveMemFileToDisk(&in, "D:\\pic.jpg"), 0);
    std::filesystem::current_path(old);
    EXPECT_FALSE(std::filesystem::exists(dir / "pic.jpg"));
    EXPECT_FALSE(std::filesystem::exists(dir / "D:"));

    EXPECT_EQ(SaveMemFileToDisk(nullptr, target.c_str()), 0);
    EXPECT_EQ(SaveMemFileToDisk(&in, nullptr), 0);
    EXPECT_EQ(SaveMemFileToDisk(&in, dir.path().c_str()), 0);  // a folder
    EXPECT_EQ(SaveMemFileToDisk(&in, dir.text("no/such/folder/x.bmp").c_str()), 0);
}

TEST(ImagingWithoutDisplay, EveryCaptureGivesNone) {
    const char* old = std::getenv("DISPLAY");
    const std::string saved = old ? old : "";
    unsetenv("DISPLAY");
    support::TempDir dir;
    const auto path = dir.text("s.jpg");
    EXPECT_EQ(GetScreenPic(0, 0, 10, 10, "jpg", 0), nullptr);
    EXPECT_EQ(GetScreenPic(0, 0, 10, 10, "gif", 1), nullptr);
    EXPECT_EQ(SaveScreenPic(0, 0, 10, 10, path.c_str(), "jpg", 0), 0);
    EXPECT_EQ(SaveScreenPicNew(0, 0, 10, 10, path.c_str(), 0), 1);
    EXPECT_EQ(SaveWndJpg(1, path.c_str(), KelvraRect{0, 0, 10, 10}), 2);
    EXPECT_FALSE(std::filesystem::exists(path));
    if (old != nullptr) setenv("DISPLAY", saved.c_str(), 1);
}

}  // namespace
