// The main window's network settings, restores, guarded functions, test dialog and adapter choice
// against simulated cards, on the offscreen Qt platform. The process moves into a network namespace of
// its own first, so the cards' ports and every broadcast stay inside it.
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QProgressBar>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "app/startup.h"
#include "common/frame.h"
#include "common/screen_control.h"
#include "mainwindow/adapter_dialog.h"
#include "mainwindow/gamma_dialog.h"
#include "mainwindow/main_window.h"
#include "mainwindow/password_dialog.h"
#include "mainwindow/restore_ip_dialog.h"
#include "mainwindow/status_text.h"
#include "mainwindow/test_dialog.h"
#include "platform/localisation.h"
#include "platform/message_service.h"
#include "platform/paths.h"
#include "platform/registry_store.h"
#include "simulator/sim.h"
#include "tests/support/messages.h"
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

// Whether a message box showed the text of language key `key`.
bool saw(const support::RecordingMessages& messages, const std::string& key) {
    const auto texts = messages.texts();
    return std::find(texts.begin(), texts.end(), localisation::lookup(key)) != texts.end();
}

bool g_private_network = false;

template <typename D>
D* open_dialog(QWidget* parent) {
    D* found = nullptr;
    pump_until([&] {
        found = parent->findChild<D*>();
        return found != nullptr && found->isVisible();
    });
    return found;
}

template <typename W, typename D>
W* in(D* dialog, int id) {
    return qobject_cast<W*>(dialog->control(id));
}

class SettingsWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!g_private_network) GTEST_SKIP() << "needs a private network namespace (root)";
        messages_.set_reply(platform::MessageReply::No);
        ::setenv("XDG_CONFIG_HOME", (program_ / "config").c_str(), 1);
        paths::set_program_folder(program_.path());
        startup::prepare(program_.path());
        write_settings("127.255.255.255");
    }
    void TearDown() override {
        window_.reset();
        simulator_.stop();
    }
    void write_settings(const char* discovery) {
        std::ofstream(program_ / "default.ini") << "[DefaultParam]\nDiscovery_Address=" << discovery << "\n";
    }

    void start_card(sim::CardConfig c) {
        card_ = c;
        start_cards({std::move(c)});
    }
    // The cards with the discovery socket, so the window's search finds them.
    void start_cards(std::vector<sim::CardConfig> cards) {
        sim::SimulatorConfig config;
        config.cards = std::move(cards);
        config.storage_root = program_ / "cards";
        ASSERT_TRUE(simulator_.start(std::move(config)));
    }
    static sim::CardConfig card(std::string address = "127.0.0.2") {
        sim::CardConfig c;
        c.id = "S730-413-00001";
        c.address = std::move(address);
        return c;
    }

    // The window with the card's report on screen.
    void open_window() {
        window_ = std::make_unique<MainWindow>();
        window_->start();
        window_->show();
        ASSERT_TRUE(pump_until(
            [&] { return text(MainWindow::kIpAddress) == QString::fromStdString(card_.address); }));
    }
    QLineEdit* edit(int id) const { return qobject_cast<QLineEdit*>(window_->control(id)); }
    QString text(int id) const { return edit(id) ? edit(id)->text() : QString(); }
    void click(int id) {
        QTest::mouseClick(qobject_cast<QAbstractButton*>(window_->control(id)), Qt::LeftButton);
    }

    // Ticks "其他不常用功能" and answers the password dialog with `password` (or cancels it).
    void give_password(const QString& password, bool cancel = false) {
        qobject_cast<QCheckBox*>(window_->control(MainWindow::kRareFunctions))->setChecked(true);
        auto* dialog = open_dialog<PasswordDialog>(window_.get());
        ASSERT_NE(dialog, nullptr);
        in<QLineEdit>(dialog, PasswordDialog::kPassword)->setText(password);
        QTest::mouseClick(in<QPushButton>(dialog, cancel ? PasswordDialog::kCancel : PasswordDialog::kOk),
                          Qt::LeftButton);
        ASSERT_TRUE(pump_until([&] { return window_->findChild<PasswordDialog*>() == nullptr; }));
    }

    support::RecordingMessages messages_;
    TempDir program_;
    sim::CardConfig card_;
    support::SimCards simulator_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(SettingsWindowTest, UnchangedFieldsAskTheCardToStoreItsValues) {
    start_card(card());
    open_window();
    const auto from = simulator_->journal_end();
    click(MainWindow::kSaveSettings);
    const auto sent = simulator_->wait_for_frame(card_.id, frame::CMD_SAVE_VALUE, 3s, from);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->data, std::vector<std::uint8_t>(4, 0));
    ASSERT_TRUE(pump_until([&] { return saw(messages_, "IDS_MESSAGE_SAVE_SUCCESS"); }));
    EXPECT_FALSE(simulator_->wait_for_frame(card_.id, frame::CMD_SAVE_SETTINGS, 0ms, from));
    EXPECT_TRUE(window_->workingSet().changed);
    EXPECT_EQ(window_->cardLink().cards().size(), 1u);  // nothing changed: the list stays
}

