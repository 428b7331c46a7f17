#include "platform/tcp_stream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/frame_trace.h"
#include "platform/socket_io.h"

namespace platform {

namespace {

int poll_ms(std::chrono::milliseconds d) {
    return static_cast<int>(std::max<long long>(0, d.count()));
}

}  // namespace

TcpStream::TcpStream(TcpStream&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), timeouts_(other.timeouts_) {}

TcpStream& TcpStream::operator=(TcpStream&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        timeouts_ = other.timeouts_;
    }
    return *this;
}

TcpStream::~TcpStream() {
    close();
}

bool TcpStream::open(const std::string& address, std::uint16_t port, const TcpTimeouts& timeouts) {
    close();
    timeouts_ = timeouts;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) return false;

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    // Unacknowledged data fails the connection after the send time-out, not the platform's minutes.
    const unsigned user_timeout = static_cast<unsigned>(timeouts.send.count());
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &user_timeout, sizeof user_timeout);

    if (!socket_io::connect_bounded(fd, to, timeouts.connect)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool TcpStream::send_all(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) return false;
    trace_frame(TraceDirection::Sent, bytes);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd_, POLLOUT, 0};
            const int r = ::poll(&p, 1, poll_ms(timeouts_.send));
            if (r < 0 && errno == EINTR) continue;
            if (r == 1 && (p.revents & POLLOUT)) continue;
            return false;  // no progress within the time-out, or the connection broke
        }
        return false;
    }
    return true;
}

long TcpStream::receive_some(std::span<std::uint8_t> buffer, Clock::time_point deadline) {
    if (fd_ < 0) return -1;
    for (;;) {
        // Rounded up: poll counts whole milliseconds, and a wait must not end before the deadline.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, poll_ms(left));
        if (r < 0 && errno == EINTR) continue;
        if (r != 1) return -1;
        const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
        if (n >= 0) {
            trace_frame(TraceDirection::Received, buffer.first(static_cast<std::size_t>(n)));
            return static_cast<long>(n);
        }
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        return -1;
    }
}

bool TcpStream::wait_delivered(std::chrono::milliseconds stall,
                               const std::function<void(std::size_t)>& progress) {
    return fd_ >= 0 && socket_io::wait_delivered(fd_, stall, progress);
}

std::size_t TcpStream::unacknowledged() const {
    return fd_ < 0 ? 0 : socket_io::unacknowledged(fd_);
}

bool TcpStream::peer_closed() {
    return fd_ < 0 || socket_io::peer_closed(fd_);
}

void TcpStream::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace platform
