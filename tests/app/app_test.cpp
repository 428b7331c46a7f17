// Start-up, single instance and dialog localisation, on the offscreen Qt platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <unistd.h>

#include "widgets/localise_dialog.h"
#include "app/single_instance.h"
#include "app/startup.h"
#include "mainwindow/main_window.h"
#include "platform/ini.h"
#include "platform/message_service.h"
#include "platform/paths.h"
#include "tests/support/messages.h"
#include "tests/support/temp_dir.h"

using support::TempDir;

namespace {

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        messages_.set_reply(platform::MessageReply::Ok);
        ::setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
    }
    void TearDown() override { localisation::set_current_file({}); }
    support::RecordingMessages messages_;
    TempDir runtime_;
    TempDir program_;
};

TEST_F(AppTest, LocaliseDialogSetsNumberedTextsAndKeepsTemplatesForEmptyOrMissingKeys) {
    auto file = program_.write("l.ini",
                               "[String]\nIDD150_Title=Importing\nIDD150_1110=Current item\nIDD150_1111=\n"
                               "IDD150_1200=Group\nIDD151_1300=Nested\n");
    localisation::set_current_file(file);
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* group = numbered(new QGroupBox(QStringLiteral("template group")), 1200);
    auto* inner = new QVBoxLayout(group);
    auto* label = numbered(new QLabel(QStringLiteral("template label")), 1110);
    inner->addWidget(label);  // nested in a layout inside a group box
    auto* empty = numbered(new QPushButton(QStringLiteral("template button")), 1111);
    auto* unnamed = numbered(new QPushButton(QStringLiteral("no key")), 1112);
    layout->addWidget(group);
    layout->addWidget(empty);
    layout->addWidget(unnamed);
    localise_dialog(&dialog, 150);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Importing"));
    EXPECT_EQ(label->text(), QStringLiteral("Current item"));
    EXPECT_EQ(group->title(), QStringLiteral("Group"));
    EXPECT_EQ(empty->text(), QStringLiteral("template button"));
    EXPECT_EQ(unnamed->text(), QStringLiteral("no key"));
    EXPECT_EQ(dialog.property(kDialogIdProperty).toInt(), 150);
}

TEST_F(AppTest, StartUpWritesTheEmbeddedSettingsAndLanguageFiles) {
    startup::prepare(program_.path());
    EXPECT_EQ(ini::get_string(program_ / "setting.ini", "Setting", "ZAVO_Language", ""), "Chinese_zavo_s");
    for (const char* name : {"Multi_eng_zavo.ini", "Multi_ch_zavo_s.ini", "Multi_ch_zavo_t.ini"})
        EXPECT_TRUE(std::filesystem::exists(program_ / "Language" / name)) << name;
    EXPECT_EQ(localisation::current_file(), program_ / "Language/Multi_ch_zavo_s.ini");
    EXPECT_FALSE(startup::extract_resource(99, program_ / "nothing"));
    EXPECT_FALSE(std::filesystem::exists(program_ / "nothing"));
}

TEST_F(AppTest, ChangingTheLanguageInTheSettingsChangesTheMainWindowTexts) {
    paths::set_program_folder(program_.path());
    startup::prepare(program_.path());
    std::string chinese = localisation::lookup("IDD102_Title");
    ASSERT_NE(chinese, "Not found");
    QString chinese_title;
    {
        MainWindow window;
        chinese_title = window.windowTitle();
    }
    EXPECT_TRUE(chinese_title.startsWith(QString::fromStdString(chinese) + QStringLiteral("--version[")));
    EXPECT_TRUE(chinese_title.endsWith(QStringLiteral("]")));

    ini::write_string(program_ / "setting.ini", "Setting", "ZAVO_Language", "English_zavo");
    startup::prepare(program_.path());
    std::string english = localisation::lookup("IDD102_Title");
    EXPECT_NE(english, chinese);
    MainWindow window;
    EXPECT_TRUE(
        window.windowTitle().startsWith(QString::fromStdString(english) + QStringLiteral("--version[")));
    // Every numbered control of the window shows the English text of its key.
    for (QWidget* w : window.findChildren<QWidget*>()) {
        QVariant id = w->property(kControlIdProperty);
        if (!id.isValid()) continue;
        std::string text = localisation::lookup_or_empty(localisation::control_key(102, id.toInt()));
        if (text.empty()) continue;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_EQ(b->text().toStdString(), text) << id.toInt();
        }
    }
}

// Qt's own texts (standard buttons, file dialogs) and the help page follow the chosen language.
TEST_F(AppTest, QtTextsAndTheHelpPageFollowTheChosenLanguage) {
    paths::set_program_folder(program_.path());
    program_.write("DudoHelp.html", "en");
    program_.write("DudoHelp_zh_CN.html", "zh_CN");
    program_.write("DudoHelp_zh_TW.html", "zh_TW");
    struct Case {
        const char* language;
        const char* cancel;
        const char* help;
    } cases[] = {
        {"Chinese_zavo_s", "取消", "DudoHelp_zh_CN.html"},
        {"Chinese_zavo_t", "取消", "DudoHelp_zh_TW.html"},
        {"English_zavo", "Cancel", "DudoHelp.html"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        startup::prepare(program_.path());
        ini::write_string(program_ / "setting.ini", "Setting", "ZAVO_Language", c.language);
        startup::prepare(program_.path());
        EXPECT_TRUE(startup::install_qt_translation());  // the distribution's qtbase_<locale>.qm
        QDialogButtonBox buttons(QDialogButtonBox::Cancel);
        EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')).toStdString(),
                  c.cancel);
        EXPECT_EQ(MainWindow::helpDocument(), program_ / c.help);
    }
}

TEST_F(AppTest, ASecondStartRaisesTheRunningWindowAndLeavesQuietly) {
    const QString name = QStringLiteral("Vantor-test-%1").arg(::getpid());
    SingleInstance first;
    ASSERT_TRUE(first.check(name));
    QSignalSpy raised(&first, &SingleInstance::raiseRequested);

    SingleInstance second;
    EXPECT_FALSE(second.check(name));
    EXPECT_TRUE(raised.wait(3000));
    EXPECT_TRUE(messages_.all().empty());

    QDialog window;
    window.showMinimized();
    QCoreApplication::processEvents();
    bring_to_front(&window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
}

TEST_F(AppTest, TheMainApplicationRunningRefusesStartUp) {
    platform::InstanceLock pavix("pavix_net");
    ASSERT_EQ(pavix.state(), platform::InstanceLock::State::Acquired);
    SingleInstance instance;
    EXPECT_FALSE(instance.check(QStringLiteral("Vantor-pavix-%1").arg(::getpid())));
    ASSERT_EQ(messages_.all().size(), 1u);
    EXPECT_EQ(messages_.all()[0].caption, "");
    EXPECT_EQ(messages_.all()[0].text, "请先关闭Pavix应用程序");
}

TEST_F(AppTest, VantorDoesNotHoldTheMainApplicationLock) {
    SingleInstance instance;
    ASSERT_TRUE(instance.check(QStringLiteral("Vantor-free-%1").arg(::getpid())));
    EXPECT_EQ(platform::InstanceLock::probe("pavix_net"), platform::InstanceLock::State::Acquired);
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
