// Capture on a display of the test's own (Xvfb, 640 x 480): a screen rectangle equals what Xlib drew
// there, rectangles are clipped to the screen, and SaveWndJpg of a Qt window gives its content.
// Skips when Xvfb cannot be started.
#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "kelvra/kelvra.h"
#include "library/imaging/bmp.h"
#include "pictures.h"
#include "tests/support/temp_dir.h"
#include "tests/support/x11/xvfb.h"

// Xlib after Qt: its macros must not reach Qt's headers.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

namespace {

namespace img = kelvra::imaging;
using Bytes = std::vector<std::uint8_t>;
constexpr int kScreenWidth = 640, kScreenHeight = 480;

std::optional<img::Bitmap> screen_bmp(int left, int top, int right, int bottom) {
    KelvraMemoryBlock* b = GetScreenPic(left, top, right, bottom, "bmp", 0);
    if (b == nullptr) return std::nullopt;
    auto d = img::decode_bmp_file(Bytes(b->data, b->data + b->size));
    KelvraFreeMemoryBlock(b);
    return d.bitmap;
}

// The colour of the four quadrants a test window shows.
img::Rgb quadrant(int x, int y, int width, int height) {
    const bool right = x >= width / 2, lower = y >= height / 2;
    if (!right && !lower) return {220, 30, 30};
    if (right && !lower) return {30, 200, 40};
    if (!right) return {20, 40, 230};
    return {240, 240, 60};
}

img::Bitmap quadrants(int left, int top, int right, int bottom, int width, int height) {
    Bytes rgb;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            const auto c = quadrant(x, y, width, height);
            rgb.insert(rgb.end(), {c.r, c.g, c.b});
        }
    return img::rgb_bitmap(right - left, bottom - top, std::move(rgb));
}

class Capture : public testing::Test {
  protected:
    static void SetUpTestSuite() { server = std::make_unique<xvfb::Server>(kScreenWidth, kScreenHeight); }
    static void TearDownTestSuite() { server.reset(); }
    void SetUp() override {
        if (!server->running()) GTEST_SKIP() << server->why_not();
    }
    static inline std::unique_ptr<xvfb::Server> server;
};

// An Xlib window at (100, 50), 200 x 120, filled with the four quadrants.
class XlibWindow {
  public:
    XlibWindow() : d_(XOpenDisplay(nullptr)) {
        const int s = DefaultScreen(d_);
        XSetWindowAttributes a{};
        a.override_redirect = True;
        a.background_pixel = BlackPixel(d_, s);
        w_ = XCreateWindow(d_, RootWindow(d_, s), 100, 50, 200, 120, 0, CopyFromParent, InputOutput,
                           CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
        XMapRaised(d_, w_);
        XSync(d_, False);
        GC gc = XCreateGC(d_, w_, 0, nullptr);
        for (int qy = 0; qy < 2; ++qy)
            for (int qx = 0; qx < 2; ++qx) {
                const auto c = quadrant(qx * 100, qy * 60, 200, 120);
                XSetForeground(d_, gc, static_cast<unsigned long>(c.r) << 16 | c.g << 8 | c.b);
                XFillRectangle(d_, w_, gc, qx * 100, qy * 60, 100, 60);
            }
        XFreeGC(d_, gc);
        XSync(d_, False);
    }
    ~XlibWindow() {
        XDestroyWindow(d_, w_);
        XCloseDisplay(d_);
    }
    Window id() const { return w_; }

  private:
    ::Display* d_;
    Window w_;
};

TEST_F(Capture, ScreenRectangleEqualsWhatWasDrawn) {
    XlibWindow window;
    const auto expected = quadrants(0, 0, 200, 120, 200, 120);
    std::optional<img::Bitmap> shot;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        shot = screen_bmp(100, 50, 300, 170);
    } while ((!shot || shot->rgb != expected.rgb) && std::chrono::steady_clock::now() < deadline);
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->width, 200);
    EXPECT_EQ(shot->height, 120);
    EXPECT_TRUE(shot->rgb == expected.rgb);

    // A part of it, inside the window.
    const auto part = screen_bmp(190, 100, 230, 130);
    ASSERT_TRUE(part);
    EXPECT_TRUE(part->rgb == quadrants(90, 50, 130, 80, 200, 120).rgb);

    // Reduced to 256 colours: a path ending in ".GIF" saves a GIF, one ending in ".png" a JPEG.
    support::TempDir dir;
    const auto gif = dir.text("shot.GIF");
    ASSERT_EQ(SaveScreenPicNew(100, 50, 300, 170, gif.c_str(), 1), 0);
    Bytes file = support::read_bytes(gif);
    ASSERT_GE(file.size(), 6u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "GIF8");
    const auto as_png = dir.text("shot.png");
    ASSERT_EQ(SaveScreenPicNew(100, 50, 300, 170, as_png.c_str(), 0), 0);
    file = support::read_bytes(as_png);
    ASSERT_GE(file.size(), 2u);
    EXPECT_EQ(file[0], 0xFF);  // a JPEG under the name it was given
    EXPECT_EQ(file[1], 0xD8);
    const auto via_old = dir.text("old.bin");
    EXPECT_EQ(SaveScreenPic(100, 50, 300, 170, via_old.c_str(), "BMP", 0), 1);
    const auto bmp = img::decode_bmp_file(support::read_bytes(via_old));
    ASSERT_TRUE(bmp.bitmap);
    EXPECT_TRUE(bmp.bitmap->rgb == expected.rgb);
    EXPECT_EQ(SaveScreenPic(100, 50, 300, 170, "relative.jpg", "jpg", 0), 0);
}

