// Takes the pictures of the main window's dialogs in docs/: run by scripts/screenshots.sh under Xvfb,
// inside a private network namespace, with simulated cards on loopback addresses and the loopback
// discovery address. It drives the real window and dialogs as a user would (ticks, clicks, typing) and
// saves each window as the screen shows it.
//   screenshot_tour <language (Chinese_zavo_s, English_zavo)> <output folder> <suffix (zh, en)>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QListWidget>
#include <QProgressBar>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "app/startup.h"
#include "mainwindow/adapter_dialog.h"
#include "mainwindow/main_window.h"
#include "mainwindow/password_dialog.h"
#include "mainwindow/restore_ip_dialog.h"
#include "mainwindow/test_dialog.h"
#include "platform/message_service.h"
#include "platform/paths.h"
#include "simulator/sim.h"
#include "specialscreens/direction_dialog.h"
#include "specialscreens/long_strip_dialog.h"
#include "specialscreens/module_fields.h"
#include "specialscreens/type_dialog.h"
#include "specialscreens/vertical_dialog.h"
#include "tests/support/qt/pump.h"

namespace {

using support::pump_until;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class PrintedMessages final : public platform::MessageService {
  public:
    platform::MessageReply show(const std::string& text, const std::string&, platform::MessageIcon,
                                platform::MessageButtons) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        last = text;
        return platform::MessageReply::No;
    }
    std::string last;
};

void settle() {
    pump_until([] { return false; }, 500ms);
}

bool save(QWidget* w, const fs::path& file) {
    settle();
    const bool ok = w->grab().save(QString::fromStdString(file.string()));
    std::fprintf(stderr, "%s %s\n", ok ? "saved" : "could not save", file.c_str());
    return ok;
}

template <typename D>
D* wait_dialog(QWidget* parent) {
    D* d = nullptr;
    pump_until([&] { return (d = parent->findChild<D*>()) != nullptr && d->isVisible(); });
    return d;
}

