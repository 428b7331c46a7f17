// The import progress window (dialog 150), the ".hcp" file dialogs and the image transfer runner, on
// the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "mainwindow/import_progress_dialog.h"
#include "recording_card.h"
#include "sim_card.h"
#include "mainwindow/hcp_dialogs.h"
#include "screenconfig/image_transfer_runner.h"
#include "screenconfig/record_files.h"
#include "test_files.h"
#include "tests/support/qt/pump.h"

using namespace screenconfig;
namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

namespace {

fs::path test_dir() {
    const fs::path d = testing_support::fresh_test_dir("screenconfig_gui");
    testing_support::use_key_language(d / "lang");
    return d;
}

QLabel* field(QWidget* dialog, int id) {
    for (auto* label : dialog->findChildren<QLabel*>())
        if (label->property("controlId").toInt() == id) return label;
    return nullptr;
}

// Runs `act` on the next modal file dialog once it is up.
void when_file_dialog_opens(std::function<void(QFileDialog*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start(10);
}

}  // namespace

TEST(ImportProgress, CountsStepsAndStopsTheBarAtItsEnd) {
    test_dir();
    ImportProgressDialog dialog;
    EXPECT_EQ(dialog.property("dialogId").toInt(), 150);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("正在导入文件"));
    dialog.start(1024);
    ASSERT_NE(field(&dialog, 1111), nullptr);
    ASSERT_NE(field(&dialog, 1112), nullptr);
    ASSERT_NE(field(&dialog, 1110), nullptr);
    EXPECT_EQ(field(&dialog, 1111)->text(), QStringLiteral("IDS_MESSAGE_IMPORT_FILE_NUMBER1024"));
    EXPECT_EQ(field(&dialog, 1112)->text(), QStringLiteral("IDS_MESSAGE_IMPORT_FILE_CUR_COUNT0"));
    auto* bar = dialog.findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 1024);

    dialog.step(QStringLiteral("Config.sys"));
    EXPECT_EQ(bar->value(), 1);
    EXPECT_EQ(field(&dialog, 1110)->text(), QStringLiteral("Config.sys"));
    EXPECT_EQ(field(&dialog, 1112)->text(), QStringLiteral("IDS_MESSAGE_IMPORT_FILE_CUR_COUNT1"));
    for (int i = 1; i < 1025; ++i) dialog.step(QStringLiteral("Config.sys"));
    EXPECT_EQ(bar->value(), 1024);  // one step more than announced: the bar stays full
    EXPECT_EQ(dialog.count(), 1025);
    EXPECT_EQ(field(&dialog, 1112)->text(), QStringLiteral("IDS_MESSAGE_IMPORT_FILE_CUR_COUNT1025"));

    dialog.start(3);  // a new run starts from zero
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(field(&dialog, 1112)->text(), QStringLiteral("IDS_MESSAGE_IMPORT_FILE_CUR_COUNT0"));
}

TEST(HcpDialogs, OpenDialogChoosesAnHcpFile) {
    const fs::path dir = test_dir();
    std::ofstream(dir / "screen.hcp") << "x";
    QStringList filters;
    when_file_dialog_opens([&](QFileDialog* d) {
        filters = d->nameFilters();
        d->setDirectory(QString::fromStdString(dir.string()));
        d->selectFile(QStringLiteral("screen.hcp"));
        static_cast<QDialog*>(d)->accept();
    });
    const auto chosen = open_hcp_chooser(nullptr)();
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(fs::canonical(*chosen), fs::canonical(dir / "screen.hcp"));
    EXPECT_EQ(filters, QStringList{QStringLiteral("HCF FILE(*.hcp)")});

    when_file_dialog_opens([](QFileDialog* d) { d->reject(); });
    EXPECT_FALSE(open_hcp_chooser(nullptr)().has_value());
}

