#include "tests/kelvra_protocol/peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

namespace peer {

namespace {
std::uint32_t u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
}  // namespace

std::vector<Frame> parse_frames(std::vector<std::uint8_t>& bytes) {
    std::vector<Frame> out;
    std::size_t at = 0;
    for (;;) {
        static constexpr std::uint8_t kLeadIn[] = {0x7E, 0x7E, 0x7E};
        std::size_t start = static_cast<std::size_t>(
            std::search(bytes.begin() + at, bytes.end(), kLeadIn, kLeadIn + 3) - bytes.begin());
        if (start == bytes.size()) {
            // Keep a partial lead-in at the end for the next call.
            while (start > at && bytes.size() - start < 2 && bytes[start - 1] == 0x7E) --start;
        }
        if (!out.empty())
            out.back().trailing_zeros = std::count(bytes.begin() + at, bytes.begin() + start, 0);
        if (start + 28 > bytes.size()) {
            at = start;
            break;
        }
        const std::uint32_t n = u32(bytes.data() + start + 24);
        if (start + 29 + n > bytes.size()) {
            at = start;
            break;
        }
        Frame f;
        f.command = bytes[start + 3];
        const char* id = reinterpret_cast<const char*>(bytes.data() + start + 4);
        f.card_id.assign(id, strnlen(id, 16));
        f.parameter = u32(bytes.data() + start + 20);
        f.data.assign(bytes.begin() + start + 28, bytes.begin() + start + 28 + n);
        unsigned sum = 0;
        for (std::size_t i = start + 3; i < start + 28 + n; ++i) sum += bytes[i];
        f.check_ok = static_cast<std::uint8_t>(sum) == bytes[start + 28 + n];
        f.at = std::chrono::steady_clock::now();
        out.push_back(std::move(f));
        at = start + 29 + n;
    }
    bytes.erase(bytes.begin(), bytes.begin() + at);
    return out;
}

std::vector<std::uint8_t> answer(std::uint8_t command, const std::string& id,
                                 std::vector<std::uint8_t> data) {
    std::vector<std::uint8_t> p(28 + data.size() + 1, 0);
    p[0] = p[1] = p[2] = 0x7E;
    p[3] = command;
    std::memcpy(p.data() + 4, id.data(), std::min<std::size_t>(id.size(), 16));
    const auto n = static_cast<std::uint32_t>(data.size());
    for (int k = 0; k < 4; ++k) p[24 + k] = static_cast<std::uint8_t>(n >> (8 * k));
    std::copy(data.begin(), data.end(), p.begin() + 28);
    unsigned sum = 0;
    for (std::size_t i = 3; i < 28 + data.size(); ++i) sum += p[i];
    p[28 + data.size()] = static_cast<std::uint8_t>(sum);
    return p;
}

Peer::Peer(Kind kind, std::string ip, Responder responder, std::uint16_t port)
    : kind_(kind), ip_(std::move(ip)), responder_(std::move(responder)) {
    listen_fd_ = ::socket(AF_INET, kind == Kind::Tcp ? SOCK_STREAM : SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, ip_.c_str(), &sa.sin_addr);
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        (kind == Kind::Tcp && ::listen(listen_fd_, 16) != 0) || ::pipe(wake_) != 0) {
        throw std::runtime_error("peer: cannot bind " + ip_);
    }
    thread_ = std::thread([this] { run(); });
}

Peer::~Peer() {
    const char c = 0;
    (void)!::write(wake_[1], &c, 1);
    thread_.join();
    ::close(listen_fd_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void Peer::run() {
    std::map<int, std::vector<std::uint8_t>> conns;  // fd -> pending bytes
    for (;;) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listen_fd_, POLLIN, 0}};
        for (const auto& [fd, _] : conns) fds.push_back({fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 1000) < 0) continue;
        if (fds[0].revents != 0) break;
        // Returns false when the responder asked to drop the connection (an empty reply).
        auto handle = [&](int fd, std::vector<std::uint8_t>& pending, const sockaddr_in* from) {
            bool keep = true;
            auto got = parse_frames(pending);
            for (auto& f : got) {
                std::optional<std::vector<std::uint8_t>> reply;
                if (responder_) reply = responder_(f);
                {
                    std::lock_guard lock(mutex_);
                    frames_.push_back(f);
                }
                cv_.notify_all();
                if (reply && reply->empty()) {
                    keep = false;
                } else if (reply) {
                    if (from != nullptr) {
                        ::sendto(fd, reply->data(), reply->size(), 0, reinterpret_cast<const sockaddr*>(from),
                                 sizeof *from);
                    } else {
                        (void)!::send(fd, reply->data(), reply->size(), MSG_NOSIGNAL);
                    }
                }
            }
            return keep;
        };
        if (fds[1].revents & POLLIN) {
            if (kind_ == Kind::Tcp) {
                const int c = ::accept(listen_fd_, nullptr, nullptr);
                if (c >= 0) {
                    conns[c];
                    std::lock_guard lock(mutex_);
                    ++connections_;
                }
                cv_.notify_all();
            } else {
                std::vector<std::uint8_t> buf(65536);
                sockaddr_in from{};
                socklen_t len = sizeof from;
                const ssize_t n = ::recvfrom(listen_fd_, buf.data(), buf.size(), 0,
                                             reinterpret_cast<sockaddr*>(&from), &len);
                if (n > 0) {
                    buf.resize(static_cast<std::size_t>(n));
                    handle(listen_fd_, buf, &from);
                }
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            std::uint8_t buf[8192];
            const ssize_t n = ::recv(fds[i].fd, buf, sizeof buf, 0);
            auto& pending = conns[fds[i].fd];
            if (n <= 0) {
                ::close(fds[i].fd);
                conns.erase(fds[i].fd);
                continue;
            }
            pending.insert(pending.end(), buf, buf + n);
            if (!handle(fds[i].fd, pending, nullptr)) {
                ::close(fds[i].fd);
                conns.erase(fds[i].fd);
            }
        }
    }
    for (const auto& [fd, _] : conns) ::close(fd);
}

std::vector<Frame> Peer::frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

std::size_t Peer::connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

bool Peer::wait_frames(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return frames_.size() >= n; });
}

}  // namespace peer
