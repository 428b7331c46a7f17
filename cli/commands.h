// The commands of vantor-cli, over the same GUI-free core as the desktop program: discovery
// (cardlink), the special screen layouts (screenconfig/special_layout.h), the image transfer and the
// parameter send (screenconfig), the wiring preview (specialscreens/wiring_preview.h, Qt Gui only).
//
// Each command writes a human-readable result to standard output, or with --json one JSON object, and
// errors to standard error; it returns the program's exit code.
// Threading: the main thread (discovery runs the Qt event loop for its waiting time).
#pragma once

#include <string>
#include <vector>

namespace cli {

enum ExitCode : int {
    kOk = 0,
    kFailed = 1,       // the card refused or the transfer broke off
    kUsage = 2,        // the command line is wrong
    kRefused = 3,      // the layout is refused (its inputs, or it leaves the mapping table)
    kFileError = 4,    // a file could not be read, is not what it should be, or could not be written
    kUnreachable = 5,  // no connection to the card, or no card answered the search
};

int run_discover(const std::vector<std::string>& args);
int run_layout(const std::vector<std::string>& args);
int run_send_image(const std::vector<std::string>& args);
int run_send_hcp(const std::vector<std::string>& args);

// The help text (all commands, or the one named).
std::string usage(const std::string& command = {});

}  // namespace cli
