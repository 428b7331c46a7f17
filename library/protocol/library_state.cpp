#include "library/protocol/library_state.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace kelvra {
namespace {

// Truncates a text to what a NUL-terminated field of `size` bytes holds.
std::string field_text(std::string_view s, std::size_t size) {
    s = s.substr(0, std::min(s.find('\0'), size - 1));
    return std::string(s);
}

// All library-wide state in one place. It is created on first use and never destroyed, so worker
// threads that outlive a caller's last call never touch a destroyed object.
struct State {
    std::mutex callback_mutex;
    StatusCallback callback = nullptr;

    std::mutex trace_mutex;
    TraceHandler trace_handler = nullptr;
    void* trace_user = nullptr;

    std::mutex answer_mutex;
    std::optional<Answer> answer;

    std::mutex cards_mutex;
    bool discovery_busy = false;
    std::vector<CardEntry> cards;

    std::mutex connected_mutex;
    std::size_t connected_count = 0;
    std::array<TransferGate, kMaxCards> connected;

    TransferGate file_gate;

    std::mutex pending_mutex;
    std::uint32_t pending = 0;

    std::mutex serial_mutex;
    SerialSettings serial;

    std::mutex jobs_mutex;
    std::condition_variable jobs_cv;
    std::size_t jobs = 0;
};

State& state() {
    static State* s = new State;  // intentionally never freed (see State)
    return *s;
}

}  // namespace

void register_status_callback(StatusCallback cb) {
    if (cb == nullptr) return;
    std::lock_guard lock(state().callback_mutex);
    state().callback = cb;
}

void report_status(std::uint32_t code, std::string_view text, bool with_text) {
    StatusCallback cb;
    {
        std::lock_guard lock(state().callback_mutex);
        cb = state().callback;
    }
    if (cb == nullptr) return;
    std::string copy(text);  // a NUL-terminated copy that lives through the call
    cb(code, with_text ? copy.c_str() : nullptr);
}

void set_trace_handler(TraceHandler handler, void* user) {
    std::lock_guard lock(state().trace_mutex);
    state().trace_handler = handler;
    state().trace_user = handler != nullptr ? user : nullptr;
}

void trace_frame(TraceDirection direction, const std::uint8_t* bytes, std::size_t size) {
    TraceHandler handler;
    void* user;
    {
        std::lock_guard lock(state().trace_mutex);
        handler = state().trace_handler;
        user = state().trace_user;
    }
    if (handler != nullptr && size > 0) handler(static_cast<int>(direction), bytes, size, user);
}

void store_answer(const std::uint8_t* data, std::size_t size) {
    Answer a;
    a.bytes.assign(kAnswerBufferSize, 0);
    a.received = std::min(size, kAnswerBufferSize);
    if (a.received > 0) std::copy_n(data, a.received, a.bytes.begin());
    std::lock_guard lock(state().answer_mutex);
    state().answer = std::move(a);
}

std::optional<Answer> take_answer() {
    std::lock_guard lock(state().answer_mutex);
    std::optional<Answer> a = std::move(state().answer);
    state().answer.reset();
    return a;
}

bool has_answer() {
    std::lock_guard lock(state().answer_mutex);
    return state().answer.has_value();
}

void free_answer() {
    std::lock_guard lock(state().answer_mutex);
    state().answer.reset();
}

bool discovery_try_begin() {
    std::lock_guard lock(state().cards_mutex);
    if (state().discovery_busy) return false;
    state().discovery_busy = true;
    return true;
}

void discovery_end() {
    std::lock_guard lock(state().cards_mutex);
    state().discovery_busy = false;
}

bool discovery_busy() {
    std::lock_guard lock(state().cards_mutex);
    return state().discovery_busy;
}

void card_table_clear() {
    std::lock_guard lock(state().cards_mutex);
    state().cards.clear();
}

bool card_table_add(std::string_view id, std::string_view ip) {
    std::lock_guard lock(state().cards_mutex);
    if (state().cards.size() >= kMaxCards) return false;
    state().cards.push_back({field_text(id, kCardTextSize), field_text(ip, kCardTextSize)});
    return true;
}

std::size_t card_table_count() {
    std::lock_guard lock(state().cards_mutex);
    return state().cards.size();
}

CardLookup card_table_lookup(int n) {
    std::lock_guard lock(state().cards_mutex);
    CardLookup r;
    r.busy = state().discovery_busy;
    if (n >= 1 && static_cast<std::size_t>(n) <= state().cards.size()) r.card = state().cards[n - 1];
    return r;
}

bool connected_card_add(std::string_view ip) {
    const std::string key = field_text(ip, kCardTextSize);
    std::lock_guard lock(state().connected_mutex);
    auto& s = state();
    for (std::size_t i = 0; i < s.connected_count; ++i) {
        if (s.connected[i].ip() == key) return true;
    }
    if (s.connected_count >= kMaxCards) return false;
    s.connected[s.connected_count++].set_ip(key);
    return true;
}

std::size_t connected_card_count() {
    std::lock_guard lock(state().connected_mutex);
    return state().connected_count;
}

TransferGate* connected_card_gate(std::string_view ip) {
    const std::string key = field_text(ip, kCardTextSize);
    std::lock_guard lock(state().connected_mutex);
    auto& s = state();
    for (std::size_t i = 0; i < s.connected_count; ++i) {
        if (s.connected[i].ip() == key) return &s.connected[i];
    }
    return nullptr;
}

TransferGate& card_gate_or_first(std::string_view ip) {
    TransferGate* gate = connected_card_gate(ip);
    return gate != nullptr ? *gate : state().connected[0];
}

TransferGate& file_transfer_gate() {
    return state().file_gate;
}

void pending_transfers_add(std::uint32_t n) {
    std::lock_guard lock(state().pending_mutex);
    state().pending += n;
}

void pending_transfers_lower() {
    std::lock_guard lock(state().pending_mutex);
    if (state().pending > 0) --state().pending;
}

std::uint32_t pending_transfers() {
    std::lock_guard lock(state().pending_mutex);
    return state().pending;
}

SerialSettings serial_settings() {
    std::lock_guard lock(state().serial_mutex);
    return state().serial;
}

void set_serial_settings(SerialSettings s) {
    std::lock_guard lock(state().serial_mutex);
    state().serial = std::move(s);
}

void jobs_started() {
    std::lock_guard lock(state().jobs_mutex);
    ++state().jobs;
}

void jobs_finished() {
    {
        std::lock_guard lock(state().jobs_mutex);
        if (state().jobs > 0) --state().jobs;
    }
    state().jobs_cv.notify_all();
}

std::size_t jobs_running() {
    std::lock_guard lock(state().jobs_mutex);
    return state().jobs;
}

bool wait_for_jobs(std::chrono::milliseconds timeout) {
    std::unique_lock lock(state().jobs_mutex);
    return state().jobs_cv.wait_for(lock, timeout, [] { return state().jobs == 0; });
}

void reset_library_state() {
    {
        std::lock_guard lock(state().cards_mutex);
        state().cards.clear();
        state().discovery_busy = false;
    }
    {
        std::lock_guard lock(state().connected_mutex);
        for (std::size_t i = 0; i < state().connected_count; ++i) state().connected[i].set_ip("");
        state().connected_count = 0;
    }
    free_answer();
    {
        std::lock_guard lock(state().pending_mutex);
        state().pending = 0;
    }
    set_serial_settings(SerialSettings{});
}

}  // namespace kelvra
