#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {

std::filesystem::path runtime_folder() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    std::filesystem::path folder;
    if (xdg != nullptr && xdg[0] == '/')
        folder = xdg;
    else
        folder = "/tmp/vantor-" + std::to_string(getuid());
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!ec) std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
    return folder;
}

std::filesystem::path InstanceLock::lock_path(std::string_view name) {
    return runtime_folder() / (std::string(name) + ".lock");
}

InstanceLock::InstanceLock(std::string_view name) {
    fd_ = ::open(lock_path(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        state_ = State::Failed;
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        state_ = State::Acquired;
        return;
    }
    state_ = errno == EWOULDBLOCK ? State::HeldElsewhere : State::Failed;
    ::close(fd_);
    fd_ = -1;
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the lock
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : fd_(other.fd_), state_(other.state_) {
    other.fd_ = -1;
    other.state_ = State::Failed;
}

InstanceLock::State InstanceLock::probe(std::string_view name) {
    InstanceLock lock(name);
    return lock.state();
}

}  // namespace platform
