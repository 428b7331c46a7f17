#include "tests/wizard/technician.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

#include "platform/localisation.h"
#include "platform/message_service.h"
#include "tests/support/qt/pump.h"
#include "tests/support/wait.h"

namespace technician {

using support::pump_until;
using wizard::SmartSetupWizard;

void choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
}

int hub_row(const char* name) {
    const auto& rows = wizard::hub_boards();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].name == name) return static_cast<int>(i);
    return -1;
}

void click_cell(widgets::GridControl* grid, int row, int column) {
    // The technician clicks what is on the screen once it has settled (layouts that a step change
    // requested have run): the panel scrolled to the cell where it has to be, and the cell must then be
    // in view, inside every parent up to the window.
    QRect cell;
    const auto global = [&] { return QRect(grid->viewport()->mapToGlobal(cell.topLeft()), cell.size()); };
    const auto scroll_to_cell = [&] {
        cell = grid->visualRect(grid->model()->index(row, column));
        for (QWidget* w = grid->parentWidget(); w; w = w->parentWidget())
            if (auto* scroller = qobject_cast<QScrollArea*>(w)) {
                const QPoint at = grid->viewport()->mapTo(scroller->widget(), cell.center());
                scroller->ensureVisible(at.x(), at.y(), cell.width() / 2 + 1, cell.height() / 2 + 1);
                return;
            }
    };
    const auto cut_by = [&]() -> QWidget* {
        for (QWidget* w = grid->viewport(); w; w = w->parentWidget()) {
            if (!QRect(w->mapToGlobal(QPoint(0, 0)), w->size()).contains(global())) return w;
            if (w->isWindow()) break;
        }
        return nullptr;
    };
    support::pump_until([&] {
        scroll_to_cell();
        return cut_by() == nullptr;
    });
    if (QWidget* w = cut_by())
        ADD_FAILURE() << "cell (" << row << ", " << column
                      << ") is out of view: " << w->metaObject()->className() << " cuts it";
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

std::uint32_t brightness(const sim::ModulePicture& p) {
    std::uint32_t most = 0;
    for (auto led : p.leds) most = std::max({most, led >> 16, (led >> 8) & 0xFF, led & 0xFF});
    return most;
}

bool single(const sim::ModulePicture& p) {
    return !p.leds.empty() &&
           std::all_of(p.leds.begin(), p.leds.end(), [&](auto l) { return l == p.leds[0]; });
}

namespace {

std::vector<std::pair<std::uint32_t, std::uint32_t>> lit_leds(const sim::ModulePicture& p) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> lit;
    for (std::uint32_t y = 0; y < p.height; ++y)
        for (std::uint32_t x = 0; x < p.width; ++x)
            if (p.at(x, y) != 0) lit.emplace_back(x, y);
    return lit;
}

}  // namespace

bool one_cross(const sim::ModulePicture& p) {
    const auto lit = lit_leds(p);
    if (lit.empty()) return false;
    // The row and the column that are lit whole; every lit LED lies on one of them.
    std::vector<std::uint32_t> full_rows, full_columns;
    for (std::uint32_t y = 0; y < p.height; ++y) {
        bool all = true;
        for (std::uint32_t x = 0; x < p.width && all; ++x) all = p.at(x, y) != 0;
        if (all) full_rows.push_back(y);
    }
    for (std::uint32_t x = 0; x < p.width; ++x) {
        bool all = true;
        for (std::uint32_t y = 0; y < p.height && all; ++y) all = p.at(x, y) != 0;
        if (all) full_columns.push_back(x);
    }
    if (full_rows.size() != 1 || full_columns.size() != 1) return false;
    return std::all_of(lit.begin(), lit.end(),
                       [&](auto led) { return led.second == full_rows[0] || led.first == full_columns[0]; });
}

