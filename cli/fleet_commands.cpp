#include "cli/fleet_commands.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "fleet/commit.h"
#include "fleet/inventory.h"
#include "fleet/plan.h"
#include "screenconfig/record_files.h"

namespace cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string dump(const json& j) {
    // A card's text that is not UTF-8 is passed on with U+FFFD for each bad byte.
    return j.dump(4, ' ', false, json::error_handler_t::replace) + "\n";
}

// Control characters of a card's text are shown as '?' in tables.
std::string shown(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

std::string csv_field(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// The result of a fleet command: text on standard output, or one JSON object with --json.
class FleetReport {
  public:
    FleetReport(const char* command, bool json) : json_(json) { object_["command"] = command; }
    bool json_output() const { return json_; }
    json& operator[](const char* key) { return object_[key]; }
    void line(const std::string& text) const {
        if (!json_) std::cout << text << '\n';
    }
    int done(int code) {
        if (json_) {
            object_["ok"] = code == kOk;
            object_["exit_code"] = code;
            std::cout << dump(object_);
        }
        std::cout.flush();
        return code;
    }
    int fail(int code, const std::string& error, const std::string& message) {
        if (json_) {
            object_["error"] = error;
            object_["message"] = message;
        }
        std::cerr << "vantor-cli: " << message << '\n';
        return done(code);
    }

  private:
    bool json_;
    json object_ = json::object();
};

const char* status_name(fleet::ReadStatus s) {
    switch (s) {
        case fleet::ReadStatus::Read:
            return "read";
        case fleet::ReadStatus::NoAnswer:
            return "no_answer";
        case fleet::ReadStatus::NoConnection:
            return "no_connection";
        case fleet::ReadStatus::OtherCard:
            return "other_card";
    }
    return "";
}

json card_object(const fleet::CardReading& r) {
    json card{{"id", r.card.id}, {"address", r.card.address}, {"status", status_name(r.status)}};
    if (r.status != fleet::ReadStatus::Read) return card;
    card["software_version"] = fleet::version_text(r.info.software_version);
    card["hardware_version"] = fleet::version_text(r.info.hardware_version);
    card["screen_width"] = r.info.screen_width;
    card["screen_height"] = r.info.screen_height;
    card["gray_value"] = r.info.gray_value;
    card["scan_clock_code"] = r.info.scan_clock_code;
    json module = json::object();
    for (const auto& f : fleet::module_fields(r.info)) module[f.name] = f.value;
    card["module"] = module;
    card["settings_digest"] = fleet::settings_digest(r.block);
    return card;
}

fleet::ReadSettings read_settings(std::uint32_t parallel) {
    fleet::ReadSettings s;
    s.parallel = parallel;
    return s;
}

// Discovery and the information of every card found. Empty with `failed` set when there is no card.
std::vector<fleet::CardReading> survey(const FleetSearch& search, FleetReport& report, int& failed) {
    report["discovery_address"] = search.address;
    report["timeout_ms"] = search.timeout_ms;
    const auto found = fleet::discover(search.address, std::chrono::milliseconds(search.timeout_ms));
    if (!found.socket_opened) {
        failed =
            report.fail(kUnreachable, "no_socket", "cannot open the discovery socket for " + search.address);
        return {};
    }
    if (found.cards.empty()) {
        failed = report.fail(kUnreachable, "no_card", "no card answered the search at " + search.address);
        return {};
    }
    return fleet::read_cards(found.cards, read_settings(search.parallel));
}

// Progress on standard error: a bar on a terminal (not with --json), JSON lines otherwise.
class Progress final : public fleet::CommitObserver {
  public:
    Progress(std::size_t cards, bool json_output)
        : cards_(cards), lines_(::isatty(STDERR_FILENO) == 0), bar_(!lines_ && !json_output) {}
    ~Progress() override {
        if (bar_ && drawn_) std::cerr << '\n';
    }
    void card_started(const std::string& id) override {
        ++running_;
        started_[id] = true;
        if (lines_) emit_line({{"event", "started"}, {"id", id}});
        draw();
    }
    void card_progress(const std::string& id, std::uint64_t sent, std::uint64_t total) override {
        if (total == 0) return;
        const int tenth = static_cast<int>(sent * 10 / total);
        int& last = tenths_[id];
        if (tenth <= last && sent != 0) return;
        last = tenth;
        if (lines_) emit_line({{"event", "progress"}, {"id", id}, {"sent", sent}, {"total", total}});
    }
    void card_finished(const fleet::CardReport& r) override {
        if (started_.erase(r.id) > 0) --running_;
        ++finished_;
        if (!fleet::succeeded(r.outcome)) ++failed_;
        if (lines_) {
            json line{{"event", "finished"},   {"id", r.id},      {"outcome", fleet::outcome_name(r.outcome)},
                      {"finished", finished_}, {"cards", cards_}, {"failed", failed_}};
            if (r.total > 0) {
                line["sent"] = r.sent;
                line["total"] = r.total;
            }
            emit_line(line);
        }
        draw();
    }

  private:
    void emit_line(const json& line) {
        std::cerr << line.dump(-1, ' ', false, json::error_handler_t::replace) << '\n';
        std::cerr.flush();
    }
    void draw() {
        if (!bar_) return;
        constexpr std::size_t kWidth = 30;
        const std::size_t filled = cards_ == 0 ? kWidth : finished_ * kWidth / cards_;
        std::cerr << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, '-') << "] "
                  << finished_ << "/" << cards_ << " cards, " << failed_ << " failed, " << running_
                  << " running  ";
        std::cerr.flush();
        drawn_ = true;
    }

    std::size_t cards_;
    bool lines_, bar_;
    bool drawn_ = false;
    std::size_t finished_ = 0, failed_ = 0, running_ = 0;
    std::map<std::string, int> tenths_;
    std::map<std::string, bool> started_;
};

bool write_text(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    return static_cast<bool>(out);
}

std::optional<std::string> read_text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
}

