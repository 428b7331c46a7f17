// Every step of the smart-setup wizard fits a 1366 x 768 screen, in each language, for every module
// size the wizard accepts: the table walks each language x scan 1, 2, 4, 8, 12, 16, 32 x width 16, 32,
// 64 through all seven steps (step 6 in both modes, step 7 with its row grid shown) against a simulated
// card, and on each step checks that every numbered control and every cell of the grids lies whole
// inside what the screen shows of the dialog: inside each parent up to the window, the window inside
// the screen's free area. A wrapped text must have the height its lines need. A cell the panel has to
// scroll to is allowed only where the frame has already grown to the whole screen.
//
// The screen is the offscreen platform's, 1366 x 768 logical pixels at the device-pixel ratio given
// with --dpr=N (ctest runs the table at 1 and at 2).
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unistd.h>

#include "platform/localisation.h"
#include "simulator/sim.h"
#include "tests/support/messages.h"
#include "tests/support/netns.h"
#include "tests/support/qt/pump.h"
#include "tests/support/temp_dir.h"
#include "tests/support/sim_cards.h"
#include "tests/wizard/technician.h"
#include "widgets/grid_control.h"
#include "widgets/localise_dialog.h"
#include "wizard/pages.h"
#include "wizard/smart_setup_wizard.h"

