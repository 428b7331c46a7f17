// Applying a profile to cards: its record goes to each card as the parameter send of a ".hcp" file
// does (screenconfig::params_exchange: one CMD_SCREEN_CONTROL frame, the answer checked), and each
// card's result is named. Only a good profile is applied: the caller has it from the library, which
// never hands out a damaged one as good.
// Threading: apply_to_card blocks its caller for at most the exchange's time-outs; run it on a worker
// (the exchange service) where a window waits.
#pragma once

#include <functional>
#include <string_view>

#include "cardlink/card_exchange.h"
#include "profiles/profile_format.h"

namespace profiles {

enum class ApplyOutcome {
    Done,            // the card answered that it took the record
    Refused,         // the card answered, and not with success
    NoAnswer,        // the record went out whole; the card said nothing
    NoConnection,    // the card's command port could not be reached; nothing was sent
    ConnectionLost,  // the connection broke while the record was on its way
};

// "done", "refused", "no_answer", "no_connection", "connection_lost".
std::string_view outcome_name(ApplyOutcome outcome);
ApplyOutcome outcome_of(const cardlink::ExchangeResult& result);

// The exchange that applies `profile` to `target`, for a worker (it holds a copy of the block).
std::function<cardlink::ExchangeResult()> apply_exchange(const Profile& profile,
                                                         const cardlink::CardTarget& target,
                                                         const cardlink::ExchangeTimeouts& timeouts = {});

// apply_exchange run here and now.
ApplyOutcome apply_to_card(const Profile& profile, const cardlink::CardTarget& target,
                           const cardlink::ExchangeTimeouts& timeouts = {});

}  // namespace profiles
