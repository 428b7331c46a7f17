// The main window against simulated cards, on the offscreen Qt platform.
//
// The test process moves into a network namespace of its own before anything runs, so the cards'
// ports and the discovery broadcasts (to the loopback broadcast 127.255.255.255) stay inside it.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <QApplication>
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <bit>
#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "widgets/localise_dialog.h"
#include "app/startup.h"
#include "common/frame.h"
#include "platform/localisation.h"
#include "mainwindow/display_params.h"
#include "mainwindow/gamma_dialog.h"
#include "mainwindow/main_window.h"
#include "mainwindow/message_window.h"
#include "mainwindow/status_text.h"
#include "wizard/smart_setup_wizard.h"
#include "platform/message_service.h"
#include "platform/paths.h"
#include "simulator/sim.h"
#include "tests/support/messages.h"
#include "screenconfig/record_files.h"
#include "tests/support/netns.h"
#include "tests/support/qt/file_dialog.h"
#include "tests/support/qt/pump.h"
#include "tests/support/qt/widget_tests_main.h"
#include "tests/support/sim_cards.h"
#include "tests/support/temp_dir.h"

using namespace std::chrono_literals;
using support::pump_until;
using support::TempDir;

namespace {

bool g_private_network = false;

QStringList list_texts(QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!g_private_network) GTEST_SKIP() << "needs a private network namespace (root)";
        messages_.set_reply(platform::MessageReply::No);
        ::setenv("XDG_CONFIG_HOME", (program_ / "config").c_str(), 1);
        paths::set_program_folder(program_.path());
        startup::prepare(program_.path());
        std::ofstream(program_ / "default.ini") << "[DefaultParam]\nDiscovery_Address=127.255.255.255\n";
    }
    void TearDown() override {
        window_.reset();
        simulator_.stop();
    }

    void start_cards(std::vector<sim::CardConfig> cards, bool duplicates = false) {
        sim::SimulatorConfig config;
        config.cards = std::move(cards);
        config.allow_duplicate_addresses = duplicates;
        config.storage_root = program_ / "cards";
        ASSERT_TRUE(simulator_.start(std::move(config)));
    }

    void open_window() {
        window_ = std::make_unique<MainWindow>();
        window_->start();
        window_->show();
        list_ = qobject_cast<QListWidget*>(window_->control(MainWindow::kCardList));
        ASSERT_NE(list_, nullptr);
    }

    QString text_of(int control) const {
        auto* edit = qobject_cast<QLineEdit*>(window_->control(control));
        return edit != nullptr ? edit->text() : QString();
    }

    static sim::CardConfig card(std::string id, std::string address,
                                std::uint32_t sv = sim::kDefaultSoftwareVersion) {
        sim::CardConfig c;
        c.id = std::move(id);
        c.address = std::move(address);
        c.software_version = sv;
        c.subnet_mask = "255.255.0.0";
        return c;
    }

    QString expected_versions(const char* hv, const char* sv) const {
        return QString::fromStdString(localisation::lookup("IDS_MESSAGE_DOWNLOAD_HV") + " " + hv + "," +
                                      localisation::lookup("IDS_MESSAGE_DOWNLOAD_SV") + " " + sv);
    }

    support::RecordingMessages messages_;
    TempDir program_;
    support::SimCards simulator_;  // with the discovery socket: the window searches
    std::unique_ptr<MainWindow> window_;
    QListWidget* list_ = nullptr;
};

TEST_F(MainWindowTest, FirstCardFoundIsSelectedAndItsReportFillsTheControls) {
    start_cards({card("S730-413-00001", "127.0.0.2", 0x00090120)});
    open_window();
    ASSERT_TRUE(pump_until([&] { return !text_of(MainWindow::kIpAddress).isEmpty(); }));
    EXPECT_EQ(list_texts(list_), QStringList{"S730-413-00001"});
    EXPECT_EQ(list_->currentRow(), 0);
    EXPECT_EQ(text_of(MainWindow::kIpAddress), "127.0.0.2");
    EXPECT_EQ(text_of(MainWindow::kSubnetMask), "255.255.0.0");
    EXPECT_EQ(text_of(MainWindow::kGateway), "127.0.0.1");
    EXPECT_EQ(text_of(MainWindow::kScreenWidth), "128");
    EXPECT_EQ(text_of(MainWindow::kVersionField), expected_versions("V2.1", "V9.120"));
    // A report is no record to send: "发送到控制卡" waits for a ".hcp" file or the wizard.
    EXPECT_FALSE(window_->control(MainWindow::kSendToCard)->isEnabled());
    EXPECT_FALSE(window_->control(MainWindow::kSaveHcp)->isVisible());
    EXPECT_FALSE(window_->control(MainWindow::kAddressField)->isEnabled());
    EXPECT_EQ(list_->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(list_->font().pixelSize(), 24);
    EXPECT_TRUE(messages_.texts().empty());
}

TEST_F(MainWindowTest, SelectingAnotherCardShowsItsReportAndForgetsTheHcpPath) {
    start_cards({card("S730-413-00001", "127.0.0.2"), card("A901-200-00002", "127.0.0.3", 0x000A0001)});
    open_window();
    ASSERT_TRUE(
        pump_until([&] { return list_->count() == 2 && !text_of(MainWindow::kIpAddress).isEmpty(); }));
    ASSERT_EQ(text_of(MainWindow::kIpAddress), "127.0.0.2");

    // A loaded file belongs to the first card's parameters.
    const_cast<screenconfig::WorkingSet&>(window_->workingSet()).hcp_path = program_ / "first.hcp";
    list_->setCurrentRow(1);
    EXPECT_TRUE(window_->workingSet().hcp_path.empty());
    EXPECT_EQ(window_->workingSet().source, screenconfig::ParamSource::None);
    EXPECT_TRUE(text_of(MainWindow::kIpAddress).isEmpty());  // cleared until the report arrives
    ASSERT_TRUE(pump_until([&] { return text_of(MainWindow::kIpAddress) == "127.0.0.3"; }));
    EXPECT_EQ(text_of(MainWindow::kVersionField), expected_versions("V2.1", "VA.1"));
    EXPECT_EQ(window_->cardLink().selectedCardId(), "A901-200-00002");
}

TEST_F(MainWindowTest, ARefusedHcpFileAfterAGoodOneLeavesNothingToSend) {
    start_cards({card("S730-413-00001", "127.0.0.2")});
    open_window();
    ASSERT_TRUE(pump_until([&] { return text_of(MainWindow::kIpAddress) == "127.0.0.2"; }));
    screenconfig::ScreenParams good;
    good.set(screenconfig::ParamsField::magic, screenconfig::kLedMarker);
    good.set(screenconfig::ParamsField::hubType, 3);
    good.set(screenconfig::ParamsField::endMarker, screenconfig::kEndMarker);
    ASSERT_EQ(screenconfig::save_hcp(program_ / "good.hcp", good), screenconfig::WriteStatus::Ok);
    std::ofstream(program_ / "short.hcp") << std::string(30, 'x');
    auto load = [&](const char* name) {
        support::choose_file_when_asked(program_ / name, window_.get());
        QTest::mouseClick(qobject_cast<QAbstractButton*>(window_->control(MainWindow::kLoadHcp)),
                          Qt::LeftButton);
    };
    load("good.hcp");
    ASSERT_TRUE(pump_until([&] { return text_of(MainWindow::kHcpTitle) == "good.hcp"; }));
    EXPECT_TRUE(window_->control(MainWindow::kSendToCard)->isEnabled());

    load("short.hcp");
    ASSERT_TRUE(pump_until([&] { return !messages_.texts().empty(); }));
    EXPECT_EQ(messages_.texts(), std::vector<std::string>{localisation::lookup("IDS_MESSAGE_HCP_TOO_SHORT")});
    // No name of a file that was not taken, and nothing left to send.
    EXPECT_TRUE(text_of(MainWindow::kHcpTitle).isEmpty());
    EXPECT_FALSE(window_->control(MainWindow::kSendToCard)->isEnabled());
    const auto from = simulator_->journal_end();
    QTest::mouseClick(qobject_cast<QAbstractButton*>(window_->control(MainWindow::kSendToCard)),
                      Qt::LeftButton);
    EXPECT_FALSE(simulator_->wait_for_frame("S730-413-00001", frame::CMD_SCREEN_CONTROL, 300ms, from));
}

TEST_F(MainWindowTest, AddressModeChecksTheTypedAddress) {
    sim::CardConfig far = card("X100-000-00009", "127.0.0.9");
    start_cards({card("S730-413-00001", "127.0.0.2"), far});
    open_window();
    ASSERT_TRUE(pump_until([&] { return text_of(MainWindow::kIpAddress) == "127.0.0.2"; }));

    auto* mode = qobject_cast<QCheckBox*>(window_->control(MainWindow::kAddressMode));
    auto* address = qobject_cast<QLineEdit*>(window_->control(MainWindow::kAddressField));
    auto* check = qobject_cast<QPushButton*>(window_->control(MainWindow::kCheckAddress));
    ASSERT_TRUE(mode && address && check);
    EXPECT_FALSE(check->isEnabled());
    mode->setChecked(true);
    EXPECT_FALSE(list_->isEnabled());
    EXPECT_TRUE(address->isEnabled());
    address->setText("127.0.0.9");
    const std::uint64_t from = simulator_->journal_end();
    QTest::mouseClick(check, Qt::LeftButton);
    auto request =
        simulator_->wait_for_frame("X100-000-00009", frame::CMD_GET_CARD_INFO, std::chrono::seconds(3), from);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->id, "S730-413-05862");
    ASSERT_TRUE(pump_until([&] { return text_of(MainWindow::kIpAddress) == "127.0.0.9"; }));
    EXPECT_EQ(window_->cardLink().target().address, "127.0.0.9");

    mode->setChecked(false);
    EXPECT_TRUE(list_->isEnabled());
    EXPECT_FALSE(address->isEnabled());
    EXPECT_EQ(window_->cardLink().target().address, "127.0.0.2");
}

