// ledcard-sim: simulated LED control cards on real sockets, for tests, benchmarks and demos.
//
// Each card has an id, an IPv4 address and the card's sockets: UDP 31296 and TCP + UDP 31298 bound to
// that address. One shared UDP socket on 0.0.0.0:31296 hears discovery broadcasts (a socket bound to
// a unicast address hears none) and every card answers from its own address. Two cards at one address
// (allow_duplicate_addresses) share that address's sockets and both answer discovery.
//
// Threading: start() runs one I/O thread per simulator; every public member may be called from any
// thread. Card state, the journal and stored-file records are guarded by one lock inside. Sockets
// are never waited on: answers go out as each peer's socket takes them. Pictures are decoded for a
// card's screen on the I/O thread outside that lock, after the frame that changed the screen.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/sim_types.h"

namespace sim {

class Simulator;
struct StartResult {
    std::unique_ptr<Simulator> simulator;
    std::string error;  // why nothing runs, when simulator is null
    explicit operator bool() const { return simulator != nullptr; }
};

class Simulator {
  public:
    // Binds every socket, then starts the I/O thread. Fails without sockets or threads left behind.
    // Raises the process's soft descriptor limit (up to its hard limit) when the cards need it.
    static StartResult start(SimulatorConfig config);
    ~Simulator();  // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    void stop();  // closes every socket; idempotent

    std::vector<std::string> card_ids() const;
    std::optional<CardState> state(std::string_view card_id) const;
    bool set_faults(std::string_view card_id, const Faults& faults);  // false: no such card
    std::vector<StoredFile> stored_files(std::string_view card_id) const;
    std::filesystem::path card_folder(std::string_view card_id) const;

    // The entries held in memory (see SimulatorConfig::journal_memory_entries), oldest first.
    std::vector<JournalEntry> journal() const;
    std::uint64_t journal_end() const;  // seq of the next entry
    // Waits until `pred` holds for the journal (true) or the time-out passes (false). `pred` runs under
    // the simulator's lock; it may call the reading members (state, stored_files, ...) but not wait.
    bool wait_for(const std::function<bool(const std::vector<JournalEntry>&)>& pred,
                  std::chrono::milliseconds timeout) const;
    // The first entry with seq >= from_seq for this card (empty: any) and command.
    std::optional<JournalEntry> wait_for_frame(std::string_view card_id, std::uint8_t command,
                                               std::chrono::milliseconds timeout,
                                               std::uint64_t from_seq = 0) const;

    struct Impl;

  private:
    explicit Simulator(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

enum class IdFamily { Mixed, PlainSum, Complement };
// `count` cards at consecutive addresses from `first_address`; ids "S730-413-NNNNN" (plain sum) and
// "A901-200-NNNNN" (complement), alternating for Mixed, starting with the plain-sum family.
std::vector<CardConfig> make_cards(std::size_t count, std::string_view first_address,
                                   IdFamily family = IdFamily::Mixed);

}  // namespace sim
