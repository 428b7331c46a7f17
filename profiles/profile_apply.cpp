#include "profiles/profile_apply.h"

#include "screenconfig/screen_files.h"
#include "screenconfig/working_set.h"

namespace profiles {

std::string_view outcome_name(ApplyOutcome outcome) {
    switch (outcome) {
        case ApplyOutcome::Done:
            return "done";
        case ApplyOutcome::Refused:
            return "refused";
        case ApplyOutcome::NoAnswer:
            return "no_answer";
        case ApplyOutcome::NoConnection:
            return "no_connection";
        case ApplyOutcome::ConnectionLost:
            return "connection_lost";
    }
    return "unknown";
}

ApplyOutcome outcome_of(const cardlink::ExchangeResult& result) {
    switch (result.error) {
        case cardlink::ExchangeError::None:
            return ApplyOutcome::Done;
        case cardlink::ExchangeError::AnswerRejected:
            return ApplyOutcome::Refused;
        case cardlink::ExchangeError::NoAnswer:
            return ApplyOutcome::NoAnswer;
        case cardlink::ExchangeError::NoConnection:
            return ApplyOutcome::NoConnection;
        case cardlink::ExchangeError::SendFailed:
            return ApplyOutcome::ConnectionLost;
    }
    return ApplyOutcome::ConnectionLost;
}

std::function<cardlink::ExchangeResult()> apply_exchange(const Profile& profile,
                                                         const cardlink::CardTarget& target,
                                                         const cardlink::ExchangeTimeouts& timeouts) {
    // The same block as the send of a loaded ".hcp" file: the record is a checked one.
    screenconfig::WorkingSet ws;
    ws.params = profile.record;
    ws.source = screenconfig::ParamSource::File;
    return screenconfig::params_exchange(ws, target, timeouts);
}

ApplyOutcome apply_to_card(const Profile& profile, const cardlink::CardTarget& target,
                           const cardlink::ExchangeTimeouts& timeouts) {
    return outcome_of(apply_exchange(profile, target, timeouts)());
}

}  // namespace profiles