TEST(HcpDialogs, SaveDialogAddsTheSuffixAndShowsTheTitle) {
    const fs::path dir = test_dir();
    QString title;
    when_file_dialog_opens([&](QFileDialog* d) {
        title = d->windowTitle();
        d->setDirectory(QString::fromStdString(dir.string()));
        d->selectFile(QStringLiteral("newscreen"));
        static_cast<QDialog*>(d)->accept();
    });
    const auto chosen = save_hcp_chooser(nullptr)(kSaveTitle);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->filename(), "newscreen.hcp");
    EXPECT_EQ(title, QStringLiteral("保存屏体参数"));
}

namespace {

// Shows each message with a short event loop of its own, as a modal box would, and notes whether a
// second message arrived while one was up.
class NestingMessages final : public platform::MessageService {
  public:
    NestingMessages() { previous_ = platform::install_message_service(this); }
    ~NestingMessages() override { platform::install_message_service(previous_); }
    platform::MessageReply show(const std::string& text, const std::string&, platform::MessageIcon,
                                platform::MessageButtons) override {
        if (open_) nested = true;
        texts.push_back(text);
        open_ = true;
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
        open_ = false;
        return platform::MessageReply::Ok;
    }
    Texts texts;
    bool nested = false;

  private:
    bool open_ = false;
    platform::MessageService* previous_ = nullptr;
};

TransferSettings quick() {
    TransferSettings s;
    s.apply_wait = std::chrono::milliseconds(0);
    s.close_wait = std::chrono::milliseconds(0);
    s.timeouts.send = std::chrono::milliseconds(2000);
    return s;
}

}  // namespace

TEST(TransferRunner, RunsOnAWorkerWithProgressAndMessagesInOrder) {
    const fs::path dir = test_dir();
    ScreenConfig image;
    build_blank(image);
    finish(image);
    ASSERT_EQ(write_temp_sys(image, temp_sys_path(dir)), WriteStatus::Ok);

    sim::Faults closing;
    closing.close_after_data_frames = 300;
    testing_support::SimCard card(dir, "A901-200-00001", closing);
    ASSERT_TRUE(card.running()) << card.error();
    NestingMessages messages;
    ImportProgressDialog progress;
    ImageTransferRunner runner(
        progress, [] { return true; }, quick());
    QSignalSpy done(&runner, &ImageTransferRunner::finished);

    int most_steps_seen = -1;
    int announced = -1;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (progress.isVisible()) {
            most_steps_seen = std::max(most_steps_seen, progress.count());
            announced = progress.steps();
        }
    });
    probe.start(1);

    const cardlink::CardTarget target = card.target();
    ASSERT_TRUE(runner.start(target, temp_sys_path(dir)));
    EXPECT_FALSE(runner.start(target, temp_sys_path(dir))) << "one transfer at a time";
    ASSERT_TRUE(done.wait(20000));
    ASSERT_TRUE(support::pump_until([&] { return messages.texts.size() >= 2; }));  // the queued messages
    EXPECT_EQ(done.takeFirst().at(0).value<TransferOutcome>(), TransferOutcome::SendFailed);
    EXPECT_EQ(messages.texts, (Texts{"_SendFileThread Send error!", "error 001"}));
    EXPECT_FALSE(messages.nested) << "messages are shown one after another";
    EXPECT_EQ(announced, 1024);
    EXPECT_GE(most_steps_seen, 0);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_FALSE(runner.running());

    // The runner takes the next transfer once the last has ended.
    card.sim().set_faults(target.card_id, sim::Faults{});
    messages.texts.clear();
    ASSERT_TRUE(runner.start(target, temp_sys_path(dir)));
    ASSERT_TRUE(done.wait(20000));
    ASSERT_TRUE(support::pump_until([&] { return !messages.texts.empty(); }));
    EXPECT_EQ(done.takeFirst().at(0).value<TransferOutcome>(), TransferOutcome::Applied);
    EXPECT_EQ(messages.texts, Texts{"IDS_MESSAGE_SET_SUCCESS"});
}

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
