// The command line of vantor-cli, read by CLI11 into the options of one command (commands.h). Pure:
// no I/O, so every rule is testable on its own. Options and help follow docs/command-line.md.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "cli/commands.h"
#include "cli/fleet_commands.h"
#include "cli/report_command.h"

namespace cli {

struct ParsedCommandLine {
    // The command to run; monostate with help, version or an error.
    std::variant<std::monostate, DiscoverOptions, LayoutOptions, SendOptions, ProfileOptions, ReportOptions,
                 FleetInventoryOptions, FleetPlanOptions, FleetCommitOptions>
        options;
    bool send_hcp = false;  // SendOptions: send-hcp, else send-image
    std::string output;     // help or version text, for standard output
    std::string error;      // a usage error, for the user (exit code 2)
};

// `args` without the program name; `version` is what -V prints after the program's name.
ParsedCommandLine parse_command_line(const std::vector<std::string>& args, const std::string& version);

}  // namespace cli
