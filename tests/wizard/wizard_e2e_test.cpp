// The whole smart setup, end to end: the main window finds a simulated card whose virtual LED module
// has hidden wiring, a scripted technician who sees only the module's rendered pictures walks all seven
// steps of the real wizard, and Finish saves a ".hcp" file and sends the parameters. Both must equal
// the module's hidden truth byte for byte. Wrong answers must show: a wrong row-decode order is no clean
// cross, wrong point flags give a wrong test line. Grid tracing of a module without a standard order
// numbers the grid as the module's hidden wiring runs.
//
// The test process moves into a network namespace of its own before anything runs, so the card ports
// and the discovery broadcasts (to 127.255.255.255) stay inside it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <map>

#include "app/startup.h"
#include "common/bytes.h"
#include "common/row_decode.h"
#include "mainwindow/main_window.h"
#include "platform/localisation.h"
#include "platform/paths.h"
#include "screenconfig/screen_params.h"
#include "simulator/sim.h"
#include "tests/support/messages.h"
#include "tests/support/netns.h"
#include "tests/support/qt/file_dialog.h"
#include "tests/support/qt/pump.h"
#include "tests/support/qt/widget_tests_main.h"
#include "tests/support/temp_dir.h"
#include "tests/support/sim_cards.h"
#include "tests/wizard/technician.h"

