#include "fleet/plan.h"

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cardlink/firmware_upgrade.h"
#include "fleet/digest.h"
#include "screenconfig/screen_params.h"

namespace fleet {
namespace {

using nlohmann::json;

json card_json(const CardSnapshot& c) {
    return {{"id", c.id},
            {"address", c.address},
            {"software_version", version_text(c.software_version)},
            {"hardware_version", version_text(c.hardware_version)},
            {"settings_digest", c.settings_digest}};
}

std::optional<CardSnapshot> card_from(const json& j) {
    CardSnapshot c;
    c.id = j.at("id").get<std::string>();
    c.address = j.at("address").get<std::string>();
    const auto sw = parse_version(j.at("software_version").get<std::string>());
    const auto hw = parse_version(j.at("hardware_version").get<std::string>());
    if (!sw || !hw) return std::nullopt;
    c.software_version = *sw;
    c.hardware_version = *hw;
    c.settings_digest = j.at("settings_digest").get<std::string>();
    return c;
}

}  // namespace

const char* action_name(ActionKind kind) {
    return kind == ActionKind::Upgrade ? "upgrade" : "send-hcp";
}

std::string plan_to_json(const Plan& plan) {
    json j;
    j["format"] = kPlanFormat;
    j["action"] = action_name(plan.action);
    j["parallel"] = plan.parallel;
    j["stop_on_failure"] = plan.stop_on_failure;
    if (plan.action == ActionKind::Upgrade) {
        j["firmware"] = plan.firmware;
        j["firmware_digest"] = plan.firmware_digest;
        j["firmware_bytes"] = plan.firmware_bytes;
        if (!plan.target_version.empty()) j["target_version"] = plan.target_version;
    } else {
        j["hcp_file"] = plan.hcp_file;
        j["hcp_record"] = plan.hcp_record;
    }
    json cards = json::array();
    for (const auto& p : plan.cards) {
        json changes = json::array();
        for (const auto& c : p.changes) {
            json change{{"what", c.what}, {"from", c.from}};
            if (!c.to.empty()) change["to"] = c.to;
            changes.push_back(change);
        }
        json card = card_json(p.card);
        card["changes"] = changes;
        cards.push_back(card);
    }
    j["cards"] = cards;
    json left = json::array();
    for (const auto& l : plan.left_out)
        left.push_back({{"id", l.id}, {"address", l.address}, {"reason", l.reason}});
    j["left_out"] = left;
    return j.dump(4) + "\n";
}

std::optional<Plan> plan_from_json(const std::string& text, std::string& error) {
    const json j = json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        error = "not JSON";
        return std::nullopt;
    }
    try {
        if (j.at("format").get<int>() != kPlanFormat) {
            error = "a plan of another format (" + j.at("format").dump() + ")";
            return std::nullopt;
        }
        Plan plan;
        const auto action = j.at("action").get<std::string>();
        if (action == "upgrade") {
            plan.action = ActionKind::Upgrade;
            plan.firmware = j.at("firmware").get<std::string>();
            plan.firmware_digest = j.at("firmware_digest").get<std::string>();
            plan.firmware_bytes = j.at("firmware_bytes").get<std::uint64_t>();
            plan.target_version = j.value("target_version", std::string());
        } else if (action == "send-hcp") {
            plan.action = ActionKind::SendHcp;
            plan.hcp_file = j.at("hcp_file").get<std::string>();
            plan.hcp_record = j.at("hcp_record").get<std::string>();
            if (plan.hcp_record.size() != 144 ||
                plan.hcp_record.find_first_not_of("0123456789abcdef") != std::string::npos) {
                error = "hcp_record is not 72 bytes in hexadecimal";
                return std::nullopt;
            }
        } else {
            error = "unknown action \"" + action + "\"";
            return std::nullopt;
        }
        plan.parallel = j.at("parallel").get<std::size_t>();
        if (plan.parallel < 1 || plan.parallel > 256) {
            error = "parallel must be 1 to 256";
            return std::nullopt;
        }
        plan.stop_on_failure = j.at("stop_on_failure").get<bool>();
        for (const auto& c : j.at("cards")) {
            PlannedCard p;
            const auto card = card_from(c);
            if (!card) {
                error = "a card's version is not \"V<hex>.<hex>\"";
                return std::nullopt;
            }
            p.card = *card;
            for (const auto& change : c.at("changes"))
                p.changes.push_back({change.at("what").get<std::string>(),
                                     change.at("from").get<std::string>(),
                                     change.value("to", std::string())});
            plan.cards.push_back(std::move(p));
        }
        for (const auto& l : j.at("left_out"))
            plan.left_out.push_back({l.at("id").get<std::string>(), l.at("address").get<std::string>(),
                                     l.at("reason").get<std::string>()});
        return plan;
    } catch (const json::exception& e) {
        error = std::string("not a plan: ") + e.what();
        return std::nullopt;
    }
}

