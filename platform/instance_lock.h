// Named process-wide instance locks, in place of named mutexes: an flock()ed file named after the
// instance in the user's runtime folder ($XDG_RUNTIME_DIR, else /tmp/vantor-<uid>). The kernel drops the
// lock when its holder exits, however it exits, so a crashed copy never blocks the next start.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

std::filesystem::path runtime_folder();

class InstanceLock {
  public:
    enum class State { Acquired, HeldElsewhere, Failed };

    // Tries to take the lock named `name` and keeps it while this object lives.
    explicit InstanceLock(std::string_view name);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&&) = delete;

    State state() const { return state_; }

    // Whether someone holds `name` now (takes and drops it at once when free).
    static State probe(std::string_view name);

    static std::filesystem::path lock_path(std::string_view name);

  private:
    int fd_ = -1;
    State state_ = State::Failed;
};

}  // namespace platform