namespace {

using screenconfig::ParamsField;
using support::pump_until;
using wizard::SmartSetupWizard;

bool g_private_network = false;

// A module and what is printed on it.
struct Case {
    std::string name;
    sim::ModuleProfile profile;
    technician::Label label;
};

// The record the module's hidden truth calls for.
std::array<std::uint8_t, screenconfig::kParamsSize> truth_record(const sim::ModuleProfile& m) {
    screenconfig::ScreenParams p;
    const std::uint32_t scan = m.scan();
    const std::uint32_t hub = m.hub;
    p.set(ParamsField::magic, screenconfig::kLedMarker);
    p.set(ParamsField::hubType, hub);
    p.set(ParamsField::decodeType, m.decoder);
    p.set(ParamsField::dataPolarity, m.data_polarity);
    p.set(ParamsField::oePolarity, m.oe_polarity);
    const std::pair<const char*, std::uint32_t> orders[] = {{"RGB", 0}, {"BGR", 1}, {"GRB", 2}, {"GBR", 3},
                                                            {"BRG", 4}, {"RBG", 5}, {"RG", 0},  {"GR", 2},
                                                            {"R", 0},   {"G", 2}};
    for (const auto& [text, code] : orders)
        if (m.colours == text) p.set(ParamsField::colourOrder, code);
    p.set(ParamsField::lineGroup, m.line_group);
    p.set(ParamsField::scanCode, screenconfig::scan_code_for(scan).value_or(0));
    p.set(ParamsField::lineInterval, scan / m.line_group - 1);
    const auto words = row_decode::words_of(m.decode());
    p.set(ParamsField::decodeOrder, m.decode_class);
    p.set(ParamsField::decodeWordA, words.a);
    p.set(ParamsField::decodeWordB, words.b);
    p.set(ParamsField::pointFlags, m.column_code | m.row_code << 10);
    p.set(ParamsField::endMarker, screenconfig::kEndMarker);
    p.seal();
    std::array<std::uint8_t, screenconfig::kParamsSize> out{};
    std::copy(p.bytes().begin(), p.bytes().end(), out.begin());
    return out;
}

class WizardEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!g_private_network) GTEST_SKIP() << "needs a private network namespace (root)";
        messages_.set_reply(platform::MessageReply::Ok);
        ::setenv("XDG_CONFIG_HOME", (program_ / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (program_ / "data").c_str(), 1);
        paths::set_program_folder(program_.path());
        startup::prepare(program_.path());
        std::ofstream(program_ / "default.ini") << "[DefaultParam]\nDiscovery_Address=127.255.255.255\n";
    }
    void TearDown() override {
        window_.reset();
        simulator_.stop();
    }

    // The program in English, as the technician chose it.
    void use_english() {
        std::ofstream(program_ / "setting.ini") << "[Setting]\nZAVO_Language=English_zavo\n";
        startup::prepare(program_.path());
        ASSERT_EQ(localisation::lookup("IDD134_Title"), "Step 5: Scan rows");
    }

    std::vector<std::uint8_t> saved(const std::filesystem::path& hcp) const {
        std::ifstream file(hcp, std::ios::binary);
        return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(file)), {});
    }

    void start(const Case& c, const std::string& card_id) {
        sim::SimulatorConfig config;
        sim::CardConfig card;
        card.id = card_id;
        card.address = "127.0.0.2";
        card.module = c.profile;
        config.cards = {card};
        config.storage_root = program_ / "cards";
        ASSERT_TRUE(simulator_.start(std::move(config)));
        card_id_ = card_id;
        window_ = std::make_unique<MainWindow>();
        window_->start();
        window_->show();
        ASSERT_TRUE(pump_until([&] {
            auto* ip = qobject_cast<QLineEdit*>(window_->control(MainWindow::kIpAddress));
            return ip && ip->text() == "127.0.0.2";
        }));
    }

    // Opens the wizard from the main window and runs `walk` inside it.
    void in_wizard(const std::function<void(SmartSetupWizard&, technician::Technician&)>& walk) {
        auto* start = qobject_cast<QPushButton*>(window_->control(MainWindow::kStartWizard));
        ASSERT_TRUE(pump_until([&] { return start->isEnabled(); }));
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* wizard = qobject_cast<SmartSetupWizard*>(QApplication::activeModalWidget());
            ASSERT_NE(wizard, nullptr);
            wizard->setPointPause(std::chrono::milliseconds(5));
            technician::Technician tech(*wizard, *simulator_, card_id_, window_->exchanges(), messages_);
            walk(*wizard, tech);
            ran = true;
            if (wizard->isVisible()) wizard->done(QDialog::Rejected);  // a walk that failed
        });
        QTest::mouseClick(start, Qt::LeftButton);
        EXPECT_TRUE(ran);
    }

    // The parameter block the card took last (words 1, 7, 7), as the record bytes 8..59 it carries.
    std::optional<std::vector<std::uint8_t>> params_received(std::uint64_t from) const {
        std::optional<std::vector<std::uint8_t>> got;
        for (const auto& e : simulator_->journal())
            if (e.seq >= from && e.command == frame::CMD_SCREEN_CONTROL && e.data.size() >= 64) {
                const auto w = screen_control::decode(e.data);
                if (w[0] == 1 && w[1] == 7 && w[2] == 7)
                    got = std::vector<std::uint8_t>(e.data.begin() + 12, e.data.begin() + 64);
            }
        return got;
    }

    support::RecordingMessages messages_;
    support::TempDir program_;
    support::SimCards simulator_;
    std::unique_ptr<MainWindow> window_;
    std::string card_id_;
};

sim::ModuleProfile module(std::uint32_t width, std::uint32_t height, std::uint32_t cables, std::uint32_t rgb,
                          std::uint32_t line_group) {
    sim::ModuleProfile p;
    p.width = width;
    p.height = height;
    p.cable_groups = cables;
    p.rgb_groups = rgb;
    p.line_group = line_group;
    return p;
}

