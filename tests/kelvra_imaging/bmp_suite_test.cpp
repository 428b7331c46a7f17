// The BMP Suite against Qt's own reader as the second, independent decoder, and the library's BMP,
// GIF and JPEG output read back by Qt.
//
// g/: every file decodes to the same pixels as Qt gives. q/, b/, x/: each file either decodes or is
// refused, and nothing is read outside it (each file and each of its cuts lies in a heap block of its
// exact size, so AddressSanitizer catches a read past it).
#include <QGuiApplication>
#include <QImage>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kelvra/kelvra.h"
#include "library/imaging/bmp.h"
#include "library/imaging/codecs.h"
#include "pictures.h"
#include "tests/support/temp_dir.h"

namespace {

namespace img = kelvra::imaging;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kSuite = fs::path(TEST_SOURCE_DIR) / "tests" / "data" / "bmpsuite";

std::vector<fs::path> files_in(const char* folder) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(kSuite / folder, ec))
        if (e.path().extension() == ".bmp") out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

// Qt's reading of a picture file, as top-down RGB.
Bytes qt_rgb(const QImage& loaded) {
    const QImage image = loaded.convertToFormat(QImage::Format_RGB888);
    Bytes out;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = image.constScanLine(y);
        out.insert(out.end(), row, row + image.width() * 3);
    }
    return out;
}

class Qt : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (QGuiApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "kelvra_imaging_qt_test";
            static char* argv[] = {name, nullptr};
            static QGuiApplication app(argc, argv);
        }
    }
};

using BmpSuite = Qt;

TEST_F(BmpSuite, EveryGoodFileMatchesQt) {
    const auto files = files_in("g");
    ASSERT_GE(files.size(), 20u) << "BMP Suite not found at " << kSuite;
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const QImage reference(QString::fromStdString(path.string()));
        ASSERT_FALSE(reference.isNull()) << "Qt cannot read it";
        const auto decoded = img::decode_bmp_file(support::read_bytes(path));
        ASSERT_TRUE(decoded.bitmap) << "refused with " << static_cast<int>(decoded.error);
        EXPECT_EQ(decoded.bitmap->width, reference.width());
        EXPECT_EQ(decoded.bitmap->height, reference.height());
        Bytes ours = decoded.bitmap->rgb, qt = qt_rgb(reference);
        // 16-bit files hold 5 or 6 bits a channel. We scale them to the whole range (31 is 255); Qt
        // shifts them (31 is 248). Both keep the file's own bits on top: compare those.
        const Bytes file = support::read_bytes(path);
        const auto facts = img::dib_facts(std::span<const std::uint8_t>(file).subspan(14));
        ASSERT_TRUE(facts);
        if (facts->bits_per_pixel == 16) {
            for (auto& b : ours) b &= 0xF8;
            for (auto& b : qt) b &= 0xF8;
        }
        std::size_t first = 0;
        while (first < qt.size() && first < ours.size() && qt[first] == ours[first]) ++first;
        EXPECT_EQ(first, qt.size()) << "pixels differ from Qt's at byte " << first << ": "
                                    << (first < qt.size() ? int(qt[first]) : -1) << " in Qt's, "
                                    << (first < ours.size() ? int(ours[first]) : -1);
    }
}

TEST_F(BmpSuite, OtherFilesDecodeOrAreRefusedWithinTheirBytes) {
    int decoded = 0, refused = 0;
    for (const char* folder : {"q", "b", "x"}) {
        for (const auto& path : files_in(folder)) {
            SCOPED_TRACE(path.string());
            const Bytes file = support::read_bytes(path);
            const auto d = img::decode_bmp_file(file);
            if (d.bitmap) {
                ++decoded;
                EXPECT_EQ(d.bitmap->rgb.size(), d.bitmap->pixel_count() * 3);
            } else {
                ++refused;
                EXPECT_NE(d.error, img::BmpError::kNone);
            }
        }
    }
    EXPECT_GT(decoded, 0);
    EXPECT_GT(refused, 0);
}

TEST_F(BmpSuite, EveryCutOfEveryFileStaysInsideIt) {
    for (const char* folder : {"g", "q", "b", "x"}) {
        for (const auto& path : files_in(folder)) {
            SCOPED_TRACE(path.string());
            const Bytes file = support::read_bytes(path);
            // Every cut through the headers and colour table, then every 97th byte.
            for (std::size_t n = 0; n < file.size(); n += (n < 1200 ? 1 : 97)) {
                const Bytes cut(file.begin(), file.begin() + static_cast<long>(n));
                const auto d = img::decode_bmp_file(cut);
                if (d.bitmap) {
                    EXPECT_EQ(d.bitmap->rgb.size(), d.bitmap->pixel_count() * 3);
                }
            }
        }
    }
}

TEST_F(Qt, OurBmpAndGifFilesReadBackByQt) {
    // Every good file of the suite re-encoded as BMP and as GIF.
    for (const auto& path : files_in("g")) {
        SCOPED_TRACE(path.filename().string());
        Bytes file = support::read_bytes(path);
        KelvraMemoryBlock in{file.data(), static_cast<uint32_t>(file.size())};
        const auto original = img::decode_bmp_file(file).bitmap;
        ASSERT_TRUE(original);

        KelvraMemoryBlock* bmp = MBmpToMImage(&in, "bmp");
        ASSERT_NE(bmp, nullptr);
        const QImage from_bmp = QImage::fromData(bmp->data, static_cast<int>(bmp->size), "BMP");
        KelvraFreeMemoryBlock(bmp);
        EXPECT_TRUE(qt_rgb(from_bmp) == original->rgb) << "BMP";

        KelvraMemoryBlock* gif = MBmpToMImage(&in, "gif");
        ASSERT_NE(gif, nullptr);
        const QImage from_gif = QImage::fromData(gif->data, static_cast<int>(gif->size), "GIF");
        KelvraFreeMemoryBlock(gif);
        ASSERT_FALSE(from_gif.isNull()) << "Qt cannot read the GIF";
        EXPECT_EQ(from_gif.width(), original->width);
        // A palettised file keeps its colours; others are reduced to 256 colours.
        if (original->palettised())
            EXPECT_TRUE(qt_rgb(from_gif) == original->rgb) << "GIF";
        else
            EXPECT_GT(pictures::psnr(qt_rgb(from_gif), original->rgb), 30.0) << "GIF";

        KelvraMemoryBlock* jpeg = MBmpToMImage(&in, "jpeg");
        ASSERT_NE(jpeg, nullptr);
        const QImage from_jpeg = QImage::fromData(jpeg->data, static_cast<int>(jpeg->size), "JPEG");
        KelvraFreeMemoryBlock(jpeg);
        ASSERT_FALSE(from_jpeg.isNull()) << "Qt cannot read the JPEG";
        EXPECT_GT(pictures::psnr(qt_rgb(from_jpeg), original->rgb), 35.0) << "JPEG";
    }
}

}  // namespace
