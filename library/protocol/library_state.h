// Library-wide state of Kelvra: the status callback, the answer buffer, the card
// table filled by discovery, the connected card table, the pending transfer count, the serial settings,
// the file transfer gate and the count of running jobs.
//
// Threading: every function here may be called from any thread. Each piece of state has its own lock;
// callbacks and message handlers are called with no lock held.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/base/messages.h"  // the message handler, which every part of the library shows through
#include "library/protocol/gate.h"

namespace kelvra {

// ---- status callback ------------------------------------------------------------------------------
using StatusCallback = void (*)(std::uint32_t code, const char* text);
// A null callback leaves the registration unchanged.
void register_status_callback(StatusCallback cb);
// Calls the registered callback, if any; the event is dropped otherwise. `text` may be empty (passed
// as a null pointer when `with_text` is false).
void report_status(std::uint32_t code, std::string_view text, bool with_text = true);
inline void report_status_no_text(std::uint32_t code) {
    report_status(code, {}, false);
}

// ---- frame trace -----------------------------------------------------------------------------------
enum class TraceDirection { Sent = 0, Received = 1 };
using TraceHandler = void (*)(int direction, const unsigned char* bytes, std::size_t size, void* user);
// A null handler ends the trace.
void set_trace_handler(TraceHandler handler, void* user);
// Hands `bytes` to the trace handler, if one is set.
void trace_frame(TraceDirection direction, const std::uint8_t* bytes, std::size_t size);

// ---- answer buffer ---------------------------------------------------------------------------------
inline constexpr std::size_t kAnswerBufferSize = 9000;
struct Answer {
    std::vector<std::uint8_t> bytes;  // always kAnswerBufferSize bytes, zero beyond `received`
    std::size_t received = 0;
};
// Stores a received answer (at most kAnswerBufferSize bytes are kept).
void store_answer(const std::uint8_t* data, std::size_t size);
// Takes the answer out of the library (the buffer is then freed); none when no answer is held.
std::optional<Answer> take_answer();
bool has_answer();
void free_answer();

// ---- card table (latest discovery) -----------------------------------------------------------------
inline constexpr std::size_t kMaxCards = 256;
inline constexpr std::size_t kCardTextSize = 20;  // ids and IP texts are kept in 20-byte fields
struct CardEntry {
    std::string id;
    std::string ip;
};
// Starts a discovery if none runs: sets the busy flag and returns true; false when one runs already.
bool discovery_try_begin();
void discovery_end();
bool discovery_busy();
void card_table_clear();
// Adds a card unless the table is full; returns false when it was not recorded.
bool card_table_add(std::string_view id, std::string_view ip);
std::size_t card_table_count();
// Returns the 1-based n-th card together with the busy flag, read under one lock.
struct CardLookup {
    bool busy = false;
    std::optional<CardEntry> card;
};
CardLookup card_table_lookup(int n);

// ---- connected card table --------------------------------------------------------------------------
// Adds `ip` (first 20 bytes) unless present or the table is full; returns true when it is present
// afterwards.
bool connected_card_add(std::string_view ip);
std::size_t connected_card_count();
// The gate of the card whose IP text is `ip`, or null. The gates live as long as the library.
TransferGate* connected_card_gate(std::string_view ip);
// The gate the live display uses for a card: its own entry, or the first entry when the card is not in
// the table.
TransferGate& card_gate_or_first(std::string_view ip);

// ---- file transfers --------------------------------------------------------------------------------
TransferGate& file_transfer_gate();
void pending_transfers_add(std::uint32_t n);
// Lowers the count by 1, not below 0.
void pending_transfers_lower();
std::uint32_t pending_transfers();

// ---- serial settings -------------------------------------------------------------------------------
struct SerialSettings {
    int port = 1;
    std::string line = "9600,0,8,0";
};
SerialSettings serial_settings();
void set_serial_settings(SerialSettings s);

// ---- asynchronous jobs -----------------------------------------------------------------------------
void jobs_started();
void jobs_finished();
std::size_t jobs_running();
// Waits until no asynchronous job runs; false when `timeout` passed first.
bool wait_for_jobs(std::chrono::milliseconds timeout);

// Puts the tables and counts back to their state at load (tests use it between cases).
void reset_library_state();

}  // namespace kelvra