TEST_F(SettingsWindowTest, AChangedMaskSendsTheWholeBlockWithTheNewMask) {
    start_card(card());
    open_window();
    edit(MainWindow::kSubnetMask)->setText("255.255.0.0");
    const auto from = simulator_->journal_end();
    click(MainWindow::kSaveSettings);
    const auto sent = simulator_->wait_for_frame(card_.id, frame::CMD_SAVE_SETTINGS, 3s, from);
    ASSERT_TRUE(sent);
    ASSERT_EQ(sent->data.size(), 524u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sent->data.data() + 72)), "255.255.0.0");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(sent->data.data() + 40)), "127.0.0.2");
    ASSERT_TRUE(pump_until([&] { return saw(messages_, "IDS_MESSAGE_SAVE_SUCCESS"); }));
    EXPECT_EQ(simulator_->state(card_.id)->info.subnet_mask, "255.255.0.0");
    // The list is cleared, without a search of its own.
    EXPECT_TRUE(window_->cardLink().cards().empty());
    EXPECT_TRUE(text(MainWindow::kIpAddress).isEmpty());
}

TEST_F(SettingsWindowTest, ACardGivenANewAddressAndSizeIsFoundThereByTheNextSearch) {
    start_card(card());
    open_window();
    edit(MainWindow::kIpAddress)->setText("127.0.0.9");
    edit(MainWindow::kScreenWidth)->setText("256");
    edit(MainWindow::kScreenHeight)->setText("96");
    click(MainWindow::kSaveSettings);
    ASSERT_TRUE(pump_until(
        [&] { return window_->cardLink().cards().empty() && saw(messages_, "IDS_MESSAGE_SAVE_SUCCESS"); }));
    click(MainWindow::kManualSearch);
    ASSERT_TRUE(pump_until([&] { return text(MainWindow::kIpAddress) == "127.0.0.9"; }));
    EXPECT_EQ(window_->cardLink().selectedAddress(), "127.0.0.9");
    EXPECT_EQ(text(MainWindow::kScreenWidth), "256");
    EXPECT_EQ(text(MainWindow::kScreenHeight), "96");
}

TEST_F(SettingsWindowTest, AMalformedAddressIsNamedAndNothingIsSent) {
    start_card(card());
    open_window();
    for (const int field : {MainWindow::kIpAddress, MainWindow::kSubnetMask, MainWindow::kGateway}) {
        const QString before = text(field);
        edit(field)->setText("127.0.0");
        messages_.clear();
        const auto from = simulator_->journal_end();
        click(MainWindow::kSaveSettings);
        ASSERT_EQ(messages_.texts().size(), 1u) << field;
        EXPECT_NE(messages_.texts()[0].find("127.0.0"), std::string::npos) << messages_.texts()[0];
        EXPECT_FALSE(simulator_->wait_for(
            [&](const auto& journal) {
                return std::any_of(journal.begin(), journal.end(), [&](const sim::JournalEntry& e) {
                    return e.seq >= from && e.transport == sim::Transport::Tcp;
                });
            },
            300ms))
            << field;
        edit(field)->setText(before);
    }
}

TEST_F(SettingsWindowTest, ThePasswordShowsTheGuardedControlsAndUntickingHidesThem) {
    start_card(card());
    open_window();
    auto* box = qobject_cast<QCheckBox*>(window_->control(MainWindow::kRareFunctions));
    const int guarded[] = {MainWindow::kFactoryRestore, MainWindow::kRestoreIp, MainWindow::kHardwareParams};
    auto shown = [&] {
        return std::all_of(std::begin(guarded), std::end(guarded),
                           [&](int id) { return window_->control(id)->isVisible(); });
    };
    auto hidden = [&] {
        return std::none_of(std::begin(guarded), std::end(guarded),
                            [&](int id) { return window_->control(id)->isVisible(); });
    };
    EXPECT_TRUE(hidden());

    give_password("518");
    EXPECT_TRUE(saw(messages_, "IDS_MESSAGE_PASSWORD_ERROR"));
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(hidden());

    messages_.clear();
    give_password("517", /*cancel=*/true);
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(hidden());
    EXPECT_TRUE(messages_.texts().empty());

    give_password("517");
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(shown());
    box->setChecked(false);
    EXPECT_TRUE(hidden());
    EXPECT_EQ(window_->findChild<PasswordDialog*>(), nullptr);  // not asked again
}

