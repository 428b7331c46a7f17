// A listening TCP socket for tests that play a card or a peer: bound to `ip`:`port` (port 0: the
// kernel chooses one) with SO_REUSEADDR, so a test can bind a card's port again right after another.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace support {

// The listening descriptor, or -1 when the address is bad or the socket cannot be bound.
inline int listen_tcp(const char* ip, std::uint16_t port, int backlog = 8) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (::inet_pton(AF_INET, ip, &sa.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, backlog) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The port a bound socket has (0 on failure).
inline std::uint16_t local_port(int fd) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

}  // namespace support