TEST_F(MainWindowTest, StartWizardOpensTheWizardOnTheSelectedCard) {
    open_window();
    auto* start = qobject_cast<QPushButton*>(window_->control(MainWindow::kStartWizard));
    ASSERT_NE(start, nullptr);
    QTest::mouseClick(start, Qt::LeftButton);  // no card yet
    EXPECT_EQ(messages_.texts(),
              std::vector<std::string>{localisation::lookup("IDS_MESSAGE_HAVE_NO_LINKED_CARD")});
    window_.reset();

    messages_.clear();
    start_cards({card("S730-413-00001", "127.0.0.2")});
    open_window();
    ASSERT_TRUE(pump_until([&] { return text_of(MainWindow::kIpAddress) == "127.0.0.2"; }));
    start = qobject_cast<QPushButton*>(window_->control(MainWindow::kStartWizard));
    ASSERT_TRUE(start->isEnabled());
    QString title;
    int step = 0;
    QTimer::singleShot(0, [&] {
        auto* wizard = qobject_cast<wizard::SmartSetupWizard*>(QApplication::activeModalWidget());
        ASSERT_NE(wizard, nullptr);
        title = wizard->windowTitle();
        step = wizard->currentStep();
        EXPECT_EQ(wizard->card().card_id, "S730-413-00001");
        EXPECT_EQ(wizard->card().address, "127.0.0.2");
        wizard->done(QDialog::Rejected);
    });
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_EQ(title, QString::fromStdString(localisation::lookup("IDD136_Title")));
    EXPECT_EQ(step, 1);
    EXPECT_EQ(window_->workingSet().source, screenconfig::ParamSource::None) << "only Finish hands over";
    EXPECT_TRUE(messages_.texts().empty());
}

TEST_F(MainWindowTest, CardTooOldForSmartSetupKeepsTheWizardDisabled) {
    start_cards({card("S730-413-00001", "127.0.0.2", 0x00080813)});
    open_window();
    ASSERT_TRUE(pump_until([&] { return text_of(MainWindow::kIpAddress) == "127.0.0.2"; }));
    EXPECT_FALSE(window_->control(MainWindow::kStartWizard)->isEnabled());
    const auto low = localisation::lookup("IDS_MESSAGE_DUDO_LOW_VERSION");
    EXPECT_NE(std::find(messages_.texts().begin(), messages_.texts().end(), low), messages_.texts().end());
}

TEST_F(MainWindowTest, ManualSearchEmptiesAndRefillsTheList) {
    start_cards({card("S730-413-00001", "127.0.0.2"), card("A901-200-00002", "127.0.0.3")});
    open_window();
    ASSERT_TRUE(
        pump_until([&] { return list_->count() == 2 && !text_of(MainWindow::kIpAddress).isEmpty(); }));
    const std::uint64_t from = simulator_->journal_end();
    QTest::mouseClick(qobject_cast<QPushButton*>(window_->control(MainWindow::kManualSearch)),
                      Qt::LeftButton);
    // Emptied at once, then filled again by the new search (well before the next 5 s timer tick).
    EXPECT_TRUE(text_of(MainWindow::kVersionField).isEmpty());
    ASSERT_TRUE(simulator_->wait_for_frame({}, frame::CMD_DISCOVER, std::chrono::seconds(2), from));
    ASSERT_TRUE(pump_until([&] { return list_->count() == 2; }, std::chrono::seconds(2)));
    EXPECT_EQ(list_->currentRow(), 0);
    ASSERT_TRUE(pump_until([&] { return !text_of(MainWindow::kIpAddress).isEmpty(); }));
}

