// The smart-setup wizard's dialog against simulated cards with virtual LED modules, on the offscreen Qt
// platform: the frame's buttons, step 1's checks and HUB board, and a scripted technician who walks steps
// 1 to 5 answering only from the picture the module shows.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <chrono>
#include <functional>
#include <set>
#include <thread>

#include "common/frame.h"
#include "common/screen_control.h"
#include "platform/localisation.h"
#include "platform/message_service.h"
#include "simulator/sim.h"
#include "tests/support/messages.h"
#include "tests/support/temp_dir.h"
#include "widgets/localise_dialog.h"
#include "screenconfig/screen_params.h"
#include "tests/support/qt/pump.h"
#include "tests/support/sim_cards.h"
#include "tests/wizard/technician.h"
#include "widgets/grid_control.h"
#include "wizard/pages.h"
#include "wizard/smart_setup_wizard.h"

namespace {

using support::pump_until;

using screenconfig::ConfigField;
using wizard::SmartSetupWizard;

std::string text(const char* key) {
    return localisation::lookup(key);
}

using technician::control;

struct Module {
    const char* name;
    const char* card_id;
    std::uint32_t width, height, cables, rgb, line_group, data_polarity, oe_polarity;
    const char* colours;
    const char* hub_board;  // the row the technician picks ("" on cards without the choice)
    std::uint32_t hub, decoder;
    std::uint32_t colour_order;  // what the answers must give
};

class WizardDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        localisation::set_current_file(std::filesystem::path(TEST_SOURCE_DIR) / "lang" / "English_zavo.ini");
        messages_.set_reply(platform::MessageReply::Ok);
    }
    void TearDown() override {
        wizard_.reset();
        service_.reset();
        simulator_.stop();
    }

    void start_card(const std::string& id, std::optional<sim::ModuleProfile> module = std::nullopt) {
        sim::SimulatorConfig config;
        sim::CardConfig card;
        card.id = id;
        card.address = "127.0.0.2";
        card.module = std::move(module);
        config.cards = {card};
        config.storage_root = folder_ / "cards";
        config.discovery_socket = false;
        ASSERT_TRUE(simulator_.start(std::move(config)));
        card_id_ = id;
    }

    void open_wizard(std::chrono::milliseconds period = std::chrono::minutes(10)) {
        service_ = std::make_unique<cardlink::ExchangeService>();
        service_->setTimeouts({std::chrono::milliseconds(1000), std::chrono::milliseconds(1000),
                               std::chrono::milliseconds(400)});
        wizard_ = std::make_unique<SmartSetupWizard>(*service_, cardlink::CardTarget{card_id_, "127.0.0.2"},
                                                     working_);
        wizard_->setAlternationPeriod(period);
        wizard_->show();
    }

    QPushButton* button(SmartSetupWizard::Control id) const { return wizard_->button(id); }
    bool idle() const { return !service_->busy(); }
    void click(SmartSetupWizard::Control id) {
        ASSERT_TRUE(button(id)->isEnabled());
        QTest::mouseClick(button(id), Qt::LeftButton);
    }

    std::vector<screen_control::Words> blocks_sent(std::uint64_t from = 0) const {
        std::vector<screen_control::Words> out;
        for (const auto& e : simulator_->journal())
            if (e.seq >= from && e.command == frame::CMD_SCREEN_CONTROL)
                out.push_back(screen_control::decode(e.data));
        return out;
    }

    // Step 1 as the technician fills it in from what is printed on the module and the board.
    void fill_module(std::uint32_t width, std::uint32_t height, int cables_index, int rgb_index) {
        auto* page = wizard_->moduleInfoPage();
        control<QLineEdit>(page, wizard::ModuleInfoPage::kWidth)->setText(QString::number(width));
        control<QLineEdit>(page, wizard::ModuleInfoPage::kHeight)->setText(QString::number(height));
        control<QComboBox>(page, wizard::ModuleInfoPage::kCableGroups)->setCurrentIndex(cables_index);
        control<QComboBox>(page, wizard::ModuleInfoPage::kRgbGroups)->setCurrentIndex(rgb_index);
    }
    void choose(QComboBox* list, int index) { technician::choose(list, index); }
    int hub_row(const char* name) const { return technician::hub_row(name); }
    void click_cell(widgets::GridControl* grid, int row, int column) {
        technician::click_cell(grid, row, column);
    }

    // Steps 1 to 5 answered without looking (a card without a module takes any answer), up to step 6.
    // `rows_lit_index`: the rows-lit list's index (1: "1" ... 5: "16").
    void to_step_six(std::uint32_t width, std::uint32_t height, int cables_index, int rgb_index,
                     int rows_lit_index) {
        fill_module(width, height, cables_index, rgb_index);
        choose(control<QComboBox>(wizard_->moduleInfoPage(), wizard::ModuleInfoPage::kDecoderList), 0);
        ASSERT_TRUE(pump_until([&] { return idle(); }));
        click(SmartSetupWizard::kNext);
        for (int step = 2; step <= 4; ++step) {
            ASSERT_EQ(wizard_->currentStep(), step) << testing::PrintToString(messages_.texts());
            auto* page = wizard_->alternatingPage(step);
            for (int list = 0; list < (step == 4 ? 3 : 1); ++list) choose(page->list(list), list + 1);
            click(SmartSetupWizard::kNext);
        }
        choose(wizard_->scanLinesPage()->rowsLit(), rows_lit_index);
        choose(wizard_->scanLinesPage()->rowsBetween(), 1);
        click(SmartSetupWizard::kNext);
        ASSERT_TRUE(pump_until([&] { return idle() && wizard_->currentStep() == 6; }))
            << testing::PrintToString(messages_.texts());
    }

    support::RecordingMessages messages_;
    support::TempDir folder_;
    support::SimCards simulator_;
    std::string card_id_;
    screenconfig::WorkingSet working_;
    std::unique_ptr<cardlink::ExchangeService> service_;
    std::unique_ptr<SmartSetupWizard> wizard_;
};