std::string hex_of(std::span<const std::uint8_t> bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t b : bytes) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

}  // namespace

int run_fleet_inventory(const FleetInventoryOptions& options) {
    FleetReport report("fleet inventory", options.output.json);
    int failed = kOk;
    const auto readings = survey(options.search, report, failed);
    if (readings.empty()) return failed;
    json cards = json::array();
    if (options.csv)
        std::cout
            << "id,address,status,hardware_version,software_version,screen_width,screen_height,gray_value,"
               "scan_clock_code,module,settings_digest\n";
    else if (!report.json_output())
        std::printf("%-20s %-16s %-9s %-9s %-11s %-6s %-5s %-38s %s\n", "IDENTIFIER", "ADDRESS", "HARDWARE",
                    "SOFTWARE", "SCREEN", "GRAY", "SCAN", "MODULE", "STATUS");
    std::size_t unread = 0;
    for (const auto& r : readings) {
        cards.push_back(card_object(r));
        const bool read = r.status == fleet::ReadStatus::Read;
        unread += read ? 0 : 1;
        const std::string hw = read ? fleet::version_text(r.info.hardware_version) : "-";
        const std::string sw = read ? fleet::version_text(r.info.software_version) : "-";
        const std::string module = read ? fleet::module_summary(r.info) : "-";
        if (options.csv) {
            std::cout << csv_field(r.card.id) << ',' << r.card.address << ',' << status_name(r.status) << ','
                      << (read ? hw : "") << ',' << (read ? sw : "") << ','
                      << (read ? std::to_string(r.info.screen_width) : "") << ','
                      << (read ? std::to_string(r.info.screen_height) : "") << ','
                      << (read ? std::to_string(r.info.gray_value) : "") << ','
                      << (read ? std::to_string(r.info.scan_clock_code) : "") << ','
                      << csv_field(read ? module : "") << ',' << (read ? fleet::settings_digest(r.block) : "")
                      << '\n';
        } else if (!report.json_output()) {
            const std::string screen =
                read ? std::to_string(r.info.screen_width) + "x" + std::to_string(r.info.screen_height) : "-";
            std::printf("%-20s %-16s %-9s %-9s %-11s %-6s %-5s %-38s %s\n", shown(r.card.id).c_str(),
                        r.card.address.c_str(), hw.c_str(), sw.c_str(), screen.c_str(),
                        read ? std::to_string(r.info.gray_value).c_str() : "-",
                        read ? std::to_string(r.info.scan_clock_code).c_str() : "-", module.c_str(),
                        status_name(r.status));
        }
    }
    std::fflush(stdout);
    report["cards"] = cards;
    report["cards_found"] = readings.size();
    report["cards_unread"] = unread;
    if (unread > 0)
        std::cerr << "vantor-cli: " << unread << " of " << readings.size()
                  << " cards answered the search but not the information request\n";
    return options.csv ? kOk : report.done(kOk);
}