// Beside the main window where the screen has room: right, left, below, above, in that order.
TEST(MessageWindowPlace, BesideTheWindowWhereTheScreenHasRoom) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize size(300, 120);
    struct Case {
        const char* name;
        QRect frame;
        std::optional<QPoint> at;
    };
    const Case cases[] = {
        {"right", QRect(100, 100, 760, 540), QPoint(860, 100)},
        {"left", QRect(1100, 100, 760, 540), QPoint(760, 100)},
        {"below", QRect(0, 0, 1900, 540), QPoint(0, 540)},
        {"above", QRect(0, 500, 1900, 540), QPoint(0, 340)},
        {"nowhere", QRect(0, 0, 1900, 1000), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto at = place_beside(c.frame, size, screen, 40);
        EXPECT_EQ(at, c.at);
        if (at) {
            EXPECT_TRUE(screen.contains(QRect(*at, size + QSize(40, 40))));
            EXPECT_FALSE(QRect(*at, size).intersects(c.frame));
        }
    }
}

TEST_F(MainWindowTest, DuplicateAddressShowsTheMessageWindowOnce) {
    start_cards({card("S730-413-00001", "127.0.0.2"), card("A901-200-00002", "127.0.0.2")}, true);
    open_window();
    ASSERT_TRUE(pump_until([&] { return list_->count() == 2 && window_->messageWindow() != nullptr; }));
    MessageWindow* warning = window_->messageWindow();
    EXPECT_TRUE(warning->isVisible());
    EXPECT_FALSE(warning->isModal());
    EXPECT_TRUE(warning->text().contains("127.0.0.2"));
    EXPECT_TRUE(warning->text().contains("S730-413-00001"));
    EXPECT_TRUE(warning->text().contains("A901-200-00002"));
    // It leaves the selected card's settings and the buttons that act on them ("保存设置" among them)
    // in view: it covers no control outside the card list's box.
    QWidget* list_box = window_->control(MainWindow::kCardListTitle);
    int checked = 0;
    for (QWidget* control : window_->findChildren<QWidget*>()) {
        const QVariant id = control->property(kControlIdProperty);
        if (!id.isValid() || !control->isVisible() || control->window() != window_.get() ||
            list_box->isAncestorOf(control) || control == list_box)
            continue;
        ++checked;
        const QRect area(control->mapToGlobal(QPoint(0, 0)), control->size());
        EXPECT_FALSE(warning->frameGeometry().intersects(area))
            << id.toInt() << ": the warning at " << warning->frameGeometry().x() << ","
            << warning->frameGeometry().y() << " " << warning->frameGeometry().width() << "x"
            << warning->frameGeometry().height();
    }
    EXPECT_GT(checked, 20);
    const QString text = warning->text();
    // Further searches while it is open add nothing and open no second window.
    QTest::mouseClick(qobject_cast<QPushButton*>(window_->control(MainWindow::kManualSearch)),
                      Qt::LeftButton);
    ASSERT_TRUE(pump_until([&] { return list_->count() == 2; }));
    EXPECT_FALSE(pump_until(
        [&] { return window_->findChildren<MessageWindow*>().size() != 1 || warning->text() != text; },
        std::chrono::milliseconds(300)));
    EXPECT_EQ(window_->findChildren<MessageWindow*>().size(), 1);
    EXPECT_EQ(warning->text(), text);
}

TEST_F(MainWindowTest, ClosingAfterTheWizardAsksToSaveTheParameters) {
    start_cards({card("S730-413-00001", "127.0.0.2")});
    open_window();
    ASSERT_TRUE(pump_until([&] { return list_->count() == 1; }));
    auto& ws = const_cast<screenconfig::WorkingSet&>(window_->workingSet());
    ws.wizard_finished();
    ws.changed = true;
    window_->reject();
    ASSERT_FALSE(messages_.texts().empty());
    EXPECT_EQ(messages_.texts().back(), localisation::lookup("IDS_MESSAGE_IS_SAVE_PARAM"));
}

// The display parameter controls against one simulated card.
class DisplayControlsTest : public MainWindowTest {
  public:  // the case table's actions call the helpers
    static constexpr const char* kCard = "S730-413-00001";

    void open_with_card(const char* discovery = nullptr) {
        if (discovery != nullptr) {
            std::ofstream(program_ / "default.ini")
                << "[DefaultParam]\nDiscovery_Address=" << discovery << "\n";
        }
        start_cards({card(kCard, "127.0.0.2")});
        open_window();
        if (discovery == nullptr) {
            ASSERT_TRUE(pump_until([&] { return !text_of(MainWindow::kIpAddress).isEmpty(); }));
        }
    }

    // Waits until the exchange under way (if any) has ended and its report was delivered.
    void settle() {
        ASSERT_TRUE(pump_until([&] { return !window_->exchanges().busy(); }, std::chrono::seconds(10)));
    }