TEST_F(WizardDialogTest, OpensOnStepOneWithPreviousAndFinishDisabled) {
    start_card("S730-413-05862");
    open_wizard();
    EXPECT_EQ(wizard_->currentStep(), 1);
    EXPECT_FALSE(button(SmartSetupWizard::kPrevious)->isEnabled());
    EXPECT_FALSE(button(SmartSetupWizard::kFinish)->isEnabled());
    EXPECT_TRUE(button(SmartSetupWizard::kNext)->isEnabled());
    EXPECT_TRUE(button(SmartSetupWizard::kCancel)->isEnabled());
    EXPECT_TRUE(wizard_->page(1)->isVisible());
    for (int s = 2; s <= 5; ++s) EXPECT_FALSE(wizard_->page(s)->isVisible()) << s;
    EXPECT_EQ(wizard_->windowTitle(), QString::fromStdString(text("IDD136_Title")));
    EXPECT_TRUE(control<QWidget>(wizard_->moduleInfoPage(), wizard::ModuleInfoPage::kHubGroup)->isVisible());
    EXPECT_TRUE(blocks_sent().empty()) << "step 1 lights nothing";
}

TEST_F(WizardDialogTest, HubGroupFollowsTheCaseSensitiveCardClass) {
    const std::pair<const char*, bool> cases[] = {{"X100-000-00001", false}, {"x100-000-00001", true}};
    for (const auto& [id, visible] : cases) {
        start_card(id);
        open_wizard();
        auto* page = wizard_->moduleInfoPage();
        EXPECT_EQ(control<QWidget>(page, wizard::ModuleInfoPage::kHubGroup)->isVisible(), visible) << id;
        fill_module(64, 32, 0, 1);
        choose(control<QComboBox>(page, wizard::ModuleInfoPage::kDecoderList), 0);
        ASSERT_TRUE(pump_until([&] { return idle(); }));
        messages_.clear();
        click(SmartSetupWizard::kNext);
        if (visible) {
            EXPECT_EQ(messages_.texts(), std::vector<std::string>{text("IDS_MESSAGE_STEP1_9")}) << id;
            EXPECT_EQ(wizard_->currentStep(), 1);
        } else {
            EXPECT_TRUE(messages_.texts().empty()) << id;
            EXPECT_EQ(wizard_->currentStep(), 2);
        }
        wizard_.reset();
        simulator_.stop();
    }
}

TEST_F(WizardDialogTest, StepOneRefusesInOrderAndKeepsTheSizeWrites) {
    start_card("S730-413-05862");
    open_wizard();
    auto* page = wizard_->moduleInfoPage();
    fill_module(13, 18, -1, -1);
    click(SmartSetupWizard::kNext);
    EXPECT_EQ(messages_.texts(), std::vector<std::string>{text("IDS_MESSAGE_STEP1_1")});
    EXPECT_EQ(wizard_->currentStep(), 1);
    EXPECT_EQ(working_.config.get(ConfigField::scanCount), 0u);

    messages_.clear();
    fill_module(64, 32, 0, 1);
    click(SmartSetupWizard::kNext);
    EXPECT_EQ(messages_.texts(), std::vector<std::string>{text("IDS_MESSAGE_STEP1_9")});
    EXPECT_EQ(working_.config.get(ConfigField::scanCount), 16u);
    EXPECT_EQ(working_.config.get(ConfigField::moduleWidthLimited), 32u);
    EXPECT_EQ(working_.config.get(ConfigField::moduleHeightLimited), 16u);
    EXPECT_EQ(control<QLineEdit>(page, wizard::ModuleInfoPage::kWidth)->text(), "32");
    EXPECT_EQ(control<QLineEdit>(page, wizard::ModuleInfoPage::kHeight)->text(), "16");
}