TEST_F(SettingsWindowTest, TheGammaDialogOpensWithTheCardsValuesAndItsSendsSpeakInTheStatusLine) {
    start_card(card());
    open_window();
    give_password("517");
    click(MainWindow::kHardwareParams);
    auto* dialog = open_dialog<GammaDialog>(window_.get());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(in<QLineEdit>(dialog, GammaDialog::kRedValue)->text(), "1.0");

    // Each gamma command is named in the status line with how it ended, as every other command.
    auto* all = in<QSlider>(dialog, GammaDialog::kAll);
    ASSERT_TRUE(dialog->togetherMode());
    const std::string what = localisation::lookup("IDS_MESSAGE_COMMAND_GAMMA") + ": 2.2 / 2.2 / 2.2";
    const cardlink::CardTarget target{card_.id, card_.address};
    auto release_at = [&](int position) {
        all->setSliderDown(true);
        all->setValue(position);
        all->setSliderDown(false);
    };
    const auto from = simulator_->journal_end();
    release_at(22);
    EXPECT_EQ(window_->statusLine().toStdString(), status_text::waiting_line(what, target));
    ASSERT_TRUE(simulator_->wait_for_frame(card_.id, frame::CMD_SCREEN_CONTROL, 3s, from));
    const auto timeout = window_->exchanges().timeouts().receive;
    EXPECT_TRUE(pump_until([&] {
        return window_->statusLine().toStdString() ==
               status_text::result_line(what, target, cardlink::ExchangeError::None, timeout);
    }));
    // Nobody at the address any more: the line says the card could not be reached.
    simulator_.stop();
    release_at(18);
    const std::string lost = localisation::lookup("IDS_MESSAGE_COMMAND_GAMMA") + ": 1.8 / 1.8 / 1.8";
    EXPECT_TRUE(pump_until(
        [&] {
            return window_->statusLine().toStdString() ==
                   status_text::result_line(lost, target, cardlink::ExchangeError::NoConnection, timeout);
        },
        10s));
}

TEST_F(SettingsWindowTest, FactoryRestoreAsksAndSendsSubCodeFourWithoutWaiting) {
    start_card(card());
    open_window();
    give_password("517");
    const auto from = simulator_->journal_end();
    click(MainWindow::kFactoryRestore);  // answered No
    EXPECT_TRUE(saw(messages_, "IDS_MESSAGE_IS_RESTORE_CARD_DEFAULT"));
    EXPECT_FALSE(simulator_->wait_for_frame(card_.id, frame::CMD_SCREEN_CONTROL, 300ms, from));

    messages_.set_reply(platform::MessageReply::Yes);
    click(MainWindow::kFactoryRestore);
    const auto sent = simulator_->wait_for_frame(card_.id, frame::CMD_SCREEN_CONTROL, 3s, from);
    ASSERT_TRUE(sent);
    EXPECT_EQ(screen_control::decode(sent->data)[0], 4u);
    EXPECT_EQ(simulator_->state(card_.id)->factory_restores, 1u);
    // The report on screen was the card's old state: the card is asked for it again and it fills the
    // fields anew.
    ASSERT_TRUE(pump_until([&] { return text(MainWindow::kIpAddress).isEmpty(); }));
    ASSERT_TRUE(pump_until([&] {
        return simulator_->wait_for_frame(card_.id, frame::CMD_GET_CARD_INFO, 0ms, from).has_value();
    }));
    ASSERT_TRUE(pump_until([&] { return text(MainWindow::kIpAddress) == "127.0.0.2"; }));
}