    template <typename W>
    W* get(int id) const {
        auto* w = qobject_cast<W*>(window_->control(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }

    static void choose(QComboBox* combo, int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    void release_brightness_at(int position) {
        auto* slider = get<QSlider>(MainWindow::kBrightness);
        slider->setSliderDown(true);
        slider->setValue(position);
        slider->setSliderDown(false);
    }

    void shift_right(const char* a, const char* b) {
        get<QLineEdit>(MainWindow::kShiftColumns)->setText(a);
        get<QLineEdit>(MainWindow::kShiftWidth)->setText(b);
        get<QAbstractButton>(MainWindow::kShiftRight)->click();
    }

    // The 0x84 blocks the card received since journal entry `from`, as words.
    std::vector<std::vector<std::uint32_t>> screen_controls(std::uint64_t from) const {
        std::vector<std::vector<std::uint32_t>> blocks;
        for (const auto& e : simulator_->journal()) {
            if (e.seq < from || e.command != frame::CMD_SCREEN_CONTROL) continue;
            std::vector<std::uint32_t> words(e.data.size() / 4);
            for (std::size_t i = 0; i < words.size(); ++i) words[i] = frame::get_u32le(e.data.data() + 4 * i);
            blocks.push_back(std::move(words));
        }
        return blocks;
    }

    card_info::CardInfo card_state() const { return simulator_->state(kCard)->info; }

    // Sends a raw block through the window's link, as if another program had changed the card.
    void set_on_card(const display_params::DisplayCommand& command) {
        ASSERT_TRUE(window_->cardLink().exchange(frame::CMD_SCREEN_CONTROL, command.block, false).ok());
    }

    void reload_report() {
        QTest::mouseClick(get<QPushButton>(MainWindow::kManualSearch), Qt::LeftButton);
        ASSERT_TRUE(pump_until([&] { return !text_of(MainWindow::kIpAddress).isEmpty(); }));
    }

    screenconfig::WorkingSet& working() {
        return const_cast<screenconfig::WorkingSet&>(window_->workingSet());
    }
};

struct ControlCase {
    const char* name;
    std::function<void(DisplayControlsTest&)> act;
    std::vector<std::uint32_t> words;  // words 0.. of the block sent; later words zero
    bool sets_changed;
    const char* refused_text;  // shown when the card answers "Error!"; nullptr: the answer is not read
};

const std::vector<ControlCase>& control_cases() {
    using T = DisplayControlsTest;
    static const std::vector<ControlCase> cases = {
        {"gray OE 16",
         [](T& t) { T::choose(t.get<QComboBox>(MainWindow::kGrayLevel), 7); },
         {5, 0, 10016, 14, 0},
         true,
         "error 666"},
        {"gray 64",
         [](T& t) { T::choose(t.get<QComboBox>(MainWindow::kGrayLevel), 2); },
         {5, 0, 64, 9, 3},
         true,
         "error 666"},
        {"scan 8.0M",
         [](T& t) { T::choose(t.get<QComboBox>(MainWindow::kScanClock), 4); },
         {7, 0, 6},
         true,
         "error 111"},
        {"scan 15.0M",
         [](T& t) { T::choose(t.get<QComboBox>(MainWindow::kScanClock), 0); },
         {7, 0, 2},
         true,
         "error 111"},
        {"OE negative",
         [](T& t) { QTest::mouseClick(t.get<QAbstractButton>(MainWindow::kOeNegative), Qt::LeftButton); },
         {6, 0, 1},
         false,
         "error oe"},
        {"OE positive",
         [](T& t) { QTest::mouseClick(t.get<QAbstractButton>(MainWindow::kOePositive), Qt::LeftButton); },
         {6, 0, 0},
         false,
         "error oe"},
        {"data negative",
         [](T& t) { QTest::mouseClick(t.get<QAbstractButton>(MainWindow::kDataNegative), Qt::LeftButton); },
         {11, 0, 1},
         false,
         "error rp"},
        {"data positive",
         [](T& t) { QTest::mouseClick(t.get<QAbstractButton>(MainWindow::kDataPositive), Qt::LeftButton); },
         {11, 0, 0},
         false,
         "error RP"},
        {"brightness released at 8", [](T& t) { t.release_brightness_at(8); }, {2, 0, 8}, false, nullptr},
        {"brightness released at 3", [](T& t) { t.release_brightness_at(3); }, {2, 0, 3}, false, nullptr},
        {"duty 25% (hidden)",
         [](T& t) { t.get<QAbstractButton>(MainWindow::kDutyQuarter)->click(); },
         {8, 0, 1},
         true,
         "error 777"},
        {"duty 50% (hidden)",
         [](T& t) { t.get<QAbstractButton>(MainWindow::kDutyHalf)->click(); },
         {8, 0, 0},
         true,
         "error 888"},
        {"shift (hidden)",
         [](T& t) { t.shift_right("1", "100"); },
         {19, 0, 4 - 160 + 0xFFFE},
         true,
         "error 002"},
        {"no shift", [](T& t) { t.shift_right("0", "100"); }, {19, 0, 0}, true, "error 002"},
    };
    return cases;
}

TEST_F(DisplayControlsTest, EachControlSendsItsBlockAndTheCardTakesIt) {
    open_with_card();
    for (const auto& c : control_cases()) {
        SCOPED_TRACE(c.name);
        working().changed = false;
        const std::uint64_t from = simulator_->journal_end();
        c.act(*this);
        settle();
        ASSERT_TRUE(
            simulator_->wait_for_frame(kCard, frame::CMD_SCREEN_CONTROL, std::chrono::seconds(3), from));
        const auto blocks = screen_controls(from);
        ASSERT_EQ(blocks.size(), 1u);
        std::vector<std::uint32_t> expected(screenconfig::kControlBlockSize / 4, 0);
        std::copy(c.words.begin(), c.words.end(), expected.begin());
        EXPECT_EQ(blocks[0], expected);
        EXPECT_EQ(working().changed, c.sets_changed);
        EXPECT_TRUE(messages_.texts().empty()) << messages_.texts().front();
        messages_.clear();
    }
    // The card now holds the last values of each kind.
    ASSERT_TRUE(simulator_->wait_for([&](const auto&) { return card_state().horizontal_shift == 0; },
                                     std::chrono::seconds(2)));
    const auto info = card_state();
    EXPECT_EQ(info.gray_value, 64u);
    EXPECT_EQ(info.scan_clock_code, 2u);
    EXPECT_EQ(info.brightness, 3u);
    EXPECT_EQ(info.duty_cycle, 0u);
}

TEST_F(DisplayControlsTest, RefusedAnswerShowsTheCommandsOwnText) {
    open_with_card();
    sim::Faults faults;
    faults.answer_error = true;
    ASSERT_TRUE(simulator_->set_faults(kCard, faults));
    for (const auto& c : control_cases()) {
        SCOPED_TRACE(c.name);
        messages_.clear();
        working().changed = false;
        const std::uint64_t from = simulator_->journal_end();
        c.act(*this);
        settle();
        ASSERT_TRUE(
            simulator_->wait_for_frame(kCard, frame::CMD_SCREEN_CONTROL, std::chrono::seconds(3), from));
        if (c.refused_text == nullptr) {
            EXPECT_TRUE(messages_.texts().empty());
        } else {
            EXPECT_EQ(messages_.texts(), std::vector<std::string>{c.refused_text});
        }
        // The card may have taken the value although it answered "Error!".
        EXPECT_EQ(working().changed, c.sets_changed);
    }
}

TEST_F(DisplayControlsTest, GrayLevelWritesItsCodesToTheWorkingHeaderAndClearsTheGrayValue) {
    open_with_card();
    const auto& config = window_->workingSet().config;
    ASSERT_EQ(config.get(screenconfig::ConfigField::grayValue), 256u);  // from the report
    choose(get<QComboBox>(MainWindow::kGrayLevel), 5);
    settle();
    EXPECT_EQ(config.get(screenconfig::ConfigField::grayRefreshCode), 37u);
    EXPECT_EQ(config.get(screenconfig::ConfigField::grayDepthCode), 7u);
    EXPECT_EQ(config.get(screenconfig::ConfigField::grayValue), 0u);
    EXPECT_EQ(card_state().gray_value, 4096u);
}

TEST_F(DisplayControlsTest, BrightnessIsSentOnReleaseOrKeyNotWhileDragging) {
    open_with_card();
    auto* slider = get<QSlider>(MainWindow::kBrightness);
    EXPECT_EQ(slider->minimum(), 1);
    EXPECT_EQ(slider->maximum(), 8);
    const std::uint64_t from = simulator_->journal_end();
    slider->setSliderDown(true);
    slider->setValue(2);
    slider->setValue(5);
    EXPECT_EQ(text_of(MainWindow::kBrightnessValue), "5");  // the edit follows the drag
    EXPECT_FALSE(pump_until([&] { return !screen_controls(from).empty(); }, std::chrono::milliseconds(100)));
    slider->setSliderDown(false);
    settle();
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Left);
    ASSERT_TRUE(simulator_->wait_for([&](const auto&) { return card_state().brightness == 4; },
                                     std::chrono::seconds(3)));
    const auto blocks = screen_controls(from);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0][2], 5u);
    EXPECT_EQ(blocks[1][2], 4u);
    EXPECT_EQ(text_of(MainWindow::kBrightnessValue), "4");
}

