// The commissioning report from the main window, against simulated cards on the offscreen platform:
// "生成调试报告" asks for the site, the technician and the file, reads the card on the exchange service
// and writes the report with this session's sends and the special-screen layout the card took; a
// silent card gives no report and the message says so.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <fstream>

#include "app/startup.h"
#include "mainwindow/main_window.h"
#include "mainwindow/report_dialog.h"
#include "mainwindow/status_text.h"
#include "platform/localisation.h"
#include "platform/paths.h"
#include "simulator/sim.h"
#include "specialscreens/long_strip_dialog.h"
#include "specialscreens/module_fields.h"
#include "specialscreens/special_screens.h"
#include "specialscreens/type_dialog.h"
#include "screenconfig/record_files.h"
#include "tests/support/messages.h"
#include "tests/support/qt/file_dialog.h"
#include "tests/support/qt/pump.h"
#include "tests/support/qt/widget_tests_main.h"
#include "tests/support/temp_dir.h"
#include "widgets/localise_dialog.h"

using namespace std::chrono_literals;
using support::pump_until;

namespace {

bool g_private_network = false;
constexpr const char* kCard = "S730-413-00001";

template <typename W = QWidget>
W* control(QWidget* parent, int id) {
    for (W* w : parent->findChildren<W*>())
        if (w->property(kControlIdProperty).toInt() == id) return w;
    return nullptr;
}

void click(QWidget* parent, int id) {
    QTest::mouseClick(control<QAbstractButton>(parent, id), Qt::LeftButton);
}

// Answers the report dialog, once it is open, with these texts and file.
void answer_report_dialog(const QString& site, const QString& technician, const QString& pdf) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        auto* dialog = qobject_cast<ReportDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        dialog->siteEdit()->setText(site);
        dialog->technicianEdit()->setText(technician);
        dialog->fileEdit()->setText(pdf);
        dialog->accept();
        poll->deleteLater();
    });
    poll->start(10);
}

class ReportWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!g_private_network) GTEST_SKIP() << "needs a private network namespace (root)";
        messages_.set_reply(platform::MessageReply::Yes);
        ::setenv("XDG_CONFIG_HOME", (program_ / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (program_ / "data").c_str(), 1);
        paths::set_program_folder(program_.path());
        startup::prepare(program_.path());
        std::ofstream(program_ / "default.ini") << "[DefaultParam]\nDiscovery_Address=127.255.255.255\n";

        sim::SimulatorConfig config;
        sim::CardConfig card;
        card.id = kCard;
        card.address = "127.0.0.2";
        card.screen_width = 1920;
        card.screen_height = 32;
        card.answer_apply = true;
        config.cards.push_back(card);
        config.storage_root = program_ / "cards";
        auto started = sim::Simulator::start(config);
        ASSERT_TRUE(started) << started.error;
        simulator_ = std::move(started.simulator);

        window_ = std::make_unique<MainWindow>();
        screenconfig::TransferSettings quick;
        quick.apply_wait = 0ms;
        quick.close_wait = 0ms;
        window_->setImageTransferSettings(quick);
        special_ = new specialscreens::SpecialScreens(*window_);
        window_->start();
        window_->show();
        ASSERT_TRUE(
            pump_until([&] { return window_->cardsListed() && window_->screenWidth() == 1920; }, 10s));
    }
    void TearDown() override {
        window_.reset();
        simulator_.reset();
    }

    bool shown(const std::string& text) const {
        const auto texts = messages_.texts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }

    // A long strip through the special-screen dialogs, sent to the card.
    void send_long_strip() {
        special_->setDialogHook([](QDialog* dialog) {
            QTimer::singleShot(0, dialog, [dialog] {
                if (auto* type = qobject_cast<specialscreens::TypeDialog*>(dialog)) {
                    control<QRadioButton>(type, specialscreens::TypeDialog::kLongStrip)->setChecked(true);
                    click(type, specialscreens::TypeDialog::kNext);
                } else if (auto* strip = qobject_cast<specialscreens::LongStripDialog*>(dialog)) {
                    using specialscreens::ModuleFields;
                    control<QLineEdit>(strip, ModuleFields::kModuleWidth)->setText(QStringLiteral("32"));
                    control<QLineEdit>(strip, ModuleFields::kModuleHeight)->setText(QStringLiteral("16"));
                    control<QLineEdit>(strip, ModuleFields::kCount)->setText(QStringLiteral("2"));
                    click(strip, specialscreens::LongStripDialog::kSend);
                    strip->reject();
                }
            });
        });
        auto* button = control<QPushButton>(window_.get(), MainWindow::kSpecialScreens);
        QTest::mouseClick(button, Qt::LeftButton);  // the size is new: said first
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_TRUE(pump_until([&] { return !window_->imageTransferRunning(); }, 20s));
    }

    support::RecordingMessages messages_;
    support::TempDir program_;
    std::unique_ptr<sim::Simulator> simulator_;
    std::unique_ptr<MainWindow> window_;
    specialscreens::SpecialScreens* special_ = nullptr;
};

}  // namespace

