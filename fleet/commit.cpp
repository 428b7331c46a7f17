#include "fleet/commit.h"

#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "fleet/digest.h"
#include "screenconfig/screen_files.h"
#include "screenconfig/working_set.h"

namespace fleet {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string plan_sha(const std::string& bytes) {
    return sha256_hex(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

// The ids a state file of these plan bytes records as done.
std::map<std::string, CardReport> read_state(const fs::path& file, const std::string& sha) {
    std::map<std::string, CardReport> done;
    std::ifstream in(file, std::ios::binary);
    if (!in) return done;
    std::stringstream text;
    text << in.rdbuf();
    const json j = json::parse(text.str(), nullptr, false);
    if (j.is_discarded() || !j.is_object() || j.value("plan_sha256", std::string()) != sha) return done;
    const auto cards = j.find("cards");
    if (cards == j.end() || !cards->is_object()) return done;
    for (const auto& [id, entry] : cards->items()) {
        if (!entry.is_object() || entry.value("outcome", std::string()) != outcome_name(Outcome::Done))
            continue;
        CardReport r;
        r.id = id;
        r.address = entry.value("address", std::string());
        r.outcome = Outcome::DoneBefore;
        r.sent = entry.value("sent", std::uint64_t{0});
        r.total = entry.value("total", std::uint64_t{0});
        done[id] = r;
    }
    return done;
}

bool write_state(const fs::path& file, const std::string& sha, const std::vector<CardReport>& reports) {
    json cards = json::object();
    for (const auto& r : reports) {
        // A card done in an earlier run stays done; one not reached yet has no entry.
        const Outcome o = r.outcome == Outcome::DoneBefore ? Outcome::Done : r.outcome;
        if (o == Outcome::NotStarted) continue;
        json entry{{"address", r.address}, {"outcome", outcome_name(o)}};
        if (r.total > 0) {
            entry["sent"] = r.sent;
            entry["total"] = r.total;
        }
        if (!r.file.empty()) entry["file"] = r.file;
        cards[r.id] = entry;
    }
    const json j{{"format", kPlanFormat}, {"plan_sha256", sha}, {"cards", cards}};
    const fs::path temp = file.string() + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << j.dump(4) << '\n';
        out.flush();
        if (!out) return false;
    }
    std::error_code ec;
    fs::rename(temp, file, ec);
    return !ec;
}

std::vector<CardDrift> drift_of(const CardSnapshot& was, const CardReading& now) {
    std::vector<CardDrift> drift;
    const CardSnapshot is = snapshot_of(now);
    if (is.software_version != was.software_version)
        drift.push_back({was.id, "software_version " + version_text(was.software_version) + " -> " +
                                     version_text(is.software_version)});
    if (is.hardware_version != was.hardware_version)
        drift.push_back({was.id, "hardware_version " + version_text(was.hardware_version) + " -> " +
                                     version_text(is.hardware_version)});
    if (is.settings_digest != was.settings_digest) drift.push_back({was.id, "settings"});
    return drift;
}

Outcome outcome_of(cardlink::UpgradeOutcome o) {
    switch (o) {
        case cardlink::UpgradeOutcome::Finished:
            return Outcome::Done;
        case cardlink::UpgradeOutcome::Refused:
            return Outcome::Refused;
        case cardlink::UpgradeOutcome::NoAnswer:
            return Outcome::NoAnswer;
        case cardlink::UpgradeOutcome::NoConnection:
            return Outcome::NoConnection;
        default:
            // The folder was checked against the plan's digest just before: what is left is a cut.
            return Outcome::ConnectionLost;
    }
}

Outcome outcome_of(cardlink::ExchangeError e) {
    switch (e) {
        case cardlink::ExchangeError::None:
            return Outcome::Done;
        case cardlink::ExchangeError::NoConnection:
            return Outcome::NoConnection;
        case cardlink::ExchangeError::SendFailed:
            return Outcome::ConnectionLost;
        case cardlink::ExchangeError::NoAnswer:
            return Outcome::NoAnswer;
        case cardlink::ExchangeError::AnswerRejected:
            return Outcome::Refused;
    }
    return Outcome::NoAnswer;
}

std::vector<std::uint8_t> from_hex(const std::string& hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// Everything the workers share, under one lock.
class Run {
  public:
    Run(const Plan& plan, CommitObserver& observer, const fs::path& state_file, std::string sha)
        : plan_(plan), observer_(observer), state_file_(state_file), sha_(std::move(sha)) {}

    std::mutex lock;
    std::vector<CardReport> reports;
    bool failed = false;
    bool state_written = true;

    void started(const std::string& id) {
        const std::lock_guard hold(lock);
        observer_.card_started(id);
    }
    void progress(const std::string& id, std::uint64_t sent, std::uint64_t total) {
        const std::lock_guard hold(lock);
        observer_.card_progress(id, sent, total);
    }
    void finished(std::size_t index, const CardReport& report) {
        const std::lock_guard hold(lock);
        reports[index] = report;
        if (!succeeded(report.outcome) && report.outcome != Outcome::NotStarted) failed = true;
        state_written = write_state(state_file_, sha_, reports) && state_written;
        observer_.card_finished(report);
    }
    bool stopping() {
        const std::lock_guard hold(lock);
        return plan_.stop_on_failure && failed;
    }

  private:
    const Plan& plan_;
    CommitObserver& observer_;
    fs::path state_file_;
    std::string sha_;
};

class UpgradeProgress final : public cardlink::UpgradeObserver {
  public:
    UpgradeProgress(Run& run, const std::string& id) : run_(run), id_(id) {}
    void upgrade_started(std::uint64_t total) override {
        total_ = total;
        run_.progress(id_, 0, total_);
    }
    void upgrade_progress(std::uint64_t sent) override { run_.progress(id_, sent, total_); }

  private:
    Run& run_;
    const std::string& id_;
    std::uint64_t total_ = 0;
};

CardReport act(const Plan& plan, const CardSnapshot& card, Run& run, const CommitSettings& settings) {
    CardReport report;
    report.id = card.id;
    report.address = card.address;
    if (plan.action == ActionKind::Upgrade) {
        UpgradeProgress progress(run, card.id);
        const auto r = cardlink::run_upgrade(card.address, plan.firmware, progress, settings.upgrade);
        report.outcome = outcome_of(r.outcome);
        report.sent = r.sent;
        report.total = r.total;
        report.file = r.outcome == cardlink::UpgradeOutcome::Finished ? std::string() : r.file;
    } else {
        screenconfig::WorkingSet ws;
        const auto record = from_hex(plan.hcp_record);
        std::copy(record.begin(), record.end(), ws.params.bytes().begin());
        ws.source = screenconfig::ParamSource::File;
        const auto r = screenconfig::params_exchange(ws, {card.id, card.address}, settings.exchange)();
        report.outcome = outcome_of(r.error);
    }
    return report;
}

}  // namespace

const char* outcome_name(Outcome outcome) {
    switch (outcome) {
        case Outcome::Done:
            return "done";
        case Outcome::DoneBefore:
            return "done_before";
        case Outcome::Refused:
            return "refused";
        case Outcome::NoAnswer:
            return "no_answer";
        case Outcome::NoConnection:
            return "no_connection";
        case Outcome::ConnectionLost:
            return "connection_lost";
        case Outcome::NotStarted:
            return "not_started";
    }
    return "";
}

bool succeeded(Outcome outcome) {
    return outcome == Outcome::Done || outcome == Outcome::DoneBefore;
}

fs::path state_file_of(const fs::path& plan_file) {
    return plan_file.string() + ".state";
}

CommitResult commit(const Plan& plan, const std::string& plan_bytes, const fs::path& state_file,
                    CommitObserver& observer, const CommitSettings& settings) {
    CommitResult result;
    if (plan.action == ActionKind::Upgrade && firmware_digest(plan.firmware) != plan.firmware_digest) {
        result.status = CommitStatus::SourceChanged;
        result.detail = "the firmware in " + plan.firmware + " is not the one the plan was made with";
        return result;
    }
    const std::string sha = plan_sha(plan_bytes);
    const auto done_before = read_state(state_file, sha);

    // The cards still to do are read again; any that changed stops the whole commit before a byte is sent.
    std::vector<std::size_t> pending;
    std::vector<FoundCard> to_read;
    for (std::size_t i = 0; i < plan.cards.size(); ++i) {
        if (done_before.count(plan.cards[i].card.id) != 0) continue;
        pending.push_back(i);
        to_read.push_back({plan.cards[i].card.id, plan.cards[i].card.address});
    }
    ReadSettings read = settings.read;
    read.parallel = plan.parallel;
    const auto readings = read_cards(to_read, read);
    for (std::size_t k = 0; k < pending.size(); ++k)
        if (readings[k].status == ReadStatus::Read)
            for (auto& d : drift_of(plan.cards[pending[k]].card, readings[k]))
                result.drift.push_back(std::move(d));
    if (!result.drift.empty()) {
        result.status = CommitStatus::CardsChanged;
        return result;
    }

    Run run(plan, observer, state_file, sha);
    run.reports.resize(plan.cards.size());
    for (std::size_t i = 0; i < plan.cards.size(); ++i) {
        const auto& c = plan.cards[i].card;
        const auto before = done_before.find(c.id);
        if (before != done_before.end()) {
            run.reports[i] = before->second;
            run.reports[i].address = c.address;
        } else {
            run.reports[i] = {c.id, c.address, Outcome::NotStarted, 0, 0, {}};
        }
    }
    if (!write_state(state_file, sha, run.reports)) {
        result.status = CommitStatus::StateUnwritable;
        result.detail = "cannot write " + state_file.string();
        return result;
    }
    for (const auto& [id, report] : done_before) {
        const std::lock_guard hold(run.lock);
        observer.card_finished(report);
    }
    // A card that did not answer the check is reported as such and not worked on.
    std::vector<std::size_t> work;
    for (std::size_t k = 0; k < pending.size(); ++k) {
        if (readings[k].status == ReadStatus::Read) {
            work.push_back(pending[k]);
            continue;
        }
        CardReport r = run.reports[pending[k]];
        r.outcome = readings[k].status == ReadStatus::NoAnswer ? Outcome::NoAnswer : Outcome::NoConnection;
        run.finished(pending[k], r);
    }

    std::atomic<std::size_t> next{0};
    const auto worker = [&] {
        for (std::size_t k = next++; k < work.size(); k = next++) {
            const std::size_t i = work[k];
            if (run.stopping()) {
                run.finished(i, run.reports[i]);  // NotStarted
                continue;
            }
            run.started(plan.cards[i].card.id);
            run.finished(i, act(plan, plan.cards[i].card, run, settings));
        }
    };
    std::vector<std::thread> threads;
    const std::size_t workers = std::min<std::size_t>(plan.parallel, std::max<std::size_t>(work.size(), 1));
    for (std::size_t t = 0; t < workers; ++t) threads.emplace_back(worker);
    for (auto& t : threads) t.join();

    result.reports = run.reports;
    if (!run.state_written) {
        result.status = CommitStatus::StateUnwritable;
        result.detail = "cannot write " + state_file.string() + "; the cards were worked on (see the report)";
    }
    return result;
}

}  // namespace fleet