TEST_F(WizardDialogTest, ChoosingLinsn90WritesCodeTwoAndShowsItsPicture) {
    start_card("S730-413-05862");
    open_wizard();
    auto* page = wizard_->moduleInfoPage();
    const std::uint64_t from = simulator_->journal_end();
    choose(control<QComboBox>(page, wizard::ModuleInfoPage::kHubList), hub_row("LINSN_90"));
    ASSERT_TRUE(pump_until([&] { return page->shownPicture() == wizard::HubPicture::Linsn90; }));
    EXPECT_TRUE(control<QLabel>(page, 1175)->isVisible());
    EXPECT_FALSE(control<QLabel>(page, 1176)->isVisible());
    EXPECT_EQ(working_.config.get(ConfigField::hubType), 2u);
    ASSERT_TRUE(pump_until([&] { return blocks_sent(from).size() == 1; }));
    EXPECT_EQ(blocks_sent(from)[0], screen_control::make(screen_control::Sub::HubType, {2}));
    EXPECT_TRUE(messages_.texts().empty());

    // A card that refuses keeps the new code; an unreachable one changes nothing.
    simulator_->set_faults(card_id_, {.answer_error = true});
    choose(control<QComboBox>(page, wizard::ModuleInfoPage::kHubList), hub_row("KORVA_S730_40"));
    ASSERT_TRUE(pump_until([&] { return !messages_.texts().empty(); }));
    EXPECT_EQ(messages_.texts(), std::vector<std::string>{"error HUB"});
    EXPECT_EQ(working_.config.get(ConfigField::hubType), 4u);
    simulator_.stop();
    messages_.clear();
    choose(control<QComboBox>(page, wizard::ModuleInfoPage::kHubList), hub_row("LINSN_40"));
    ASSERT_TRUE(pump_until([&] { return !messages_.texts().empty(); }));
    EXPECT_EQ(messages_.texts(), std::vector<std::string>{text("IDS_MESSAGE_CARD_LINK_ERROR")});
    EXPECT_EQ(working_.config.get(ConfigField::hubType), 4u);
    EXPECT_EQ(page->shownPicture(), wizard::HubPicture::KorvaS730_40);
}

TEST_F(WizardDialogTest, AlternationRunsOnlyOnItsOwnStepAndCancelAsksFirst) {
    start_card("X100-000-00001");
    open_wizard(std::chrono::milliseconds(50));
    fill_module(32, 16, 0, 1);
    choose(control<QComboBox>(wizard_->moduleInfoPage(), wizard::ModuleInfoPage::kDecoderList), 0);
    click(SmartSetupWizard::kNext);
    ASSERT_EQ(wizard_->currentStep(), 2);
    auto* rp = wizard_->alternatingPage(2);
    EXPECT_TRUE(rp->timerActive());
    // The ticks alternate the two data-polarity states on the card.
    ASSERT_TRUE(pump_until([&] {
        int ones = 0, zeros = 0;
        for (const auto& b : blocks_sent())
            if (b[0] == 1 && b[2] == 1) (b[3] == 1 ? ones : zeros) += 1;
        return ones >= 2 && zeros >= 2;
    }));
    // Cancel answered with Cancel keeps the wizard on its step with its alternation.
    messages_.set_reply(platform::MessageReply::Cancel);
    click(SmartSetupWizard::kCancel);
    EXPECT_EQ(messages_.texts().back(), text("IDS_MESSAGE_DUDO_QUIT_XIANGDAO"));
    EXPECT_EQ(messages_.all().back().buttons, platform::MessageButtons::OkCancel);
    EXPECT_TRUE(wizard_->isVisible());
    EXPECT_TRUE(rp->timerActive());
    // Next with no answer refuses and keeps the alternation running.
    messages_.clear();
    click(SmartSetupWizard::kNext);
    EXPECT_EQ(messages_.texts(), std::vector<std::string>{text("IDS_MESSAGE_STEP4_1")});
    EXPECT_TRUE(rp->timerActive());
    choose(rp->list(0), 1);
    click(SmartSetupWizard::kNext);
    EXPECT_EQ(wizard_->currentStep(), 3);
    EXPECT_FALSE(rp->timerActive());
    EXPECT_TRUE(wizard_->alternatingPage(3)->timerActive());
    // The auto-change box stops and restarts the cycle.
    auto* box = control<QCheckBox>(wizard_->alternatingPage(3), wizard::AlternatingPage::kAutoChange);
    box->click();
    EXPECT_FALSE(wizard_->alternatingPage(3)->timerActive());
    box->click();
    EXPECT_TRUE(wizard_->alternatingPage(3)->timerActive());
    click(SmartSetupWizard::kPrevious);
    EXPECT_EQ(wizard_->currentStep(), 2);
    EXPECT_FALSE(wizard_->alternatingPage(3)->timerActive());
    EXPECT_TRUE(rp->timerActive());
    messages_.set_reply(platform::MessageReply::Ok);
    click(SmartSetupWizard::kCancel);
    EXPECT_FALSE(wizard_->isVisible());
    EXPECT_FALSE(rp->timerActive());
}