// Every entry of every standard row-decode list, on a module of that line group and scan, with the
// other hidden values varied from case to case.
std::vector<Case> standard_cases() {
    struct Pair {
        std::uint32_t line_group, scan;
    };
    const Pair pairs[] = {{16, 16}, {8, 16}, {8, 8}, {4, 16}, {4, 8}, {4, 4}, {2, 16},
                          {2, 8},   {2, 4},  {2, 2}, {1, 16}, {1, 8}, {1, 4}, {1, 2}};
    const char* colours[] = {"RGB", "BGR", "GRB", "GBR", "BRG", "RBG", "RG", "GR"};
    std::vector<Case> cases;
    int n = 0;
    for (const auto& pair : pairs) {
        const auto list = row_decode::standard_list(pair.line_group, pair.scan);
        for (std::size_t i = 0; i < list.size(); ++i, ++n) {
            // Two RGB groups per cable where the height allows, one cable.
            const std::uint32_t rgb = pair.scan <= 8 ? 2 : 1;
            auto m = module(n % 2 ? 16 : 32, pair.scan * rgb, 1, rgb, pair.line_group);
            m.data_polarity = n % 2;
            m.oe_polarity = (n / 2) % 2;
            m.colours = colours[n % 8];
            m.hub = 2;
            m.decode_order = std::string(list[i].order);
            m.decode_class = list[i].order_class;
            m.column_code = static_cast<std::uint32_t>(n * 5) % 16;
            m.row_code = static_cast<std::uint32_t>(n * 3) % std::min<std::uint32_t>(pair.scan, 16);
            Case c{std::to_string(pair.line_group) + "/" + std::to_string(pair.scan) + " entry " +
                       std::to_string(i + 1),
                   m,
                   {m.width, m.height, 1, rgb, "LINSN_90", 0}};
            cases.push_back(c);
        }
    }
    return cases;
}

TEST_F(WizardEndToEndTest, EveryStandardOrderIsFoundSavedAndSentExactly) {
    const auto cases = standard_cases();
    ASSERT_EQ(cases.size(), 80u);
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto hcp = program_ / ("module-" + std::to_string(index++) + ".hcp");
        ASSERT_NO_FATAL_FAILURE(start(c, "S730-413-" + std::to_string(10000 + index)));
        const std::uint64_t from = simulator_->journal_end();
        support::choose_file_when_asked(hcp, window_.get());
        int chosen = -2;
        bool line_right = false;
        std::string seen;
        std::uint32_t flags = 0;
        in_wizard([&](SmartSetupWizard& wizard, technician::Technician& tech) {
            ASSERT_NO_FATAL_FAILURE(tech.steps_1_to_5(c.label));
            chosen = tech.step6_list();
            ASSERT_GE(chosen, 0) << "no entry showed one cross";
            ASSERT_NO_FATAL_FAILURE(tech.step7(&line_right));
            seen = technician::Technician::drawn(tech.test_line);
            flags = wizard.working().params.get(ParamsField::pointFlags);
        });
        EXPECT_TRUE(line_right) << "flags " << flags << "\n" << seen;
        ASSERT_TRUE(pump_until([&] { return params_received(from).has_value(); }))
            << testing::PrintToString(messages_.texts());
        const auto truth = truth_record(c.profile);
        std::ifstream file(hcp, std::ios::binary);
        const std::vector<std::uint8_t> saved((std::istreambuf_iterator<char>(file)), {});
        EXPECT_EQ(saved, std::vector<std::uint8_t>(truth.begin(), truth.end()));
        EXPECT_EQ(*params_received(from), std::vector<std::uint8_t>(truth.begin() + 8, truth.begin() + 60));
        window_.reset();
        simulator_.stop();
        messages_.clear();
        if (HasFatalFailure()) return;
    }
}