namespace {

using support::pump_until;
using technician::choose;
using technician::control;
using wizard::SmartSetupWizard;

bool g_private_network = false;
double g_dpr = 1;
constexpr QSize kScreen(1366, 768);

// Whether `rect` (in `w`'s coordinates) is shown whole: inside `w` and each of its parents up to the
// window, and the window inside the screen's free area. `why` names the first that cuts it.
bool shown_whole(const QWidget* w, const QRect& rect, std::string* why) {
    const QRect global(w->mapToGlobal(rect.topLeft()), rect.size());
    for (const QWidget* a = w; a; a = a->parentWidget()) {
        const QRect area(a->mapToGlobal(QPoint(0, 0)), a->size());
        if (!a->isVisible() || !area.contains(global)) {
            *why = a->metaObject()->className() + std::string(" ") + a->objectName().toStdString() +
                   " cuts it at " + std::to_string(global.x()) + "," + std::to_string(global.y()) + " (" +
                   std::to_string(area.x()) + "," + std::to_string(area.y()) + " " +
                   std::to_string(area.width()) + "x" + std::to_string(area.height()) + ")";
            return false;
        }
        if (a->isWindow()) {
            const QRect free = a->screen()->availableGeometry();
            if (!free.contains(a->frameGeometry())) {
                *why = "the window reaches off the screen";
                return false;
            }
            break;
        }
    }
    return true;
}

std::string where(const QRect& r) {
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

// A module as step 1 is told it, and the step 5 answer that suits it.
struct Size {
    std::uint32_t scan, width, height;
    int cables_index, rgb_index;
    int rows_lit_index;  // 1: "1" ... 5: "16"
};

// The tallest module the wizard accepts for each scan: the most rows, the most bands.
constexpr Size kScans[] = {
    {1, 0, 8, 1, 2, 1},   {2, 0, 16, 1, 2, 2},  {4, 0, 32, 1, 2, 3},  {8, 0, 32, 0, 2, 4},
    {12, 0, 24, 0, 1, 3}, {16, 0, 32, 0, 1, 5}, {32, 0, 32, 0, 0, 5},
};
constexpr std::uint32_t kWidths[] = {16, 32, 64};
constexpr const char* kLanguages[] = {"English_zavo", "Chinese_zavo_s", "Chinese_zavo_t"};

class WizardLayoutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!g_private_network) GTEST_SKIP() << "needs a private network namespace (root)";
        messages_.set_reply(platform::MessageReply::No);
        sim::SimulatorConfig config;
        sim::CardConfig card;
        card.id = "X100-000-00001";
        card.address = "127.0.0.2";
        config.cards = {card};
        config.storage_root = folder_ / "cards";
        config.discovery_socket = false;
        ASSERT_TRUE(simulator_.start(std::move(config)));
    }

    bool idle() const { return !service_->busy(); }

    // Every numbered control the step shows, and each cell of its shown grids, is shown whole; the
    // panel may have to scroll to a cell only when the frame already fills the screen.
    void check_step(const std::string& what) {
        ASSERT_TRUE(pump_until([&] { return idle(); }));
        QCoreApplication::processEvents();  // the frame's fit after a layout change
        QWidget* page = wizard_->page(wizard_->currentStep());
        std::vector<QWidget*> controls;
        for (QWidget* w : page->findChildren<QWidget*>())
            if (w->property(kControlIdProperty).isValid() && w->isVisible()) controls.push_back(w);
        for (int id : {SmartSetupWizard::kPrevious, SmartSetupWizard::kNext, SmartSetupWizard::kFinish,
                       SmartSetupWizard::kCancel})
            controls.push_back(wizard_->button(static_cast<SmartSetupWizard::Control>(id)));
        std::string why;
        auto* scroller = wizard_->panelScroller();
        const QRect free = wizard_->screen()->availableGeometry();
        const bool full_height = wizard_->frameGeometry().height() >= free.height();
        const bool full_width = wizard_->frameGeometry().width() >= free.width();
        // A rectangle of `w` in view, or, only in a frame that already fills the screen, in view once the
        // panel has scrolled to it.
        auto reachable = [&](const QWidget* w, const QRect& rect, const std::string& name) {
            if (shown_whole(w, rect, &why)) return;
            EXPECT_TRUE(full_height || full_width)
                << what << ": " << name << " out of view in a frame of " << where(wizard_->frameGeometry())
                << " that could still grow: " << why;
            const QPoint at = w->mapTo(scroller->widget(), rect.center());
            scroller->ensureVisible(at.x(), at.y(), rect.width() / 2 + 1, rect.height() / 2 + 1);
            EXPECT_TRUE(shown_whole(w, rect, &why))
                << what << ": " << name << " at " << where(rect) << " out of reach: " << why;
            scroller->ensureVisible(0, 0);
        };
        for (QWidget* w : controls) {
            if (auto* grid = qobject_cast<widgets::GridControl*>(w)) {
                for (int r = 0; r < grid->rowCount(); ++r)
                    for (int c = 0; c < grid->columnCount(); ++c)
                        reachable(grid->viewport(), grid->visualRect(grid->model()->index(r, c)),
                                  "cell (" + std::to_string(r) + ", " + std::to_string(c) + ")");
                continue;
            }
            reachable(w, w->rect(),
                      "control " + std::to_string(w->property(kControlIdProperty).toInt()) + " (" +
                          w->metaObject()->className() + ")");
            if (auto* l = qobject_cast<QLabel*>(w); l && l->wordWrap() && !l->text().isEmpty()) {
                EXPECT_GE(l->height(), l->heightForWidth(l->width()))
                    << what << ": text " << l->property(kControlIdProperty).toInt()
                    << " cut: " << l->text().toStdString();
            }
        }
    }

    void walk(const char* language, const Size& size) {
        localisation::set_current_file(std::filesystem::path(TEST_SOURCE_DIR) / "lang" /
                                       (std::string(language) + ".ini"));
        service_ = std::make_unique<cardlink::ExchangeService>();
        screenconfig::WorkingSet working;
        wizard_ = std::make_unique<SmartSetupWizard>(
            *service_, cardlink::CardTarget{"X100-000-00001", "127.0.0.2"}, working);
        wizard_->setAlternationPeriod(std::chrono::minutes(10));
        wizard_->setPointPause(std::chrono::milliseconds(1));
        wizard_->show();
        const std::string name = std::string(language) + " 1/" + std::to_string(size.scan) + " width " +
                                 std::to_string(size.width) + " step ";
        auto step = [&](int n) { return name + std::to_string(n); };
        auto next = [&](int expected) {
            ASSERT_TRUE(pump_until([&] { return idle(); }));
            auto* b = wizard_->button(SmartSetupWizard::kNext);
            ASSERT_TRUE(b->isEnabled()) << step(expected - 1);
            b->click();
            ASSERT_TRUE(pump_until([&] { return idle() && wizard_->currentStep() == expected; }))
                << step(expected - 1) << ": " << testing::PrintToString(messages_.texts());
        };

        auto* info = wizard_->moduleInfoPage();
        control<QLineEdit>(info, wizard::ModuleInfoPage::kWidth)->setText(QString::number(size.width));
        control<QLineEdit>(info, wizard::ModuleInfoPage::kHeight)->setText(QString::number(size.height));
        control<QComboBox>(info, wizard::ModuleInfoPage::kCableGroups)->setCurrentIndex(size.cables_index);
        control<QComboBox>(info, wizard::ModuleInfoPage::kRgbGroups)->setCurrentIndex(size.rgb_index);
        choose(control<QComboBox>(info, wizard::ModuleInfoPage::kDecoderList), 0);
        ASSERT_NO_FATAL_FAILURE(check_step(step(1)));
        ASSERT_NO_FATAL_FAILURE(next(2));
        for (int s = 2; s <= 4; ++s) {
            auto* page = wizard_->alternatingPage(s);
            for (int list = 0; list < (s == 4 ? 3 : 1); ++list) choose(page->list(list), list + 1);
            ASSERT_NO_FATAL_FAILURE(check_step(step(s)));
            ASSERT_NO_FATAL_FAILURE(next(s + 1));
        }
        choose(wizard_->scanLinesPage()->rowsLit(), size.rows_lit_index);
        choose(wizard_->scanLinesPage()->rowsBetween(), 1);
        ASSERT_NO_FATAL_FAILURE(check_step(step(5)));
        ASSERT_NO_FATAL_FAILURE(next(6));

        auto* trace = wizard_->pointTracePage();
        ASSERT_NO_FATAL_FAILURE(check_step(step(6) + " (list)"));
        trace->radio(wizard::PointTrace::Mode::Grid)->click();
        const int rows = trace->grid()->rowCount() - 1;
        EXPECT_EQ(rows, static_cast<int>(
                            std::max<std::uint32_t>(std::min<std::uint32_t>(size.height, 16), size.scan)))
            << "the grid gives the first band all its rows";
        ASSERT_NO_FATAL_FAILURE(check_step(step(6) + " (grid)"));
        trace->radio(wizard::PointTrace::Mode::List)->click();
        ASSERT_NO_FATAL_FAILURE(next(7));

        auto* check = wizard_->lineCheckPage();
        ASSERT_NO_FATAL_FAILURE(check_step(step(7) + " (columns)"));
        auto* columns = check->columnGrid();
        for (int c = 1; c < columns->columnCount(); ++c) emit columns->cellClicked(1, c);
        ASSERT_TRUE(pump_until([&] {
            return idle() && check->clicksWaiting() == 0 && check->rowGrid()->isVisible();
        })) << step(7);
        ASSERT_NO_FATAL_FAILURE(check_step(step(7) + " (rows)"));
        EXPECT_EQ(check->columnsNote()->isVisible(), size.width > 16) << step(7);
        wizard_.reset();
        service_.reset();
        messages_.clear();
    }

    support::RecordingMessages messages_;
    support::TempDir folder_;
    support::SimCards simulator_;
    std::unique_ptr<cardlink::ExchangeService> service_;
    std::unique_ptr<SmartSetupWizard> wizard_;
};

TEST_F(WizardLayoutTest, TheScreenIsTheOneAsked) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    EXPECT_EQ(screen->geometry().size(), kScreen);
    EXPECT_EQ(screen->devicePixelRatio(), g_dpr);
}

TEST_F(WizardLayoutTest, EveryStepFitsForEveryModuleInEveryLanguage) {
    for (const char* language : kLanguages)
        for (Size size : kScans)
            for (std::uint32_t width : kWidths) {
                size.width = width;
                ASSERT_NO_FATAL_FAILURE(walk(language, size));
            }
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--dpr=", 6) == 0) g_dpr = std::atof(argv[i] + 6);
    g_private_network = support::enter_private_network();
    // The offscreen platform's one screen: 1366 x 768 at the ratio asked.
    const auto config = std::filesystem::temp_directory_path() /
                        ("vantor-layout-screen-" + std::to_string(::getpid()) + ".json");
    std::ofstream(config) << "{\"screens\": [{\"name\": \"layout\", \"x\": 0, \"y\": 0, \"width\": "
                          << kScreen.width() << ", \"height\": " << kScreen.height() << ", \"dpr\": " << g_dpr
                          << "}]}";
    ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config.string()).c_str(), 1);
    int result = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::filesystem::remove(config);
    return result;
}
