#include "library/protocol/transport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "common/frame.h"
#include "library/protocol/library_state.h"
#include "library/protocol/serial.h"
#include "library/protocol/timeouts.h"
#include "platform/socket_io.h"

namespace kelvra {
namespace {

constexpr std::size_t kIpFieldChars = 19;  // 20-byte NUL-terminated field
constexpr std::size_t kIdFieldChars = 18;  // 19-byte NUL-terminated field of a CommandBlock
constexpr int kDiscoveryReceiveBuffer = 1 << 20;

bool is_broadcast(ProtoType pt) {
    const auto r = route_of(pt);
    return r && r->link == Link::Broadcast;
}

std::optional<sockaddr_in> make_sockaddr(std::string_view ip, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    const std::string text(ip);
    if (inet_pton(AF_INET, text.c_str(), &sa.sin_addr) != 1) return std::nullopt;
    return sa;
}

// Milliseconds left until `deadline`, rounded up, 0 when it has passed.
int ms_until(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(std::min<std::int64_t>(left.count(), INT32_MAX)) : 0;
}

// Waits until `fd` is readable or `deadline` passes; false on the deadline or an error.
bool wait_readable(int fd, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const int left = ms_until(deadline);
        if (left == 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, left);
        if (n < 0 && errno == EINTR) continue;
        return n > 0;
    }
}

// Runs a job on a detached worker thread that the library counts until it ends.
template <typename Worker>
void start_worker(std::unique_ptr<SendJob> job, Worker worker) {
    TransferGate* gate = job->gate;  // gates live as long as the library; the job does not
    jobs_started();
    if (gate != nullptr) gate->job_started();
    try {
        std::thread([job = std::move(job), worker, gate]() mutable {
            worker(std::move(job));
            if (gate != nullptr) gate->job_ended();
            jobs_finished();
        }).detach();
    } catch (...) {
        if (gate != nullptr) gate->job_ended();
        jobs_finished();
        throw;
    }
}

void leave_gate(SendJob& job) {
    if (job.gate == nullptr || !job.holds_gate) return;
    job.holds_gate = false;
    job.gate->leave();
    job.gate->release();
}

}  // namespace

CardAddress CardAddress::make(ProtoType proto_type, std::string_view ip) {
    CardAddress a;
    a.proto_type = proto_type;
    a.ip = std::string(ip.substr(0, std::min({ip.find('\0'), ip.size(), kIpFieldChars})));
    return a;
}

CommandBlock CommandBlock::make(std::uint8_t command, std::string_view card_id, std::uint32_t parameter,
                                std::vector<std::uint8_t> data) {
    CommandBlock b;
    b.command = command;
    b.card_id = std::string(card_id.substr(0, std::min({card_id.find('\0'), card_id.size(), kIdFieldChars})));
    b.parameter = parameter;
    b.data = std::move(data);
    return b;
}

std::optional<Route> route_of(ProtoType proto_type) {
    const int pt = number_of(proto_type);
    constexpr Link kLinks[] = {Link::Tcp, Link::Udp, Link::Broadcast, Link::Serial, Link::SerialBroadcast};
    if (pt >= 1 && pt <= 5) return Route{kLinks[pt - 1], false, true};
    if (pt >= 101 && pt <= 103) return Route{kLinks[pt - 101], true, true};
    if (pt == 104 || pt == 105) return Route{kLinks[pt - 101], true, false};
    return std::nullopt;
}

ProtoType in_caller_thread(ProtoType proto_type) {
    const int pt = number_of(proto_type);
    return pt >= 1 && pt <= 5 ? proto_type_of(pt + 100) : proto_type;
}