// A message service whose boxes stay open for a while, as a technician's would: it counts how many are
// open at once.
class SlowMessages final : public platform::MessageService {
  public:
    SlowMessages() : previous_(platform::install_message_service(this)) {}
    ~SlowMessages() override { platform::install_message_service(previous_); }
    platform::MessageReply show(const std::string& text, const std::string&, platform::MessageIcon,
                                platform::MessageButtons) override {
        shown.push_back(text);
        ++open;
        most_open = std::max(most_open, open);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        while (std::chrono::steady_clock::now() < until)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        --open;
        return platform::MessageReply::Ok;
    }
    std::vector<std::string> shown;
    int open = 0;
    int most_open = 0;

  private:
    platform::MessageService* previous_;
};

TEST_F(WizardDialogTest, CardSilentInStepThreeCostsOneBoundedWaitPerExchange) {
    start_card("X100-000-00001");
    open_wizard(std::chrono::milliseconds(100));
    fill_module(32, 16, 0, 1);
    choose(control<QComboBox>(wizard_->moduleInfoPage(), wizard::ModuleInfoPage::kDecoderList), 0);
    click(SmartSetupWizard::kNext);
    choose(wizard_->alternatingPage(2)->list(0), 2);
    click(SmartSetupWizard::kNext);
    ASSERT_EQ(wizard_->currentStep(), 3);
    ASSERT_TRUE(pump_until([&] { return idle(); }));  // step 2's last state and OE state 1 were taken

    simulator_->set_faults(card_id_, {.silent = true});
    SlowMessages slow;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(pump_until([&] { return slow.shown.size() >= 3; }, std::chrono::seconds(8)));
    // Every tick's exchange waited the 400 ms receive bound (and its message 300 ms), not the default
    // 3 s bound of an exchange, and said so.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(6));
    for (const auto& t : slow.shown) EXPECT_EQ(t, "error OE");
    EXPECT_EQ(slow.most_open, 1) << "a tick while the last message is open opens no second one";

    // The wizard stays usable: Previous answers at once, and a card that answers again is used.
    click(SmartSetupWizard::kPrevious);
    EXPECT_EQ(wizard_->currentStep(), 2);
    simulator_->set_faults(card_id_, {});
    click(SmartSetupWizard::kNext);
    EXPECT_EQ(wizard_->currentStep(), 3);
    choose(wizard_->alternatingPage(3)->list(0), 3);  // no change
    click(SmartSetupWizard::kNext);
    EXPECT_EQ(wizard_->currentStep(), 4);
    EXPECT_EQ(working_.config.get(ConfigField::dataPolarity), 1u);
}

// ---- the scripted technician ----

