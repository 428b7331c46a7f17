#include "platform/socket_io.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <thread>

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

bool wait_delivered(int fd, std::chrono::milliseconds stall,
                    const std::function<void(std::size_t)>& progress) {
    auto until = std::chrono::steady_clock::now() + stall;
    int last = -1;
    for (;;) {
        if (peer_closed(fd)) return false;
        int unacknowledged = 0;
        if (::ioctl(fd, SIOCOUTQ, &unacknowledged) != 0) return false;
        if (progress && unacknowledged != last && unacknowledged >= 0)
            progress(static_cast<std::size_t>(unacknowledged));
        if (unacknowledged == 0) return true;
        const auto now = std::chrono::steady_clock::now();
        if (last < 0 || unacknowledged < last) until = now + stall;  // progress: the bound starts again
        last = unacknowledged;
        if (now >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::size_t unacknowledged(int fd) {
    int count = 0;
    if (::ioctl(fd, SIOCOUTQ, &count) != 0 || count < 0) return 0;
    return static_cast<std::size_t>(count);
}

bool peer_closed(int fd) {
    pollfd p{fd, POLLIN | POLLRDHUP, 0};
    if (::poll(&p, 1, 0) != 1) return false;
    if (p.revents & (POLLERR | POLLHUP | POLLRDHUP)) return true;
    std::uint8_t byte;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

}  // namespace socket_io