int SendCommand(const CardAddress& address, TransferGate* gate, CommandBlock* main, CommandBlock* leading,
                CommandBlock* trailing, std::chrono::milliseconds trailing_pause) {
    const ProtoType pt = address.proto_type;
    const auto route = route_of(pt);
    if (!route) return kBadProtoType;
    if (main == nullptr) return kNoMainBlock;
    try {
        auto job = std::make_unique<SendJob>();
        job->address = CardAddress::make(pt, address.ip);
        if (gate != nullptr) gate->ensure_semaphore();
        if (!route->in_caller_thread &&
            (route->link == Link::Broadcast || route->link == Link::SerialBroadcast)) {
            for (CommandBlock* b : {main, leading, trailing}) {
                if (b != nullptr) b->card_id = std::string(frame::kBroadcastId);
            }
        }
        job->gate = gate;
        job->main = *main;
        if (leading != nullptr) job->leading = *leading;
        if (trailing != nullptr) job->trailing = *trailing;
        job->trailing_pause = trailing_pause;

        if (!route->runs) return kOk;  // 104 and 105 pass the check but run nothing
        const bool serial = route->link == Link::Serial || route->link == Link::SerialBroadcast;
        if (route->in_caller_thread) {
            job->gate = nullptr;
            return SendJobWorker(std::move(job));
        }
        if (serial) {
            start_worker(std::move(job), [](std::unique_ptr<SendJob> j) { CommJobWorker(std::move(j)); });
        } else {
            start_worker(std::move(job), [](std::unique_ptr<SendJob> j) { SendJobWorker(std::move(j)); });
        }
        return kOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (const std::system_error&) {
        return kOutOfMemory;  // no thread could be started: as short of resources as memory
    }
}

int SendCommandForAnswer(const CardAddress& address, CommandBlock* main, std::vector<std::uint8_t>& answer) {
    answer.clear();
    const ProtoType pt = address.proto_type;
    const auto route = route_of(pt);
    if (!route || main == nullptr || !route->in_caller_thread || !route->runs)
        return SendCommand(address, nullptr, main);
    try {
        auto job = std::make_unique<SendJob>();
        job->address = CardAddress::make(pt, address.ip);
        job->main = *main;
        job->answer_out = &answer;
        return SendJobWorker(std::move(job));
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

std::optional<frame::Received> checked_answer(std::span<const std::uint8_t> bytes, std::uint8_t code,
                                              std::string_view card_id) {
    auto r = frame::decode_checked(bytes);
    if (!r || r->command != code) return std::nullopt;
    const std::string_view wanted = card_id.substr(0, std::min(card_id.find('\0'), frame::kIdFieldSize));
    if (!wanted.empty() && field_string(bytes, frame::kIdOffset, frame::kIdFieldSize) != wanted)
        return std::nullopt;
    return r;
}

int SendJobWorker(std::unique_ptr<SendJob> job) {
    if (!job) return kNoJob;
    const bool discovery = job->main.command == frame::CMD_DISCOVER;
    if (job->gate != nullptr) {
        job->gate->acquire();
        job->gate->enter();
        job->holds_gate = true;
    }
    Socket socket = GetSocket(job->address);
    if (!socket.valid()) {
        leave_gate(*job);
        pending_transfers_lower();
        report_status(kStatusNoSocket, job->address.ip);
        if (discovery) discovery_end();  // else every later discovery would be refused for ever
        return kNoSocket;
    }
    int result = kOk;
    for (const CommandBlock* b :
         {job->leading ? &*job->leading : nullptr, &job->main, job->trailing ? &*job->trailing : nullptr}) {
        if (b == nullptr) continue;
        if (job->trailing && b == &*job->trailing && job->trailing_pause.count() > 0)
            std::this_thread::sleep_for(job->trailing_pause);
        result = SendStreamPacket(socket, *job, job->address, *b);
        if (result != kOk) break;
    }
    if (result == kOk) {
        if (job->main.command == frame::CMD_UPGRADE_BEGIN || job->main.command == frame::CMD_GET_IO) {
            SocketReceiveData(socket, timeouts().answer, job->answer_out);
        } else if (discovery) {
            DiscoveryReceiveLoop(socket, job->discovery_time);
        }
    }
    if (discovery) discovery_end();
    // A job that failed before its file data was through still holds the gate: give it back, or every
    // later transfer through this gate would wait for ever.
    leave_gate(*job);
    return result;
}

Socket& Socket::operator=(Socket&& o) noexcept {
    if (this != &o) {
        close();
        fd_ = o.release();
    }
    return *this;
}

Socket::~Socket() {
    close();
}

int Socket::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Socket::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

Socket connect_tcp(std::string_view ip, std::uint16_t port, std::chrono::milliseconds timeout) {
    const auto sa = make_sockaddr(ip, port);
    if (!sa) return {};
    Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s.valid()) return {};
    if (!socket_io::connect_bounded(s.fd(), *sa, timeout)) return {};
    const auto send_timeout = timeouts().send;
    const unsigned user_timeout = static_cast<unsigned>(send_timeout.count());
    setsockopt(s.fd(), IPPROTO_TCP, TCP_USER_TIMEOUT, &user_timeout, sizeof user_timeout);
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(send_timeout.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>(send_timeout.count() % 1000 * 1000);
    setsockopt(s.fd(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return s;
}

Socket GetSocket(const CardAddress& address) {
    const auto route = route_of(address.proto_type);
    const Link link = route ? route->link : Link::Serial;  // a serial link has no socket
    if (link == Link::Tcp) return connect_tcp(address.ip, frame::kCommandPort, timeouts().connect);
    if (link == Link::Udp) {
        const auto sa = make_sockaddr(address.ip, frame::kCommandPort);
        if (!sa) return {};
        Socket s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        if (!s.valid() || ::connect(s.fd(), reinterpret_cast<const sockaddr*>(&*sa), sizeof *sa) != 0)
            return {};
        return s;
    }
    if (link == Link::Broadcast) {
        Socket s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        if (!s.valid()) return {};
        const int on = 1;
        if (setsockopt(s.fd(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
            report_status_no_text(kStatusSetBroadcastFailed);
            return {};
        }
        // Up to 256 answers arrive at once; the default receive buffer would drop some.
        setsockopt(s.fd(), SOL_SOCKET, SO_RCVBUF, &kDiscoveryReceiveBuffer, sizeof kDiscoveryReceiveBuffer);
        return s;
    }
    report_status_no_text(kStatusBadProtoType);
    return {};
}

std::optional<std::vector<std::uint8_t>> MakeStreamPacketForSend(std::uint8_t command,
                                                                 std::string_view card_id,
                                                                 std::uint32_t parameter,
                                                                 const std::uint8_t* data,
                                                                 std::size_t length) {
    if (length > 0 && data == nullptr) return std::nullopt;
    if (length > UINT32_MAX - frame::kHeaderSize - 1 - frame::kStreamTrailer) return std::nullopt;
    frame::Packet p;
    p.command = command;
    p.card_id = std::string(card_id.substr(0, std::min(card_id.find('\0'), card_id.size())));
    p.parameter = parameter;
    if (length > 0) p.data.assign(data, data + length);
    return frame::encode_stream(p, frame::CheckForm::PlainSum);
}

int SendStreamPacket(Socket& socket, SendJob& job, const CardAddress& address, const CommandBlock& block) {
    if (!socket.valid()) {
        report_status(kStatusInvalidParam, block.card_id);
        return kStatusInvalidParam;
    }
    const bool broadcast = is_broadcast(address.proto_type);
    const std::size_t total = block.data.size();
    const std::size_t full = total / kPieceSize;
    auto deadline = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i <= full; ++i) {
        const std::size_t len = i < full ? kPieceSize : total % kPieceSize;
        const std::uint8_t* piece = len > 0 ? block.data.data() + kPieceSize * i : nullptr;
        auto packet = MakeStreamPacketForSend(block.command, block.card_id, block.parameter, piece, len);
        if (!packet) {
            report_status(kStatusMakePacketFailed, block.card_id);
            return kStatusMakePacketFailed;
        }
        if (broadcast) {
            // Bound once per job: a second bind of the socket fails, so binding again for the next
            // block (a file's data after its header) would end every broadcast file send with 54.
            if (!job.broadcast_bound) {
                sockaddr_in any{};
                any.sin_family = AF_INET;
                if (::bind(socket.fd(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
                    report_status(kStatusBindBroadcastFailed, block.card_id);
                    return kStatusBindBroadcastFailed;
                }
                job.broadcast_bound = true;
            }
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(frame::kDiscoveryPort);
            to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
            if (job.discovery_to) to.sin_addr = *job.discovery_to;
            trace_frame(TraceDirection::Sent, packet->data(), packet->size());
            const ssize_t n = ::sendto(socket.fd(), packet->data(), packet->size(), MSG_NOSIGNAL,
                                       reinterpret_cast<const sockaddr*>(&to), sizeof to);
            if (n != static_cast<ssize_t>(packet->size())) {
                report_status(kStatusBroadcastSendFailed, block.card_id);
                return kStatusBroadcastSendFailed;
            }
        } else {
            trace_frame(TraceDirection::Sent, packet->data(), packet->size());
            if (!socket_io::send_all(socket.fd(), *packet)) {
                const bool tcp = route_of(address.proto_type)->link == Link::Tcp;
                const auto code = tcp ? kStatusTcpSendFailed : kStatusUdpSendFailed;
                report_status(code, block.card_id);
                return static_cast<int>(code);
            }
        }
        // Pacing is the only flow control: absolute deadlines keep the rate at one piece per 10 ms.
        deadline += kPiecePause;
        std::this_thread::sleep_until(deadline);
    }
    // A card that hung up mid-file did not keep the file, whatever the sends returned (they only hand
    // bytes to the kernel): a file sent over TCP counts as sent once the card's TCP has acknowledged
    // every byte and the card is still there.
    if (block.command == frame::CMD_FILE_DATA && !broadcast &&
        route_of(address.proto_type)->link == Link::Tcp &&
        !socket_io::wait_delivered(socket.fd(), timeouts().send)) {
        report_status(kStatusTcpSendFailed, block.card_id);
        return static_cast<int>(kStatusTcpSendFailed);
    }
    if (block.command == frame::CMD_FILE_DATA) {
        if (job.gate != nullptr && job.holds_gate) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            job.holds_gate = false;
            // Lower the count before the next transfer can take the gate, so 402 means "none holds it"
            // at that moment rather than depending on which thread runs first.
            const bool free = job.gate->leave() == 0;
            job.gate->release();
            if (free) report_status_no_text(kStatusFileSent);
        }
        if (job.main.command == frame::CMD_FILE_DATA) pending_transfers_lower();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } else if (block.command == frame::CMD_WINDOW) {
        // The socket closes when the job ends, after any trailing block.
        report_status(kStatusWindowSent, address.ip);
    }
    return kOk;
}

std::vector<std::uint8_t> read_answer(int fd, std::size_t cap,
                                      std::chrono::steady_clock::time_point deadline) {
    std::vector<std::uint8_t> buf(cap, 0);
    int type = 0;
    socklen_t len = sizeof type;
    getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len);
    std::size_t got = 0;
    while (got < buf.size()) {
        // One bound for the whole answer: a card that trickles bytes cannot stretch the wait.
        if (!wait_readable(fd, deadline)) break;
        const ssize_t n = ::recv(fd, buf.data() + got, buf.size() - got, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
        if (type != SOCK_STREAM) break;
        // A stream may deliver the answer in parts: read on until its frame is complete.
        if (got >= frame::kHeaderSize) {
            const std::uint64_t want =
                frame::kHeaderSize +
                static_cast<std::uint64_t>(frame::get_u32le(buf.data() + frame::kLengthOffset)) + 1;
            if (got >= want) break;
        }
    }
    buf.resize(got);
    trace_frame(TraceDirection::Received, buf.data(), buf.size());
    return buf;
}

int SocketReceiveData(const Socket& socket, std::chrono::milliseconds timeout,
                      std::vector<std::uint8_t>* own) {
    if (!socket.valid()) return 1;
    std::vector<std::uint8_t> bytes;
    try {
        bytes = read_answer(socket.fd(), kAnswerBufferSize, std::chrono::steady_clock::now() + timeout);
    } catch (const std::bad_alloc&) {
        return 1;
    }
    if (bytes.empty()) {
        // No answer: nothing is kept, so a reader sees "no answer" rather than an empty one.
        if (own == nullptr) free_answer();
        report_status_no_text(kStatusReceiveFailed);
        return 1;
    }
    if (own != nullptr) {
        *own = std::move(bytes);
    } else {
        store_answer(bytes.data(), bytes.size());
    }
    return 0;
}

void DiscoveryReceiveLoop(const Socket& socket, std::optional<std::chrono::milliseconds> collect_for) {
    card_table_clear();
    if (!socket.valid()) return;
    Timeouts t = timeouts();
    if (collect_for) t.discovery_total = t.discovery_silence = *collect_for;
    const auto end = std::chrono::steady_clock::now() + t.discovery_total;
    std::array<std::uint8_t, kDiscoveryDatagramSize> buf{};
    for (;;) {
        // Silence ends the loop, and so does the overall bound: a host that keeps answering cannot
        // hold the discovery (and its busy flag) for ever.
        const auto silence_end = std::chrono::steady_clock::now() + t.discovery_silence;
        if (!wait_readable(socket.fd(), std::min(silence_end, end))) break;
        sockaddr_in from{};
        socklen_t from_len = sizeof from;
        const ssize_t n = ::recvfrom(socket.fd(), buf.data(), buf.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &from_len);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        // A failure or a datagram shorter than 10 bytes ends the loop, as it always has.
        if (n > 0) trace_frame(TraceDirection::Received, buf.data(), static_cast<std::size_t>(n));
        if (n < static_cast<ssize_t>(kMinDiscoveryAnswer)) break;
        const auto id = discovered_card_id({buf.data(), static_cast<std::size_t>(n)});
        if (!id) continue;
        char ip[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip);
        card_table_add(*id, ip);
    }
}

std::optional<std::string> discovered_card_id(std::span<const std::uint8_t> datagram) {
    // Only a card's answer is a card: a well-formed 0xD0 frame with a right check byte.
    const auto answer = frame::decode_checked(datagram);
    if (!answer || answer->command != frame::ANS_DISCOVER) return std::nullopt;
    return field_string(datagram, frame::kIdOffset, kCardTextSize - 1);
}

std::string field_string(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t size) {
    if (offset >= bytes.size()) return {};
    const auto field = bytes.subspan(offset, std::min(size, bytes.size() - offset));
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return std::string(field.begin(), end);
}

}  // namespace kelvra