TEST_F(DisplayControlsTest, ReportFillsTheControls) {
    open_with_card();
    // The simulated card's defaults: 15.0M, 256 levels, brightness 8, both polarities positive, 50 %.
    EXPECT_EQ(get<QComboBox>(MainWindow::kScanClock)->currentIndex(), 0);
    EXPECT_EQ(get<QComboBox>(MainWindow::kGrayLevel)->currentIndex(), 3);
    EXPECT_EQ(get<QSlider>(MainWindow::kBrightness)->value(), 8);
    EXPECT_EQ(text_of(MainWindow::kBrightnessValue), "8");
    EXPECT_TRUE(get<QAbstractButton>(MainWindow::kOePositive)->isChecked());
    EXPECT_TRUE(get<QAbstractButton>(MainWindow::kDataPositive)->isChecked());
    EXPECT_TRUE(get<QAbstractButton>(MainWindow::kDutyHalf)->isChecked());

    set_on_card(display_params::scan_clock_command(6));
    set_on_card(display_params::gray_level_command(7));
    set_on_card(display_params::brightness_command(3));
    set_on_card(display_params::oe_polarity_command(display_params::Polarity::Negative));
    set_on_card(display_params::data_polarity_command(display_params::Polarity::Negative));
    set_on_card(display_params::duty_cycle_command(display_params::DutyCycle::Quarter));
    ASSERT_TRUE(simulator_->wait_for([&](const auto&) { return card_state().duty_cycle == 1; },
                                     std::chrono::seconds(3)));
    const std::uint64_t from = simulator_->journal_end();
    reload_report();
    EXPECT_EQ(get<QComboBox>(MainWindow::kScanClock)->currentIndex(), 6);
    EXPECT_EQ(get<QComboBox>(MainWindow::kGrayLevel)->currentIndex(), 7);
    EXPECT_EQ(get<QSlider>(MainWindow::kBrightness)->value(), 3);
    EXPECT_EQ(text_of(MainWindow::kBrightnessValue), "3");
    EXPECT_TRUE(get<QAbstractButton>(MainWindow::kOeNegative)->isChecked());
    EXPECT_TRUE(get<QAbstractButton>(MainWindow::kDataNegative)->isChecked());
    EXPECT_TRUE(get<QAbstractButton>(MainWindow::kDutyQuarter)->isChecked());
    EXPECT_TRUE(screen_controls(from).empty());  // filling the controls sends nothing back

    // A gray value outside the list leaves the combo as the cleared selection left it: no row.
    auto odd = display_params::gray_level_command(0);
    odd.block[8] = 0x50;  // 10,064 = 0x2750: the OE 64 option the list does not offer
    odd.block[9] = 0x27;
    set_on_card(odd);
    ASSERT_TRUE(simulator_->wait_for([&](const auto&) { return card_state().gray_value == 10064; },
                                     std::chrono::seconds(3)));
    reload_report();
    EXPECT_EQ(get<QComboBox>(MainWindow::kGrayLevel)->currentIndex(), -1);
    EXPECT_EQ(window_->workingSet().config.get(screenconfig::ConfigField::grayValue), 10064u);
}