TEST_F(WizardEndToEndTest, WrongAnswersShow) {
    // A 1/4-scan module with all rows lit: thirteen standard entries, one of them right.
    auto m = module(32, 8, 1, 2, 1);
    const auto list = row_decode::standard_list(1, 4);
    m.decode_order = std::string(list[7].order);
    m.decode_class = list[7].order_class;
    m.column_code = 3;
    m.row_code = 2;
    m.hub = 2;
    const Case c{"1/4 entry 8", m, {32, 8, 1, 2, "LINSN_90", 0}};
    ASSERT_NO_FATAL_FAILURE(start(c, "S730-413-00042"));
    const auto hcp = program_ / "module.hcp";
    support::choose_file_when_asked(hcp, window_.get());
    std::vector<bool> crosses;
    bool wrong_line = true;
    bool right_line = false;
    std::string seen;
    in_wizard([&](SmartSetupWizard& wizard, technician::Technician& tech) {
        ASSERT_NO_FATAL_FAILURE(tech.steps_1_to_5(c.label));
        auto* trace = wizard.pointTracePage();
        for (int i = 0; i < trace->list()->count(); ++i) {
            technician::choose(trace->list(), i);
            crosses.push_back(technician::one_cross(tech.look(6, 0)));
        }
        technician::choose(trace->list(), 7);
        tech.look(6, 0);
        tech.next();
        // Columns swapped in pairs where they are not: a supported order, the wrong one.
        ASSERT_NO_FATAL_FAILURE(tech.step7(&wrong_line, 1));
        seen = technician::Technician::drawn(tech.test_line);
        EXPECT_EQ(messages_.texts().back(), localisation::lookup("IDS_MESSAGE_STEP8_FAILED_RESET_PLEASE"));
        EXPECT_TRUE(wizard.isVisible()) << "a wrong test line keeps the wizard open";
        EXPECT_EQ(wizard.working().params.get(ParamsField::pointFlags), (3u ^ 1u) | 2u << 10);
        ASSERT_NO_FATAL_FAILURE(tech.redo_step7(&right_line));
    });
    std::vector<bool> expected(13, false);
    expected[7] = true;
    EXPECT_EQ(crosses, expected) << "only the module's own order shows one clean cross";
    EXPECT_FALSE(wrong_line) << "wrong point flags must not draw the right test line\n" << seen;
    EXPECT_TRUE(right_line);
    ASSERT_TRUE(pump_until([&] { return std::filesystem::exists(hcp); }));
    const auto truth = truth_record(c.profile);
    std::ifstream file(hcp, std::ios::binary);
    EXPECT_EQ(std::vector<std::uint8_t>((std::istreambuf_iterator<char>(file)), {}),
              std::vector<std::uint8_t>(truth.begin(), truth.end()));
}

TEST_F(WizardEndToEndTest, GridTracingNumbersTheModulesHiddenWiring) {
    // 8 x 12, one RGB group: scan 12 with three row addresses of four rows each. There is no standard
    // list for line group 3 and scan 12; the module's rows follow an order of its own.
    auto m = module(8, 12, 1, 1, 3);
    m.decode_order = "dcba9876541032";
    m.column_code = 5;
    m.row_code = 0;
    const Case c{"8x12 1/12", m, {8, 12, 1, 1, "", 0}};
    ASSERT_NO_FATAL_FAILURE(start(c, "X100-000-00012"));
    std::map<std::pair<int, int>, std::uint32_t> numbers;
    int rows = 0, columns = 0;
    bool next_enabled = true;
    std::uint32_t lit_rows_minus_one = 0;
    in_wizard([&](SmartSetupWizard& wizard, technician::Technician& tech) {
        ASSERT_NO_FATAL_FAILURE(tech.steps_1_to_5(c.label));
        EXPECT_EQ(wizard.pointTracePage()->list()->count(), 0);
        ASSERT_NO_FATAL_FAILURE(tech.step6_grid());
        next_enabled = wizard.button(SmartSetupWizard::kNext)->isEnabled();
        lit_rows_minus_one = wizard.litRowsHandedOver();
        auto* grid = wizard.pointTracePage()->grid();
        rows = grid->rowCount();
        columns = grid->columnCount();
        for (int r = 1; r < rows; ++r)
            for (int col = 1; col < columns; ++col)
                if (!grid->cellText(r, col).isEmpty()) numbers[{r, col}] = grid->cellText(r, col).toUInt();
    });
    EXPECT_FALSE(next_enabled) << "grid mode has no Next";
    EXPECT_EQ(rows, 13);
    EXPECT_EQ(columns, 9);
    ASSERT_EQ(lit_rows_minus_one, 3u);
    // The tracing ended, and Kelvra was asked for its picture: on the offscreen platform there is no
    // screen to capture, and the message says so instead of announcing a picture.
    const auto texts = messages_.texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back().rfind(localisation::lookup("IDS_MESSAGE_NCP_NOT_SAVED"), 0), 0u) << texts.back();
    EXPECT_NE(texts.back().find(wizard::picture_error_name(wizard::PictureError::NothingCaptured)),
              std::string::npos)
        << texts.back();
    EXPECT_NE(texts.back().find((program_ / "data" / "vantor" / "ncp.jpg").string()), std::string::npos);
    // Every LED of the band traced, each numbered where the hidden wiring shows the card's n-th point:
    // point n is bit (n - 1) mod 32 of row address (n - 1) / 32, with the default order the grid mode
    // sends.
    ASSERT_EQ(numbers.size(), 8u * 12u);
    const auto grid_settings = [] {
        sim::CardRowSettings s;
        const auto w = row_decode::words_of(row_decode::kDefaultOrder);
        s.decode_word_a = w.a;
        s.decode_word_b = w.b;
        return s;
    }();
    for (std::uint32_t n = 1; n <= 96; ++n) {
        const std::uint32_t chain = (lit_rows_minus_one + 1) * 8;
        const auto led = sim::traced_led(m, grid_settings, 1023 - (n - 1) % chain, (n - 1) / chain);
        ASSERT_TRUE(led) << n;
        const std::pair<int, int> cell(static_cast<int>(led->row) + 1, static_cast<int>(led->column) + 1);
        EXPECT_EQ(numbers[cell], n) << n;
    }
}

