// The special-screen entry and dialogs on the offscreen platform: the checks in order with their
// messages and focus, the dialogs' controls, the previews in the per-user folder opened with xdg-open,
// and "发送设置" from the main window's button to "Config.sys" on ledcard-sim, byte for byte what
// vantor-cli writes for the same inputs.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <deque>
#include <fstream>

#include "common/frame.h"
#include "mainwindow/import_progress_dialog.h"
#include "mainwindow/main_window.h"
#include "mainwindow/status_text.h"
#include "platform/localisation.h"
#include "platform/message_service.h"
#include "platform/paths.h"
#include "screenconfig/record_files.h"
#include "specialscreens/direction_dialog.h"
#include "specialscreens/long_strip_dialog.h"
#include "specialscreens/special_screens.h"
#include "specialscreens/type_dialog.h"
#include "specialscreens/vertical_dialog.h"
#include "tests/support/netns.h"
#include "tests/support/qt/pump.h"
#include "tests/support/sim_cards.h"
#include "tests/support/temp_dir.h"
#include "widgets/localise_dialog.h"

using namespace specialscreens;
using namespace std::chrono_literals;
using platform::MessageReply;

namespace {

std::string text(const char* key) {
    return localisation::lookup(key);
}

// Records every message and answers the questions in the order given (once the list is used up: Yes,
// or No where No is the question's default).
class ScriptedMessages final : public platform::MessageService {
  public:
    ScriptedMessages() { previous_ = platform::install_message_service(this); }
    ~ScriptedMessages() override { platform::install_message_service(previous_); }
    MessageReply show(const std::string& t, const std::string& caption, platform::MessageIcon,
                      platform::MessageButtons buttons) override {
        texts.push_back(t);
        captions.push_back(caption);
        this->buttons.push_back(buttons);
        using platform::MessageButtons;
        if (buttons != MessageButtons::YesNo && buttons != MessageButtons::YesNoDefaultNo)
            return MessageReply::Ok;
        if (replies.empty()) return buttons == MessageButtons::YesNo ? MessageReply::Yes : MessageReply::No;
        const MessageReply r = replies.front();
        replies.pop_front();
        return r;
    }
    std::vector<std::string> texts;
    std::vector<std::string> captions;
    std::vector<platform::MessageButtons> buttons;
    std::deque<MessageReply> replies;