TEST_F(DisplayControlsTest, ControlTextsAndHiddenControls) {
    open_with_card();
    auto* gray = get<QComboBox>(MainWindow::kGrayLevel);
    ASSERT_EQ(gray->count(), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(
            gray->itemText(i).toStdString(),
            localisation::lookup(std::string(display_params::kGrayRows[static_cast<std::size_t>(i)].key)));
    auto* scan = get<QComboBox>(MainWindow::kScanClock);
    ASSERT_EQ(scan->count(), 8);
    EXPECT_EQ(scan->itemText(4), "8.0M ");
    EXPECT_EQ(scan->itemText(7), "3.12M");
    for (int id :
         {MainWindow::kGrayLevel, MainWindow::kScanClock, MainWindow::kOePositive, MainWindow::kOeNegative,
          MainWindow::kDataPositive, MainWindow::kDataNegative, MainWindow::kBrightness,
          MainWindow::kBrightnessValue, MainWindow::kGrayLevelLabel, MainWindow::kBrightnessLabel})
        EXPECT_TRUE(window_->control(id)->isVisible()) << id;
    for (int id : {MainWindow::kDutyHalf, MainWindow::kDutyQuarter, MainWindow::kShiftRight,
                   MainWindow::kShiftColumns, MainWindow::kShiftWidth, MainWindow::kDutyCycleLabel})
        EXPECT_FALSE(window_->control(id)->isVisible()) << id;
    for (int id = MainWindow::kGrayLevelLabel; id <= MainWindow::kDutyCycleLabel; ++id)
        EXPECT_FALSE(localisation::lookup("IDD102_" + std::to_string(id)).empty()) << id;
}

TEST_F(DisplayControlsTest, NothingIsSentWhileTheCardListIsEmpty) {
    open_with_card("127.0.0.77");  // a discovery address nobody hears: the list stays empty
    EXPECT_FALSE(pump_until([&] { return list_->count() > 0; }, std::chrono::milliseconds(200)));
    ASSERT_EQ(list_->count(), 0);
    const std::uint64_t from = simulator_->journal_end();
    const std::string link_error = localisation::lookup("IDS_MESSAGE_CARD_LINK_ERROR");
    struct Quiet {
        const char* name;
        std::size_t control_case;  // index into control_cases()
        bool reports_link_error;   // gray, scan clock and duty cycle return silently
    };
    const Quiet quiet[] = {{"gray", 0, false}, {"scan", 2, false},      {"duty", 10, false}, {"OE", 4, true},
                           {"data", 6, true},  {"brightness", 8, true}, {"shift", 12, true}};
    for (const auto& q : quiet) {
        SCOPED_TRACE(q.name);
        messages_.clear();
        control_cases()[q.control_case].act(*this);
        EXPECT_EQ(messages_.texts(),
                  q.reports_link_error ? std::vector<std::string>{link_error} : std::vector<std::string>{});
        EXPECT_FALSE(working().changed);
    }
    EXPECT_FALSE(pump_until([&] { return !screen_controls(from).empty(); }, std::chrono::milliseconds(100)));
}

// A card that takes the OE command but never answers: the window keeps running, refuses a second
// command, names the card it waits for and, after the bound, says what happened.
TEST_F(DisplayControlsTest, SilentCardLeavesTheWindowResponsiveAndRefusesASecondCommand) {
    open_with_card();
    ASSERT_TRUE(get<QAbstractButton>(MainWindow::kOePositive)->isChecked());
    EXPECT_TRUE(window_->statusTarget().contains(kCard));
    EXPECT_TRUE(window_->statusTarget().contains("127.0.0.2"));
    sim::Faults faults;
    faults.silent = true;
    faults.only_command = frame::CMD_SCREEN_CONTROL;
    ASSERT_TRUE(simulator_->set_faults(kCard, faults));

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    const std::uint64_t from = simulator_->journal_end();
    const auto clicked = std::chrono::steady_clock::now();
    QTest::mouseClick(get<QAbstractButton>(MainWindow::kOeNegative), Qt::LeftButton);
    // Back in the event loop at once, well before the card's answer could be given up on.
    EXPECT_LT(std::chrono::steady_clock::now() - clicked, std::chrono::milliseconds(1000));
    EXPECT_TRUE(window_->exchanges().busy());
    EXPECT_EQ(window_->cursor().shape(), Qt::BusyCursor);
    const std::string what = localisation::lookup("IDS_MESSAGE_COMMAND_OE") + ": " +
                             get<QAbstractButton>(MainWindow::kOeNegative)->text().toStdString();
    const cardlink::CardTarget target{kCard, "127.0.0.2"};
    EXPECT_EQ(window_->statusLine().toStdString(), status_text::waiting_line(what, target));
    ASSERT_TRUE(simulator_->wait_for_frame(kCard, frame::CMD_SCREEN_CONTROL, std::chrono::seconds(3), from));
    ASSERT_TRUE(pump_until([&] { return ticks >= 20; }));  // timers keep firing during the exchange

    // A second command during the wait starts nothing.
    auto* data_negative = get<QAbstractButton>(MainWindow::kDataNegative);
    EXPECT_FALSE(data_negative->isEnabled());
    QTest::mouseClick(data_negative, Qt::LeftButton);
    QTest::mouseClick(get<QAbstractButton>(MainWindow::kOePositive), Qt::LeftButton);
    EXPECT_TRUE(messages_.texts().empty());

    const std::string ended = status_text::result_line(what, target, cardlink::ExchangeError::NoAnswer,
                                                       std::chrono::milliseconds(3000));
    ASSERT_TRUE(
        pump_until([&] { return window_->statusLine().toStdString() == ended; }, std::chrono::seconds(6)));
    EXPECT_GE(std::chrono::steady_clock::now() - clicked, std::chrono::milliseconds(2900));
    EXPECT_EQ(messages_.texts(), std::vector<std::string>{"error oe"});
    settle();
    EXPECT_EQ(screen_controls(from).size(), 1u);
    // The card never confirmed "负": the control shows the card's last known value again.
    EXPECT_TRUE(get<QAbstractButton>(MainWindow::kOePositive)->isChecked());
    EXPECT_TRUE(data_negative->isEnabled());
    EXPECT_NE(window_->cursor().shape(), Qt::BusyCursor);
    EXPECT_GT(ticks, 100);
}

TEST_F(DisplayControlsTest, ARefusedChangeShowsTheLastKnownValueAgain) {
    open_with_card();
    auto* scan = get<QComboBox>(MainWindow::kScanClock);
    choose(scan, 3);  // taken: 9.4M is now the card's value
    settle();
    ASSERT_EQ(card_state().scan_clock_code, 5u);
    sim::Faults faults;
    faults.answer_error = true;
    ASSERT_TRUE(simulator_->set_faults(kCard, faults));
    messages_.clear();
    choose(scan, 6);
    settle();
    EXPECT_EQ(messages_.texts(), std::vector<std::string>{"error 111"});
    EXPECT_EQ(scan->currentIndex(), 3);
    EXPECT_EQ(window_->statusLine().toStdString(),
              status_text::result_line(localisation::lookup("IDS_MESSAGE_COMMAND_SCAN_CLOCK") + ": 4.7M",
                                       {kCard, "127.0.0.2"}, cardlink::ExchangeError::AnswerRejected,
                                       std::chrono::milliseconds(3000)));
    auto* brightness = get<QSlider>(MainWindow::kBrightness);
    simulator_->stop();  // nobody at the address any more: the connection fails
    messages_.clear();
    release_brightness_at(2);
    settle();
    EXPECT_EQ(messages_.texts(),
              std::vector<std::string>{localisation::lookup("IDS_MESSAGE_CARD_LINK_ERROR")});
    EXPECT_EQ(brightness->value(), 8);
    EXPECT_EQ(text_of(MainWindow::kBrightnessValue), "8");
}

TEST_F(MainWindowTest, AddressModeSendsEveryCommandToTheTypedAddress) {
    start_cards({card("S730-413-00001", "127.0.0.2"), card("X100-000-00009", "127.0.0.9")});
    open_window();
    ASSERT_TRUE(
        pump_until([&] { return list_->count() == 2 && text_of(MainWindow::kIpAddress) == "127.0.0.2"; }));
    auto* mode = qobject_cast<QCheckBox*>(window_->control(MainWindow::kAddressMode));
    auto* address = qobject_cast<QLineEdit*>(window_->control(MainWindow::kAddressField));
    auto* negative = qobject_cast<QAbstractButton*>(window_->control(MainWindow::kOeNegative));
    auto* positive = qobject_cast<QAbstractButton*>(window_->control(MainWindow::kOePositive));
    ASSERT_TRUE(mode && address && negative && positive);
    address->setText("127.0.0.9");
    mode->setChecked(true);
    EXPECT_EQ(list_->currentRow(), -1);  // the list suggests no other card
    EXPECT_TRUE(window_->statusTarget().contains("127.0.0.9"));

    // Without "检测": the command goes to the typed address with the mode's id.
    std::uint64_t from = simulator_->journal_end();
    QTest::mouseClick(negative, Qt::LeftButton);
    auto sent = simulator_->wait_for_frame("X100-000-00009", frame::CMD_SCREEN_CONTROL,
                                           std::chrono::seconds(3), from);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->id, "S730-413-05862");
    EXPECT_EQ(sent->local_address, "127.0.0.9");
    ASSERT_TRUE(pump_until([&] { return !window_->exchanges().busy(); }));

    // Retyped: the next command goes to the new address.
    address->setText("127.0.0.2");
    EXPECT_TRUE(window_->statusTarget().contains("127.0.0.2"));
    from = simulator_->journal_end();
    QTest::mouseClick(positive, Qt::LeftButton);
    sent = simulator_->wait_for_frame({}, frame::CMD_SCREEN_CONTROL, std::chrono::seconds(3), from);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->local_address, "127.0.0.2");
    EXPECT_EQ(sent->id, "S730-413-05862");
    ASSERT_TRUE(pump_until([&] { return !window_->exchanges().busy(); }));

    // "手动检查" refills the list but neither highlights a card nor replaces the typed card's report.
    address->setText("127.0.0.9");
    QTest::keyClick(address, Qt::Key_Return);  // Enter in the address field runs "检测"
    ASSERT_TRUE(pump_until([&] { return text_of(MainWindow::kIpAddress) == "127.0.0.9"; }));
    QTest::mouseClick(qobject_cast<QPushButton*>(window_->control(MainWindow::kManualSearch)),
                      Qt::LeftButton);
    ASSERT_TRUE(pump_until([&] { return list_->count() == 2; }));
    // Room for the first card's report, which must not be shown.
    EXPECT_FALSE(pump_until(
        [&] { return text_of(MainWindow::kIpAddress) != "127.0.0.9" || list_->currentRow() != -1; },
        std::chrono::milliseconds(300)));
    EXPECT_EQ(text_of(MainWindow::kIpAddress), "127.0.0.9");
    EXPECT_EQ(list_->currentRow(), -1);
}

