// Capture on screens of every depth the cards' technicians meet: 8 bits (PseudoColor: colours come
// from the colormap), 16 and 24 bits (TrueColor: from the RGB masks). A window of known colours comes
// back in those colours; a screen whose visual is not read (DirectColor) is refused, never captured
// as black. Each case runs on an Xvfb of its own; it skips when Xvfb cannot be started.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "kelvra/kelvra.h"
#include "library/imaging/bmp.h"
#include "pictures.h"
#include "tests/support/temp_dir.h"
#include "tests/support/x11/xvfb.h"

// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

namespace {

namespace img = kelvra::imaging;
using Bytes = std::vector<std::uint8_t>;

constexpr int kLeft = 40, kTop = 60, kPatch = 40;
const img::Rgb kColours[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {128, 128, 128}};
constexpr int kCount = 5;

std::optional<img::Bitmap> screen_bmp(int left, int top, int right, int bottom) {
    KelvraMemoryBlock* b = GetScreenPic(left, top, right, bottom, "bmp", 0);
    if (b == nullptr) return std::nullopt;
    auto d = img::decode_bmp_file(Bytes(b->data, b->data + b->size));
    KelvraFreeMemoryBlock(b);
    return d.bitmap;
}

// A window of five patches side by side, in colours allocated from the screen's default colormap.
class PatchWindow {
  public:
    PatchWindow() : d_(XOpenDisplay(nullptr)) {
        const int s = DefaultScreen(d_);
        XSetWindowAttributes a{};
        a.override_redirect = True;
        a.background_pixel = BlackPixel(d_, s);
        w_ = XCreateWindow(d_, RootWindow(d_, s), kLeft, kTop, kPatch * kCount, kPatch, 0, CopyFromParent,
                           InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
        XMapRaised(d_, w_);
        XSync(d_, False);
        GC gc = XCreateGC(d_, w_, 0, nullptr);
        for (int i = 0; i < kCount; ++i) {
            XColor c{};
            c.red = static_cast<unsigned short>(kColours[i].r * 257);
            c.green = static_cast<unsigned short>(kColours[i].g * 257);
            c.blue = static_cast<unsigned short>(kColours[i].b * 257);
            c.flags = DoRed | DoGreen | DoBlue;
            allocated_ = allocated_ && XAllocColor(d_, DefaultColormap(d_, s), &c) != 0;
            XSetForeground(d_, gc, c.pixel);
            XFillRectangle(d_, w_, gc, i * kPatch, 0, kPatch, kPatch);
        }
        XFreeGC(d_, gc);
        XSync(d_, False);
    }
    ~PatchWindow() {
        XDestroyWindow(d_, w_);
        XCloseDisplay(d_);
    }
    PatchWindow(const PatchWindow&) = delete;
    PatchWindow& operator=(const PatchWindow&) = delete;
    Window id() const { return w_; }
    bool allocated() const { return allocated_; }
    int visual_class() const { return DefaultVisual(d_, DefaultScreen(d_))->c_class; }

  private:
    ::Display* d_;
    Window w_;
    bool allocated_ = true;
};

std::vector<std::uint8_t> expected_patches() {
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < kPatch; ++y)
        for (int x = 0; x < kPatch * kCount; ++x) {
            const auto c = kColours[x / kPatch];
            rgb.insert(rgb.end(), {c.r, c.g, c.b});
        }
    return rgb;
}

struct ScreenCase {
    const char* name;
    int depth;
    int visual_class;  // what Xvfb is asked for (-1: its default) and what the screen must have
    int expected_class;
    double min_psnr;  // 16 bits keep 5 or 6 bits a channel
};

class CaptureDepth : public testing::TestWithParam<ScreenCase> {};

TEST_P(CaptureDepth, WindowOfKnownColoursComesBackInThem) {
    const ScreenCase& screen = GetParam();
    xvfb::Server server(320, 200, screen.depth, screen.visual_class);
    if (!server.running()) GTEST_SKIP() << server.why_not();
    PatchWindow window;
    ASSERT_EQ(window.visual_class(), screen.expected_class);
    ASSERT_TRUE(window.allocated());
    const auto expected = expected_patches();
    double psnr = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        const auto shot = screen_bmp(kLeft, kTop, kLeft + kPatch * kCount, kTop + kPatch);
        ASSERT_TRUE(shot) << "the capture was refused";
        psnr = pictures::psnr(shot->rgb, expected);
    } while (psnr < screen.min_psnr && std::chrono::steady_clock::now() < deadline);
    EXPECT_GE(psnr, screen.min_psnr);
    std::printf("%s: PSNR %.1f dB\n", screen.name, psnr);
    RecordProperty("psnr_db", static_cast<int>(psnr));

    support::TempDir dir;
    const auto path = dir.text("w.jpg");
    EXPECT_EQ(SaveWndJpg(window.id(), path.c_str(), KelvraRect{0, 0, kPatch * kCount, kPatch}), 0);
    EXPECT_TRUE(std::filesystem::exists(path));
}

INSTANTIATE_TEST_SUITE_P(Depths, CaptureDepth,
                         testing::Values(ScreenCase{"depth8_pseudocolor", 8, -1, PseudoColor, 60},
                                         ScreenCase{"depth16_truecolor", 16, -1, TrueColor, 35},
                                         ScreenCase{"depth24_truecolor", 24, -1, TrueColor, 60}),
                         [](const auto& info) { return std::string(info.param.name); });

// A DirectColor screen is not read: every capture is refused (SaveWndJpg with 3), none is black.
TEST(CaptureVisual, DirectColorIsRefused) {
    xvfb::Server server(320, 200, 24, DirectColor);
    if (!server.running()) GTEST_SKIP() << server.why_not();
    PatchWindow window;
    if (window.visual_class() != DirectColor) GTEST_SKIP() << "Xvfb gave no DirectColor screen";
    EXPECT_FALSE(screen_bmp(0, 0, 100, 100));
    support::TempDir dir;
    EXPECT_EQ(SaveWndJpg(window.id(), dir.text("w.jpg").c_str(), KelvraRect{0, 0, 50, 20}), 3);
    EXPECT_EQ(SaveScreenPicNew(0, 0, 100, 100, dir.text("s.jpg").c_str(), 0), 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "w.jpg"));
}

}  // namespace
