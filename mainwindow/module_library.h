// The module library as the "模组库" dialog shows it: the profiles of the library folder, the filter,
// and the apply of one profile to cards on the exchange service, card after card, with each card's
// result. GUI-free: the dialog renders this state and forwards what the user does.
//
// A damaged profile is listed but never applied. While an apply runs, no other starts.
// Threading: the UI thread (the owner of the exchange service); the exchanges run on its worker and
// report back through the event loop.
#pragma once

#include <QObject>

#include <string>
#include <vector>

#include "cardlink/card_exchange.h"
#include "cardlink/exchange_service.h"
#include "profiles/profile_apply.h"
#include "profiles/profile_library.h"

class ModuleLibrary : public QObject {
    Q_OBJECT
  public:
    struct CardResult {
        cardlink::CardTarget card;
        bool finished = false;
        profiles::ApplyOutcome outcome = profiles::ApplyOutcome::Done;
    };

    ModuleLibrary(profiles::ProfileLibrary library, cardlink::ExchangeService& exchanges,
                  QObject* parent = nullptr);

    profiles::ProfileLibrary& library() { return library_; }
    // Reads the folder again.
    void reload();
    const std::vector<profiles::LibraryEntry>& entries() const { return entries_; }
    // The entries whose name, maker, model, pitch or notes hold `filter` (any case); all for an empty one.
    std::vector<std::size_t> filtered(const std::string& filter) const;
    // The entry named `name`, if listed.
    std::optional<std::size_t> indexOf(const std::string& name) const;

    // Starts applying entry `index` to `cards`, in order. False, starting nothing, for a damaged entry,
    // no cards, or while an apply runs.
    bool apply(std::size_t index, std::vector<cardlink::CardTarget> cards);
    bool running() const { return running_; }
    const std::string& appliedName() const { return applied_name_; }
    const std::vector<CardResult>& results() const { return results_; }
    std::size_t finishedCount() const { return finished_; }
    std::size_t doneCount() const;

  signals:
    void cardFinished(int card);  // results()[card] has its outcome
    void applyFinished();

  private:
    profiles::ProfileLibrary library_;
    cardlink::ExchangeService& exchanges_;
    std::vector<profiles::LibraryEntry> entries_;
    bool running_ = false;
    std::string applied_name_;
    std::vector<CardResult> results_;
    std::size_t finished_ = 0;
};

// The status line after an apply: "Profile "X" applied: 14 of 16 cards took it; 1 no answer, 1
// refused." in the chosen language.
std::string apply_summary(const ModuleLibrary& library);
// One card's result in words, in the chosen language ("done", "refused", "no answer", ...).
std::string outcome_text(profiles::ApplyOutcome outcome);