TEST_F(WizardDialogTest, TechnicianAnsweringFromThePictureRecoversEveryModule) {
    const Module modules[] = {
        {"64x32 1/16 RGB", "S730-413-00001", 64, 32, 1, 2, 1, 0, 0, "RGB", "LINSN_08", 2, 0, 0},
        {"32x16 1/8 BGR, 2 rows lit", "S730-413-00002", 32, 16, 1, 2, 4, 1, 1, "BGR", "LINSN_40", 3, 1, 1},
        {"32x16 1/16 GRB, 8 rows lit", "S730-413-00003", 32, 16, 1, 1, 2, 0, 1, "GRB", "KORVA_S730", 4, 0, 2},
        {"16x8 1/4 GBR", "S730-413-00004", 16, 8, 1, 2, 1, 1, 0, "GBR", "KORVA_S630", 1, 2, 3},
        {"32x8 1/2 BRG, no HUB choice", "X100-000-00005", 32, 8, 2, 2, 1, 0, 1, "BRG", "", 0, 0, 4},
        {"16x4 1/1 RBG", "S730-413-00006", 16, 4, 2, 2, 1, 1, 1, "RBG", "LINSN_90", 2, 0, 5},
        {"32x12 1/12, 4 rows lit", "S730-413-00007", 32, 12, 1, 1, 3, 1, 0, "RGB", "LINSN_08", 2, 3, 0},
        {"dual RG 1/8, 1 row lit", "S730-413-00008", 32, 16, 1, 2, 8, 1, 1, "RG", "LINSN_42", 3, 0, 0},
        {"dual GR 1/16", "S730-413-00009", 32, 32, 1, 2, 1, 0, 0, "GR", "LINSN_08", 2, 0, 2},
        {"single R 1/4", "S730-413-00010", 16, 16, 2, 2, 2, 1, 0, "R", "LINSN_08", 2, 1, 0},
        {"single G 1/8", "S730-413-00011", 32, 16, 2, 1, 4, 0, 1, "G", "LINSN_08", 2, 0, 2},
    };
    for (const auto& m : modules) {
        SCOPED_TRACE(m.name);
        sim::ModuleProfile profile;
        profile.width = m.width;
        profile.height = m.height;
        profile.cable_groups = m.cables;
        profile.rgb_groups = m.rgb;
        profile.line_group = m.line_group;
        profile.data_polarity = m.data_polarity;
        profile.oe_polarity = m.oe_polarity;
        profile.colours = m.colours;
        profile.hub = m.hub;
        profile.decoder = m.decoder;
        working_ = {};
        start_card(m.card_id, profile);
        open_wizard();
        messages_.clear();

        technician::Technician tech(*wizard_, *simulator_, card_id_, *service_, messages_);
        ASSERT_NO_FATAL_FAILURE(tech.step1({m.width, m.height, m.cables, m.rgb, m.hub_board, m.decoder}));
        ASSERT_NO_FATAL_FAILURE(tech.step2());
        ASSERT_NO_FATAL_FAILURE(tech.step3());
        ASSERT_NO_FATAL_FAILURE(tech.step4());
        const std::uint32_t scan = m.height / (m.cables * m.rgb);
        std::vector<std::uint32_t> lit;
        std::uint64_t from = 0;
        ASSERT_NO_FATAL_FAILURE(tech.step5(scan, &lit, &from));
        EXPECT_TRUE(messages_.texts().empty()) << testing::PrintToString(messages_.texts());

        // The working header holds the module's hidden values.
        const auto& h = working_.config;
        EXPECT_EQ(h.get(ConfigField::dataPolarity), m.data_polarity);
        EXPECT_EQ(h.get(ConfigField::oePolarity), m.oe_polarity);
        EXPECT_EQ(h.get(ConfigField::colourOrder), m.colour_order);
        EXPECT_EQ(h.get(ConfigField::scanCount), scan);
        EXPECT_EQ(h.get(ConfigField::lineGroup), m.line_group);
        EXPECT_EQ(h.get(ConfigField::hubType), m.hub);
        EXPECT_EQ(h.get(ConfigField::decodeType), m.decoder);
        EXPECT_EQ(h.get(ConfigField::rgbGroupsPerCable), m.rgb);
        const bool all_lit = m.line_group == 1;
        const std::uint32_t interval = all_lit ? scan - 1 : scan / m.line_group - 1;
        EXPECT_EQ(h.get(ConfigField::lineInterval), interval);
        EXPECT_EQ(working_.all_rows_lit, all_lit ? 1u : 0u);
        EXPECT_EQ(working_.part_rows_lit, all_lit ? 0u : 1u);
        if (!all_lit) {
            EXPECT_EQ(working_.rows_per_group, m.line_group);
        }
        EXPECT_EQ(wizard_->litRowsHandedOver(), lit.size() - 1);

        // And the card's journal the exact scan blocks, on one connection.
        const std::uint32_t codes[17] = {0, 4, 3, 0, 2, 0, 0, 0, 1};
        auto block = [](std::vector<std::uint32_t> words) {
            screen_control::Words w{};
            std::copy(words.begin(), words.end(), w.begin());
            return w;
        };
        const std::vector<screen_control::Words> expected = {
            block({20, 0, scan <= 8 ? codes[scan] : 0}),
            block({12, 0, all_lit ? scan : m.line_group}),
            block({13, 0, interval}),
            block({21, 0, 0x76543210, 0xDCBA98}),
        };
        // (step 6 then lights its first point on a connection of its own)
        auto sent = blocks_sent(from);
        ASSERT_GE(sent.size(), 4u);
        sent.resize(4);
        EXPECT_EQ(sent, expected);
        std::set<std::string> peers;
        for (const auto& e : simulator_->journal())
            if (e.seq >= from && e.seq < from + 4) peers.insert(e.peer);
        EXPECT_EQ(peers.size(), 1u);

        wizard_.reset();
        service_.reset();
        simulator_.stop();
    }
}

