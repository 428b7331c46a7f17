#include "cardlink/card_link_socket.h"

#include <QSocketNotifier>
#include <QString>
#include <QtDebug>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "common/frame.h"
#include "platform/frame_trace.h"
#include "platform/message_service.h"
#include "platform/registry_store.h"

namespace cardlink {
namespace {

bool parse_address(std::string_view text, sockaddr_in& out) {
    out = {};
    out.sin_family = AF_INET;
    out.sin_port = htons(frame::kDiscoveryPort);
    const std::string s(text);
    return ::inet_pton(AF_INET, s.c_str(), &out.sin_addr) == 1;
}

}  // namespace

std::vector<std::uint8_t> BuildTextFrame(std::uint8_t command, std::size_t length, std::string_view text,
                                         std::string_view card_id, bool complemented_check) {
    frame::Packet p;
    p.command = command;
    p.card_id = std::string(card_id);
    p.wide_id = true;
    p.data.assign(length, 0);
    if (length > 0) {
        const std::size_t n = std::min(text.size(), length - 1);
        std::copy_n(text.begin(), n, p.data.begin());
    }
    return frame::encode_exact(
        p, complemented_check ? frame::CheckForm::Complement : frame::CheckForm::PlainSum);
}

CardLinkSocket::CardLinkSocket(QObject* parent) : QObject(parent) {}

CardLinkSocket::~CardLinkSocket() {
    CloseSocket();
}

void CardLinkSocket::showError(const char* text) {
    platform::show_message(text, std::string(kErrorCaption), platform::MessageIcon::Error);
    emit errorShown(QString::fromUtf8(text));
}

int CardLinkSocket::Initsocket(std::string_view discovery_address) {
    SocketOptions options;
    options.discovery_address = std::string(discovery_address);
    options.net_card_index = registry::read_value("quelmora", "net_card_index");
    options.addresses = enumerate_local_addresses();
    return Initsocket(options);
}

int CardLinkSocket::Initsocket(const SocketOptions& options) {
    CloseSocket();
    discovery_address_ = options.discovery_address;

    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        showError("can not create udp socket");
        return 0;
    }

    binding_ = choose_bind_address(options.addresses, options.net_card_index, options.discovery_address);
    qInfo("card link: %s", binding_.note.c_str());
    if (!binding_.interface.empty()) {
        // Ties both directions to the adapter: broadcasts leave on it and only its network's answers
        // arrive. Without it the link still works on a single-adapter host, so a refusal is only noted.
        if (::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, binding_.interface.c_str(),
                         static_cast<socklen_t>(binding_.interface.size())) != 0) {
            qWarning("card link: cannot tie the socket to %s: %s", binding_.interface.c_str(),
                     std::strerror(errno));
        }
    }
    const int rcvbuf = options.receive_buffer_bytes;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = 0;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!binding_.address.empty() && ::inet_pton(AF_INET, binding_.address.c_str(), &local.sin_addr) != 1) {
        local.sin_addr.s_addr = htonl(INADDR_ANY);
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        showError("udp socket bind error!");
        return 0;
    }
    fd_ = fd;

    const int on = 1;
    if (::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        showError("Set broadcast mode error!");
        return 0;  // the socket stays open
    }

    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { emit readyRead(fd_); });
    if (!notifier_->isEnabled()) {
        CloseSocket();
        showError("select udp socket event error");
        return 0;
    }
    return 1;
}

void CardLinkSocket::CloseSocket() {
    notifier_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::uint16_t CardLinkSocket::localPort() const {
    if (fd_ < 0) return 0;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

int CardLinkSocket::Broadcast(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) {
        showError("please Call Initsocket() first!");
        return -1;
    }
    if (bytes.empty()) {
        showError("Buffer pointer NULL!");
        return -1;
    }
    sockaddr_in to{};
    if (!parse_address(discovery_address_, to)) {
        showError("Ip address error!");
        return -1;
    }
    platform::trace_frame(platform::TraceDirection::Sent, bytes);
    const ssize_t n =
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return n < 0 ? -1 : static_cast<int>(n);
}

int CardLinkSocket::SendTo(std::string_view address, std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) {
        showError("Please call initsocket() first");
        return -1;
    }
    if (bytes.empty()) {
        showError("Buffer pointer NULL!");
        return -1;
    }
    sockaddr_in to{};
    if (!parse_address(address, to)) {
        showError("Ip address error!");
        return -1;
    }
    platform::trace_frame(platform::TraceDirection::Sent, bytes);
    const ssize_t n =
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (n < 0) {
        showError("sendto failed!");
        return -1;
    }
    return static_cast<int>(n);
}

int CardLinkSocket::ReceiveFrom(int socket, SocketEvent event,
                                std::span<std::uint8_t, kReceiveBufferSize> buffer, std::string* sender) {
    if (fd_ < 0 || socket != fd_ || event != SocketEvent::Read) return 0;
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    sockaddr_in from{};
    socklen_t len = sizeof from;
    // Without MSG_TRUNC the kernel cuts a longer datagram to the buffer and drops the rest.
    const ssize_t n =
        ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n <= 0) return 0;
    platform::trace_frame(platform::TraceDirection::Received,
                          std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)));
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    if (sender != nullptr) *sender = text;
    // An echo of our own broadcast leaves the last peer as it was.
    if (GetLocalAddress(GetLocalHostName()) != text) last_peer_ = text;
    return static_cast<int>(n);
}

int CardLinkSocket::SendTextCommand(std::uint8_t command, std::size_t length, std::string_view text,
                                    TextMode mode, std::string_view card_id, std::string_view address) {
    if (mode == TextMode::ToCard) {
        if (card_id.empty()) return 0;
        const bool complemented = frame::check_form_for_id(card_id) == frame::CheckForm::Complement;
        return SendTo(address, BuildTextFrame(command, length, text, card_id, complemented));
    }
    if (mode == TextMode::Broadcast) {
        // Two forms, so cards of both check-byte kinds take it.
        Broadcast(BuildTextFrame(command, length, text, frame::kBroadcastId, false));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Broadcast(BuildTextFrame(command, length, text, frame::kBroadcastId, true));
        return 0;
    }
    return 0;
}

}  // namespace cardlink
