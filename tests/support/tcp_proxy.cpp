#include "tests/support/tcp_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <list>
#include <vector>

#include "tests/support/listener.h"

namespace support {
namespace {

using Clock = std::chrono::steady_clock;

struct Piece {
    Clock::time_point due;
    std::vector<std::uint8_t> bytes;
};

// One client connection and its connection to the card.
struct Pair {
    int client = -1;
    int card = -1;
    long to_card = 0;                // client bytes passed on
    std::deque<Piece> answers;       // card bytes waiting to leave
    Clock::time_point next_trickle;  // when the next trickled byte may leave
    bool card_closed = false;
    bool done = false;

    void close_all() {
        if (client >= 0) ::close(client);
        if (card >= 0) ::close(card);
        client = card = -1;
        done = true;
    }
};

int connect_to(const std::string& ip, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (::inet_pton(AF_INET, ip.c_str(), &sa.sin_addr) != 1 ||
        ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void reset_connection(int fd) {
    const linger l{1, 0};  // close with RST instead of FIN
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

}  // namespace

TcpProxy::TcpProxy(const std::string& listen_ip, const std::string& target_ip, std::uint16_t port)
    : target_ip_(target_ip), port_(port) {
    listener_ = listen_tcp(listen_ip.c_str(), port);
    if (listener_ < 0 || ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    thread_ = std::thread([this] { run(); });
}

TcpProxy::~TcpProxy() {
    stop_ = true;
    if (wake_[1] >= 0) (void)!::write(wake_[1], "x", 1);
    if (thread_.joinable()) thread_.join();
    for (const int fd : {listener_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

void TcpProxy::set_faults(const ProxyFaults& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

ProxyFaults TcpProxy::faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

void TcpProxy::run() {
    std::list<Pair> pairs;
    while (!stop_) {
        std::vector<pollfd> fds{{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        for (const auto& p : pairs) {
            fds.push_back({p.client, POLLIN, 0});
            fds.push_back({p.card_closed ? -1 : p.card, POLLIN, 0});
        }
        ::poll(fds.data(), fds.size(), 10);  // short: trickled and delayed bytes leave on time
        if (stop_) break;
        const ProxyFaults f = faults();
        const auto now = Clock::now();

        std::size_t i = 2;
        for (auto& p : pairs) {
            const short client_events = fds[i].revents;
            const short card_events = fds[i + 1].revents;
            i += 2;
            std::uint8_t buf[4096];
            if (client_events & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(p.client, buf, sizeof buf, MSG_DONTWAIT);
                if (n <= 0) {
                    p.close_all();
                    continue;
                }
                long pass = n;
                if (f.close_after_bytes >= 0) pass = std::min<long>(n, f.close_after_bytes - p.to_card);
                if (pass > 0) (void)!::send(p.card, buf, static_cast<std::size_t>(pass), MSG_NOSIGNAL);
                p.to_card += pass;
                if (f.close_after_bytes >= 0 && p.to_card >= f.close_after_bytes) {
                    p.close_all();
                    continue;
                }
            }
            if (card_events & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(p.card, buf, sizeof buf, MSG_DONTWAIT);
                if (n <= 0) {
                    p.card_closed = true;
                } else if (f.reset) {
                    reset_connection(p.client);
                    p.close_all();
                    continue;
                } else if (!f.hold_open) {
                    p.answers.push_back({now + f.latency, std::vector<std::uint8_t>(buf, buf + n)});
                }
            }
            // What is due leaves now: all of it, or one byte per trickle step.
            while (!p.answers.empty() && p.answers.front().due <= now) {
                auto& piece = p.answers.front();
                if (f.trickle_bytes_per_second > 0) {
                    if (now < p.next_trickle) break;
                    if (::send(p.client, piece.bytes.data(), 1, MSG_NOSIGNAL) != 1) {
                        p.close_all();
                        break;
                    }
                    piece.bytes.erase(piece.bytes.begin());
                    p.next_trickle = now + std::chrono::milliseconds(1000 / f.trickle_bytes_per_second);
                } else {
                    (void)!::send(p.client, piece.bytes.data(), piece.bytes.size(), MSG_NOSIGNAL);
                    piece.bytes.clear();
                }
                if (piece.bytes.empty()) p.answers.pop_front();
            }
            // The card hung up: so does the proxy, once everything it said has left (unless held open).
            if (!p.done && p.card_closed && p.answers.empty() && !f.hold_open) p.close_all();
        }
        pairs.remove_if([](const Pair& p) { return p.done; });
        // Accepted last: the loop above walks the pairs that were polled.
        if (fds[0].revents & POLLIN) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                ++connections_;
                Pair p;
                p.client = client;
                p.card = connect_to(target_ip_, port_);
                if (p.card < 0) {
                    p.close_all();
                } else {
                    pairs.push_back(std::move(p));
                }
            }
        }
    }
    for (auto& p : pairs) p.close_all();
}

}  // namespace support
