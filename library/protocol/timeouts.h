// Every time bound of Kelvra's transports in one value. The defaults are the documented bounds (see
// include/kelvra/cards.h); tests lower them through set_timeouts so that a no-answer case does not
// wait seconds. Internal C++ only: nothing here is exported, and the C ABI does not change.
//
// Threading: timeouts() and set_timeouts() may be called from any thread (one lock). A job reads the
// value when it needs a bound, so a change affects waits that start after it.
#pragma once

#include <chrono>

namespace kelvra {

struct Timeouts {
    std::chrono::milliseconds connect{3000};               // a TCP connect to a card
    std::chrono::milliseconds send{5000};                  // a TCP send to a card that stops acknowledging
    std::chrono::milliseconds answer{6000};                // the whole wait for one answer, whatever arrives
    std::chrono::milliseconds reachable{2000};             // ConnectCardSuccessOrFaile's connect
    std::chrono::milliseconds discovery_silence{3000};     // discovery ends after this long without an answer
    std::chrono::milliseconds discovery_total{10000};      // and at the latest this long after it started
    std::chrono::milliseconds upgrade_answer_pause{2000};  // UpgradeProgram: after the announcement
    std::chrono::milliseconds upgrade_finish_pause{200};   // UpgradeProgram: before 0x94
    std::chrono::milliseconds card_busy_wait{120000};      // ShowPicStunt: for the card's picture transfers

    bool operator==(const Timeouts&) const = default;
};

Timeouts timeouts();
void set_timeouts(const Timeouts& t);

// Sets `t` for its lifetime and puts back the previous value when it ends (tests).
class ScopedTimeouts {
  public:
    explicit ScopedTimeouts(const Timeouts& t) : previous_(timeouts()) { set_timeouts(t); }
    ~ScopedTimeouts() { set_timeouts(previous_); }
    ScopedTimeouts(const ScopedTimeouts&) = delete;
    ScopedTimeouts& operator=(const ScopedTimeouts&) = delete;

  private:
    Timeouts previous_;
};

}  // namespace kelvra