CardSnapshot snapshot_of(const CardReading& reading) {
    return {reading.card.id, reading.card.address, reading.info.software_version,
            reading.info.hardware_version, settings_digest(reading.block)};
}

std::optional<std::string> excluded_by(const Selection& selection, const CardReading& reading) {
    if (!selection.ids.empty() &&
        std::find(selection.ids.begin(), selection.ids.end(), reading.card.id) == selection.ids.end())
        return "not in --cards";
    switch (reading.status) {
        case ReadStatus::Read:
            break;
        case ReadStatus::NoAnswer:
            return "no answer to the information request";
        case ReadStatus::NoConnection:
            return "no connection for the information request";
        case ReadStatus::OtherCard:
            return "another card (" + reading.info.card_id + ") answers at its address";
    }
    if (selection.below && reading.info.software_version >= *selection.below)
        return "software version " + version_text(reading.info.software_version) + " is not below " +
               version_text(*selection.below);
    return std::nullopt;
}

std::vector<Change> module_changes(const card_info::CardInfo& info, std::span<const std::uint8_t> record) {
    // The block holds the record from its byte 8 on.
    constexpr std::size_t kFirst = static_cast<std::size_t>(screenconfig::ParamsField::hubType);
    card_info::CardInfo wanted = info;
    if (record.size() >= kFirst + card_info::kScreenParamsSize)
        std::copy_n(record.begin() + kFirst, card_info::kScreenParamsSize, wanted.screen_params.begin());
    const auto now = module_fields(info);
    const auto then = module_fields(wanted);
    std::vector<Change> changes;
    for (std::size_t i = 0; i < now.size(); ++i)
        if (now[i].value != then[i].value)
            changes.push_back({now[i].name, std::to_string(now[i].value), std::to_string(then[i].value)});
    return changes;
}

Plan make_plan(Plan plan, const Selection& selection, const std::vector<CardReading>& readings) {
    // A plain value and a flag, not an optional: GCC 12 at -O3 takes the optional's value for
    // uninitialised where it is read under its own check.
    const auto parsed = plan.target_version.empty() ? std::nullopt : parse_version(plan.target_version);
    const bool has_target = parsed.has_value();
    const auto target = parsed.value_or(0);
    std::vector<std::uint8_t> record;
    for (std::size_t i = 0; i + 1 < plan.hcp_record.size(); i += 2)
        record.push_back(static_cast<std::uint8_t>(std::stoul(plan.hcp_record.substr(i, 2), nullptr, 16)));
    for (const auto& r : readings) {
        auto reason = excluded_by(selection, r);
        std::vector<Change> changes;
        if (!reason && plan.action == ActionKind::Upgrade) {
            if (has_target && r.info.software_version == target)
                reason = "already at " + version_text(target);
            changes.push_back({"software_version", version_text(r.info.software_version),
                               has_target ? version_text(target) : std::string()});
        } else if (!reason) {
            changes = module_changes(r.info, record);
            if (changes.empty()) reason = "already has these module parameters";
        }
        if (reason)
            plan.left_out.push_back({r.card.id, r.card.address, *reason});
        else
            plan.cards.push_back({snapshot_of(r), changes});
    }
    for (const auto& id : selection.ids)
        if (std::none_of(readings.begin(), readings.end(), [&](const auto& r) { return r.card.id == id; }))
            plan.left_out.push_back({id, "", "did not answer the search"});
    return plan;
}

std::string firmware_digest(const std::string& folder) {
    Sha256 sum;
    std::vector<char> buffer(1 << 16);
    for (const auto& file : cardlink::list_upgrade_files(folder)) {
        std::ifstream in(file.local, std::ios::binary);
        if (!in) return {};
        sum.add(file.card_folder);
        sum.add(file.kind == cardlink::UpgradeKind::Kernel ? "\nkernel\n" : "\napplication\n");
        std::uint64_t size = 0;
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
            const auto n = static_cast<std::size_t>(in.gcount());
            sum.add(std::span(reinterpret_cast<const std::uint8_t*>(buffer.data()), n));
            size += n;
        }
        sum.add("\nsize " + std::to_string(size) + "\n");
    }
    return sum.hex();
}

}  // namespace fleet