TEST_F(Capture, RectanglesAreClippedAndEmptyOnesGiveNone) {
    const auto corner = screen_bmp(600, 440, 700, 500);
    ASSERT_TRUE(corner);
    EXPECT_EQ(corner->width, 40);
    EXPECT_EQ(corner->height, 40);
    const auto origin = screen_bmp(-20, -10, 30, 30);
    ASSERT_TRUE(origin);
    EXPECT_EQ(origin->width, 30);
    EXPECT_EQ(origin->height, 30);
    EXPECT_FALSE(screen_bmp(50, 50, 40, 60));    // right < left
    EXPECT_FALSE(screen_bmp(50, 50, 60, 50));    // bottom = top
    EXPECT_FALSE(screen_bmp(700, 10, 800, 20));  // wholly off the screen
    support::TempDir dir;
    EXPECT_EQ(SaveScreenPicNew(10, 10, 10, 20, dir.text("e.jpg").c_str(), 0), 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "e.jpg"));
}

TEST_F(Capture, WindowThatIsGoneGivesNothing) {
    support::TempDir dir;
    Window gone = 0;
    {
        XlibWindow window;
        gone = window.id();
    }
    EXPECT_EQ(SaveWndJpg(gone, dir.text("w.jpg").c_str(), KelvraRect{0, 0, 10, 10}), 2);
    EXPECT_EQ(SaveWndJpg(0, dir.text("w.jpg").c_str(), KelvraRect{0, 0, 10, 10}), 2);
    EXPECT_FALSE(std::filesystem::exists(dir / "w.jpg"));
}

// A Qt window showing the four quadrants.
class QuadrantWindow : public QRasterWindow {
  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (int qy = 0; qy < 2; ++qy)
            for (int qx = 0; qx < 2; ++qx) {
                const auto c = quadrant(qx * width() / 2, qy * height() / 2, width(), height());
                p.fillRect(qx * width() / 2, qy * height() / 2, width() / 2, height() / 2,
                           QColor(c.r, c.g, c.b));
            }
    }
};

TEST_F(Capture, SaveWndJpgOfAQtWindowShowsItsContent) {
    // Offscreen when Qt cannot use the display (no xcb plugin): then there is no window to capture.
    qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
    int argc = 1;
    char name[] = "kelvra_imaging_capture_test";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    if (QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "Qt cannot show windows on " << server->display();
    QuadrantWindow window;
    window.setFlags(Qt::FramelessWindowHint);
    window.setGeometry(150, 120, 240, 160);
    window.show();

    support::TempDir dir;
    const auto path = dir.text("ncp.jpg");
    const KelvraRect rect{20, 10, 220, 150};  // client coordinates
    const auto expected = quadrants(20, 10, 220, 150, 240, 160);
    double quality = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (quality < 30 && std::chrono::steady_clock::now() < deadline) {
        app.processEvents();
        if (!window.isExposed()) continue;
        window.update();
        app.processEvents();
        if (SaveWndJpg(window.winId(), path.c_str(), rect) != 0) continue;
        const auto decoded = pictures::read_ppm(pictures::run("djpeg -pnm '" + path + "' 2>/dev/null"));
        if (decoded.width != 200 || decoded.height != 140) continue;
        quality = pictures::psnr(decoded.rgb, expected.rgb);
    }
    EXPECT_GT(quality, 30.0) << "the saved JPEG does not show the window";
}

}  // namespace
