#include "tests/simulator/sim_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "tests/support/wait.h"

namespace simtest {
namespace {

sockaddr_in address_of(const std::string& address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    return sa;
}

bool readable(int fd, std::chrono::milliseconds timeout) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0;
}

}  // namespace

Bytes vantor_frame(std::uint8_t command, const std::string& id, Bytes data) {
    return frame::encode_exact({command, id, 0, std::move(data)}, frame::check_form_for_id(id));
}

Bytes kelvra_frame(std::uint8_t command, const std::string& id, Bytes data) {
    return frame::encode_stream({command, id, 0, std::move(data)}, frame::CheckForm::PlainSum);
}

Bytes mask_text_field() {
    Bytes b(32, 0);
    const char text[] = "255.0.0.0";
    std::memcpy(b.data(), text, sizeof text - 1);
    return b;
}

Bytes words(std::initializer_list<std::uint32_t> w, std::size_t size) {
    Bytes b(size, 0);
    std::size_t i = 0;
    for (const auto v : w) frame::put_u32le(b.data() + 4 * i++, v);
    return b;
}

Bytes file_header_record(std::uint32_t type, std::uint32_t size, const std::string& folder,
                         const std::string& name) {
    Bytes h(212, 0);
    frame::put_u32le(h.data(), type);
    frame::put_u32le(h.data() + 4, size);
    std::copy(folder.begin(), folder.end(), h.begin() + 12);
    std::copy(name.begin(), name.end(), h.begin() + 112);
    return h;
}

std::string answer_text(const Bytes& answer) {
    const auto f = frame::decode(answer);
    if (!f) return {};
    return std::string(f->data.begin(), std::find(f->data.begin(), f->data.end(), std::uint8_t{0}));
}

UdpClient::UdpClient(const std::string& bind_address) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1, big = 1 << 20;
    setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    const auto sa = address_of(bind_address, 0);
    ::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

UdpClient::~UdpClient() {
    ::close(fd_);
}

bool UdpClient::send_to(const std::string& address, std::uint16_t port, const Bytes& bytes) {
    const auto sa = address_of(address, port);
    return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) ==
           static_cast<ssize_t>(bytes.size());
}

std::optional<Datagram> UdpClient::receive(std::chrono::milliseconds timeout) {
    if (!readable(fd_, timeout)) return std::nullopt;
    Datagram d;
    d.bytes.resize(65536);
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n =
        ::recvfrom(fd_, d.bytes.data(), d.bytes.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return std::nullopt;
    d.bytes.resize(static_cast<std::size_t>(n));
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    d.from = text;
    d.port = ntohs(from.sin_port);
    return d;
}

std::vector<Datagram> UdpClient::drain(std::chrono::milliseconds quiet) {
    std::vector<Datagram> out;
    while (auto d = receive(quiet)) out.push_back(std::move(*d));
    return out;
}

TcpClient::TcpClient(const std::string& address, std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const auto sa = address_of(address, port);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

TcpClient::~TcpClient() {
    if (fd_ >= 0) ::close(fd_);
}

bool TcpClient::send(const Bytes& bytes) {
    return fd_ >= 0 &&
           ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool TcpClient::wait_delivered(std::chrono::milliseconds timeout) {
    const auto delivered = [&] {
        int unacknowledged = 0;
        return ::ioctl(fd_, SIOCOUTQ, &unacknowledged) == 0 && unacknowledged == 0;
    };
    return fd_ >= 0 && support::wait_until(delivered, timeout);
}

std::optional<Bytes> TcpClient::receive_frame(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (pending_.size() >= frame::kHeaderSize) {
            const std::size_t n = frame::get_u32le(pending_.data() + frame::kLengthOffset);
            if (n <= 65536 && pending_.size() >= frame::kHeaderSize + n + 1) {
                Bytes out(pending_.begin(),
                          pending_.begin() + static_cast<std::ptrdiff_t>(frame::kHeaderSize + n + 1));
                pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(out.size()));
                return out;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !readable(fd_, left)) break;
        std::uint8_t buf[4096];
        const ssize_t got = ::recv(fd_, buf, sizeof buf, 0);
        if (got <= 0) break;
        pending_.insert(pending_.end(), buf, buf + got);
    }
    if (pending_.empty()) return std::nullopt;
    Bytes out;
    out.swap(pending_);  // what came before the peer closed or time ran out: a malformed answer
    return out;
}

bool TcpClient::closed_by_peer(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !readable(fd_, left)) return false;
        std::uint8_t buf[4096];
        const ssize_t got = ::recv(fd_, buf, sizeof buf, 0);
        if (got <= 0) return true;
    }
}

}  // namespace simtest
