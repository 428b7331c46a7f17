// Bounded waits on Qt's event loop for tests: pump events until a condition holds or the time is up.
// UI thread only.
#pragma once

#include <chrono>
#include <functional>

namespace support {

// Processes events until `done` holds (true) or `timeout` passes (false).
bool pump_until(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Processes events for `duration` (for showing that something does NOT happen within a bound).
void pump_for(std::chrono::milliseconds duration);

}  // namespace support
