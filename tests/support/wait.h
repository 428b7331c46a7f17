// Bounded waiting for tests on any thread: a condition is polled until it holds or its bound passes.
// Tests wait for events this way, never for a fixed time; a test that shows something does NOT happen
// gives it a window that ends early when it does.
#pragma once

#include <chrono>
#include <thread>

namespace support {

// Polls `done` until it holds (true) or `timeout` passes (false).
template <class Done>
bool wait_until(Done&& done, std::chrono::milliseconds timeout = std::chrono::seconds(5),
                std::chrono::milliseconds every = std::chrono::milliseconds(2)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(every);
    }
    return true;
}

// True when `happened` stays false through the whole `window`; false as soon as it holds.
template <class Happened>
bool stays_false(Happened&& happened, std::chrono::milliseconds window) {
    return !wait_until(happened, window);
}

}  // namespace support
