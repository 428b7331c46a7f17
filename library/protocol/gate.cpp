#include "library/protocol/gate.h"

namespace kelvra {

std::string TransferGate::ip() const {
    std::lock_guard lock(mutex_);
    return ip_;
}

void TransferGate::set_ip(std::string ip) {
    std::lock_guard lock(mutex_);
    ip_ = std::move(ip);
}

void TransferGate::set_limit(std::uint32_t limit) {
    std::lock_guard lock(mutex_);
    limit_ = limit;
}

std::uint32_t TransferGate::limit() const {
    std::lock_guard lock(mutex_);
    return limit_;
}

void TransferGate::ensure_locked() {
    if (!created_) {
        created_ = true;
        // A semaphore of limit 0 could never be taken; treat it as limit 1 so a gate never deadlocks.
        maximum_ = limit_ == 0 ? 1 : limit_;
        available_ = maximum_;
    }
}

void TransferGate::ensure_semaphore() {
    std::lock_guard lock(mutex_);
    ensure_locked();
}

bool TransferGate::has_semaphore() const {
    std::lock_guard lock(mutex_);
    return created_;
}

void TransferGate::acquire() {
    std::unique_lock lock(mutex_);
    ensure_locked();
    cv_.wait(lock, [this] { return available_ > 0; });
    --available_;
}

void TransferGate::release() {
    {
        std::lock_guard lock(mutex_);
        if (!created_ || available_ >= maximum_) return;
        ++available_;
    }
    cv_.notify_one();
}

std::uint32_t TransferGate::active() const {
    std::lock_guard lock(mutex_);
    return active_;
}

std::uint32_t TransferGate::enter() {
    std::lock_guard lock(mutex_);
    if (active_ > 1) active_ = 1;
    return ++active_;
}

std::uint32_t TransferGate::leave() {
    std::lock_guard lock(mutex_);
    if (active_ > 0) --active_;
    return active_;
}

void TransferGate::job_started() {
    std::lock_guard lock(mutex_);
    ++jobs_;
}

void TransferGate::job_ended() {
    {
        std::lock_guard lock(mutex_);
        if (jobs_ > 0) --jobs_;
    }
    jobs_cv_.notify_all();
}

std::uint32_t TransferGate::jobs() const {
    std::lock_guard lock(mutex_);
    return jobs_;
}

bool TransferGate::wait_no_jobs(std::chrono::steady_clock::time_point deadline) const {
    std::unique_lock lock(mutex_);
    return jobs_cv_.wait_until(lock, deadline, [this] { return jobs_ == 0; });
}

}  // namespace kelvra
