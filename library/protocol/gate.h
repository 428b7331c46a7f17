// TransferGate: a counting semaphore with an active count, keyed by a card's IP text.
//
// The single file transfer gate serialises asynchronous file transfers; each entry of the connected
// card table is one card's gate for the live-display functions. The semaphore is created on first use
// with the gate's limit as both its initial and its maximum count.
//
// Threading: every member is safe to call from any thread; one mutex guards the whole gate.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace kelvra {

class TransferGate {
  public:
    TransferGate() = default;
    TransferGate(const TransferGate&) = delete;
    TransferGate& operator=(const TransferGate&) = delete;

    // Key of a connected-card entry (empty for the file transfer gate).
    std::string ip() const;
    void set_ip(std::string ip);

    // The limit only takes effect when the semaphore is created.
    void set_limit(std::uint32_t limit);
    std::uint32_t limit() const;
    // Creates the semaphore (initial = maximum = limit) when it does not exist yet.
    void ensure_semaphore();
    bool has_semaphore() const;

    // Waits on the semaphore without time limit (creating it first if needed).
    void acquire();
    // Releases the semaphore once; a release beyond the maximum count is ignored, as a semaphore does.
    void release();

    std::uint32_t active() const;
    // Send-worker entry: clamp the active count to 1, then add 1 (returns the new count).
    std::uint32_t enter();
    // Lowers the active count by 1 when it is above 0; returns the new count.
    std::uint32_t leave();

    // Asynchronous jobs that carry this gate, from their start until they end (whether they hold the
    // semaphore now, wait for it or have given it back): "a transfer to this card is under way".
    void job_started();
    void job_ended();
    std::uint32_t jobs() const;
    // Waits until no job carries the gate; false when `deadline` passed first.
    bool wait_no_jobs(std::chrono::steady_clock::time_point deadline) const;

  private:
    void ensure_locked();

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::string ip_;
    std::uint32_t limit_ = 0;
    std::uint32_t active_ = 0;
    bool created_ = false;
    std::uint32_t available_ = 0;
    std::uint32_t maximum_ = 0;
    std::uint32_t jobs_ = 0;
    mutable std::condition_variable jobs_cv_;  // apart from cv_, whose notify_one is the semaphore's
};

}  // namespace kelvra
