// The traced picture on a real X display: the grid's picture saved through Kelvra's SaveWndJpg (loaded
// at run time) shows the grid as it is on the screen. The test starts its own Xvfb server and skips
// when there is none.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QVBoxLayout>
#include <filesystem>

#include "tests/support/qt/pump.h"
#include "tests/support/temp_dir.h"
#include "tests/support/x11/xvfb.h"
#include "widgets/grid_control.h"
#include "wizard/kelvra_pictures.h"
#include "wizard/pages.h"

// Qt's X11 platform opens a D-Bus connection whose buffer libdbus keeps until the process ends; only
// this test runs on X11, so only it names that system library to the leak checker.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

bool g_display = false;

TEST(TracedPicture, SavedPictureShowsTheNumberedGrid) {
    if (!g_display) GTEST_SKIP() << "no Xvfb";
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(17, 23, 5, 5);  // the grid away from the window's corner
    auto* grid = new widgets::GridControl(&window);
    grid->setCellSize(20, 25);
    grid->setGridSize(5, 9);
    for (int c = 1; c < 9; ++c) grid->setCellText(0, c, QString::number(c));
    for (int r = 1; r < 5; ++r) grid->setCellText(r, 0, QString::number(r));
    for (int n = 1; n <= 12; ++n) {
        const int r = (n - 1) / 8 + 1, c = (n * 5) % 8 + 1;
        grid->setCellText(r, c, QString::number(n));
        grid->setCellColours(r, c, widgets::GridControl::fromColourRef(0xCCCCFF), Qt::black);
    }
    layout->addWidget(grid);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    support::TempDir folder;
    const auto file = folder / "ncp.jpg";
    wizard::KelvraPictures kelvra;
    const auto rect = wizard::gridPictureRect(*grid, 9, 5);
    EXPECT_EQ(rect.left, 17);
    EXPECT_EQ(rect.top, 23);

    // The server paints the window shortly after it is exposed: the picture is taken again, within a
    // bound, until what it captured is the grid.
    const QImage shown = grid->grab(grid->cellsRect()).toImage().convertToFormat(QImage::Format_RGB32);
    wizard::PictureError saved_result = wizard::PictureError::None;
    QImage saved;
    long worst = 0;
    support::pump_until([&] {
        saved_result = kelvra.save_window_jpeg(static_cast<unsigned long>(window.winId()), file, rect);
        saved = QImage(QString::fromStdString(file.string()));
        if (saved_result != wizard::PictureError::None || saved.size() != shown.size()) return false;
        // JPEG at quality 100 (4:4:4): every pixel within a few levels of what the grid draws.
        worst = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const QColor a = shown.pixelColor(x, y), b = saved.pixelColor(x, y);
                worst = std::max<long>({worst, std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                                        std::abs(a.blue() - b.blue())});
            }
        return worst < 48;
    });
    ASSERT_EQ(saved_result, wizard::PictureError::None);
    ASSERT_FALSE(saved.isNull());
    ASSERT_EQ(saved.size(), QSize(9 * 25, 5 * 20));
    ASSERT_EQ(shown.size(), saved.size());
    EXPECT_LT(worst, 48) << "the saved picture is not the grid";
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    {
        const xvfb::Server server(800, 600);
        g_display = server.running();
        ::setenv("QT_QPA_PLATFORM", g_display ? "xcb" : "offscreen", 1);
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}
