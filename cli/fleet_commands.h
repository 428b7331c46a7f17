// The fleet commands of vantor-cli: `fleet inventory`, `fleet plan upgrade|send-hcp` and `fleet commit`
// over the Qt-free fleet module (fleet/). Results go to standard output (a table, CSV, or with --json
// one JSON object written by nlohmann-json, keys sorted, four spaces), progress to standard error (a
// bar on a terminal, JSON lines otherwise). docs/fleet.md describes the commands, the plan file and
// the state file.
// Threading: the main thread; the card work runs on the fleet module's worker threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace cli {

inline constexpr std::uint32_t kDefaultFleetParallel = 8;
inline constexpr std::uint32_t kMaxFleetParallel = 256;

struct FleetSearch {
    std::string address = "255.255.255.255";
    std::uint32_t timeout_ms = kDefaultDiscoveryMs;
    std::uint32_t parallel = kDefaultFleetParallel;  // connections at once
};

struct FleetInventoryOptions {
    FleetSearch search;
    bool csv = false;
    Output output;
};

enum class FleetAction { Upgrade, SendHcp };

struct FleetPlanOptions {
    FleetAction action = FleetAction::Upgrade;
    FleetSearch search;
    std::string source;  // the firmware folder, or the ".hcp" file
    std::string plan_file;
    std::vector<std::string> cards;  // empty: every card found
    std::string below;               // a software version: only cards below it
    std::string to_version;          // upgrade: the version the firmware brings, as stated by the user
    bool stop_on_failure = false;
    bool force = false;  // send-hcp: a file whose check sum does not match
    Output output;
};

struct FleetCommitOptions {
    std::string plan_file;
    Output output;
};

int run_fleet_inventory(const FleetInventoryOptions& options);
int run_fleet_plan(const FleetPlanOptions& options);
int run_fleet_commit(const FleetCommitOptions& options);

}  // namespace cli
