// vantor-cli: the command-line program for installers and scripts (commands.h).
#include <QGuiApplication>

#include <cstdlib>
#include <iostream>
#include <string>
#include <variant>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/fleet_commands.h"
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
    const cli::ParsedCommandLine parsed =
        cli::parse_command_line(std::vector<std::string>(argv + 1, argv + argc), VANTOR_CLI_VERSION);
    if (!parsed.output.empty()) {
        std::cout << parsed.output;
        return cli::kOk;
    }
    if (std::holds_alternative<std::monostate>(parsed.options)) {
        std::cerr << "vantor-cli: " << parsed.error
                  << "\n(see vantor-cli --help, or vantor-cli COMMAND --help)\n";
        return cli::kUsage;
    }
    // The previews and reports are drawn off screen: no display is needed.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler(quiet_qt);
    int qt_argc = 1;
    QGuiApplication app(qt_argc, argv);
    QuietMessages quiet;
    platform::install_message_service(&quiet);

    int code = cli::kUsage;
    if (const auto* discover = std::get_if<cli::DiscoverOptions>(&parsed.options))
        code = cli::run_discover(*discover);
    else if (const auto* layout = std::get_if<cli::LayoutOptions>(&parsed.options))
        code = cli::run_layout(*layout);
    else if (const auto* send = std::get_if<cli::SendOptions>(&parsed.options))
        code = parsed.send_hcp ? cli::run_send_hcp(*send) : cli::run_send_image(*send);
    else if (const auto* profile = std::get_if<cli::ProfileOptions>(&parsed.options))
        code = cli::run_profile(*profile);
    else if (const auto* report = std::get_if<cli::ReportOptions>(&parsed.options))
        code = cli::run_report(*report);
    else if (const auto* inventory = std::get_if<cli::FleetInventoryOptions>(&parsed.options))
        code = cli::run_fleet_inventory(*inventory);
    else if (const auto* plan = std::get_if<cli::FleetPlanOptions>(&parsed.options))
        code = cli::run_fleet_plan(*plan);
    else if (const auto* commit = std::get_if<cli::FleetCommitOptions>(&parsed.options))
        code = cli::run_fleet_commit(*commit);
    platform::install_message_service(nullptr);
    return code;
}
