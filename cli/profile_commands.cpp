// `vantor-cli profile ...`: the module library from the command line.
#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>
#include <future>

#include "cardlink/card_link.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cli/search.h"
#include "profiles/profile_apply.h"
#include "profiles/profile_library.h"

namespace cli {

namespace {

using namespace profiles;

const char* command_of(ProfileAction action) {
    switch (action) {
        case ProfileAction::List:
            return "profile list";
        case ProfileAction::Show:
            return "profile show";
        case ProfileAction::Apply:
            return "profile apply";
        case ProfileAction::Import:
            return "profile import";
        case ProfileAction::Export:
            return "profile export";
        case ProfileAction::ExportAll:
            return "profile export-all";
        case ProfileAction::ImportAll:
            return "profile import-all";
    }
    return "profile";
}

// Every failure of the library is about a local file: exit status 3.
int library_failed(Report& report, const LibraryResult& r) {
    return report.fail(kFileError, std::string(error_name(r.error)), r.detail);
}

QJsonObject profile_object(const LibraryEntry& e, bool full) {
    QJsonObject o;
    o.insert(QStringLiteral("name"), qs(e.name));
    o.insert(QStringLiteral("file"), qs(e.file.string()));
    o.insert(QStringLiteral("damaged"), e.damaged());
    if (e.damaged()) {
        o.insert(QStringLiteral("error"), qs(std::string(error_name(e.error))));
        o.insert(QStringLiteral("detail"), qs(e.detail));
        return o;
    }
    const Profile& p = e.profile;
    o.insert(QStringLiteral("maker"), qs(p.maker));
    o.insert(QStringLiteral("model"), qs(p.model));
    o.insert(QStringLiteral("pitch"), qs(p.pitch));
    o.insert(QStringLiteral("width"), static_cast<qint64>(p.width));
    o.insert(QStringLiteral("height"), static_cast<qint64>(p.height));
    o.insert(QStringLiteral("scan"), qs(scan_words(p.record)));
    o.insert(QStringLiteral("colour_order"), qs(colour_order_words(p.record)));
    o.insert(QStringLiteral("data_polarity"),
             qs(polarity_words(p.record.get(screenconfig::ParamsField::dataPolarity))));
    o.insert(QStringLiteral("oe_polarity"),
             qs(polarity_words(p.record.get(screenconfig::ParamsField::oePolarity))));
    o.insert(QStringLiteral("date"), qs(p.date));
    if (full) {
        o.insert(QStringLiteral("notes"), qs(p.notes));
        o.insert(QStringLiteral("picture"), qs(p.picture));
        std::string hex;
        for (const std::uint8_t b : p.record.bytes()) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", b);
            hex += two;
        }
        o.insert(QStringLiteral("record"), qs(hex));
    }
    return o;
}

std::string size_words(const Profile& p) {
    return p.width && p.height ? std::to_string(p.width) + "x" + std::to_string(p.height) : "-";
}

int run_list(Report& report, const ProfileLibrary& library) {
    const auto entries = library.list();
    QJsonArray list;
    if (!report.json() && !entries.empty())
        std::printf("%-28s %-8s %-6s %-6s %-9s %-9s %s\n", "NAME", "SIZE", "SCAN", "ORDER", "DATA", "OE",
                    "MAKER / MODEL");
    for (const LibraryEntry& e : entries) {
        list.append(profile_object(e, false));
        if (report.json()) continue;
        if (e.damaged()) {
            std::printf("%-28s DAMAGED: %s: %s\n", e.name.c_str(), std::string(error_name(e.error)).c_str(),
                        e.detail.c_str());
            continue;
        }
        const Profile& p = e.profile;
        std::printf("%-28s %-8s %-6s %-6s %-9s %-9s %s\n", p.name.c_str(), size_words(p).c_str(),
                    scan_words(p.record).c_str(), colour_order_words(p.record).c_str(),
                    polarity_words(p.record.get(screenconfig::ParamsField::dataPolarity)).c_str(),
                    polarity_words(p.record.get(screenconfig::ParamsField::oePolarity)).c_str(),
                    (p.maker + (p.model.empty() ? "" : " / " + p.model)).c_str());
    }
    std::fflush(stdout);
    report.set("profiles", list);
    report.line(std::to_string(entries.size()) + " profiles in " + library.folder().string());
    return report.done(kOk);
}

int run_show(Report& report, const ProfileLibrary& library, const std::string& name) {
    const auto entry = library.find(name);
    if (!entry) return library_failed(report, {LibraryError::NotFound, "no profile named \"" + name + "\""});
    report.set("profile", profile_object(*entry, true));
    if (entry->damaged())
        return report.fail(kFileError, "damaged",
                           entry->file.string() + " is damaged (" + std::string(error_name(entry->error)) +
                               "): " + entry->detail);
    const Profile& p = entry->profile;
    using screenconfig::ParamsField;
    report.line("name:          " + p.name);
    report.line("maker:         " + p.maker);
    report.line("model:         " + p.model);
    report.line("pitch:         " + p.pitch);
    report.line("size in LEDs:  " + size_words(p));
    report.line("scan:          " + scan_words(p.record));
    report.line("colour order:  " + colour_order_words(p.record));
    report.line("data polarity: " + polarity_words(p.record.get(ParamsField::dataPolarity)));
    report.line("OE polarity:   " + polarity_words(p.record.get(ParamsField::oePolarity)));
    report.line("date:          " + p.date);
    if (!p.picture.empty()) report.line("picture:       " + (library.folder() / p.picture).string());
    if (!p.notes.empty()) report.line("notes:         " + p.notes);
    report.line("file:          " + entry->file.string());
    return report.done(kOk);
}

std::string outcome_words(ApplyOutcome outcome) {
    std::string words(outcome_name(outcome));
    for (char& c : words)
        if (c == '_') c = ' ';
    return words;
}

int run_apply(Report& report, const ProfileLibrary& library, const ProfileOptions& o) {
    report.set("profile", qs(o.name));
    const auto entry = library.find(o.name);
    if (!entry)
        return library_failed(report, {LibraryError::NotFound, "no profile named \"" + o.name + "\""});
    // A damaged profile never goes to a card: its record is not known to be what was saved.
    if (entry->damaged())
        return report.fail(kFileError, "damaged",
                           entry->file.string() + " is damaged (" + std::string(error_name(entry->error)) +
                               "): " + entry->detail + "; nothing was sent");
    trace_to_stderr(o.output.trace);

    std::vector<cardlink::CardTarget> targets;
    if (o.all) {
        const SearchResult search = search_cards(o.search_address, o.timeout_ms);
        if (!search.socket_opened)
            return report.fail(kUnreachable, "no_socket",
                               "cannot open the discovery socket for " + o.search_address);
        for (const FoundCard& card : search.cards) targets.push_back({card.id, card.address});
        if (targets.empty())
            return report.fail(kUnreachable, "no_card", "no card answered the search at " + o.search_address);
    } else {
        for (std::size_t i = 0; i < o.addresses.size(); ++i)
            targets.push_back(
                {o.card_ids.empty() ? std::string(cardlink::kCheckCardId) : o.card_ids[i], o.addresses[i]});
    }

    // The cards are independent: a silent one costs its time-out beside the others, not after them.
    std::vector<std::future<ApplyOutcome>> running;
    running.reserve(targets.size());
    for (const auto& target : targets)
        running.push_back(std::async(std::launch::async, [&profile = entry->profile, target] {
            return apply_to_card(profile, target);
        }));
    QJsonArray cards;
    std::size_t done = 0, refused = 0, broken = 0;
    if (!report.json()) std::printf("%-20s %-16s %s\n", "IDENTIFIER", "ADDRESS", "RESULT");
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const ApplyOutcome outcome = running[i].get();
        done += outcome == ApplyOutcome::Done;
        refused += outcome == ApplyOutcome::Refused;
        broken += outcome == ApplyOutcome::ConnectionLost;
        cards.append(QJsonObject{{QStringLiteral("id"), qs(targets[i].card_id)},
                                 {QStringLiteral("address"), qs(targets[i].address)},
                                 {QStringLiteral("result"), qs(std::string(outcome_name(outcome)))}});
        if (!report.json())
            std::printf("%-20s %-16s %s\n", targets[i].card_id.c_str(), targets[i].address.c_str(),
                        outcome_words(outcome).c_str());
    }
    std::fflush(stdout);
    report.set("cards", cards);
    if (done == targets.size()) {
        report.line("profile \"" + o.name + "\" applied to " + std::to_string(done) + " of " +
                    std::to_string(targets.size()) + " cards");
        return report.done(kOk);
    }
    const std::string message = std::to_string(targets.size() - done) + " of " +
                                std::to_string(targets.size()) + " cards did not take the profile \"" +
                                o.name + "\" (" + std::to_string(done) + " did)";
    if (refused > 0) return report.fail(kFailed, "refused", message);
    if (broken > 0) return report.fail(kFailed, "transfer_failed", message);
    return report.fail(kUnreachable, "no_answer", message);
}

}  // namespace