// ---- steps 6 and 7 ----

using wizard::LineCheckPage;
using wizard::PointTracePage;
using ParamsField = screenconfig::ParamsField;

TEST_F(WizardDialogTest, ListChoiceSendsTheOrderAndAnEmptyListStillLetsNextPass) {
    start_card("X100-000-00001");
    open_wizard();
    to_step_six(32, 16, 0, 0, 4);  // scan 16, 8 rows lit: line group 2
    auto* trace = wizard_->pointTracePage();
    EXPECT_EQ(working_.config.get(ConfigField::lineGroup), 2u);
    EXPECT_EQ(trace->list()->count(), 6);
    EXPECT_EQ(trace->list()->currentIndex(), -1);
    EXPECT_EQ(trace->list()->itemText(0).toStdString(), text("IDS_MESSAGE_STEP7_2_16_1"));
    EXPECT_TRUE(button(SmartSetupWizard::kNext)->isEnabled());
    EXPECT_FALSE(button(SmartSetupWizard::kFinish)->isEnabled());
    const std::uint64_t from = simulator_->journal_end();
    choose(trace->list(), 4);  // "a9876543dcb210", class 2
    ASSERT_TRUE(pump_until([&] { return idle() && blocks_sent(from).size() == 6; }));
    EXPECT_EQ(trace->chosen()->text(), "5");
    const auto sent = blocks_sent(from);
    EXPECT_EQ(sent[3], screen_control::make(screen_control::Sub::DecodeOrderWords, {0x43DCB210, 0xA98765}));
    EXPECT_EQ(sent[4], screen_control::make(screen_control::Sub::DecodeOrderClass, {2}));
    EXPECT_EQ(sent[5], screen_control::make_smart(screen_control::SmartStep::LineCross));
    EXPECT_EQ(working_.params.get(ParamsField::decodeOrder), 2u);
    EXPECT_TRUE(messages_.texts().empty());
    // A card that cannot be reached: "connect error!", the record filled all the same.
    simulator_->set_faults(card_id_, {.answer_error = true});
    choose(trace->list(), 0);
    ASSERT_TRUE(pump_until([&] { return idle() && messages_.texts().size() == 6; }));
    EXPECT_EQ(messages_.texts(),
              (std::vector<std::string>{"error 6", "error 5", "error 4", "error 3", "error 2", "error 1"}));
    simulator_.stop();
    messages_.clear();
    choose(trace->list(), 1);
    ASSERT_TRUE(pump_until([&] { return idle() && !messages_.texts().empty(); }));
    EXPECT_EQ(messages_.texts(), std::vector<std::string>{"connect error!"});
    EXPECT_EQ(working_.params.get(ParamsField::decodeWordA), 0x43DCB210u);
    EXPECT_EQ(working_.params.get(ParamsField::decodeOrder), 0u);
}

TEST_F(WizardDialogTest, ModuleWithoutAStandardListPassesNextAndFinishSavesAValidRecord) {
    start_card("X100-000-00001");
    open_wizard();
    to_step_six(32, 12, 0, 0, 3);  // scan 12, 4 rows lit: line group 3
    EXPECT_EQ(wizard_->pointTracePage()->list()->count(), 0);
    click(SmartSetupWizard::kNext);
    ASSERT_EQ(wizard_->currentStep(), 7);
    EXPECT_FALSE(button(SmartSetupWizard::kNext)->isEnabled());
    EXPECT_EQ(working_.params.get(ParamsField::magic), 0u) << "Next leaves the record as it was";
    // Column and row walks in order: codes 15 and 0; the test line is right.
    auto* page = wizard_->lineCheckPage();
    ASSERT_TRUE(pump_until([&] { return idle(); }));
    EXPECT_FALSE(page->rowGrid()->isVisible());
    for (int c = 1; c <= 16; ++c) {
        click_cell(page->columnGrid(), 1, c);
        ASSERT_TRUE(pump_until([&] { return !page->exchangeUnderWay(); }));
    }
    EXPECT_TRUE(page->rowGrid()->isVisible());
    EXPECT_EQ(page->rowGrid()->rowCount(), 13);
    messages_.set_reply(platform::MessageReply::Yes);
    const std::uint64_t from = simulator_->journal_end();
    for (int r = 1; r <= 12; ++r) {
        click_cell(page->rowGrid(), r, 1);
        ASSERT_TRUE(pump_until([&] { return !page->exchangeUnderWay(); }));
    }
    // A row order of 12 digits has no arrangement code: 0, without a message.
    EXPECT_EQ(messages_.texts(), std::vector<std::string>{text("IDS_MESSAGE_STEP8_TEST_LINE_IS_RIGHT")});
    EXPECT_EQ(wizard_->result(), QDialog::Accepted);
    EXPECT_FALSE(wizard_->isVisible());
    const auto sent = blocks_sent(from);
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[sent.size() - 2], screen_control::make(screen_control::Sub::LitPoint, {15}));
    EXPECT_EQ(sent.back(), screen_control::make_smart(screen_control::SmartStep::TestLine, {32, 12}));
    // Finish filled the never-filled record from the header with the default order.
    const auto& p = working_.params;
    EXPECT_EQ(p.get(ParamsField::magic), screenconfig::kLedMarker);
    EXPECT_EQ(p.get(ParamsField::endMarker), screenconfig::kEndMarker);
    EXPECT_EQ(p.get(ParamsField::decodeWordA), 0x76543210u);
    EXPECT_EQ(p.get(ParamsField::decodeWordB), 0xDCBA98u);
    EXPECT_EQ(p.get(ParamsField::lineGroup), 3u);
    EXPECT_EQ(p.get(ParamsField::pointFlags), 15u);
}