void click(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) b->click();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: screenshot_tour <language> <output folder> <suffix>\n");
        return 2;
    }
    const std::string language = argv[1];
    const fs::path out = fs::absolute(argv[2]);
    const std::string suffix = argv[3];
    QApplication app(argc, argv);
    PrintedMessages messages;
    platform::install_message_service(&messages);

    const fs::path program = fs::temp_directory_path() / ("vantor-tour-" + std::to_string(::getpid()));
    fs::create_directories(program);
    std::ofstream(program / "default.ini") << "[DefaultParam]\r\nDiscovery_Address=127.255.255.255\r\n";
    std::ofstream(program / "setting.ini") << "[Setting]\r\nZAVO_Language=" << language << "\r\n";
    ::setenv("XDG_CONFIG_HOME", (program / "config").c_str(), 1);
    paths::set_program_folder(program);
    // The first start writes the language files and, having found none, takes the default language;
    // the second finds the one asked for.
    startup::prepare(program);
    std::ofstream(program / "setting.ini") << "[Setting]\r\nZAVO_Language=" << language << "\r\n";
    startup::prepare(program);
    startup::install_qt_translation();

    sim::SimulatorConfig config;
    config.cards = sim::make_cards(2, "127.0.0.2");
    config.cards[0].screen_width = 256;
    config.cards[0].screen_height = 128;
    config.cards[0].faults.read_rate = 60000;  // a card that takes its firmware slowly: the bar moves
    config.storage_root = program / "cards";
    auto started = sim::Simulator::start(config);
    if (!started) {
        std::fprintf(stderr, "ledcard-sim: %s\n", started.error.c_str());
        return 1;
    }

    int failures = 0;
    {
        MainWindow window;
        window.start();
        window.show();
        auto* ip = qobject_cast<QLineEdit*>(window.control(MainWindow::kIpAddress));
        if (!pump_until([&] { return !ip->text().isEmpty(); })) ++failures;

        // Dialog 156: the password of the rarely used functions.
        qobject_cast<QCheckBox*>(window.control(MainWindow::kRareFunctions))->setChecked(true);
        auto* password = wait_dialog<PasswordDialog>(&window);
        if (password == nullptr) return 1;
        qobject_cast<QLineEdit*>(password->control(PasswordDialog::kPassword))
            ->setText(QStringLiteral("517"));
        failures += !save(password, out / ("dialog-156-" + suffix + ".png"));
        click(password->control(PasswordDialog::kOk));
        pump_until([&] { return window.findChild<PasswordDialog*>() == nullptr; });

        // The firmware package the upgrades below pick in the file dialog.
        const fs::path package = program / "firmware";
        fs::create_directories(package / "Kernel");
        fs::create_directories(package / "Application");
        std::ofstream(package / "Kernel" / "kernel.bin", std::ios::binary) << std::string(400000, 'k');
        std::ofstream(package / "Application" / "app.bin", std::ios::binary) << std::string(200000, 'a');
        std::ofstream(package / "Application" / "version.txt") << "V9.200\n";
        std::ofstream(package / "firmware.sys") << "package";
        QTimer picker;
        QObject::connect(&picker, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible()) {
                    d->selectFile(QString::fromStdString((package / "firmware.sys").string()));
                    static_cast<QDialog*>(d)->accept();
                    picker.stop();
                }
        });

        // What a failed upgrade says (the card hangs up after the first data frame), in the message box
        // as the program shows it, and the status line after a change the card refused, at the window's
        // default size.
        const std::string card_id = config.cards[0].id;
        sim::Faults hang_up;
        hang_up.close_after_data_frames = 1;
        started.simulator->set_faults(card_id, hang_up);
        messages.last.clear();
        picker.start(50);
        click(window.control(MainWindow::kUpgrade));
        if (pump_until([&] { return !window.upgradeRunning() && !messages.last.empty(); }, 30s)) {
            QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                            QString::fromStdString(messages.last), QMessageBox::Ok);
            box.setTextFormat(Qt::PlainText);
            box.show();
            failures += !save(&box, out / ("upgrade-failed-" + suffix + ".png"));
        } else {
            ++failures;
        }
        sim::Faults refuse;
        refuse.answer_error = true;
        started.simulator->set_faults(card_id, refuse);
        const QString before = window.statusLine();
        click(window.control(MainWindow::kOeNegative));
        if (pump_until([&] { return !window.exchanges().busy() && window.statusLine() != before; }, 10s))
            failures += !save(&window, out / ("status-refused-" + suffix + ".png"));
        else
            ++failures;
        started.simulator->set_faults(card_id, config.cards[0].faults);

        // Dialog 151: the IP restore, with the code given and an address typed.
        click(window.control(MainWindow::kRestoreIp));
        auto* restore = wait_dialog<RestoreIpDialog>(&window);
        if (restore == nullptr) return 1;
        qobject_cast<QLineEdit*>(restore->control(RestoreIpDialog::kCode))
            ->setText(QStringLiteral("47110815"));
        qobject_cast<QLineEdit*>(restore->control(RestoreIpDialog::kAddress))
            ->setText(QStringLiteral("192.168.0.162"));
        failures += !save(restore, out / ("dialog-151-" + suffix + ".png"));
        restore->close();
        pump_until([&] { return window.findChild<RestoreIpDialog*>() == nullptr; });

        // Dialog 157: the test patterns.
        click(window.control(MainWindow::kTest));
        auto* test = wait_dialog<TestDialog>(&window);
        if (test == nullptr) return 1;
        failures += !save(test, out / ("dialog-157-" + suffix + ".png"));
        test->close();
        pump_until([&] { return window.findChild<TestDialog*>() == nullptr; });

        // Dialog 172 lists the adapters; this namespace has none, so it is shown with two examples.
        {
            AdapterDialog adapters({{"192.168.0.5", "eth0", false}, {"10.10.0.2", "wlan0", false}}, 0,
                                   &window);
            adapters.show();
            failures += !save(&adapters, out / ("dialog-172-" + suffix + ".png"));
        }

        // The special screens: the type choice (146) and the three layout dialogs (147, 148, 152), filled in.
        {
            specialscreens::TypeDialog type(&window);
            type.show();
            failures += !save(&type, out / ("dialog-146-" + suffix + ".png"));
            specialscreens::DialogContext context;
            context.width = 1920;
            context.height = 32;
            auto fill = [](QWidget* dialog, const char* mw, const char* mh, const char* count) {
                for (auto* edit : dialog->findChildren<QLineEdit*>()) {
                    const int id = edit->property("controlId").toInt();
                    if (id == specialscreens::ModuleFields::kModuleWidth)
                        edit->setText(QString::fromUtf8(mw));
                    if (id == specialscreens::ModuleFields::kModuleHeight)
                        edit->setText(QString::fromUtf8(mh));
                    if (id == specialscreens::ModuleFields::kCount) edit->setText(QString::fromUtf8(count));
                }
            };
            specialscreens::LongStripDialog strip(context, &window);
            fill(&strip, "32", "16", "2");
            strip.show();
            failures += !save(&strip, out / ("dialog-147-" + suffix + ".png"));
            context.width = 64;
            context.height = 128;
            specialscreens::VerticalDialog vertical(context, &window);
            fill(&vertical, "16", "16", "4");
            vertical.show();
            failures += !save(&vertical, out / ("dialog-148-" + suffix + ".png"));
            specialscreens::DirectionDialog direction(context, &window);
            direction.show();
            failures += !save(&direction, out / ("dialog-152-" + suffix + ".png"));
        }

        // An upgrade in progress: the package is picked in the file dialog, the bar moves.
        picker.start(50);
        click(window.control(MainWindow::kUpgrade));
        auto* bar = qobject_cast<QProgressBar*>(window.control(MainWindow::kUpgradeProgress));
        if (pump_until([&] { return bar->maximum() > 1 && bar->value() > bar->maximum() / 3; }, 30s))
            failures += !save(&window, out / ("upgrade-" + suffix + ".png"));
        else
            ++failures;
        pump_until([&] { return !window.upgradeRunning(); }, 60s);
    }
    started.simulator.reset();
    std::error_code ec;
    fs::remove_all(program, ec);
    platform::install_message_service(nullptr);
    return failures == 0 ? 0 : 1;
}