TEST_F(SettingsWindowTest, TheRestoreCodeOpensTheAddressAndTheBroadcastCarriesBothCheckBytes) {
    sim::CardConfig c = card();
    c.follow_address_changes = false;  // 192.168.0.10 is no address of this namespace
    start_card(c);
    open_window();
    give_password("517");
    click(MainWindow::kRestoreIp);
    auto* dialog = open_dialog<RestoreIpDialog>(window_.get());
    ASSERT_NE(dialog, nullptr);
    auto* code = in<QLineEdit>(dialog, RestoreIpDialog::kCode);
    auto* address = in<QLineEdit>(dialog, RestoreIpDialog::kAddress);
    auto* restore = in<QPushButton>(dialog, RestoreIpDialog::kRestore);
    EXPECT_EQ(code->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(address->isEnabled());
    EXPECT_FALSE(restore->isEnabled());
    QTest::keyClicks(code, "47110815");
    EXPECT_TRUE(address->isEnabled());
    EXPECT_TRUE(restore->isEnabled());
    code->setMaxLength(9);  // the edit holds 8: lift that to show an extra character closes it again
    QTest::keyClicks(code, "5");
    EXPECT_FALSE(restore->isEnabled());
    code->setText("47110815");
    ASSERT_TRUE(restore->isEnabled());

    const auto from = simulator_->journal_end();
    for (const char* refused : {"192.168.0.1", "192.168.1.0", "192.168.0.255", "192.168.0"}) {
        messages_.clear();
        address->setText(refused);
        QTest::mouseClick(restore, Qt::LeftButton);
        EXPECT_EQ(messages_.texts().size(), 1u) << refused;
    }
    EXPECT_FALSE(simulator_->wait_for_frame({}, frame::CMD_RESTORE_IP, 300ms, from));

    address->setText("192.168.0.10");
    QTest::mouseClick(restore, Qt::LeftButton);
    ASSERT_TRUE(simulator_->wait_for(
        [&](const auto& journal) {
            return std::count_if(journal.begin(), journal.end(), [&](const sim::JournalEntry& e) {
                       return e.seq >= from && e.command == frame::CMD_RESTORE_IP;
                   }) >= 2;
        },
        3s));
    std::vector<sim::JournalEntry> frames;
    for (const auto& e : simulator_->journal())
        if (e.seq >= from && e.command == frame::CMD_RESTORE_IP) frames.push_back(e);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].check_form, frame::CheckForm::PlainSum);
    EXPECT_EQ(frames[1].check_form, frame::CheckForm::Complement);
    for (const auto& f : frames) {
        EXPECT_EQ(f.datagram_size, 437u);
        EXPECT_EQ(f.id, "Broadcast!");
        EXPECT_EQ(f.length, 408u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data.data())), "192.168.0.10");
    }
    EXPECT_EQ(simulator_->state(card_.id)->info.ip_address, "192.168.0.10");
    // Said in the dialog and the status line; a second restore needs the code again.
    EXPECT_TRUE(dialog->resultText().contains("192.168.0.10"));
    EXPECT_EQ(window_->statusLine(), dialog->resultText());
    EXPECT_TRUE(code->text().isEmpty());
    EXPECT_FALSE(restore->isEnabled());
}

TEST_F(SettingsWindowTest, WithSeveralCardsListedTheRestoreAsksNamingThemAndNoSendsNothing) {
    sim::CardConfig other = card("127.0.0.3");
    other.id = "S730-413-00002";
    start_cards({card(), other});
    card_ = card();
    open_window();
    ASSERT_TRUE(pump_until([&] { return window_->cardLink().cards().size() == 2; }));
    give_password("517");
    click(MainWindow::kRestoreIp);
    auto* dialog = open_dialog<RestoreIpDialog>(window_.get());
    ASSERT_NE(dialog, nullptr);
    in<QLineEdit>(dialog, RestoreIpDialog::kCode)->setText("47110815");
    in<QLineEdit>(dialog, RestoreIpDialog::kAddress)->setText("192.168.0.10");
    messages_.clear();
    messages_.set_reply(platform::MessageReply::No);
    const auto from = simulator_->journal_end();
    // Enter presses "恢复".
    QTest::keyClick(in<QLineEdit>(dialog, RestoreIpDialog::kAddress), Qt::Key_Return);
    const auto asked = messages_.all();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].buttons, platform::MessageButtons::YesNoDefaultNo);
    EXPECT_NE(asked[0].text.find("S730-413-00001"), std::string::npos);
    EXPECT_NE(asked[0].text.find("S730-413-00002"), std::string::npos);
    EXPECT_FALSE(simulator_->wait_for_frame({}, frame::CMD_RESTORE_IP, 300ms, from));
    EXPECT_TRUE(dialog->resultText().isEmpty());
}