TEST_F(MainWindowTest, KeysNeverRunAnUnaskedCommandNorCloseTheWindow) {
    start_cards({card("S730-413-00001", "127.0.0.2")});
    open_window();
    ASSERT_TRUE(pump_until([&] { return list_->count() == 1; }));
    for (QPushButton* button : window_->findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->autoDefault()) << button->text().toStdString();
        EXPECT_FALSE(button->isDefault()) << button->text().toStdString();
    }
    // Enter in the screen width edit: nothing is searched, nothing cleared.
    auto* width = qobject_cast<QLineEdit*>(window_->control(MainWindow::kScreenWidth));
    const std::uint64_t from = simulator_->journal_end();
    width->setFocus();
    QTest::keyClick(width, Qt::Key_Return);
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_FALSE(pump_until([&] { return !window_->isVisible() || list_->count() != 1; },
                            std::chrono::milliseconds(200)));
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(list_->count(), 1);
    for (const auto& e : simulator_->journal())
        EXPECT_FALSE(e.seq >= from && e.command == frame::CMD_GET_CARD_INFO);
}

TEST_F(MainWindowTest, ACardThatSendsNoReportIsNamedInTheStatusLine) {
    sim::CardConfig mute = card("S730-413-00001", "127.0.0.2");
    mute.faults.silent = true;
    mute.faults.only_command = frame::CMD_GET_CARD_INFO;
    start_cards({mute});
    open_window();
    ASSERT_TRUE(pump_until([&] { return list_->count() == 1; }));
    const std::string expected =
        status_text::no_report_line({"S730-413-00001", "127.0.0.2"}, MainWindow::kReportWait);
    ASSERT_TRUE(
        pump_until([&] { return window_->statusLine().toStdString() == expected; }, std::chrono::seconds(6)));
    EXPECT_TRUE(text_of(MainWindow::kIpAddress).isEmpty());
}

// Card ids come from the network: a card that calls itself "<b>S7</b>" is shown as those characters.
TEST_F(MainWindowTest, TextsFromTheNetworkAreShownAsPlainText) {
    start_cards({card("S<b>7</b>-1", "127.0.0.2"), card("A<i>9</i>-2", "127.0.0.2")}, true);
    open_window();
    ASSERT_TRUE(pump_until([&] { return list_->count() == 2 && window_->messageWindow() != nullptr; }));
    EXPECT_EQ(list_->item(0)->text(), "S<b>7</b>-1");
    EXPECT_TRUE(window_->statusTarget().contains("S<b>7</b>-1"));
    for (int id : {MainWindow::kStatusTarget, MainWindow::kStatusLine}) {
        auto* label = qobject_cast<QLabel*>(window_->control(id));
        ASSERT_NE(label, nullptr) << id;
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << id;
    }
    for (QLabel* label : window_->messageWindow()->findChildren<QLabel*>())
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_TRUE(window_->messageWindow()->text().contains("A<i>9</i>-2"));
}

// At the default window size in English a long card name and an outcome do not fit: the name is
// shortened, the outcome stays whole at the end, and the tooltip holds the whole line.
TEST_F(MainWindowTest, ALongStatusLineKeepsTheOutcomeInView) {
    localisation::set_current_file(std::filesystem::path(TEST_SOURCE_DIR) / "lang" / "English_zavo.ini");
    const std::string id = "S730-413-0000123";  // as long as the card list takes
    const std::string address = "127.100.100.100";
    sim::CardConfig c = card(id, address);
    c.faults.answer_error = true;
    c.faults.only_command = frame::CMD_SCREEN_CONTROL;
    start_cards({c});
    open_window();
    ASSERT_TRUE(pump_until([&] { return !text_of(MainWindow::kIpAddress).isEmpty(); }));
    auto* scan = qobject_cast<QComboBox*>(window_->control(MainWindow::kScanClock));
    scan->setCurrentIndex(3);
    emit scan->activated(3);
    const std::string refused = status_text::result_line(
        localisation::lookup("IDS_MESSAGE_COMMAND_SCAN_CLOCK") + ": " +
            scan->itemText(3).trimmed().toStdString(),
        {id, address}, cardlink::ExchangeError::AnswerRejected, window_->exchanges().timeouts().receive);
    ASSERT_TRUE(pump_until([&] { return window_->statusLine().toStdString() == refused; }, 10s))
        << window_->statusLine().toStdString() << "\n"
        << refused;

    auto* label = qobject_cast<QLabel*>(window_->control(MainWindow::kStatusLine));
    ASSERT_NE(label, nullptr);
    const QString full = window_->statusLine();
    const QString shown = window_->statusLineShown();
    const QString outcome = QStringLiteral("refused by the card");
    ASSERT_TRUE(full.endsWith(outcome));
    EXPECT_NE(shown, full) << "the line is longer than the window is wide";
    EXPECT_TRUE(shown.endsWith(outcome)) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
    EXPECT_EQ(label->toolTip(), full);
}

TEST_F(MainWindowTest, HelpWithoutAViewerSaysSo) {
    start_cards({card("S730-413-00001", "127.0.0.2")});
    open_window();
    const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ::setenv("PATH", (program_ / "no-programs").c_str(), 1);  // no xdg-open to be found
    QTest::mouseClick(qobject_cast<QPushButton*>(window_->control(MainWindow::kHelp)), Qt::LeftButton);
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(messages_.texts(),
              std::vector<std::string>{localisation::lookup("IDS_MESSAGE_HELP_NO_VIEWER")});
}

