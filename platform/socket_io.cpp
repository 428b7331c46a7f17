#include "platform/socket_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace socket_io {

bool connect_bounded(int fd, const sockaddr_in& to, std::chrono::milliseconds timeout) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return false;
    if (!(flags & O_NONBLOCK) && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    if (!connected && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int r;
        do {
            r = ::poll(&p, 1, static_cast<int>(timeout.count() < 0 ? 0 : timeout.count()));
        } while (r < 0 && errno == EINTR);
        int err = 0;
        socklen_t len = sizeof err;
        connected = r == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    }
    ::fcntl(fd, F_SETFL, flags);
    return connected;
}

bool send_all(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace socket_io