  private:
    platform::MessageService* previous_ = nullptr;
};

template <typename W = QWidget>
W* control(QWidget* dialog, int id) {
    for (W* w : dialog->findChildren<W*>())
        if (w->property(kControlIdProperty).toInt() == id) return w;
    return nullptr;
}

void type_into(QWidget* dialog, int id, const QString& value) {
    auto* edit = control<QLineEdit>(dialog, id);
    ASSERT_NE(edit, nullptr) << id;
    edit->clear();
    QTest::keyClicks(edit, value);
}

void click(QWidget* dialog, int id) {
    auto* button = control<QAbstractButton>(dialog, id);
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

std::vector<std::uint8_t> cli_image(const std::string& arguments, const std::filesystem::path& file) {
    const std::string command =
        std::string(VANTOR_CLI) + " layout " + arguments + " -o " + file.string() + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    return support::read_bytes(file);
}

// Each test: the English texts, the per-user folder and the program folder in a fresh folder, and an
// xdg-open that only notes what it was asked to open.
class SpecialScreensTest : public ::testing::Test {
  protected:
    void SetUp() override {
        localisation::set_current_file(std::filesystem::path(TEST_SOURCE_DIR) / "lang" / "English_zavo.ini");
        ::setenv("XDG_DATA_HOME", dir_.text("data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", dir_.text("config").c_str(), 1);
        paths::set_program_folder(dir_.path());
        const auto opener =
            dir_.write("bin/xdg-open", "#!/bin/sh\necho \"$1\" >> \"$(dirname \"$0\")/opened\"\n");
        std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
        path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        ::setenv("PATH", (dir_.text("bin") + ":" + path_).c_str(), 1);
    }
    void TearDown() override { ::setenv("PATH", path_.c_str(), 1); }

    DialogContext context(std::uint32_t width, std::uint32_t height) {
        DialogContext c;
        c.width = width;
        c.height = height;
        c.temp_sys = dir_ / "temp.sys";
        c.start_transfer = [this](const std::filesystem::path& p, TransferEnded ended) {
            started_.push_back(p);
            ended_ = std::move(ended);
            return true;
        };
        return c;
    }
    // What the fake xdg-open was given, once it has run: its file exists a moment before its line is
    // written.
    std::string opened() {
        std::string line;
        support::pump_until(
            [&] {
                line = dir_.read("bin/opened");
                return !line.empty() && line.back() == '\n';
            },
            5s);
        return line;
    }

    support::TempDir dir_;
    ScriptedMessages messages_;
    std::vector<std::filesystem::path> started_;
    TransferEnded ended_;  // the last started transfer's
    std::string path_;
};

}  // namespace

TEST_F(SpecialScreensTest, EntryChecksInOrder) {
    struct Case {
        const char* name;
        bool cards;
        std::optional<ScreenSize> last;
        std::deque<MessageReply> replies;
        EntryStep step;
        std::vector<std::string> texts;
    };
    const ScreenSize size{64, 32};
    const std::string prepared = text("IDD149_2001");
    const std::string question =
        text("IDS_MESSAGE_DUDO_SPECIAL_TIP3") + "64X32," + text("IDS_MESSAGE_DUDO_SPECIAL_TIP4");
    const std::vector<Case> cases = {
        {"no card", false, size, {}, EntryStep::NoCard, {text("IDS_MESSAGE_HAVE_NO_LINKED_CARD")}},
        {"size changed",
         true,
         ScreenSize{64, 16},
         {},
         EntryStep::SizeChanged,
         {text("IDS_MESSAGE_DUDO_SPECIAL_TIP7")}},
        // Nothing was made for another size yet: no change to speak of.
        {"first use",
         true,
         std::nullopt,
         {MessageReply::Yes, MessageReply::Yes},
         EntryStep::ChooseType,
         {prepared, question}},
        {"wiring not set",
         true,
         size,
         {MessageReply::No},
         EntryStep::NotPrepared,
         {prepared, text("IDS_MESSAGE_DUDO_SPECIAL_TIP1")}},
        {"size wrong",
         true,
         size,
         {MessageReply::Yes, MessageReply::No},
         EntryStep::SizeRejected,
         {prepared, question, text("IDS_MESSAGE_DUDO_SPECIAL_TIP2")}},
        {"go on",
         true,
         size,
         {MessageReply::Yes, MessageReply::Yes},
         EntryStep::ChooseType,
         {prepared, question}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages_.texts.clear();
        messages_.captions.clear();
        messages_.replies = c.replies;
        std::optional<ScreenSize> last = c.last;
        EXPECT_EQ(check_entry(c.cards, size, last), c.step);
        EXPECT_EQ(messages_.texts, c.texts);
        if (c.cards) {
            EXPECT_EQ(last, size) << "the size is stored at once";
        }
    }
    EXPECT_EQ(messages_.captions[0], text("IDD149_Title"));
    EXPECT_EQ(messages_.captions[1], text("IDD155_Title"));
    EXPECT_NE(question.find("Screen size (width X height):64X32,\nIs this size correct?"), std::string::npos);
}

TEST_F(SpecialScreensTest, MainWindowShowsTheButtonOnlyOnceInstalled) {
    MainWindow window;
    QWidget* button = window.control(MainWindow::kSpecialScreens);
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isVisibleTo(&window));
    new SpecialScreens(window);
    EXPECT_TRUE(button->isVisibleTo(&window));
    EXPECT_EQ(qobject_cast<QPushButton*>(button)->text(), QStringLiteral("Special Screens..."));
    QTest::mouseClick(qobject_cast<QPushButton*>(button), Qt::LeftButton);
    EXPECT_EQ(messages_.texts, std::vector<std::string>{text("IDS_MESSAGE_HAVE_NO_LINKED_CARD")});
}

TEST_F(SpecialScreensTest, TypeDialogOffersTheThreeKinds) {
    TypeDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Special Screen Type"));
    EXPECT_EQ(dialog.choice(), ScreenType::LongStrip);
    control<QRadioButton>(&dialog, TypeDialog::kOther)->setChecked(true);
    EXPECT_EQ(dialog.choice(), ScreenType::Other);
    QTimer::singleShot(0, &dialog, [&] { click(&dialog, TypeDialog::kNext); });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
}

TEST_F(SpecialScreensTest, LongStripChecksFocusAndSend) {
    LongStripDialog dialog(context(1920, 32));
    dialog.show();
    struct Case {
        const char* mw;
        const char* mh;
        const char* ports;
        std::string message;
        int focus;  // control id, 0: none
    };
    const std::vector<Case> cases = {
        {"", "16", "2", text("IDS_MESSAGE_SPECIAL_TIP1"), ModuleFields::kModuleWidth},
        {"6", "16", "2", text("IDS_MESSAGE_STEP1_3"), ModuleFields::kModuleWidth},
        {"32", "0", "2", text("IDS_MESSAGE_SPECIAL_TIP2"), ModuleFields::kModuleHeight},
        {"32", "10", "2", text("IDS_MESSAGE_STEP1_1"), ModuleFields::kModuleHeight},
        {"32", "16", "", text("IDS_MESSAGE_SPECIAL_TIP3"), 0},
        {"32", "16", "1", text("IDS_MESSAGE_SPECIAL_TIP3"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        type_into(&dialog, ModuleFields::kModuleWidth, QString::fromUtf8(c.mw));
        type_into(&dialog, ModuleFields::kModuleHeight, QString::fromUtf8(c.mh));
        type_into(&dialog, ModuleFields::kCount, QString::fromUtf8(c.ports));
        control<QLineEdit>(&dialog, ModuleFields::kCount)->setFocus();
        for (int button : {LongStripDialog::kSend, LongStripDialog::kPreview}) {
            messages_.texts.clear();
            click(&dialog, button);
            EXPECT_EQ(messages_.texts, std::vector<std::string>{c.message});
            if (c.focus != 0) {
                EXPECT_EQ(dialog.focusWidget(), control(&dialog, c.focus));
            }
        }
    }
    EXPECT_TRUE(started_.empty());
    EXPECT_FALSE(std::filesystem::exists(dir_ / "temp.sys"));

    // Beyond the table: refused with the figures, nothing written.
    messages_.texts.clear();
    LongStripDialog tall(context(1920, 176));
    type_into(&tall, ModuleFields::kModuleWidth, "32");
    type_into(&tall, ModuleFields::kModuleHeight, "16");
    type_into(&tall, ModuleFields::kCount, "3");
    click(&tall, LongStripDialog::kSend);
    ASSERT_EQ(messages_.texts.size(), 1u);
    EXPECT_EQ(messages_.texts[0].rfind(text("IDS_MESSAGE_SPECIAL_OUTSIDE_TABLE"), 0), 0u);
    EXPECT_NE(messages_.texts[0].find("528"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "temp.sys"));

    // The worked example: "temp.sys" is what vantor-cli writes, and the transfer is started with it.
    messages_.texts.clear();
    type_into(&dialog, ModuleFields::kCount, "2");
    click(&dialog, LongStripDialog::kSend);
    EXPECT_TRUE(messages_.texts.empty());
    ASSERT_EQ(started_, std::vector<std::filesystem::path>{dir_ / "temp.sys"});
    EXPECT_TRUE(support::read_bytes(dir_ / "temp.sys") ==
                cli_image("strip --width 1920 --height 32 --module-width 32 --module-height 16 --ports 2",
                          dir_ / "cli.sys"));
    EXPECT_TRUE(dialog.isVisible()) << "sending does not close the dialog";

    // The preview: "bbb.jpg" in the per-user folder, opened with xdg-open.
    click(&dialog, LongStripDialog::kPreview);
    const auto jpg = dir_ / "data/vantor/bbb.jpg";
    EXPECT_EQ(opened(), jpg.string() + "\n");
    const auto bytes = support::read_bytes(jpg);
    ASSERT_GT(bytes.size(), 1000u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
}

TEST_F(SpecialScreensTest, VerticalMethodsF3EscAndPreviews) {
    VerticalDialog dialog(context(64, 128));
    dialog.show();
    auto* m1 = control<QCheckBox>(&dialog, VerticalDialog::kMethod1);
    auto* m2 = control<QCheckBox>(&dialog, VerticalDialog::kMethod2);
    auto* m3 = control<QCheckBox>(&dialog, VerticalDialog::kMethod3);
    EXPECT_TRUE(m1->isChecked());
    EXPECT_FALSE(m3->isVisibleTo(&dialog));
    QTest::keyClick(&dialog, Qt::Key_F3);
    EXPECT_TRUE(m3->isVisibleTo(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible()) << "Esc does not close the dialog";
    m2->click();
    EXPECT_TRUE(m2->isChecked());
    EXPECT_FALSE(m1->isChecked());
    EXPECT_FALSE(m3->isChecked());

    type_into(&dialog, ModuleFields::kModuleWidth, "16");
    type_into(&dialog, ModuleFields::kModuleHeight, "16");
    type_into(&dialog, ModuleFields::kCount, "4");
    m3->click();
    click(&dialog, VerticalDialog::kPreview);
    m3->click();  // no method now
    EXPECT_FALSE(m1->isChecked() || m2->isChecked() || m3->isChecked());
    click(&dialog, VerticalDialog::kPreview);
    EXPECT_EQ(messages_.texts,
              (std::vector<std::string>{"不支持方法：箱体间级联，请选择其他方法", "请选择绕线方法"}));

    // R x W = 1,025 on a send: refused, focus on R.
    messages_.texts.clear();
    VerticalDialog wide(context(205, 64));
    wide.show();
    type_into(&wide, ModuleFields::kModuleWidth, "16");
    type_into(&wide, ModuleFields::kModuleHeight, "16");
    type_into(&wide, ModuleFields::kCount, "5");
    click(&wide, VerticalDialog::kSend);
    EXPECT_EQ(messages_.texts, std::vector<std::string>{"RetraceTimes too large"});
    EXPECT_EQ(wide.focusWidget(), control(&wide, ModuleFields::kCount));
    EXPECT_TRUE(started_.empty());

    // Method 2: the image equals vantor-cli's; the preview is "bbb.gif".
    messages_.texts.clear();
    m2->click();
    control<QCheckBox>(&dialog, VerticalDialog::kBottomToTop)->click();
    click(&dialog, VerticalDialog::kSend);
    EXPECT_TRUE(messages_.texts.empty());
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_TRUE(
        support::read_bytes(dir_ / "temp.sys") ==
        cli_image("vertical --width 64 --height 128 --module-width 16 --module-height 16 --rows 4 --method 2 "
                  "--bottom-to-top",
                  dir_ / "cli.sys"));
    click(&dialog, VerticalDialog::kPreview);
    const auto gif = dir_ / "data/vantor/bbb.gif";
    EXPECT_EQ(opened(), gif.string() + "\n");
    const auto bytes = support::read_bytes(gif);
    ASSERT_GT(bytes.size(), 100u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "GIF8");
}

TEST_F(SpecialScreensTest, DirectionListAndSend) {
    DirectionDialog dialog(context(64, 32));
    auto* combo = control<QComboBox>(&dialog, DirectionDialog::kDirection);
    ASSERT_EQ(combo->count(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(combo->itemText(i).toStdString(),
                  text(screenconfig::direction_key(static_cast<screenconfig::Direction>(i))));
    combo->setCurrentIndex(4);
    click(&dialog, DirectionDialog::kSend);
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_TRUE(support::read_bytes(dir_ / "temp.sys") ==
                cli_image("direction --width 64 --height 32 --direction 4", dir_ / "cli.sys"));

    // A quarter turn of a screen wider than 512 is refused.
    DirectionDialog wide(context(600, 32));
    control<QComboBox>(&wide, DirectionDialog::kDirection)->setCurrentIndex(2);
    click(&wide, DirectionDialog::kSend);
    ASSERT_EQ(messages_.texts.size(), 1u);
    EXPECT_EQ(messages_.texts[0].rfind(text("IDS_MESSAGE_SPECIAL_OUTSIDE_TABLE"), 0), 0u);
    EXPECT_EQ(started_.size(), 1u);
}

// From the main window's button to the card: the entry's checks, the type dialog, the long strip's
// "发送设置" (by Enter), the transfer with its progress window while the dialog stays live, a close
// during the send (asked; No keeps the dialog, Yes lets the send go on without it), and "Config.sys" on
// the card.
TEST_F(SpecialScreensTest, SendSettingsReachesTheCardAsConfigSys) {
    REQUIRE_PRIVATE_NETNS();
    std::ofstream(dir_ / "default.ini") << "[DefaultParam]\nDiscovery_Address=127.255.255.255\n";
    support::SimCards cards;
    auto config = support::SimCards::config(1, "127.0.0.71");
    config.cards[0].id = "A901-200-00001";
    config.cards[0].screen_width = 1920;
    config.cards[0].screen_height = 32;
    // About a second for the 2 MB image: the send is still under way while the dialog is tried.
    config.cards[0].faults.read_rate = 2'000'000;
    config.storage_root = dir_ / "cards";
    config.discovery_socket = true;  // the window finds the card by its search
    ASSERT_TRUE(cards.start(config));

    MainWindow window;
    screenconfig::TransferSettings quick;
    quick.apply_wait = 0ms;
    quick.close_wait = 0ms;
    window.setImageTransferSettings(quick);
    auto* special = new SpecialScreens(window);
    window.show();
    window.start();
    ASSERT_TRUE(
        support::pump_until([&] { return window.cardsListed() && window.screenWidth() == 1920; }, 10s));

    const std::string close_question = text("IDS_MESSAGE_SPECIAL_SEND_RUNNING_CLOSE");
    auto asked_to_close = [&] {
        return std::count(messages_.texts.begin(), messages_.texts.end(), close_question);
    };
    bool close_with_yes = false;  // the second round closes the dialog during its send
    bool sent = false;
    special->setDialogHook([&](QDialog* dialog) {
        QTimer::singleShot(0, dialog, [&, dialog] {
            if (auto* type = qobject_cast<TypeDialog*>(dialog)) {
                control<QRadioButton>(type, TypeDialog::kLongStrip)->setChecked(true);
                click(type, TypeDialog::kNext);
                return;
            }
            auto* strip = qobject_cast<LongStripDialog*>(dialog);
            ASSERT_NE(strip, nullptr);
            type_into(strip, ModuleFields::kModuleWidth, "32");
            type_into(strip, ModuleFields::kModuleHeight, "16");
            type_into(strip, ModuleFields::kCount, "2");
            auto* send = control<QPushButton>(strip, LongStripDialog::kSend);
            EXPECT_TRUE(send->isDefault());
            QTest::keyClick(control<QLineEdit>(strip, ModuleFields::kCount), Qt::Key_Return);
            sent = strip->sending();
            ASSERT_TRUE(sent) << "Enter presses 发送设置";
            EXPECT_FALSE(send->isEnabled()) << "no second send while one runs";
            // The dialog's event loop goes on: the progress window counts what the card takes.
            EXPECT_TRUE(support::pump_until([&] { return window.importProgress()->count() > 0; }, 10s));
            EXPECT_TRUE(window.imageTransferRunning());
            if (close_with_yes) messages_.replies = {MessageReply::Yes};
            click(strip, LongStripDialog::kClose);
            EXPECT_EQ(asked_to_close(), 1);
            EXPECT_EQ(messages_.buttons.back(), platform::MessageButtons::YesNoDefaultNo);
            if (close_with_yes) return;  // closed; the send goes on
            EXPECT_TRUE(strip->isVisible()) << "No keeps the dialog";
            EXPECT_TRUE(support::pump_until([&] { return !strip->sending(); }, 20s));
            EXPECT_TRUE(send->isEnabled());
            EXPECT_FALSE(window.imageTransferRunning());
            strip->reject();  // nothing on its way: no question
            EXPECT_EQ(asked_to_close(), 1);
        });
    });
    auto* button = qobject_cast<QPushButton*>(window.control(MainWindow::kSpecialScreens));
    // The first use: no size was used before, so none has changed; the questions come at once.
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(sent);
    EXPECT_EQ(
        std::count(messages_.texts.begin(), messages_.texts.end(), text("IDS_MESSAGE_DUDO_SPECIAL_TIP7")), 0);
    EXPECT_EQ(messages_.texts.front(), text("IDD149_2001"));
    ASSERT_TRUE(support::pump_until([&] { return !window.imageTransferRunning(); }, 20s));
    ASSERT_TRUE(support::pump_until(
        [&] { return !messages_.texts.empty() && messages_.texts.back() == text("IDS_MESSAGE_SET_SUCCESS"); },
        5s));

    const auto temp_sys = screenconfig::temp_sys_path();
    EXPECT_EQ(temp_sys, dir_ / "temp.sys");
    const auto cli = cli_image(
        "strip --width 1920 --height 32 --module-width 32 --module-height 16 --ports 2", dir_ / "cli.sys");
    EXPECT_TRUE(support::read_bytes(temp_sys) == cli);
    auto stored = cards->stored_files(cards.id());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].card_path, "Config.sys");
    EXPECT_TRUE(support::read_bytes(stored[0].local_path) == cli);
    EXPECT_EQ(window.importProgress()->count(), 1025);

    // Closed with Yes during the send: the dialog goes, the image still reaches the card, and the status
    // line says so.
    const std::size_t data_frames = cards.frames(frame::CMD_FILE_DATA).size();
    const auto from = cards->journal_end();
    messages_.texts.clear();
    sent = false;
    close_with_yes = true;
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(sent);
    EXPECT_EQ(window.findChild<LongStripDialog*>(), nullptr);
    ASSERT_TRUE(support::pump_until([&] { return !window.imageTransferRunning(); }, 20s));
    const cardlink::CardTarget target{cards.id(), cards.ip()};
    EXPECT_EQ(window.statusLine().toStdString(),
              status_text::result_line(text("IDS_MESSAGE_COMMAND_SPECIAL_IMAGE"), target,
                                       cardlink::ExchangeError::None, window.exchanges().timeouts().receive));
    EXPECT_EQ(cards.frames(frame::CMD_FILE_DATA, from).size(), data_frames);
    stored = cards->stored_files(cards.id());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(support::read_bytes(stored[0].local_path) == cli);

    // A size other than the last use's: said once, and the next press goes on.
    messages_.texts.clear();
    sent = false;
    close_with_yes = false;
    qobject_cast<QLineEdit*>(window.control(MainWindow::kScreenWidth))->setText("960");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(messages_.texts, std::vector<std::string>{text("IDS_MESSAGE_DUDO_SPECIAL_TIP7")});
    EXPECT_FALSE(sent);

    // One transfer at a time: a second send while one runs is refused with a message.
    messages_.texts.clear();
    ASSERT_TRUE(window.startImageTransfer(temp_sys));
    EXPECT_FALSE(window.startImageTransfer(temp_sys));
    EXPECT_EQ(messages_.texts, std::vector<std::string>{text("IDS_MESSAGE_IMAGE_TRANSFER_RUNNING")});
    EXPECT_TRUE(support::pump_until([&] { return !window.imageTransferRunning(); }, 20s));
}

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
