// Records what the library reports: status callback events and shown messages.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "kelvra/kelvra.h"
#include "library/protocol/library_state.h"

namespace recorder {

struct Event {
    std::uint32_t code;
    std::string text;
    bool has_text;
    bool operator==(const Event&) const = default;
};

inline std::mutex mutex;
inline std::condition_variable cv;
inline std::vector<Event> events;
inline std::vector<std::string> messages;

inline void on_status(std::uint32_t code, const char* text) {
    {
        std::lock_guard lock(mutex);
        events.push_back({code, text != nullptr ? text : "", text != nullptr});
    }
    cv.notify_all();
}

inline void on_message(const char* text, void*) {
    {
        std::lock_guard lock(mutex);
        messages.emplace_back(text);
    }
    cv.notify_all();
}

// Installs the recorders and puts the library back to its state at load.
inline void reset() {
    kelvra::wait_for_jobs(std::chrono::seconds(30));
    CallBack(on_status);
    KelvraSetMessageHandler(on_message, nullptr);
    kelvra::reset_library_state();
    std::lock_guard lock(mutex);
    events.clear();
    messages.clear();
}

inline std::vector<Event> all() {
    std::lock_guard lock(mutex);
    return events;
}

inline std::vector<std::uint32_t> codes() {
    std::lock_guard lock(mutex);
    std::vector<std::uint32_t> c;
    for (const auto& e : events) c.push_back(e.code);
    return c;
}

inline std::vector<std::string> shown() {
    std::lock_guard lock(mutex);
    return messages;
}

}  // namespace recorder