bool right_test_line(const sim::ModulePicture& p, std::uint32_t width, std::uint32_t height) {
    std::set<std::pair<std::uint32_t, std::uint32_t>> expected;
    const std::uint32_t w = std::min(width, p.width);
    const std::uint32_t h = std::min(height, p.height);
    if (w == 0 || h == 0) return false;
    expected.emplace(p.width - 1, 0);
    for (std::uint32_t i = 0; i + 1 < w && i < h; ++i) expected.emplace(p.width - 2 - i, i);
    const auto lit = lit_leds(p);
    return std::set<std::pair<std::uint32_t, std::uint32_t>>(lit.begin(), lit.end()) == expected;
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> lit_led(const sim::ModulePicture& p) {
    const auto lit = lit_leds(p);
    if (lit.size() != 1) return std::nullopt;
    return lit[0];
}

std::string Technician::drawn(const sim::ModulePicture& p) {
    std::string text;
    for (std::uint32_t y = 0; y < p.height; ++y) {
        for (std::uint32_t x = 0; x < p.width; ++x) text += p.at(x, y) != 0 ? '#' : '.';
        text += '\n';
    }
    return text;
}

sim::ModulePicture Technician::look(std::uint32_t pattern, std::uint32_t value) {
    std::optional<sim::ModulePicture> seen;
    EXPECT_TRUE(pump_until([&] {
        const auto s = sim_.state(card_id_);
        if (!s || s->smart_pattern != pattern || s->smart_value != value || !idle()) return false;
        seen = s->module_picture;
        return true;
    })) << "pattern "
        << pattern << " value " << value;
    return seen.value_or(sim::ModulePicture{});
}

sim::ModulePicture Technician::look_now() {
    EXPECT_TRUE(pump_until([&] { return idle(); }));
    const auto s = sim_.state(card_id_);
    return s && s->module_picture ? *s->module_picture : sim::ModulePicture{};
}

void Technician::next() {
    auto* b = wizard_.button(SmartSetupWizard::kNext);
    ASSERT_TRUE(b->isEnabled());
    QTest::mouseClick(b, Qt::LeftButton);
}

void Technician::step1(const Label& m) {
    auto* page = wizard_.moduleInfoPage();
    const int index_of_count[] = {-1, 0, 1, -1, 2};
    control<QLineEdit>(page, wizard::ModuleInfoPage::kWidth)->setText(QString::number(m.width));
    control<QLineEdit>(page, wizard::ModuleInfoPage::kHeight)->setText(QString::number(m.height));
    control<QComboBox>(page, wizard::ModuleInfoPage::kCableGroups)->setCurrentIndex(index_of_count[m.cables]);
    control<QComboBox>(page, wizard::ModuleInfoPage::kRgbGroups)->setCurrentIndex(index_of_count[m.rgb]);
    if (!m.hub_board.empty())
        choose(control<QComboBox>(page, wizard::ModuleInfoPage::kHubList), hub_row(m.hub_board.c_str()));
    choose(control<QComboBox>(page, wizard::ModuleInfoPage::kDecoderList), static_cast<int>(m.decoder));
    ASSERT_TRUE(pump_until([&] { return idle(); }));
    next();
    ASSERT_EQ(wizard_.currentStep(), 2) << testing::PrintToString(messages_.texts());
}

namespace {
sim::ModulePicture show_state(Technician& t, wizard::AlternatingPage* page, int k) {
    control<QRadioButton>(page, wizard::AlternatingPage::kRadioFirst + k - 1)->click();
    const auto block = page->controller().block(k);
    return t.look(block[2], block[3]);
}

int colour_answer(std::uint32_t rgb) {
    switch (rgb) {
        case 0xFF0000:
            return 1;
        case 0x00FF00:
            return 2;
        case 0x0000FF:
            return 3;
        case 0:
            return 4;
        default:
            return 5;
    }
}
}  // namespace

void Technician::step2() {
    auto* rp = wizard_.alternatingPage(2);
    const bool first_black = brightness(show_state(*this, rp, 1)) == 0;
    const bool second_black = brightness(show_state(*this, rp, 2)) == 0;
    ASSERT_NE(first_black, second_black);
    choose(rp->list(0), first_black ? 1 : 2);
    next();
    ASSERT_EQ(wizard_.currentStep(), 3);
}

void Technician::step3() {
    auto* oe = wizard_.alternatingPage(3);
    const auto b1 = brightness(show_state(*this, oe, 1));
    const auto b2 = brightness(show_state(*this, oe, 2));
    choose(oe->list(0), b1 > b2 ? 1 : b1 < b2 ? 2 : 3);
    next();
    ASSERT_EQ(wizard_.currentStep(), 4);
}

void Technician::step4() {
    auto* colour = wizard_.alternatingPage(4);
    for (int k = 1; k <= 3; ++k) {
        const auto picture = show_state(*this, colour, k);
        ASSERT_TRUE(single(picture));
        choose(colour->list(k - 1), colour_answer(picture.leds[0]));
    }
    next();
    ASSERT_EQ(wizard_.currentStep(), 5) << testing::PrintToString(messages_.texts());
}

void Technician::step5(std::uint32_t scan, std::vector<std::uint32_t>* lit_out, std::uint64_t* journal_from) {
    // The lit rows of the first module's top band, and the gap between two.
    const auto rows = look(4, 0);
    std::vector<std::uint32_t> lit;
    for (std::uint32_t r = 0; r < scan; ++r)
        if (rows.at(0, r) != 0) lit.push_back(r);
    const std::vector<std::size_t> counts = {1, 2, 4, 8, 16};
    const auto count_at = std::find(counts.begin(), counts.end(), lit.size());
    ASSERT_NE(count_at, counts.end()) << lit.size();
    auto* scan_page = wizard_.scanLinesPage();
    choose(scan_page->rowsLit(), static_cast<int>(count_at - counts.begin()) + 1);
    const std::uint32_t gap = lit.size() > 1 ? lit[1] - lit[0] - 1 : 0;
    const std::vector<std::uint32_t> gaps = {0, 1, 3, 7, 15};
    const auto gap_at = std::find(gaps.begin(), gaps.end(), gap);
    choose(scan_page->rowsBetween(), gap_at == gaps.end() ? 2 : static_cast<int>(gap_at - gaps.begin()) + 1);
    if (lit_out) *lit_out = lit;
    if (journal_from) *journal_from = sim_.journal_end();
    next();
    ASSERT_TRUE(pump_until([&] { return idle() && wizard_.currentStep() == 6; }))
        << testing::PrintToString(messages_.texts());
}

void Technician::steps_1_to_5(const Label& label) {
    ASSERT_NO_FATAL_FAILURE(step1(label));
    ASSERT_NO_FATAL_FAILURE(step2());
    ASSERT_NO_FATAL_FAILURE(step3());
    ASSERT_NO_FATAL_FAILURE(step4());
    ASSERT_NO_FATAL_FAILURE(step5(label.height / (label.cables * label.rgb)));
}

void Technician::await_frames(std::uint64_t frames) {
    EXPECT_TRUE(pump_until([&] { return idle() && sim_.journal_end() >= mark_ + frames; }))
        << frames << " frames after " << mark_;
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> Technician::lit_after(std::uint64_t frames) {
    await_frames(frames);
    const auto s = sim_.state(card_id_);
    if (!s || !s->module_picture) return std::nullopt;
    return lit_led(*s->module_picture);
}

int Technician::step6_list() {
    auto* trace = wizard_.pointTracePage();
    for (int i = 0; i < trace->list()->count(); ++i) {
        choose(trace->list(), i);
        if (one_cross(look(6, 0))) {
            mark();
            next();
            return wizard_.currentStep() == 7 ? i : -1;
        }
    }
    return -1;
}

void Technician::step6_grid() {
    auto* trace = wizard_.pointTracePage();
    mark();
    trace->radio(wizard::PointTrace::Mode::Grid)->click();
    std::uint64_t frames = 4;  // the three settings and the first point
    auto* grid = trace->grid();
    const int cells = (grid->rowCount() - 1) * (grid->columnCount() - 1);
    for (int i = 0; i <= cells; ++i) {
        const auto led = lit_after(frames);
        if (!led) return;  // the point lies off the module
        const int row = static_cast<int>(led->second) + 1;
        const int column = static_cast<int>(led->first) + 1;
        if (row >= grid->rowCount() || column >= grid->columnCount() ||
            !grid->cellText(row, column).isEmpty())
            return;
        const auto shown = messages_.texts().size();
        mark();
        click_cell(grid, row, column);
        frames = 1;
        EXPECT_TRUE(pump_until([&] { return idle() && !trace->exchangeUnderWay(); }));
        if (messages_.texts().size() > shown) return;  // the tracing is over (or the card is gone)
    }
}

namespace {

// Answers the test line's question from the picture the module shows at that moment; every other
// message goes to the recording service underneath.
class Judge final : public platform::MessageService {
  public:
    Judge(sim::Simulator& simulator, std::string card_id, support::RecordingMessages& recording)
        : sim_(simulator),
          card_id_(std::move(card_id)),
          recording_(recording),
          previous_(platform::install_message_service(this)) {}
    ~Judge() override { platform::install_message_service(previous_); }

    platform::MessageReply show(const std::string& text, const std::string& caption,
                                platform::MessageIcon icon, platform::MessageButtons buttons) override {
        recording_.show(text, caption, icon, buttons);
        if (text != localisation::lookup("IDS_MESSAGE_STEP8_TEST_LINE_IS_RIGHT"))
            return platform::MessageReply::Ok;
        // The test line went out without an answer: wait (bounded) until the card shows it.
        std::optional<sim::ModulePicture> seen;
        support::wait_until(
            [&] {
                const auto s = sim_.state(card_id_);
                if (!s || s->smart_pattern != 8 || !s->module_picture) return false;
                width = s->smart_value;
                height = s->smart_value2;
                seen = s->module_picture;
                return true;
            },
            std::chrono::seconds(3));
        asked = true;
        if (seen) picture = *seen;
        right = seen && right_test_line(*seen, width, height);
        return right ? platform::MessageReply::Yes : platform::MessageReply::No;
    }
    bool asked = false;
    bool right = false;
    std::uint32_t width = 0, height = 0;
    sim::ModulePicture picture;

  private:
    sim::Simulator& sim_;
    std::string card_id_;
    support::RecordingMessages& recording_;
    platform::MessageService* previous_;
};

}  // namespace

void Technician::redo_step7(bool* line_right) {
    mark();
    control<QPushButton>(wizard_.lineCheckPage(), wizard::LineCheckPage::kColumnRedo)->click();
    step7(line_right);
}

void Technician::step7(bool* line_right, int column_lie) {
    ASSERT_EQ(wizard_.currentStep(), 7);
    auto* page = wizard_.lineCheckPage();
    Judge judge(sim_, card_id_, messages_);
    // The column points along the top row: the grid's columns are the module's last columns. Entering
    // the step lit column point 1; the last column click lights one more column point and row point 1.
    auto* columns = page->columnGrid();
    const int used = columns->columnCount() - 1;
    std::uint64_t frames = 1;
    for (int n = 1; n <= used; ++n) {
        const auto led = lit_after(frames);
        ASSERT_TRUE(led) << "column point " << n;
        const auto width = sim_.state(card_id_)->module_picture->width;
        const int column = static_cast<int>(led->first) - static_cast<int>(width) + used + 1;
        ASSERT_GE(column, 1) << n;
        mark();
        click_cell(columns, 1, ((column - 1) ^ column_lie) + 1);
        frames = n == used ? 2 : 1;
    }
    // The row points down the right edge.
    auto* rows = page->rowGrid();
    for (int n = 1; n < rows->rowCount(); ++n) {
        const auto led = lit_after(frames);
        ASSERT_TRUE(rows->isVisible());
        ASSERT_TRUE(led) << "row point " << n;
        mark();
        click_cell(rows, static_cast<int>(led->second) + 1, 1);
        frames = 1;
    }
    EXPECT_TRUE(pump_until([&] { return idle() && !page->exchangeUnderWay(); }));
    if (line_right) *line_right = judge.asked && judge.right;
    test_line = judge.picture;
}

}  // namespace technician
