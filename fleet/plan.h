// A fleet plan: one action for many cards, written down before anything is sent (docs/fleet.md).
//
// A plan names the action and what it sends (a firmware folder and the digest of its files, or the
// 72-byte ".hcp" record itself), how many cards at once, whether to stop at the first failure, and per
// card what the card was when the plan was made (identifier, address, version words, settings digest)
// and what would change. Its file is JSON with sorted keys, four spaces of indentation and no time
// stamps, so the same fleet and the same choices give the same bytes.
//
// An action is one kind with its own source fields; another kind (a module profile to apply, say) adds
// an enumerator, its source fields, its per-card changes in make_plan's caller and its step in the
// runner; the card records, the check before a commit, the state file and the report stay as they are.
//
// Pure functions over values and text; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fleet/inventory.h"

namespace fleet {

inline constexpr int kPlanFormat = 1;

enum class ActionKind { Upgrade, SendHcp };

const char* action_name(ActionKind kind);  // "upgrade", "send-hcp"

struct Change {
    std::string what;  // "software_version", or a module field such as "scan_code"
    std::string from;
    std::string to;  // empty when the plan cannot know (a firmware without a stated version)
};

// What a card was when the plan was made; a commit compares the card as it is now with this.
struct CardSnapshot {
    std::string id;
    std::string address;
    std::uint32_t software_version = 0;
    std::uint32_t hardware_version = 0;
    std::string settings_digest;
};

struct PlannedCard {
    CardSnapshot card;
    std::vector<Change> changes;
};

struct LeftOut {
    std::string id;
    std::string address;
    std::string reason;
};

struct Plan {
    ActionKind action = ActionKind::Upgrade;
    // Upgrade: the firmware folder (absolute), the SHA-256 over its files (firmware_digest) and the bytes
    // announced to each card; the version it brings, when stated.
    std::string firmware;
    std::string firmware_digest;
    std::uint64_t firmware_bytes = 0;
    std::string target_version;
    // SendHcp: the file it came from (for people) and the 72-byte record as hexadecimal (what is sent).
    std::string hcp_file;
    std::string hcp_record;
    std::size_t parallel = 8;
    bool stop_on_failure = false;
    std::vector<PlannedCard> cards;  // in the order the cards answered the search
    std::vector<LeftOut> left_out;   // found but not in the plan, and why
};

std::string plan_to_json(const Plan& plan);
// Nothing, with `error` set, for text that is not a plan of this format.
std::optional<Plan> plan_from_json(const std::string& text, std::string& error);

CardSnapshot snapshot_of(const CardReading& reading);

// Which found cards a plan takes: all (no ids, no bound), the listed identifiers, and/or those whose
// software version word is below `below`.
struct Selection {
    std::vector<std::string> ids;
    std::optional<std::uint32_t> below;
};

// Why `reading` is not in a plan with `selection`, or nothing when it is.
std::optional<std::string> excluded_by(const Selection& selection, const CardReading& reading);

// The module fields (module_fields) a 72-byte ".hcp" record would change on a card, in record order.
std::vector<Change> module_changes(const card_info::CardInfo& info, std::span<const std::uint8_t> record);

// `plan` with its action, source, parallel and stop_on_failure set, completed from the search: each card
// read is planned with its changes, or left out with the reason (not selected, unread, already at the
// target version, already holding the record's module parameters); listed identifiers that did not
// answer the search are left out too.
Plan make_plan(Plan plan, const Selection& selection, const std::vector<CardReading>& readings);

// SHA-256 over a firmware folder's files in the order they are sent: each file's card folder text,
// kind, size and bytes. Empty when a file cannot be read.
std::string firmware_digest(const std::string& folder);

}  // namespace fleet
