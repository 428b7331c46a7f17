// The main window against simulated cards, on the offscreen Qt platform.
//
// The test process moves into a network namespace of its own before anything runs, so the cards'
// ports and the discovery broadcasts (to the loopback broadcast 127.255.255.255) stay inside it.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "app/localise_dialog.h"
#include "app/startup.h"
#include "common/localisation.h"
#include "mainwindow/main_window.h"
#include "mainwindow/message_window.h"
#include "platform/message_service.h"
#include "platform/paths.h"
#include "simulator/sim.h"
#include "tests/platform/temp_dir.h"

namespace {

bool g_private_network = false;

class RecordingMessages final : public platform::MessageService {
  public:
    platform::MessageReply show(const std::string& text, const std::string&, platform::MessageIcon,
                                platform::MessageButtons) override {
        shown.push_back(text);
        return platform::MessageReply::No;
    }
    std::vector<std::string> shown;
};

bool pump_until(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

QStringList list_texts(QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!g_private_network) GTEST_SKIP() << "needs a private network namespace (root)";
        previous_ = platform::install_message_service(&messages_);
        installed_ = true;
        ::setenv("XDG_CONFIG_HOME", (program_ / "config").c_str(), 1);
        paths::set_program_folder(program_.path());
        startup::prepare(program_.path());
        std::ofstream(program_ / "default.ini") << "[DefaultParam]\nDiscovery_Address=127.255.255.255\n";
    }
    void TearDown() override {
        window_.reset();
        simulator_.reset();
        if (installed_) platform::install_message_service(previous_);
    }

    void start_cards(std::vector<sim::CardConfig> cards, bool duplicates = false) {
        sim::SimulatorConfig config;
        config.cards = std::move(cards);
        config.allow_duplicate_addresses = duplicates;
        config.storage_root = program_ / "cards";
        auto started = sim::Simulator::start(std::move(config));
        ASSERT_TRUE(started) << started.error;
        simulator_ = std::move(started.simulator);
    }

    void open_window() {
        window_ = std::make_unique<MainWindow>();
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

    RecordingMessages messages_;
    platform::MessageService* previous_ = nullptr;
    bool installed_ = false;
    TempDir program_;
    std::unique_ptr<sim::Simulator> simulator_;
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
    EXPECT_TRUE(window_->control(MainWindow::kSendToCard)->isEnabled());
    EXPECT_FALSE(window_->control(MainWindow::kSaveHcp)->isVisible());
    EXPECT_FALSE(window_->control(MainWindow::kAddressField)->isEnabled());
    EXPECT_EQ(list_->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(list_->font().pixelSize(), 24);
    EXPECT_TRUE(messages_.shown.empty());
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
    const QString text = warning->text();
    // Further searches while it is open add nothing and open no second window.
    QTest::mouseClick(qobject_cast<QPushButton*>(window_->control(MainWindow::kManualSearch)),
                      Qt::LeftButton);
    ASSERT_TRUE(pump_until([&] { return list_->count() == 2; }));
    QTest::qWait(300);
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
    ASSERT_FALSE(messages_.shown.empty());
    EXPECT_EQ(messages_.shown.back(), localisation::lookup("IDS_MESSAGE_IS_SAVE_PARAM"));
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread exists, so every later thread inherits the namespace.
    if (std::getenv("VANTOR_NO_NETNS") == nullptr && ::geteuid() == 0 && ::unshare(CLONE_NEWNET) == 0)
        g_private_network = std::system("ip link set lo up") == 0;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
