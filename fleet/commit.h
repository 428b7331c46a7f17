// Carrying out a fleet plan: the check that every card is still what the plan recorded, then the
// action on each card, `parallel` at a time, with a state file that makes a second run of the same plan
// skip the cards already done (docs/fleet.md).
//
// The state file is JSON beside the plan ("<plan>.state"): the SHA-256 of the plan's bytes and, per
// card, its last outcome. It is rewritten (written beside and renamed) each time a card finishes, so a
// cut leaves the last whole state. A state made for other plan bytes is not used.
//
// Threading: commit() blocks its caller; the cards run on `parallel` worker threads it starts and
// joins. The observer is called under the commit's lock, one call at a time, from those threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cardlink/card_exchange.h"
#include "cardlink/firmware_upgrade.h"
#include "fleet/inventory.h"
#include "fleet/plan.h"

namespace fleet {

enum class Outcome {
    Done,            // the card took every byte: the upgrade's end command, or the parameters' "Success!"
    DoneBefore,      // a run of this plan before had done it; nothing sent now
    Refused,         // the card answered with a refusal
    NoAnswer,        // connected, but the card did not answer
    NoConnection,    // the card could not be reached
    ConnectionLost,  // the transfer broke off after `sent` of `total` bytes
    NotStarted,      // left alone: an earlier card failed and the plan stops at the first failure
};

const char* outcome_name(Outcome outcome);  // "done", "done_before", "refused", ...
bool succeeded(Outcome outcome);            // Done or DoneBefore

struct CardReport {
    std::string id;
    std::string address;
    Outcome outcome = Outcome::NotStarted;
    std::uint64_t sent = 0;   // data bytes the card took (upgrade)
    std::uint64_t total = 0;  // bytes announced (upgrade)
    std::string file;         // the file that broke off (upgrade: its card folder text)
};

class CommitObserver {
  public:
    virtual ~CommitObserver() = default;
    virtual void card_started(const std::string& id) = 0;
    virtual void card_progress(const std::string& id, std::uint64_t sent, std::uint64_t total) = 0;
    virtual void card_finished(const CardReport& report) = 0;
};

// A card that is not what the plan recorded.
struct CardDrift {
    std::string id;
    std::string what;  // "software_version V9.120 -> V9.200", "settings", "another card at ...", ...
};

enum class CommitStatus {
    Ran,            // the cards were worked on: see `reports`
    CardsChanged,   // some cards changed since the plan was made (`drift`): nothing was sent to any card
    SourceChanged,  // the firmware folder is not what the plan recorded: nothing was sent
    StateUnwritable,
};

struct CommitResult {
    CommitStatus status = CommitStatus::Ran;
    std::vector<CardDrift> drift;
    std::vector<CardReport> reports;  // in plan order
    std::string detail;
};

struct CommitSettings {
    ReadSettings read;  // the check before acting
    cardlink::UpgradeSettings upgrade;
    cardlink::ExchangeTimeouts exchange;  // the parameter send
};

std::filesystem::path state_file_of(const std::filesystem::path& plan_file);

// Runs `plan`, whose file held `plan_bytes`; the state file is `state_file`.
CommitResult commit(const Plan& plan, const std::string& plan_bytes, const std::filesystem::path& state_file,
                    CommitObserver& observer, const CommitSettings& settings = {});

}  // namespace fleet