TEST_F(SettingsWindowTest, TheTestDialogSendsGridGrayAndStopBlocks) {
    start_card(card());
    open_window();
    click(MainWindow::kTest);
    auto* dialog = open_dialog<TestDialog>(window_.get());
    ASSERT_NE(dialog, nullptr);
    auto send = [&](int button) {
        const auto from = simulator_->journal_end();
        QTest::mouseClick(in<QPushButton>(dialog, button), Qt::LeftButton);
        const auto sent = simulator_->wait_for_frame(card_.id, frame::CMD_SCREEN_CONTROL, 3s, from);
        EXPECT_TRUE(sent);
        const auto w = screen_control::decode(sent ? sent->data : std::vector<std::uint8_t>{});
        return std::vector<std::uint32_t>(w.begin(), w.begin() + 10);
    };
    EXPECT_EQ(send(TestDialog::kGridTest),
              (std::vector<std::uint32_t>{1, 2, 200, 15, 0, 0, 1, 0, 1, 0xFFFFFF}));
    in<QCheckBox>(dialog, TestDialog::kDiagonal)->setChecked(false);
    EXPECT_EQ(send(TestDialog::kGridTest),
              (std::vector<std::uint32_t>{1, 2, 200, 15, 1, 0, 0, 0, 1, 0xFFFFFF}));
    EXPECT_TRUE(in<QCheckBox>(dialog, TestDialog::kHorizontal)->isChecked());
    EXPECT_EQ(send(TestDialog::kGrayTest), (std::vector<std::uint32_t>{1, 3, 10, 1, 0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(send(TestDialog::kStop), (std::vector<std::uint32_t>{1, 241, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(messages_.texts().empty());
}

class UpgradeWindowTest : public SettingsWindowTest {
  protected:
    void SetUp() override {
        SettingsWindowTest::SetUp();
        if (IsSkipped()) return;
        make_package(package_.path());
    }
    static void make_package(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder / "Kernel");
        std::filesystem::create_directories(folder / "Application");
        std::ofstream(folder / "Kernel" / "k.bin", std::ios::binary) << std::string(4096, 'k');
        std::ofstream(folder / "Application" / "a.bin", std::ios::binary) << std::string(4097, 'a');
        std::ofstream(folder / "Application" / "version.txt") << "V9.200\n";
        std::ofstream(folder / "firmware.sys") << "picked";
    }
    static cardlink::UpgradeSettings quick() {
        cardlink::UpgradeSettings s;
        s.after_header = 1ms;
        s.after_file = 50ms;  // long enough to see the window work meanwhile
        s.before_close = 1ms;
        s.timeouts.send = 1000ms;
        s.answer = 500ms;
        return s;
    }
    void run_upgrade(const std::filesystem::path& picked,
                     const cardlink::UpgradeSettings& settings = quick()) {
        window_->setUpgradeSettings(settings);
        give_password("517");
        support::choose_file_when_asked(picked);
        click(MainWindow::kUpgrade);
    }
    void run_upgrade() { run_upgrade(package_ / "firmware.sys"); }
    std::size_t frames(std::uint8_t command) const {
        std::size_t n = 0;
        for (const auto& e : simulator_->journal())
            if (e.command == command && e.card == card_.id) ++n;
        return n;
    }
    // Whether `text` is the language text of `key` with its placeholders filled in somehow.
    static bool filled_from(const std::string& text, const std::string& key) {
        const std::string pattern = localisation::lookup(key);
        std::size_t at = 0;
        std::size_t from = 0;
        while (from <= pattern.size()) {
            const auto mark = pattern.find('%', from);
            const std::string piece =
                pattern.substr(from, mark == std::string::npos ? std::string::npos : mark - from);
            const auto found = text.find(piece, at);
            if (found == std::string::npos || (from == 0 && found != 0)) return false;
            at = found + piece.size();
            if (mark == std::string::npos) return at == text.size();
            from = mark + 2;
        }
        return true;
    }
    TempDir package_;
};

// Each way an upgrade can end, as the technician sees it (the one message, the status line repeating
// it) and as the card got it. "Finished" only for the whole package.
TEST_F(UpgradeWindowTest, EachOutcomeIsReportedAsWhatTheCardGot) {
    struct Frames {
        std::size_t start, headers, end;
        bool data;
    };
    const struct Case {
        const char* name;
        std::function<void(sim::CardConfig&)> fault;
        std::function<std::filesystem::path(const std::filesystem::path&)> folder;  // the file picked
        const char* key;
        Frames frames;
        bool stop_card_mid_file = false;
    } cases[] = {
        {"package-less folder",
         [](sim::CardConfig&) {},
         [](const std::filesystem::path& d) {
             std::ofstream(d / "random.sys") << std::string(3000, 'r');
             return d / "random.sys";
         },
         "IDS_MESSAGE_UPGRADE_NOTHING_TO_SEND",
         {0, 0, 0, false}},
        {"0-byte file",
         [](sim::CardConfig&) {},
         [](const std::filesystem::path& d) {
             std::ofstream(d / "empty.sys");
             return d / "empty.sys";
         },
         "IDS_MESSAGE_UPGRADE_NOTHING_TO_SEND",
         {0, 0, 0, false}},
        {"hang-up after the first frame",
         [](sim::CardConfig& c) { c.faults.close_after_data_frames = 1; },
         [](const std::filesystem::path& d) {
             make_package(d);
             return d / "firmware.sys";
         },
         "IDS_MESSAGE_UPGRADE_CONNECTION_LOST",
         {1, 1, 0, true}},
        {"card stopped mid-file",
         [](sim::CardConfig& c) { c.faults.stop_reading_after = 3000; },
         [](const std::filesystem::path& d) {
             make_package(d);
             return d / "firmware.sys";
         },
         "IDS_MESSAGE_UPGRADE_CONNECTION_LOST",
         {1, 1, 0, true},
         true},
        {"silent card",
         [](sim::CardConfig& c) {
             c.faults.silent = true;
             c.faults.only_command = frame::CMD_UPGRADE_START;
         },
         [](const std::filesystem::path& d) {
             make_package(d);
             return d / "firmware.sys";
         },
         "IDS_MESSAGE_UPGRADE_NO_ANSWER",
         {1, 0, 0, false}},
        {"good package",
         [](sim::CardConfig&) {},
         [](const std::filesystem::path& d) {
             make_package(d);
             return d / "firmware.sys";
         },
         "IDS_MESSAGE_UPGRADE_SUCCESS",
         {1, 3, 1, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::CardConfig config = card();
        c.fault(config);
        start_card(config);
        open_window();
        messages_.clear();
        TempDir folder;
        run_upgrade(c.folder(folder.path()));
        if (c.stop_card_mid_file) {
            // The card goes away while the first file is under way.
            ASSERT_TRUE(pump_until([&] { return frames(frame::CMD_FILE_DATA) > 0; }, 5s));
            simulator_->stop();
        }
        ASSERT_TRUE(pump_until([&] { return !window_->upgradeRunning() && !messages_.texts().empty(); }, 8s));
        const auto shown = messages_.texts();
        ASSERT_EQ(shown.size(), 1u) << shown.front();
        EXPECT_TRUE(filled_from(shown.front(), c.key)) << shown.front();
        EXPECT_EQ(window_->statusLine().toStdString(), shown.front());
        // Acknowledged is not yet read: the card's journal catches up with what it took.
        if (c.frames.end > 0) {
            EXPECT_TRUE(pump_until([&] { return frames(frame::CMD_UPGRADE_END) == c.frames.end; }, 2s));
        }
        EXPECT_EQ(frames(frame::CMD_UPGRADE_START), c.frames.start);
        EXPECT_EQ(frames(frame::CMD_FILE_HEADER), c.frames.headers);
        EXPECT_EQ(frames(frame::CMD_FILE_DATA) > 0, c.frames.data);
        EXPECT_EQ(frames(frame::CMD_UPGRADE_END), c.frames.end);
        auto* bar = qobject_cast<QProgressBar*>(window_->control(MainWindow::kUpgradeProgress));
        if (c.frames.end == 0 && c.frames.data) {
            EXPECT_LT(bar->value(), bar->maximum());  // left where it stopped
        }
        if (c.frames.end == 1) {
            EXPECT_EQ(bar->value(), bar->maximum());
        }
        window_.reset();
        simulator_.stop();
    }
}

TEST_F(UpgradeWindowTest, DuringTheUpgradeNothingElseAddressesACardAndTheCardComesBackSelected) {
    start_card(card());
    open_window();
    auto settings = quick();
    settings.after_file = 300ms;
    run_upgrade(package_ / "firmware.sys", settings);
    ASSERT_TRUE(window_->upgradeRunning());
    for (const int id :
         {MainWindow::kFactoryRestore, MainWindow::kRestoreIp, MainWindow::kHardwareParams,
          MainWindow::kManualSearch, MainWindow::kCardList, MainWindow::kStartWizard,
          MainWindow::kSaveSettings, MainWindow::kTest, MainWindow::kUpgrade, MainWindow::kLoadHcp})
        EXPECT_FALSE(window_->control(id)->isEnabled()) << id;
    ASSERT_TRUE(pump_until([&] { return saw(messages_, "IDS_MESSAGE_UPGRADE_SUCCESS"); }, 8s));
    EXPECT_TRUE(window_->control(MainWindow::kUpgrade)->isEnabled());
    ASSERT_TRUE(pump_until([&] { return text(MainWindow::kVersionField).contains("V9.200"); }, 8s));
    EXPECT_EQ(simulator_->state(card_.id)->upgrades_finished, 1u);
    EXPECT_TRUE(window_->control(MainWindow::kFactoryRestore)->isEnabled());
}

TEST_F(UpgradeWindowTest, AfterTheUpgradeTheListIsRebuiltWithTheSameCardSelected) {
    sim::CardConfig other = card("127.0.0.3");
    other.id = "S730-413-00002";
    start_cards({card(), other});
    card_ = other;
    window_ = std::make_unique<MainWindow>();
    window_->start();
    window_->show();
    auto* list = qobject_cast<QListWidget*>(window_->control(MainWindow::kCardList));
    ASSERT_TRUE(
        pump_until([&] { return list->count() == 2 && text(MainWindow::kIpAddress) == "127.0.0.2"; }));
    list->setCurrentRow(
        list->row(list->findItems(QString::fromStdString(other.id), Qt::MatchExactly).front()));
    ASSERT_TRUE(pump_until([&] { return text(MainWindow::kIpAddress) == "127.0.0.3"; }));
    run_upgrade();
    ASSERT_TRUE(pump_until([&] { return saw(messages_, "IDS_MESSAGE_UPGRADE_SUCCESS"); }, 8s));
    EXPECT_EQ(simulator_->state(other.id)->upgrades_finished, 1u);
    // Both cards answer the new search; the one upgraded stays the one commands go to.
    ASSERT_TRUE(
        pump_until([&] { return list->count() == 2 && text(MainWindow::kIpAddress) == "127.0.0.3"; }, 8s));
    EXPECT_EQ(window_->cardLink().selectedCardId(), other.id);
    EXPECT_EQ(list->currentItem()->text().toStdString(), other.id);
    EXPECT_TRUE(window_->statusTarget().contains(QString::fromStdString(other.id)));
}

TEST_F(UpgradeWindowTest, ClosingDuringTheUpgradeAsksAndNoLetsItFinish) {
    start_card(card());
    open_window();
    auto settings = quick();
    settings.after_file = 300ms;
    run_upgrade(package_ / "firmware.sys", settings);
    ASSERT_TRUE(window_->upgradeRunning());
    messages_.set_reply(platform::MessageReply::No);
    window_->close();
    const auto asked = messages_.all();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, localisation::lookup("IDS_MESSAGE_TRANSFER_RUNNING_CLOSE"));
    EXPECT_EQ(asked[0].buttons, platform::MessageButtons::YesNoDefaultNo);
    EXPECT_TRUE(window_->isVisible());
    ASSERT_TRUE(pump_until([&] { return saw(messages_, "IDS_MESSAGE_UPGRADE_SUCCESS"); }, 8s));
    EXPECT_EQ(frames(frame::CMD_UPGRADE_END), 1u);
    EXPECT_EQ(simulator_->state(card_.id)->upgrades_finished, 1u);
}

TEST_F(UpgradeWindowTest, ClosingDuringTheUpgradeWithYesStopsItAndSaysTheCardMayNeedItAgain) {
    start_card(card());
    open_window();
    auto settings = quick();
    settings.after_file = 5s;  // the card stores the first file while the window closes
    run_upgrade(package_ / "firmware.sys", settings);
    ASSERT_TRUE(pump_until([&] { return frames(frame::CMD_FILE_DATA) > 0; }, 5s));
    messages_.set_reply(platform::MessageReply::Yes);
    const auto began = std::chrono::steady_clock::now();
    window_->close();
    EXPECT_LT(std::chrono::steady_clock::now() - began, 3s);
    EXPECT_FALSE(window_->isVisible());
    EXPECT_FALSE(window_->upgradeRunning());
    const auto shown = messages_.texts();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(filled_from(shown[1], "IDS_MESSAGE_UPGRADE_STOPPED")) << shown[1];
    EXPECT_EQ(frames(frame::CMD_UPGRADE_END), 0u);
}

TEST_F(SettingsWindowTest, WithoutANetworkAdapterTheChoiceSaysSo) {
    start_card(card());
    open_window();
    click(MainWindow::kAdapterChoice);
    EXPECT_TRUE(saw(messages_, "IDS_MESSAGE_NO_CHECK_NET_CARD"));
    EXPECT_EQ(window_->findChild<AdapterDialog*>(), nullptr);
}

// Two adapters in the private namespace (veth pairs): the choice is stored, the endpoint binds
// to it, and the IP restore leaves on that adapter only (seen by packet taps on both).
class TwoAdapters : public SettingsWindowTest {
  protected:
    void SetUp() override {
        SettingsWindowTest::SetUp();
        if (IsSkipped()) return;
        for (const char* n : {"0", "1"}) {
            const std::string cmd = std::string("ip link add vt") + n + " type veth peer name vp" + n +
                                    " && ip addr add 10.6" + n + ".0.1/24 dev vt" + n + " && ip link set vt" +
                                    n + " up && ip link set vp" + n + " up";
            ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        }
        // Only inside this namespace may the limited broadcast be the discovery address.
        write_settings("255.255.255.255");
    }
    void TearDown() override {
        SettingsWindowTest::TearDown();
        std::system("ip link del vt0 2>/dev/null; ip link del vt1 2>/dev/null");
    }
};

// A tap on one interface that counts outgoing restore frames (UDP to port 31296, command 0x43).
class Tap {
  public:
    explicit Tap(const char* interface) {
        // ETH_P_ALL: a tap bound to one protocol hears incoming packets only.
        fd_ = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK, htons(ETH_P_ALL));
        sockaddr_ll where{};
        where.sll_family = AF_PACKET;
        where.sll_protocol = htons(ETH_P_ALL);
        where.sll_ifindex = static_cast<int>(if_nametoindex(interface));
        if (fd_ >= 0) ::bind(fd_, reinterpret_cast<sockaddr*>(&where), sizeof where);
    }
    ~Tap() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool open() const { return fd_ >= 0; }
    int restore_frames() {
        std::uint8_t buf[2048];
        for (;;) {
            const auto n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return count_;
            const auto* ip = reinterpret_cast<const iphdr*>(buf);
            const std::size_t ihl = ip->ihl * 4u;
            if (ip->version != 4 || ip->protocol != IPPROTO_UDP || static_cast<std::size_t>(n) < ihl + 8 + 5)
                continue;
            const auto* udp = reinterpret_cast<const udphdr*>(buf + ihl);
            if (ntohs(udp->dest) == frame::kDiscoveryPort && buf[ihl + 8 + 3] == frame::CMD_RESTORE_IP)
                ++count_;
        }
    }

  private:
    int fd_ = -1;
    int count_ = 0;
};

TEST_F(TwoAdapters, TheChosenAdapterIsStoredAndTheRestoreLeavesOnItOnly) {
    start_card(card());
    window_ = std::make_unique<MainWindow>();
    window_->start();
    window_->show();
    click(MainWindow::kAdapterChoice);
    auto* dialog = open_dialog<AdapterDialog>(window_.get());
    ASSERT_NE(dialog, nullptr);
    auto* list = in<QListWidget>(dialog, AdapterDialog::kList);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "vt0  10.60.0.1");
    EXPECT_EQ(list->item(1)->text(), "vt1  10.61.0.1");
    list->clearSelection();
    list->setCurrentRow(-1);
    QTest::mouseClick(in<QPushButton>(dialog, AdapterDialog::kOk), Qt::LeftButton);
    EXPECT_TRUE(saw(messages_, "IDS_MESSAGE_PLEASE_SELECT"));
    ASSERT_TRUE(dialog->isVisible());
    list->setCurrentRow(1);
    QTest::mouseClick(in<QPushButton>(dialog, AdapterDialog::kOk), Qt::LeftButton);
    ASSERT_TRUE(pump_until([&] { return window_->findChild<AdapterDialog*>() == nullptr; }));
    EXPECT_EQ(registry::read_value("quelmora", "net_card_index"), 1);
    EXPECT_EQ(window_->cardLink().socket().binding().interface, "vt1");

    Tap tap0("vt0"), tap1("vt1");
    ASSERT_TRUE(tap0.open() && tap1.open());
    give_password("517");
    click(MainWindow::kRestoreIp);
    auto* restore = open_dialog<RestoreIpDialog>(window_.get());
    ASSERT_NE(restore, nullptr);
    in<QLineEdit>(restore, RestoreIpDialog::kCode)->setText("47110815");
    in<QLineEdit>(restore, RestoreIpDialog::kAddress)->setText("10.61.0.10");
    QTest::mouseClick(in<QPushButton>(restore, RestoreIpDialog::kRestore), Qt::LeftButton);
    EXPECT_TRUE(pump_until([&] { return tap1.restore_frames() == 2; }, 2s));
    EXPECT_EQ(tap0.restore_frames(), 0);
}

}  // namespace

int main(int argc, char** argv) {
    return support::run_widget_tests_in_private_network(argc, argv, g_private_network);
}