TEST_F(WizardDialogTest, GridModeTracesBacksAndResets) {
    start_card("X100-000-00001");
    open_wizard();
    wizard_->resize(500, 400);
    const QRect opened = wizard_->geometry();
    to_step_six(64, 32, 0, 1, 5);  // W 32, H 16 (limited), scan 16, all rows lit
    auto* trace = wizard_->pointTracePage();
    // The frame widens for a wide module, as far as the screen reaches (the offscreen screen is 800
    // pixels wide: the frame then fills it and the panel scrolls).
    const QRect free = wizard_->screen()->availableGeometry();
    const int decoration = wizard_->frameGeometry().width() - wizard_->geometry().width();
    EXPECT_EQ(wizard_->geometry().width(), std::min(32 * 25 + 50, free.width() - decoration));
    if (opened.left() + 32 * 25 + 50 <= free.right()) {
        EXPECT_EQ(wizard_->geometry().topLeft(), opened.topLeft());
    }
    EXPECT_TRUE(free.contains(wizard_->frameGeometry()));
    EXPECT_EQ(trace->grid()->columnCount(), 33);
    EXPECT_EQ(trace->grid()->rowCount(), 17);
    EXPECT_FALSE(trace->grid()->isVisible());
    ASSERT_TRUE(pump_until([&] { return idle(); }));

    std::uint64_t from = simulator_->journal_end();
    trace->radio(wizard::PointTrace::Mode::Grid)->click();
    EXPECT_FALSE(button(SmartSetupWizard::kNext)->isEnabled());
    EXPECT_TRUE(trace->grid()->isVisible());
    EXPECT_FALSE(trace->list()->isEnabled());
    ASSERT_TRUE(pump_until([&] { return idle() && blocks_sent(from).size() == 4; }));
    auto sent = blocks_sent(from);
    EXPECT_EQ(sent[0], screen_control::make(screen_control::Sub::LineInterval, {0}));
    EXPECT_EQ(sent[1], screen_control::make(screen_control::Sub::DecodeOrderWords, {0x76543210, 0xDCBA98}));
    EXPECT_EQ(sent[2], screen_control::make(screen_control::Sub::DecodeOrderClass, {0}));
    EXPECT_EQ(sent[3], screen_control::make_smart(screen_control::SmartStep::TracePoint, {1023, 0, 1}));

    from = simulator_->journal_end();
    click_cell(trace->grid(), 3, 5);
    ASSERT_TRUE(pump_until([&] { return idle() && blocks_sent(from).size() == 1; }));
    EXPECT_EQ(trace->grid()->cellText(3, 5), "1");
    EXPECT_EQ(trace->grid()->cellBackground(3, 5), QColor(0xFF, 0xCC, 0xCC));
    EXPECT_EQ(trace->grid()->cellTextColour(3, 5), QColor(Qt::black));
    EXPECT_EQ(blocks_sent(from)[0],
              screen_control::make_smart(screen_control::SmartStep::TracePoint, {1022, 0, 1}));
    // The keyboard does the same: the current cell clicked with Space.
    trace->grid()->setFocus();
    trace->grid()->setCurrentIndex(trace->grid()->model()->index(1, 1));
    QTest::keyClick(trace->grid(), Qt::Key_Space);
    ASSERT_TRUE(pump_until([&] { return idle() && trace->controller().clicks() == 3; }));
    EXPECT_EQ(trace->grid()->cellText(1, 1), "2");

    // Back switches the lit point off and clears the last number.
    from = simulator_->journal_end();
    trace->backButton()->click();
    ASSERT_TRUE(pump_until([&] { return idle() && blocks_sent(from).size() == 1; }));
    EXPECT_EQ(blocks_sent(from)[0],
              screen_control::make_smart(screen_control::SmartStep::TracePoint, {1021, 0, 0}));
    ASSERT_TRUE(pump_until([&] { return trace->grid()->cellText(1, 1).isEmpty(); }));
    EXPECT_EQ(trace->grid()->cellTextColour(1, 1), QColor(Qt::black));
    EXPECT_EQ(trace->controller().point(), 2u);

    // A card that cannot be reached: the click is undone but keeps its number.
    simulator_->set_faults(card_id_, {});
    const auto id = card_id_;
    simulator_.stop();
    click_cell(trace->grid(), 2, 2);
    ASSERT_TRUE(pump_until([&] { return idle() && !messages_.texts().empty(); }));
    EXPECT_EQ(messages_.texts(), std::vector<std::string>{text("IDS_MESSAGE_CARD_LINK_ERROR")});
    EXPECT_EQ(trace->grid()->cellText(2, 2), "2");
    EXPECT_EQ(trace->controller().point(), 2u);
    EXPECT_EQ(trace->controller().clicks(), 2u);

    // Reset empties the grid; the standard radio gives Next back.
    start_card(id);
    trace->resetButton()->click();
    ASSERT_TRUE(pump_until([&] { return idle(); }));
    EXPECT_TRUE(trace->grid()->cellText(3, 5).isEmpty());
    EXPECT_EQ(trace->controller().point(), 1u);
    trace->radio(wizard::PointTrace::Mode::List)->click();
    EXPECT_TRUE(button(SmartSetupWizard::kNext)->isEnabled());
    EXPECT_FALSE(trace->grid()->isVisible());
    // Step 7 restores the frame, grown where the step needs more room than it had when it opened.
    click(SmartSetupWizard::kNext);
    QCoreApplication::processEvents();
    const QSize needs = wizard_->stepNeeds();
    EXPECT_EQ(wizard_->geometry().width(),
              std::max(opened.width(),
                       needs.width() + wizard_->width() - wizard_->panelScroller()->viewport()->width()));
    EXPECT_GE(wizard_->panelScroller()->viewport()->height(), needs.height()) << "step 7 is shown whole";
    EXPECT_EQ(wizard_->geometry().topLeft(), opened.topLeft());
}

