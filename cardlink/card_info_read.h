// Reading a card's information block over TCP (command 0x82 on the command port, answer 0xC2 with the
// 1088-byte block): for callers that need the card's state at one moment (a report, a script), rather
// than the card link's last UDP report. The answer is larger than an ordinary exchange's buffer, so it
// has its own receive.
//
// Threading: any thread; the read blocks its caller for at most the time-outs it is given.
#pragma once

#include <array>
#include <cstdint>

#include "cardlink/card_exchange.h"
#include "common/card_info.h"

namespace cardlink {

struct CardInfoRead {
    // None; NoConnection; SendFailed; NoAnswer (nothing, or less than one whole frame, in time);
    // AnswerRejected (a whole frame that is not a well-formed 0xC2 answer with a full block).
    ExchangeError error = ExchangeError::None;
    std::array<std::uint8_t, card_info::kBlockSize> block{};
    bool ok() const { return error == ExchangeError::None; }
};

CardInfoRead read_card_info(const CardTarget& target, const ExchangeTimeouts& timeouts = {});

}  // namespace cardlink