class GammaDialogTest : public DisplayControlsTest {
  protected:
    std::unique_ptr<GammaDialog> open_gamma(float red, float green, float blue) {
        auto dialog = std::make_unique<GammaDialog>(
            window_->exchanges(), [this] { return window_->cardLink().target(); }, red, green, blue);
        dialog->show();
        return dialog;
    }
    template <typename W>
    static W* in(GammaDialog& dialog, int id) {
        auto* w = qobject_cast<W*>(dialog.control(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    static QString value_of(GammaDialog& dialog, int id) { return in<QLineEdit>(dialog, id)->text(); }
    static void release_at(QSlider* slider, int position) {
        slider->setSliderDown(true);
        slider->setValue(position);
        slider->setSliderDown(false);
    }
    static std::vector<std::uint32_t> gamma_words(float r, float g, float b) {
        std::vector<std::uint32_t> words(screenconfig::kControlBlockSize / 4, 0);
        words[0] = 3;
        words[2] = std::bit_cast<std::uint32_t>(r);
        words[3] = std::bit_cast<std::uint32_t>(g);
        words[4] = std::bit_cast<std::uint32_t>(b);
        return words;
    }
};

TEST_F(GammaDialogTest, EqualChannelsStartTogetherAndTheCommonSliderSetsAllThree) {
    open_with_card();
    auto dialog = open_gamma(1.0f, 1.0f, 1.0f);
    EXPECT_TRUE(dialog->togetherMode());
    auto* all = in<QSlider>(*dialog, GammaDialog::kAll);
    EXPECT_TRUE(all->isEnabled());
    EXPECT_EQ(all->value(), 10);
    for (int id : {GammaDialog::kRed, GammaDialog::kGreen, GammaDialog::kBlue})
        EXPECT_FALSE(in<QSlider>(*dialog, id)->isEnabled()) << id;
    EXPECT_EQ(value_of(*dialog, GammaDialog::kAllValue), "1.0");

    const std::uint64_t from = simulator_->journal_end();
    release_at(all, 25);
    ASSERT_TRUE(simulator_->wait_for([&](const auto&) { return card_state().gamma_blue == 2.5f; },
                                     std::chrono::seconds(3)));
    EXPECT_EQ(screen_controls(from), std::vector<std::vector<std::uint32_t>>{gamma_words(2.5f, 2.5f, 2.5f)});
    EXPECT_EQ(card_state().gamma_red, 2.5f);
    EXPECT_EQ(card_state().gamma_green, 2.5f);
    for (int id : {GammaDialog::kRed, GammaDialog::kGreen, GammaDialog::kBlue})
        EXPECT_EQ(in<QSlider>(*dialog, id)->value(), 25) << id;
    for (int id :
         {GammaDialog::kRedValue, GammaDialog::kGreenValue, GammaDialog::kBlueValue, GammaDialog::kAllValue})
        EXPECT_EQ(value_of(*dialog, id), "2.5") << id;
    EXPECT_FALSE(working().changed);
    EXPECT_TRUE(messages_.texts().empty());
}

TEST_F(GammaDialogTest, DifferentChannelsStartSeparateAndAChannelReleaseSendsAllThree) {
    open_with_card();
    auto dialog = open_gamma(1.0f, 1.5f, 9.0f);  // 9.0 is beyond the sliders: the slider stops at 4.0
    EXPECT_FALSE(dialog->togetherMode());
    EXPECT_FALSE(in<QSlider>(*dialog, GammaDialog::kAll)->isEnabled());
    auto* red = in<QSlider>(*dialog, GammaDialog::kRed);
    EXPECT_TRUE(red->isEnabled());
    EXPECT_EQ(in<QSlider>(*dialog, GammaDialog::kGreen)->value(), 15);
    EXPECT_EQ(in<QSlider>(*dialog, GammaDialog::kBlue)->value(), 40);
    EXPECT_EQ(value_of(*dialog, GammaDialog::kBlueValue), "9.0");  // the card's value, not the slider's

    const std::uint64_t from = simulator_->journal_end();
    red->setSliderDown(true);
    red->setValue(11);
    red->setValue(12);
    EXPECT_EQ(value_of(*dialog, GammaDialog::kRedValue), "1.2");
    // Nothing while the handle is held.
    EXPECT_FALSE(pump_until([&] { return !screen_controls(from).empty(); }, std::chrono::milliseconds(100)));
    red->setSliderDown(false);
    ASSERT_TRUE(simulator_->wait_for([&](const auto&) { return card_state().gamma_red == 1.2f; },
                                     std::chrono::seconds(3)));
    EXPECT_EQ(screen_controls(from), std::vector<std::vector<std::uint32_t>>{gamma_words(1.2f, 1.5f, 9.0f)});

    // "全部" hands the sliders over to the common one; "保存参数" closes without sending.
    in<QRadioButton>(*dialog, GammaDialog::kTogether)->click();
    EXPECT_TRUE(in<QSlider>(*dialog, GammaDialog::kAll)->isEnabled());
    EXPECT_FALSE(red->isEnabled());
    const std::uint64_t before_save = simulator_->journal_end();
    QTest::mouseClick(in<QPushButton>(*dialog, GammaDialog::kSave), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(
        pump_until([&] { return !screen_controls(before_save).empty(); }, std::chrono::milliseconds(100)));
}

TEST_F(GammaDialogTest, KeysSendOneCommandOnceTheyStop) {
    open_with_card();
    auto dialog = open_gamma(1.0f, 1.5f, 2.0f);
    auto* red = in<QSlider>(*dialog, GammaDialog::kRed);
    const std::uint64_t from = simulator_->journal_end();
    red->setFocus();
    for (int i = 0; i < 3; ++i) QTest::keyClick(red, Qt::Key_Right);
    EXPECT_EQ(value_of(*dialog, GammaDialog::kRedValue), "1.3");
    // The settle timer runs in the event loop: pump it while waiting for the card.
    ASSERT_TRUE(pump_until([&] { return card_state().gamma_red == 1.3f; }, std::chrono::seconds(3)));
    // One command only: no second one within two settle times.
    EXPECT_FALSE(pump_until([&] { return screen_controls(from).size() > 1; }, 2 * GammaDialog::kSettle));
    EXPECT_EQ(screen_controls(from), std::vector<std::vector<std::uint32_t>>{gamma_words(1.3f, 1.5f, 2.0f)});
}

}  // namespace

int main(int argc, char** argv) {
    return support::run_widget_tests_in_private_network(argc, argv, g_private_network);
}