TEST_F(WizardDialogTest, GridClicksMadeWhileAPointIsOnItsWayAreTakenInOrder) {
    start_card("X100-000-00001");
    open_wizard();
    wizard_->setPointPause(std::chrono::milliseconds(150));
    to_step_six(16, 16, 0, 0, 5);  // W 16, scan 16, all rows lit
    auto* trace = wizard_->pointTracePage();
    trace->radio(wizard::PointTrace::Mode::Grid)->click();
    ASSERT_TRUE(pump_until([&] { return idle(); }));
    const std::uint64_t from = simulator_->journal_end();
    // Three clicks in a row: the first lights point 2, the other two come while it is on its way.
    click_cell(trace->grid(), 1, 1);
    ASSERT_TRUE(trace->exchangeUnderWay());
    EXPECT_EQ(trace->grid()->viewport()->cursor().shape(), Qt::BusyCursor) << "the grid says it is not ready";
    click_cell(trace->grid(), 1, 2);
    click_cell(trace->grid(), 2, 1);
    EXPECT_EQ(trace->clicksWaiting(), 2u);
    EXPECT_TRUE(trace->grid()->cellText(1, 2).isEmpty());
    ASSERT_TRUE(
        pump_until([&] { return idle() && !trace->exchangeUnderWay() && trace->clicksWaiting() == 0; }));
    EXPECT_EQ(trace->grid()->cellText(1, 1), "1");
    EXPECT_EQ(trace->grid()->cellText(1, 2), "2");
    EXPECT_EQ(trace->grid()->cellText(2, 1), "3");
    EXPECT_EQ(trace->controller().point(), 4u);
    EXPECT_NE(trace->grid()->viewport()->cursor().shape(), Qt::BusyCursor);
    const auto sent = blocks_sent(from);
    ASSERT_EQ(sent.size(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(sent[i],
                  screen_control::make_smart(screen_control::SmartStep::TracePoint, {1022 - i, 0, 1}));
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