int run_fleet_plan(const FleetPlanOptions& options) {
    const bool upgrade = options.action == FleetAction::Upgrade;
    FleetReport report(upgrade ? "fleet plan upgrade" : "fleet plan send-hcp", options.output.json);
    fleet::Plan plan;
    plan.action = upgrade ? fleet::ActionKind::Upgrade : fleet::ActionKind::SendHcp;
    plan.parallel = options.search.parallel;
    plan.stop_on_failure = options.stop_on_failure;
    std::error_code ec;
    const fs::path source = fs::absolute(options.source, ec);
    if (upgrade) {
        if (!fs::is_directory(source, ec))
            return report.fail(kFileError, "read_failed", source.string() + " is not a folder");
        plan.firmware = source.string();
        plan.firmware_digest = fleet::firmware_digest(plan.firmware);
        if (plan.firmware_digest.empty())
            return report.fail(kFileError, "read_failed", "cannot read the firmware in " + source.string());
        for (const auto& f : cardlink::list_upgrade_files(source))
            plan.firmware_bytes += fs::file_size(f.local, ec);
        if (plan.firmware_bytes == 0)
            return report.fail(kFileError, "read_failed",
                               source.string() + " holds no file below \"Kernel\" or \"Application\"");
        plan.target_version = options.to_version;
    } else {
        const auto load = screenconfig::load_hcp(source);
        switch (load.status) {
            case screenconfig::LoadStatus::Ok:
                break;
            case screenconfig::LoadStatus::SumMismatch:
                if (options.force) break;
                return report.fail(
                    kFileError, "sum_mismatch",
                    "the check sum of " + source.string() + " does not match (--force sends it)");
            case screenconfig::LoadStatus::TooShort:
                return report.fail(kFileError, "too_short", source.string() + " is shorter than 72 bytes");
            default:
                return report.fail(kFileError, "read_failed", "cannot read " + source.string());
        }
        plan.hcp_file = source.string();
        plan.hcp_record = hex_of(load.record.bytes());
    }
    fleet::Selection selection;
    selection.ids = options.cards;
    if (!options.below.empty()) selection.below = fleet::parse_version(options.below);

    int failed = kOk;
    const auto readings = survey(options.search, report, failed);
    if (readings.empty()) return failed;
    plan = fleet::make_plan(std::move(plan), selection, readings);

    const std::string text = fleet::plan_to_json(plan);
    if (!write_text(options.plan_file, text))
        return report.fail(kFileError, "write_failed", "cannot write " + options.plan_file);
    for (const auto& p : plan.cards) {
        std::string what;
        for (const auto& c : p.changes)
            what += (what.empty() ? "" : ", ") + c.what + " " + c.from + " -> " + (c.to.empty() ? "?" : c.to);
        report.line(shown(p.card.id) + "  " + p.card.address + "  " + what);
    }
    for (const auto& l : plan.left_out)
        report.line(shown(l.id) + "  " + (l.address.empty() ? "-" : l.address) + "  left out: " + l.reason);
    report.line(std::to_string(plan.cards.size()) + " cards planned, " +
                std::to_string(plan.left_out.size()) + " left out; plan written to " + options.plan_file +
                " (run: vantor-cli fleet commit " + options.plan_file + ")");
    const json written = json::parse(text);
    report["plan"] = options.plan_file;
    report["cards"] = written["cards"];
    report["left_out"] = written["left_out"];
    return report.done(kOk);
}

