// The sends of this session: what went to which card and how each ended, in order, for the
// commissioning report. The main window owns one and its controllers append as each exchange ends.
// GUI-free. Threading: one thread (the owner's).
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "cardlink/card_exchange.h"

namespace report {

struct SendRecord {
    std::chrono::system_clock::time_point when;
    std::string what;  // already localised, e.g. "OE polarity: Negative"
    cardlink::CardTarget target;
    cardlink::ExchangeError outcome = cardlink::ExchangeError::None;
    std::chrono::milliseconds answer_bound{0};  // how long the answer was awaited (for "no answer")
};

class SendLog {
  public:
    void append(SendRecord record) { records_.push_back(std::move(record)); }
    const std::vector<SendRecord>& records() const { return records_; }
    // The sends that went to `card`: to its identifier, or to its address (address mode sends under a
    // fixed identifier).
    std::vector<SendRecord> to_card(const cardlink::CardTarget& card) const;

  private:
    std::vector<SendRecord> records_;
};

}  // namespace report