int run_profile(const ProfileOptions& o) {
    Report report(command_of(o.action), o.output.json);
    ProfileLibrary library;
    switch (o.action) {
        case ProfileAction::List:
            return run_list(report, library);
        case ProfileAction::Show:
            return run_show(report, library, o.name);
        case ProfileAction::Apply:
            return run_apply(report, library, o);
        case ProfileAction::Import: {
            report.set("file", qs(o.file));
            std::string name;
            const LibraryResult r = library.import_one(o.file, o.replace, &name);
            if (!name.empty()) report.set("profile", qs(name));
            if (!r.ok()) return library_failed(report, r);
            report.line("profile \"" + name + "\" added to " + library.folder().string());
            return report.done(kOk);
        }
        case ProfileAction::Export: {
            report.set("profile", qs(o.name));
            report.set("file", qs(o.file));
            const LibraryResult r = library.export_one(o.name, o.file);
            if (!r.ok()) return library_failed(report, r);
            report.line("profile \"" + o.name + "\" written to " + o.file);
            return report.done(kOk);
        }
        case ProfileAction::ExportAll: {
            report.set("file", qs(o.file));
            const ExportAllResult r = library.export_all(o.file);
            QJsonArray skipped;
            for (const auto& s : r.skipped) skipped.append(qs(s));
            report.set("exported", static_cast<qint64>(r.exported));
            report.set("skipped", skipped);
            if (!r.result.ok()) return library_failed(report, r.result);
            for (const auto& s : r.skipped)
                std::fprintf(stderr, "vantor-cli: %s is damaged: left out\n", s.c_str());
            report.line(std::to_string(r.exported) + " profiles written to " + o.file);
            return report.done(kOk);
        }
        case ProfileAction::ImportAll: {
            report.set("file", qs(o.file));
            const ImportAllResult r = library.import_all(o.file, o.replace);
            if (!r.result.ok()) return library_failed(report, r.result);
            QJsonArray members;
            std::size_t taken = 0;
            for (const ImportedMember& m : r.members) {
                QJsonObject member{{QStringLiteral("member"), qs(m.member)},
                                   {QStringLiteral("name"), qs(m.name)},
                                   {QStringLiteral("ok"), m.result.ok()}};
                if (!m.result.ok()) {
                    member.insert(QStringLiteral("error"), qs(std::string(error_name(m.result.error))));
                    member.insert(QStringLiteral("detail"), qs(m.result.detail));
                    std::fprintf(stderr, "vantor-cli: %s: %s\n", m.member.c_str(), m.result.detail.c_str());
                } else {
                    ++taken;
                    report.line("added \"" + m.name + "\"");
                }
                members.append(member);
            }
            report.set("profiles", members);
            if (taken < r.members.size())
                return report.fail(kFileError, "import_failed",
                                   std::to_string(r.members.size() - taken) + " of " +
                                       std::to_string(r.members.size()) + " profiles were not added");
            report.line(std::to_string(taken) + " profiles added to " + library.folder().string());
            return report.done(kOk);
        }
    }
    return report.done(kUsage);
}

}  // namespace cli