int run_fleet_commit(const FleetCommitOptions& options) {
    FleetReport report("fleet commit", options.output.json);
    report["plan"] = options.plan_file;
    const auto text = read_text(options.plan_file);
    if (!text) return report.fail(kFileError, "read_failed", "cannot read " + options.plan_file);
    std::string error;
    const auto plan = fleet::plan_from_json(*text, error);
    if (!plan) return report.fail(kFileError, "not_a_plan", options.plan_file + ": " + error);
    const fs::path state = fleet::state_file_of(options.plan_file);
    report["state_file"] = state.string();

    Progress progress(plan->cards.size(), options.output.json);
    const fleet::CommitResult result = fleet::commit(*plan, *text, state, progress);
    switch (result.status) {
        case fleet::CommitStatus::Ran:
        case fleet::CommitStatus::StateUnwritable:
            break;
        case fleet::CommitStatus::SourceChanged:
            return report.fail(kRefused, "plan_outdated",
                               result.detail + "; nothing was sent (make a new plan)");
        case fleet::CommitStatus::CardsChanged: {
            json changed = json::array();
            for (const auto& d : result.drift) {
                changed.push_back({{"id", d.id}, {"what", d.what}});
                report.line(shown(d.id) + "  changed: " + d.what);
            }
            report["changed"] = changed;
            return report.fail(
                kRefused, "plan_outdated",
                std::to_string(result.drift.size()) +
                    " changes on the cards since the plan was made; nothing was sent (make a new "
                    "plan)");
        }
    }
    if (result.reports.empty() && result.status == fleet::CommitStatus::StateUnwritable)
        return report.fail(kFileError, "write_failed", result.detail + "; nothing was sent");

    json cards = json::array();
    std::map<std::string, std::size_t> counts;
    bool broke = false, unreachable = false;
    for (const auto& r : result.reports) {
        ++counts[fleet::outcome_name(r.outcome)];
        json card{{"id", r.id}, {"address", r.address}, {"outcome", fleet::outcome_name(r.outcome)}};
        if (r.total > 0) {
            card["sent"] = r.sent;
            card["total"] = r.total;
        }
        if (!r.file.empty()) card["file"] = r.file;
        cards.push_back(card);
        std::string line = shown(r.id) + "  " + r.address + "  ";
        switch (r.outcome) {
            case fleet::Outcome::Done:
                line += "done";
                break;
            case fleet::Outcome::DoneBefore:
                line += "done (by an earlier run; skipped)";
                break;
            case fleet::Outcome::Refused:
                line += "refused";
                broke = true;
                break;
            case fleet::Outcome::NoAnswer:
                line += "no answer";
                unreachable = true;
                break;
            case fleet::Outcome::NoConnection:
                line += "no connection";
                unreachable = true;
                break;
            case fleet::Outcome::ConnectionLost:
                line += "connection lost after " + std::to_string(r.sent) + " of " + std::to_string(r.total) +
                        " bytes";
                broke = true;
                break;
            case fleet::Outcome::NotStarted:
                line += "not started (the plan stops at the first failure)";
                break;
        }
        report.line(line);
    }
    json summary = json::object();
    for (const auto& [name, n] : counts) summary[name] = n;
    report["cards"] = cards;
    report["summary"] = summary;
    const std::size_t ok = counts["done"] + counts["done_before"];
    report.line(std::to_string(ok) + " of " + std::to_string(result.reports.size()) + " cards done");
    if (result.status == fleet::CommitStatus::StateUnwritable)
        return report.fail(kFileError, "write_failed", result.detail);
    if (ok == result.reports.size()) return report.done(kOk);
    const std::string message = std::to_string(result.reports.size() - ok) + " of " +
                                std::to_string(result.reports.size()) + " cards not done (see the report)";
    if (broke) return report.fail(kFailed, "failed", message);
    if (unreachable) return report.fail(kUnreachable, "no_answer", message);
    return report.fail(kFailed, "failed", message);
}

}  // namespace cli
