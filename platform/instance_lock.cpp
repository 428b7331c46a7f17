#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {

RuntimeFolder checked_runtime_folder(const std::filesystem::path& temp_base) {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && xdg[0] == '/') {
        // The session's own folder, private by its definition.
        std::error_code ec;
        std::filesystem::create_directories(xdg, ec);
        return {xdg, {}};
    }
    const std::filesystem::path folder = temp_base / ("vantor-" + std::to_string(::getuid()));
    auto refuse = [&](const std::string& why) {
        return RuntimeFolder{{}, "The folder " + folder.string() + " cannot hold the program's lock: " + why};
    };
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return refuse(std::strerror(errno));
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) return refuse(std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return refuse("it is not a folder (a symbolic link or a file)");
    if (st.st_uid != ::getuid()) return refuse("it belongs to another user");
    if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return refuse(std::strerror(errno));
    return {folder, {}};
}

std::filesystem::path runtime_folder() {
    return checked_runtime_folder().path;
}

std::filesystem::path InstanceLock::lock_path(std::string_view name) {
    const auto folder = runtime_folder();
    if (folder.empty()) return {};
    return folder / (std::string(name) + ".lock");
}

InstanceLock::InstanceLock(std::string_view name) {
    const auto path = lock_path(name);
    if (path.empty()) {
        state_ = State::Failed;
        return;
    }
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
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
