// Time bounds for tests whose cards answer at once or not at all: a no-answer case ends after a
// second instead of the documented six, and a discovery after a second of silence instead of three.
// The tests that check the documented bounds themselves run with kelvra::Timeouts{}.
#pragma once

#include <chrono>

#include "library/protocol/timeouts.h"

namespace test {

inline kelvra::Timeouts fast_timeouts() {
    using namespace std::chrono_literals;
    kelvra::Timeouts t;
    t.connect = 1000ms;
    t.answer = 1000ms;
    t.discovery_silence = 1000ms;
    t.upgrade_answer_pause = 300ms;
    t.upgrade_finish_pause = 50ms;
    return t;
}

}  // namespace test