TEST_F(WizardEndToEndTest, ThirtyTwoScanModuleTracedPointByPointToTheSavedHcp) {
    // 8 x 32, one RGB group: scan 32 with two row addresses of 16 rows each, no standard list. The
    // technician traces the whole band from the pictures, goes back to the (empty) list as the page
    // says, walks step 7 and finishes; the record is the header's values with the default order.
    ASSERT_NO_FATAL_FAILURE(use_english());
    auto m = module(8, 32, 1, 1, 2);
    m.column_code = 3;
    m.row_code = 5;
    m.hub = 2;
    m.colours = "GBR";
    m.oe_polarity = 1;
    const Case c{"8x32 1/32", m, {8, 32, 1, 1, "LINSN_90", 0}};
    ASSERT_NO_FATAL_FAILURE(start(c, "S730-413-00032"));
    const auto hcp = program_ / "thirty-two.hcp";
    support::choose_file_when_asked(hcp, window_.get());
    std::map<std::pair<int, int>, std::uint32_t> numbers;
    int rows = 0;
    bool how_on_said = false;
    bool next_in_grid_mode = true;
    bool line_right = false;
    std::string seen;
    std::vector<std::string> after_tracing;
    in_wizard([&](SmartSetupWizard& wizard, technician::Technician& tech) {
        ASSERT_NO_FATAL_FAILURE(tech.steps_1_to_5(c.label));
        ASSERT_EQ(wizard.litRowsHandedOver(), 15u) << "16 rows lit in the band";
        auto* trace = wizard.pointTracePage();
        EXPECT_EQ(trace->list()->count(), 0);
        ASSERT_NO_FATAL_FAILURE(tech.step6_grid());
        after_tracing = messages_.texts();
        auto* grid = trace->grid();
        rows = grid->rowCount();
        for (int r = 1; r < rows; ++r)
            for (int col = 1; col < grid->columnCount(); ++col)
                if (!grid->cellText(r, col).isEmpty()) numbers[{r, col}] = grid->cellText(r, col).toUInt();
        how_on_said = trace->doneHint()->isVisible();
        next_in_grid_mode = wizard.button(SmartSetupWizard::kNext)->isEnabled();
        trace->radio(wizard::PointTrace::Mode::List)->click();
        tech.next();
        ASSERT_EQ(wizard.currentStep(), 7);
        ASSERT_NO_FATAL_FAILURE(tech.step7(&line_right));
        seen = technician::Technician::drawn(tech.test_line);
    });
    EXPECT_EQ(rows, 33) << "the grid gives the band all 32 rows";
    ASSERT_FALSE(after_tracing.empty()) << "the tracing ends with its message";
    EXPECT_EQ(after_tracing.back().rfind(localisation::lookup("IDS_MESSAGE_NCP_NOT_SAVED"), 0), 0u)
        << after_tracing.back();
    EXPECT_TRUE(how_on_said) << "the page says how to go on";
    EXPECT_FALSE(next_in_grid_mode);
    // Every LED of the band numbered where the hidden wiring shows the card's n-th point.
    ASSERT_EQ(numbers.size(), 8u * 32u);
    sim::CardRowSettings grid_settings;
    const auto w = row_decode::words_of(row_decode::kDefaultOrder);
    grid_settings.decode_word_a = w.a;
    grid_settings.decode_word_b = w.b;
    for (std::uint32_t n = 1; n <= 256; ++n) {
        const auto led = sim::traced_led(m, grid_settings, 1023 - (n - 1) % 128, (n - 1) / 128);
        ASSERT_TRUE(led) << n;
        EXPECT_EQ((numbers[{static_cast<int>(led->row) + 1, static_cast<int>(led->column) + 1}]), n) << n;
    }
    EXPECT_TRUE(line_right) << seen;
    ASSERT_TRUE(pump_until([&] { return std::filesystem::exists(hcp); }))
        << testing::PrintToString(messages_.texts());
    const auto truth = truth_record(c.profile);
    EXPECT_EQ(saved(hcp), std::vector<std::uint8_t>(truth.begin(), truth.end()));
}

