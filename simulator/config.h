// The ledcard-sim command line and config file, turned into a SimulatorConfig.
//
// Threading: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "simulator/sim.h"

namespace sim {

extern const char* const kUsage;

struct ParsedArgs {
    SimulatorConfig config;
    bool help = false;
    bool show = false;  // --show: open the window of the virtual modules (ledcard-sim-show)
    std::string error;  // empty when the arguments were good
};

ParsedArgs parse_args(const std::vector<std::string>& args);  // without the program name

// Adds the cards and options of a config file's text to `config`; returns an error text or "".
std::string parse_config_text(std::string_view text, SimulatorConfig& config);

// One card option "key=value" (the keys of --card); returns an error text or "".
std::string apply_card_option(CardConfig& card, std::string_view option);

}  // namespace sim