TEST_F(ReportWindowTest, ReportHoldsTheCardTheSendsAndTheLayoutTheCardTook) {
    // A display command, then a special screen: both in the session's record.
    control<QSlider>(window_.get(), MainWindow::kBrightness)->setValue(5);
    ASSERT_TRUE(pump_until([&] { return !window_->exchanges().busy(); }));
    ASSERT_NO_FATAL_FAILURE(send_long_strip());
    ASSERT_EQ(window_->sendLog().records().size(), 2u);

    const auto pdf = program_ / "out" / "hall.pdf";
    std::filesystem::create_directories(pdf.parent_path());
    answer_report_dialog(QStringLiteral("Hall <3>"), QStringLiteral("Li Wei"),
                         QString::fromStdString(pdf.string()));
    click(window_.get(), MainWindow::kReport);
    const std::string written = status_text::fill(localisation::lookup("IDS_MESSAGE_REPORT_WRITTEN"),
                                                  {pdf.string(), (program_ / "out" / "hall.html").string()});
    ASSERT_TRUE(pump_until([&] { return shown(written); }, 10s)) << testing::PrintToString(messages_.texts());

    EXPECT_EQ(support::read_text(pdf).substr(0, 5), "%PDF-");
    const std::string page = support::read_text(program_ / "out" / "hall.html");
    const std::string done = localisation::lookup("IDS_MESSAGE_REPORT_OUTCOME_DONE");
    for (const std::string& expected :
         {std::string(kCard), std::string("127.0.0.2"), std::string("Hall &lt;3&gt;"), std::string("Li Wei"),
          localisation::lookup("IDS_MESSAGE_COMMAND_BRIGHTNESS") + ": 5",
          localisation::lookup("IDS_MESSAGE_COMMAND_SPECIAL_IMAGE"), "<td>" + done + "</td>",
          std::string("1920 x 32"), localisation::lookup("IDS_MESSAGE_REPORT_SECTION_LAYOUT"),
          std::string("data:image/png;base64,")})
        EXPECT_NE(page.find(expected), std::string::npos) << expected;
    // The card's own copy of the module's settings: no record was loaded or made in this session.
    EXPECT_NE(page.find(localisation::lookup("IDS_MESSAGE_REPORT_MODULE_FROM_CARD")), std::string::npos);
    EXPECT_EQ(page.find(localisation::lookup("IDS_MESSAGE_REPORT_SECTION_GRID")), std::string::npos);
}

TEST_F(ReportWindowTest, ALoadedRecordAndTheTracedGridOfThisSession) {
    screenconfig::ScreenParams record;
    record.set(screenconfig::ParamsField::magic, screenconfig::kLedMarker);
    record.set(screenconfig::ParamsField::colourOrder, 4);  // BRG
    record.set(screenconfig::ParamsField::scanCode, 2);     // 1/4 scan
    record.set(screenconfig::ParamsField::endMarker, screenconfig::kEndMarker);
    ASSERT_EQ(screenconfig::save_hcp(program_ / "stage.hcp", record), screenconfig::WriteStatus::Ok);
    support::choose_file_when_asked(program_ / "stage.hcp", window_.get());
    click(window_.get(), MainWindow::kLoadHcp);
    ASSERT_TRUE(pump_until([&] { return window_->workingSet().hcp_path == program_ / "stage.hcp"; }));
    // The wizard's traced grid, saved during this session.
    QImage grid(64, 32, QImage::Format_RGB32);
    grid.fill(Qt::white);
    ASSERT_TRUE(grid.save(QString::fromStdString((paths::user_data_folder() / "ncp.jpg").string()), "JPEG"));

    const auto pdf = program_ / "stage.pdf";
    answer_report_dialog(QStringLiteral("Stage"), QStringLiteral("Li"), QString::fromStdString(pdf.string()));
    click(window_.get(), MainWindow::kReport);
    ASSERT_TRUE(pump_until(
        [&] { return std::filesystem::exists(program_ / "stage.html") && std::filesystem::exists(pdf); },
        10s));
    const std::string page = support::read_text(program_ / "stage.html");
    EXPECT_NE(page.find(status_text::fill(localisation::lookup("IDS_MESSAGE_REPORT_MODULE_FROM_FILE"),
                                          {"stage.hcp"})),
              std::string::npos);
    EXPECT_NE(page.find("<td>BRG</td>"), std::string::npos);
    EXPECT_NE(page.find(status_text::fill(localisation::lookup("IDS_MESSAGE_REPORT_SCAN_VALUE"), {"4"})),
              std::string::npos);
    EXPECT_NE(page.find(localisation::lookup("IDS_MESSAGE_REPORT_SECTION_GRID")), std::string::npos);
    EXPECT_NE(page.find("data:image/jpeg;base64,"), std::string::npos);
    // Nothing was sent to the card in this session, and the report says so.
    EXPECT_NE(page.find(localisation::lookup("IDS_MESSAGE_REPORT_SENDS_NONE")), std::string::npos);
}

TEST_F(ReportWindowTest, ASilentCardGivesNoReport) {
    window_->exchanges().setTimeouts({1000ms, 1000ms, 300ms});
    simulator_->set_faults(kCard, {.silent = true});
    const auto pdf = program_ / "silent.pdf";
    answer_report_dialog(QStringLiteral("Hall"), QStringLiteral("Li"), QString::fromStdString(pdf.string()));
    click(window_.get(), MainWindow::kReport);
    ASSERT_TRUE(pump_until([&] { return shown(localisation::lookup("IDS_MESSAGE_REPORT_NO_INFO")); }, 10s));
    EXPECT_FALSE(std::filesystem::exists(pdf));
    EXPECT_FALSE(std::filesystem::exists(program_ / "silent.html"));
    EXPECT_EQ(window_->statusLine().toStdString(),
              status_text::result_line(localisation::lookup("IDS_MESSAGE_COMMAND_READ_INFO"),
                                       {kCard, "127.0.0.2"}, cardlink::ExchangeError::NoAnswer, 300ms));
}

int main(int argc, char** argv) {
    return support::run_widget_tests_in_private_network(argc, argv, g_private_network);
}
