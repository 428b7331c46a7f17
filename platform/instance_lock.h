// Named process-wide instance locks, in place of named mutexes: an flock()ed file named after the
// instance in the user's runtime folder ($XDG_RUNTIME_DIR, else /tmp/vantor-<uid>). The kernel drops the
// lock when its holder exits, however it exits, so a crashed copy never blocks the next start.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// The user's runtime folder, or why there is none.
struct RuntimeFolder {
    std::filesystem::path path;  // empty when it cannot be used
    std::string problem;         // English, for the message shown; empty when `path` is usable
};

// $XDG_RUNTIME_DIR when set. Otherwise <temp_base>/vantor-<uid>, which anyone could have made first in
// a shared /tmp: it is created private (0700); one that exists is used only when it is a real folder (no
// symbolic link) owned by this user, and is then made private. Anything else is refused.
RuntimeFolder checked_runtime_folder(const std::filesystem::path& temp_base = "/tmp");

// checked_runtime_folder().path.
std::filesystem::path runtime_folder();

class InstanceLock {
  public:
    enum class State { Acquired, HeldElsewhere, Failed };

    // Tries to take the lock named `name` and keeps it while this object lives. Failed when there is no
    // usable runtime folder.
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
