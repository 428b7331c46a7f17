#include "mainwindow/module_library.h"

#include <algorithm>
#include <cctype>

#include "mainwindow/status_text.h"
#include "platform/localisation.h"

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

ModuleLibrary::ModuleLibrary(profiles::ProfileLibrary library, cardlink::ExchangeService& exchanges,
                             QObject* parent)
    : QObject(parent), library_(std::move(library)), exchanges_(exchanges) {
    reload();
}

void ModuleLibrary::reload() {
    entries_ = library_.list();
}

std::vector<std::size_t> ModuleLibrary::filtered(const std::string& filter) const {
    const std::string wanted = lower(filter);
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const auto& e = entries_[i];
        const std::string haystack = lower(e.name + '\n' + e.profile.maker + '\n' + e.profile.model + '\n' +
                                           e.profile.pitch + '\n' + e.profile.notes);
        if (wanted.empty() || haystack.find(wanted) != std::string::npos) shown.push_back(i);
    }
    return shown;
}

std::optional<std::size_t> ModuleLibrary::indexOf(const std::string& name) const {
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].name == name) return i;
    return std::nullopt;
}

bool ModuleLibrary::apply(std::size_t index, std::vector<cardlink::CardTarget> cards) {
    if (running_ || index >= entries_.size() || entries_[index].damaged() || cards.empty()) return false;
    running_ = true;
    const profiles::Profile profile = entries_[index].profile;
    applied_name_ = profile.name;
    results_.clear();
    finished_ = 0;
    for (auto& card : cards) results_.push_back({std::move(card), false, profiles::ApplyOutcome::Done});
    for (std::size_t i = 0; i < results_.size(); ++i) {
        exchanges_.submit(profiles::apply_exchange(profile, results_[i].card, exchanges_.timeouts()), this,
                          [this, i](const cardlink::ExchangeResult& r) {
                              results_[i].finished = true;
                              results_[i].outcome = profiles::outcome_of(r);
                              ++finished_;
                              emit cardFinished(static_cast<int>(i));
                              if (finished_ == results_.size()) {
                                  running_ = false;
                                  emit applyFinished();
                              }
                          });
    }
    return true;
}

std::size_t ModuleLibrary::doneCount() const {
    return static_cast<std::size_t>(std::count_if(results_.begin(), results_.end(), [](const CardResult& r) {
        return r.finished && r.outcome == profiles::ApplyOutcome::Done;
    }));
}

std::string outcome_text(profiles::ApplyOutcome outcome) {
    switch (outcome) {
        case profiles::ApplyOutcome::Done:
            return localisation::lookup("IDS_MESSAGE_PROFILE_RESULT_DONE");
        case profiles::ApplyOutcome::Refused:
            return localisation::lookup("IDS_MESSAGE_PROFILE_RESULT_REFUSED");
        case profiles::ApplyOutcome::NoAnswer:
            return localisation::lookup("IDS_MESSAGE_PROFILE_RESULT_NO_ANSWER");
        case profiles::ApplyOutcome::NoConnection:
            return localisation::lookup("IDS_MESSAGE_PROFILE_RESULT_NO_CONNECTION");
        case profiles::ApplyOutcome::ConnectionLost:
            return localisation::lookup("IDS_MESSAGE_PROFILE_RESULT_CONNECTION_LOST");
    }
    return {};
}

std::string apply_summary(const ModuleLibrary& library) {
    const auto& results = library.results();
    std::string others;
    for (const auto outcome : {profiles::ApplyOutcome::NoAnswer, profiles::ApplyOutcome::NoConnection,
                               profiles::ApplyOutcome::Refused, profiles::ApplyOutcome::ConnectionLost}) {
        const auto n = std::count_if(results.begin(), results.end(),
                                     [outcome](const auto& r) { return r.finished && r.outcome == outcome; });
        if (n == 0) continue;
        others += (others.empty() ? "" : ", ") + std::to_string(n) + " " + outcome_text(outcome);
    }
    const std::string key =
        others.empty() ? "IDS_MESSAGE_PROFILE_APPLIED_ALL" : "IDS_MESSAGE_PROFILE_APPLIED_SOME";
    return status_text::fill(
        localisation::lookup(key),
        {library.appliedName(), std::to_string(library.doneCount()), std::to_string(results.size()), others});
}