TEST_F(WizardEndToEndTest, SixteenScanModuleWithColumnAndRowCodesInEnglish) {
    // 32 x 32, two RGB groups: scan 16, line group 4, the fifth standard entry; columns and rows
    // swapped by codes 6 and 9.
    ASSERT_NO_FATAL_FAILURE(use_english());
    auto m = module(32, 32, 1, 2, 4);
    const auto list = row_decode::standard_list(4, 16);
    m.decode_order = std::string(list[4].order);
    m.decode_class = list[4].order_class;
    m.column_code = 6;
    m.row_code = 9;
    m.hub = 2;
    m.colours = "BRG";
    const Case c{"32x32 1/16", m, {32, 32, 1, 2, "LINSN_90", 0}};
    ASSERT_NO_FATAL_FAILURE(start(c, "S730-413-00016"));
    const auto hcp = program_ / "sixteen.hcp";
    support::choose_file_when_asked(hcp, window_.get());
    int chosen = -2;
    bool line_right = false;
    std::string seen;
    bool note_shown = false;
    QString first_header;
    in_wizard([&](SmartSetupWizard& wizard, technician::Technician& tech) {
        ASSERT_NO_FATAL_FAILURE(tech.steps_1_to_5(c.label));
        chosen = tech.step6_list();
        ASSERT_EQ(chosen, 4);
        note_shown = wizard.lineCheckPage()->columnsNote()->isVisible();
        first_header = wizard.lineCheckPage()->columnGrid()->cellText(0, 1);
        ASSERT_NO_FATAL_FAILURE(tech.step7(&line_right));
        seen = technician::Technician::drawn(tech.test_line);
    });
    EXPECT_TRUE(note_shown) << "the column grid says which columns it stands for";
    EXPECT_EQ(first_header, "17") << "grid column 1 is the module's LED column 17 of 32";
    EXPECT_TRUE(line_right) << seen;
    ASSERT_TRUE(pump_until([&] { return std::filesystem::exists(hcp); }))
        << testing::PrintToString(messages_.texts());
    const auto truth = truth_record(c.profile);
    EXPECT_EQ(saved(hcp), std::vector<std::uint8_t>(truth.begin(), truth.end()));
}

}  // namespace

int main(int argc, char** argv) {
    return support::run_widget_tests_in_private_network(argc, argv, g_private_network);
}
