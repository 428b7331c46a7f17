// vantor-cli: the command-line program for installers and scripts (commands.h).
#include <QGuiApplication>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/message_service.h"

namespace {

// Messages the shared core would show in a message box are not for a script's output: they are
// replaced by the command's own result and exit code.
class QuietMessages final : public platform::MessageService {
  public:
    platform::MessageReply show(const std::string&, const std::string&, platform::MessageIcon,
                                platform::MessageButtons buttons) override {
        return buttons == platform::MessageButtons::YesNo ||
                       buttons == platform::MessageButtons::YesNoDefaultNo
                   ? platform::MessageReply::No
                   : platform::MessageReply::Ok;
    }
};

// Qt's own diagnostics (a missing runtime folder, font notes) are not part of a command's output.
void quiet_qt(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << text.toStdString() << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty() || words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        std::cout << cli::usage(words.size() > 1 ? words[1] : std::string());
        return words.empty() ? cli::kUsage : cli::kOk;
    }
    // The previews are drawn off screen: no display is needed.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler(quiet_qt);
    int qt_argc = 1;
    QGuiApplication app(qt_argc, argv);
    QuietMessages quiet;
    platform::install_message_service(&quiet);

    const std::string command = words[0];
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    int code = cli::kUsage;
    if (command == "discover")
        code = cli::run_discover(rest);
    else if (command == "layout")
        code = cli::run_layout(rest);
    else if (command == "send-image")
        code = cli::run_send_image(rest);
    else if (command == "send-hcp")
        code = cli::run_send_hcp(rest);
    else
        std::cerr << "vantor-cli: unknown command \"" << command << "\"\n\n" << cli::usage();
    platform::install_message_service(nullptr);
    return code;
}
