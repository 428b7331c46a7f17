#include "simulator/sim.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "simulator/card_model.h"
#include "simulator/journal.h"
#include "simulator/stream_reassembler.h"

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

std::string errno_text(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

std::optional<in_addr_t> parse_ipv4(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
    return a.s_addr;
}

std::string address_text(in_addr_t a) {
    char buf[INET_ADDRSTRLEN];
    in_addr in{};
    in.s_addr = a;
    inet_ntop(AF_INET, &in, buf, sizeof buf);
    return buf;
}

std::string peer_text(const sockaddr_in& sa) {
    return address_text(sa.sin_addr.s_addr) + ":" + std::to_string(ntohs(sa.sin_port));
}

sockaddr_in socket_address(in_addr_t addr, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = addr;
    sa.sin_port = htons(port);
    return sa;
}

// Unbound sockets are closed on every error path.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(Fd&& o) noexcept : fd(std::exchange(o.fd, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            reset();
            fd = std::exchange(o.fd, -1);
        }
        return *this;
    }
    ~Fd() { reset(); }
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    int release() { return std::exchange(fd, -1); }
};

Fd open_socket(int type, in_addr_t addr, std::uint16_t port, std::string& error) {
    Fd s(::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (s.fd < 0) {
        error = errno_text("socket");
        return {};
    }
    const int one = 1;
    setsockopt(s.fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const auto sa = socket_address(addr, port);
    if (::bind(s.fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        error = errno_text(("bind " + address_text(addr) + ":" + std::to_string(port)).c_str());
        return {};
    }
    if (type == SOCK_STREAM && ::listen(s.fd, 64) != 0) {
        error = errno_text("listen");
        return {};
    }
    return s;
}

bool is_broadcast(in_addr_t a) {
    const auto host = ntohl(a);
    return host == 0xFFFFFFFFu || (host & 0xFFu) == 0xFFu;
}

std::string folder_name(const std::string& id) {
    std::string out;
    for (const char c : id)
        out += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
    return out.empty() ? std::string("_") : out;
}

}  // namespace

struct Simulator::Impl {
    struct Endpoint {
        std::string address;
        in_addr_t addr = 0;
        Fd udp_discovery;  // address:31296
        Fd udp_command;    // address:31298
        Fd tcp_listener;   // address:31298
        std::vector<std::size_t> cards;
    };
    struct Connection {
        Fd fd;
        Endpoint* endpoint = nullptr;
        sockaddr_in peer{};
        StreamReassembler stream;
        std::optional<IncomingFile> file;
        int data_frames = 0;
        std::uint64_t bytes_read = 0;
        Clock::time_point opened = Clock::now();
        Clock::time_point last_active = Clock::now();  // a byte read or written
        bool throttled = false;  // a slow-reader fault: its receive buffer was made small
        // Answers the peer has not taken yet, sent as its socket accepts them (never waited for).
        std::vector<std::uint8_t> out;
        std::size_t out_at = 0;  // bytes of `out` already sent
        std::size_t pending_output() const { return out.size() - out_at; }
    };
    // A UDP peer's file (in progress, or the last one, whose trailing frames still find it). A peer
    // without a file keeps no session, and at most kMaxUdpSessions are kept (the longest idle goes
    // first), so peers that come and go leave nothing behind.
    struct UdpSession {
        std::optional<IncomingFile> file;
        Clock::time_point last_used;
    };
    static constexpr std::size_t kMaxUdpSessions = 256;
    struct Delayed {
        Clock::time_point at;
        std::uint64_t connection = 0;  // 0: a datagram
        Endpoint* from = nullptr;      // datagrams: the card's sockets, looked up again when sent
        std::uint16_t port = 0;
        sockaddr_in dest{};
        std::vector<std::uint8_t> bytes;
    };
    // What one received frame is: where it came from and how to answer.
    struct Origin {
        Transport transport;
        std::uint16_t port;
        std::string local;
        sockaddr_in peer;
        std::size_t datagram_size;
        Connection* connection;  // TCP only
    };

    SimulatorConfig config;
    Clock::time_point started = Clock::now();
    bool own_root = false;

    // Guarded by mu: cards, journal, the journal file. Recursive, so that a wait_for predicate may read
    // card state through the public members while the journal is locked for it.
    mutable std::recursive_mutex mu;
    mutable std::condition_variable_any journal_changed;
    std::vector<std::unique_ptr<CardModel>> cards;
    std::vector<JournalEntry> journal;  // the newest entries (journal_memory_entries / _bytes)
    std::uint64_t next_seq = 0;
    std::size_t journal_bytes = 0;  // data bytes held by `journal`
    std::ofstream journal_out;

    // I/O thread only (and start() before the thread runs).
    std::vector<std::unique_ptr<Endpoint>> endpoints;
    Fd shared;
    Fd wake;
    std::map<std::uint64_t, Connection> connections;
    std::uint64_t next_connection = 1;
    std::map<std::pair<Endpoint*, std::string>, UdpSession> udp_sessions;
    std::vector<Delayed> delayed;
    std::vector<std::size_t> touched;  // cards that took a frame since the screens were last rendered
    std::thread thread;
    std::atomic<bool> stopping{false};

    ~Impl() {
        if (own_root) {
            std::error_code ec;
            std::filesystem::remove_all(config.storage_root, ec);
        }
    }

    Endpoint* endpoint_for(const std::string& address) {
        for (auto& e : endpoints)
            if (e->address == address && e->tcp_listener.fd >= 0) return e.get();
        return nullptr;
    }

    std::unique_ptr<Endpoint> open_endpoint(const std::string& address, in_addr_t addr, std::string& error) {
        auto e = std::make_unique<Endpoint>();
        e->address = address;
        e->addr = addr;
        e->udp_discovery = open_socket(SOCK_DGRAM, addr, frame::kDiscoveryPort, error);
        if (e->udp_discovery.fd < 0) return nullptr;
        e->udp_command = open_socket(SOCK_DGRAM, addr, frame::kCommandPort, error);
        if (e->udp_command.fd < 0) return nullptr;
        e->tcp_listener = open_socket(SOCK_STREAM, addr, frame::kCommandPort, error);
        if (e->tcp_listener.fd < 0) return nullptr;
        return e;
    }

    void add_journal(JournalEntry e) {  // mu held
        e.seq = next_seq++;
        e.ms = static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
        if (journal_out.is_open()) journal_out << to_json_line(e) << '\n' << std::flush;
        journal_bytes += e.data.size();
        journal.push_back(std::move(e));
        trim_journal();
        journal_changed.notify_all();
    }

    // Drops the oldest entries once a bound is passed, down to three quarters of it, so the cost of
    // moving the rest is spread over many entries.
    void trim_journal() {  // mu held
        const std::size_t max_entries = std::max<std::size_t>(config.journal_memory_entries, 1);
        const std::size_t max_bytes = config.journal_memory_bytes;
        if (journal.size() <= max_entries && journal_bytes <= max_bytes) return;
        std::size_t drop = 0;
        std::size_t bytes = journal_bytes;
        while (drop < journal.size() &&
               (journal.size() - drop > max_entries / 4 * 3 || bytes > max_bytes / 4 * 3)) {
            bytes -= journal[drop].data.size();
            ++drop;
        }
        journal.erase(journal.begin(), journal.begin() + static_cast<std::ptrdiff_t>(drop));
        journal_bytes = bytes;
    }

    // Ends the sessions that hold no file, and the longest idle ones beyond kMaxUdpSessions.
    void prune_udp_sessions() {
        for (auto it = udp_sessions.begin(); it != udp_sessions.end();)
            it = it->second.file ? std::next(it) : udp_sessions.erase(it);
        while (udp_sessions.size() > kMaxUdpSessions) {
            auto oldest = std::min_element(
                udp_sessions.begin(), udp_sessions.end(),
                [](const auto& a, const auto& b) { return a.second.last_used < b.second.last_used; });
            std::lock_guard lock(mu);
            if (oldest->second.file) cards[oldest->second.file->card]->abandon(*oldest->second.file);
            udp_sessions.erase(oldest);
        }
    }

    void wake_up() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake.fd, &one, sizeof one);
    }

    Endpoint* endpoint_of_card(std::size_t card) {
        for (auto& e : endpoints)
            if (std::find(e->cards.begin(), e->cards.end(), card) != e->cards.end()) return e.get();
        return nullptr;
    }

    // Moves a card whose address was changed by a command onto sockets at the new address.
    std::string follow_address(std::size_t index) {  // mu held
        auto& card = *cards[index];
        auto& st = card.state();
        if (!card.config().follow_address_changes || st.info.ip_address == st.bound_address) return {};
        const auto addr = parse_ipv4(st.info.ip_address);
        if (!addr) return "address change refused";
        Endpoint* old = endpoint_of_card(index);
        Endpoint* target = endpoint_for(st.info.ip_address);
        if (target && !target->cards.empty() && !config.allow_duplicate_addresses)
            return "cannot move to " + st.info.ip_address + ": address in use";
        if (!target) {
            std::string error;
            auto e = open_endpoint(st.info.ip_address, *addr, error);
            if (!e) return "cannot move to " + st.info.ip_address + ": " + error;
            target = e.get();
            endpoints.push_back(std::move(e));
        }
        if (old) {
            old->cards.erase(std::remove(old->cards.begin(), old->cards.end(), index), old->cards.end());
            if (old->cards.empty()) {
                old->udp_discovery.reset();
                old->udp_command.reset();
                old->tcp_listener.reset();
            }
        }
        target->cards.push_back(index);
        st.bound_address = st.info.ip_address;
        return "moved to " + st.info.ip_address;
    }

    void schedule(const HandleResult& r, const Origin& o, std::size_t card, std::uint64_t connection_id,
                  std::vector<Delayed>& now) {
        if (!r.answer) return;
        Delayed d;
        d.at = Clock::now() + std::chrono::milliseconds(r.delay_ms);
        d.bytes = *r.answer;
        if (o.transport == Transport::Tcp) {
            d.connection = connection_id;
        } else {
            // A card answers from its own address, on the port the frame came to.
            d.from = endpoint_of_card(card);
            if (!d.from) return;
            d.port = o.port;
            d.dest = o.peer;
        }
        if (r.delay_ms > 0)
            delayed.push_back(std::move(d));
        else
            now.push_back(std::move(d));
    }

    void transmit(const Delayed& d) {
        if (d.connection != 0) {
            auto it = connections.find(d.connection);
            if (it == connections.end()) return;
            auto& c = it->second;
            if (c.pending_output() + d.bytes.size() > config.connection_output_bytes) {
                close_connection(it, "answers not read: " + std::to_string(c.pending_output()) +
                                         " bytes waiting, connection closed");
                return;
            }
            if (c.out_at == c.out.size()) c.out.clear(), c.out_at = 0;
            c.out.insert(c.out.end(), d.bytes.begin(), d.bytes.end());
            flush(it);
            return;
        }
        // A card that moved meanwhile has closed these sockets: its late answer is lost, as on a real card.
        const int fd = d.port == frame::kCommandPort ? d.from->udp_command.fd : d.from->udp_discovery.fd;
        if (fd < 0) return;
        ::sendto(fd, d.bytes.data(), d.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&d.dest),
                 sizeof d.dest);
    }

    // Sends what the peer's socket takes now; closes the connection when the peer is gone.
    void flush(std::map<std::uint64_t, Connection>::iterator it) {
        auto& c = it->second;
        while (c.pending_output() > 0) {
            const ssize_t n =
                ::send(c.fd.fd, c.out.data() + c.out_at, c.pending_output(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                c.out_at += static_cast<std::size_t>(n);
                c.last_active = Clock::now();
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            close_connection(it);
            return;
        }
        c.out.clear();
        c.out_at = 0;
    }

    // Renders, outside mu, the screens of the cards whose display changed: decoding their pictures
    // never holds up a caller of the public members. Refused pictures are noted in the journal.
    void render_screens() {
        std::vector<std::pair<std::size_t, CardModel::ScreenJob>> jobs;
        {
            std::lock_guard lock(mu);
            for (const auto c : touched)
                if (auto job = cards[c]->take_screen_job()) jobs.emplace_back(c, std::move(*job));
        }
        touched.clear();
        for (auto& [c, job] : jobs) {
            auto rendering = job.display.render(job.folder, job.width, job.height);
            std::lock_guard lock(mu);
            cards[c]->put_screen(std::move(rendering.screen));
            for (auto& why : rendering.refused) {
                JournalEntry e;
                e.card = cards[c]->id();
                e.note = "picture refused: " + why;
                add_journal(std::move(e));
            }
            journal_changed.notify_all();  // waiters may be reading the screen
        }
    }

    // Chooses the cards that take a frame among `candidates` (the cards at the address it reached).
    std::vector<std::size_t> targets(const frame::Received& f, const std::string& id,
                                     const std::vector<std::size_t>& candidates, bool broadcast,
                                     const std::optional<IncomingFile>& file) const {  // mu held
        if (f.command == frame::CMD_FILE_DATA && file) return {file->card};
        if (f.command == frame::CMD_DISCOVER) return candidates;
        for (const auto c : candidates)
            if (cards[c]->id().substr(0, frame::kIdFieldSize) == id) return {c};
        if (broadcast) {
            if (id == frame::kBroadcastId) return candidates;
            return {};
        }
        // Cards answer frames with any id (Vantor's address mode uses a fixed one, upgrades "Broadcast!").
        if (!candidates.empty()) return {candidates.front()};
        return {};
    }

    // Handles one complete frame; returns the connection's fate (false: close it).
    bool process(std::span<const std::uint8_t> bytes, const Origin& o,
                 const std::vector<std::size_t>& candidates, bool broadcast,
                 std::optional<IncomingFile>& file, std::uint64_t connection_id, std::vector<Delayed>& now) {
        bool keep = true;
        std::lock_guard lock(mu);
        JournalEntry base;
        base.transport = o.transport;
        base.local_port = o.port;
        base.local_address = o.local;
        base.peer = peer_text(o.peer);
        base.datagram_size = o.datagram_size;
        const auto f = frame::decode(bytes);
        if (!f) {
            base.note = "shorter than a header";
            add_journal(std::move(base));
            return keep;
        }
        base.command = f->command;
        const auto* idp = bytes.data() + frame::kIdOffset;
        base.id.assign(idp, std::find(idp, idp + frame::kIdFieldSize, std::uint8_t{0}));
        base.parameter = f->parameter;
        base.length = f->length;
        base.data.assign(f->data.begin(), f->data.end());
        base.lead_in_ok = f->lead_in_ok;
        const auto chosen = targets(*f, base.id, candidates, broadcast, file);
        if (!f->lead_in_ok || chosen.empty()) {
            base.note = !f->lead_in_ok ? "no lead-in" : "no card for this frame";
            const bool plain = frame::verify_check_byte(bytes, frame::CheckForm::PlainSum);
            const bool compl_ = frame::verify_check_byte(bytes, frame::CheckForm::Complement);
            if (plain) base.check_form = frame::CheckForm::PlainSum;
            if (compl_) base.check_form = frame::CheckForm::Complement;
            add_journal(std::move(base));
            return keep;
        }
        for (const auto c : chosen) {
            auto& card = *cards[c];
            JournalEntry e = base;
            e.card = card.id();
            const auto check = card.check(bytes, base.id);
            e.check_form = check.matched;
            if (!check.accepted) {
                e.note = check.matched ? "check byte in the other family's form" : "check byte wrong";
                add_journal(std::move(e));
                continue;
            }
            auto r = card.handle(*f, file, c);
            touched.push_back(c);
            e.accepted = r.accepted;
            e.note = r.note;
            const std::string moved = follow_address(c);
            if (!moved.empty()) e.note += (e.note.empty() ? "" : "; ") + moved;
            if (o.transport == Transport::Tcp && f->command == frame::CMD_FILE_DATA && o.connection) {
                ++o.connection->data_frames;
                const int limit = card.state().faults.close_after_data_frames;
                if (limit >= 0 && o.connection->data_frames >= limit) {
                    e.note += (e.note.empty() ? "" : "; ") + std::string("connection closed (fault)");
                    keep = false;
                }
            }
            add_journal(std::move(e));
            if (keep) schedule(r, o, c, connection_id, now);
        }
        return keep;
    }

    void datagram(int fd, Endpoint* e, std::uint16_t port) {
        for (;;) {
            std::vector<std::uint8_t> buf(65536);
            sockaddr_in peer{};
            iovec iov{buf.data(), buf.size()};
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
            msghdr msg{};
            msg.msg_name = &peer;
            msg.msg_namelen = sizeof peer;
            msg.msg_iov = &iov;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            const ssize_t n = ::recvmsg(fd, &msg, 0);
            if (n < 0) return;
            buf.resize(static_cast<std::size_t>(n));
            in_addr_t dest = e ? e->addr : INADDR_ANY;
            for (auto* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                    in_pktinfo info{};
                    std::memcpy(&info, CMSG_DATA(c), sizeof info);
                    dest = info.ipi_addr.s_addr;
                }
            std::vector<std::size_t> candidates;
            bool broadcast = false;
            Endpoint* at = e;
            if (!at) {
                // The shared socket: a broadcast reaches every card; a unicast only the cards there.
                for (auto& ep : endpoints)
                    if (ep->addr == dest && ep->tcp_listener.fd >= 0) at = ep.get();
                if (!at && is_broadcast(dest)) {
                    broadcast = true;
                    std::lock_guard lock(mu);
                    for (std::size_t i = 0; i < cards.size(); ++i) candidates.push_back(i);
                }
            }
            if (at) candidates = at->cards;
            const Origin o{Transport::Udp, port, address_text(dest), peer, buf.size(), nullptr};
            auto& session = udp_sessions[{at, peer_text(peer)}];
            session.last_used = Clock::now();
            std::vector<Delayed> now;
            process(buf, o, candidates, broadcast, session.file, 0, now);
            prune_udp_sessions();
            for (const auto& d : now) transmit(d);
            render_screens();
        }
    }

    void accept_on(Endpoint& endpoint) {
        for (;;) {
            sockaddr_in peer{};
            socklen_t len = sizeof peer;
            const int fd = ::accept4(endpoint.tcp_listener.fd, reinterpret_cast<sockaddr*>(&peer), &len,
                                     SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) return;
            if (connections.size() >= kMaxTcpConnections) {
                ::close(fd);
                JournalEntry e;
                e.transport = Transport::Tcp;
                e.local_port = frame::kCommandPort;
                e.local_address = endpoint.address;
                e.peer = peer_text(peer);
                e.note = "connection refused: " + std::to_string(kMaxTcpConnections) + " connections open";
                std::lock_guard lock(mu);
                add_journal(std::move(e));
                continue;
            }
            // A small kernel send buffer: answers a peer leaves unread wait in the connection's own
            // buffer, where their bound is kept, not in the kernel's.
            const int send_buffer = 64 * 1024;
            setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &send_buffer, sizeof send_buffer);
            Connection c;
            c.fd = Fd(fd);
            c.endpoint = &endpoint;
            c.peer = peer;
            connections.emplace(next_connection++, std::move(c));
        }
    }

    // How many bytes a card with a slow-reader fault takes off `c` now: all it gets without the fault.
    // Sets `retry` to when more may be taken.
    std::size_t read_budget(Connection& c, Clock::time_point now, Clock::time_point& retry) {
        Faults f;
        {
            std::lock_guard lock(mu);
            if (c.endpoint->cards.empty()) return 65536;
            f = cards[c.endpoint->cards.front()]->state().faults;
        }
        if (f.read_rate <= 0 && f.stop_reading_after < 0) return 65536;
        if (!c.throttled) {
            // A small window, so the sender feels the card's pace instead of filling large buffers.
            const int small = 16384;
            setsockopt(c.fd.fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
            c.throttled = true;
        }
        std::uint64_t allowed = UINT64_MAX;
        if (f.stop_reading_after >= 0) allowed = static_cast<std::uint64_t>(f.stop_reading_after);
        if (f.read_rate > 0) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - c.opened).count();
            allowed = std::min<std::uint64_t>(
                allowed, static_cast<std::uint64_t>(f.read_rate) * static_cast<std::uint64_t>(ms) / 1000);
            retry = now + std::chrono::milliseconds(10);
        }
        if (allowed <= c.bytes_read) return 0;
        return static_cast<std::size_t>(std::min<std::uint64_t>(65536, allowed - c.bytes_read));
    }

    void read_connection(std::uint64_t id) {
        auto it = connections.find(id);
        auto& c = it->second;
        std::uint8_t buf[65536];
        Clock::time_point retry{};
        const std::size_t budget = read_budget(c, Clock::now(), retry);
        if (budget == 0) return;
        const ssize_t n = ::recv(c.fd.fd, buf, budget, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        if (n <= 0) {
            close_connection(it);
            return;
        }
        c.bytes_read += static_cast<std::uint64_t>(n);
        c.last_active = Clock::now();
        c.stream.feed(std::span<const std::uint8_t>(buf, static_cast<std::size_t>(n)));
        std::vector<Delayed> now;
        bool keep = true;
        while (keep) {
            auto f = c.stream.next();
            if (!f) break;
            const Origin o{Transport::Tcp, frame::kCommandPort, c.endpoint->address, c.peer, 0, &c};
            keep = process(*f, o, c.endpoint->cards, false, c.file, id, now);
        }
        for (const auto& d : now) transmit(d);
        render_screens();
        if (!keep) {
            it = connections.find(id);
            if (it != connections.end()) close_connection(it);
        }
    }

    // Closes a connection; why the simulator closed it (`why`, empty when the peer did) and what it
    // leaves unfinished (bytes not yet cut into frames, a file not complete) are journaled as one entry
    // with command 0.
    void close_connection(std::map<std::uint64_t, Connection>::iterator it, std::string why = {}) {
        auto& c = it->second;
        std::string note = std::move(why);
        std::lock_guard lock(mu);
        if (c.stream.pending() > 0)
            note += (note.empty() ? "" : "; ") + std::to_string(c.stream.pending()) +
                    " bytes left unread at close";
        if (c.file) {
            if (!c.file->refused && c.file->remaining > 0)
                note += (note.empty() ? "" : "; ") + std::string("file cut short at close");
            cards[c.file->card]->abandon(*c.file);
        }
        if (!note.empty()) {
            JournalEntry e;
            e.transport = Transport::Tcp;
            e.local_port = frame::kCommandPort;
            e.local_address = c.endpoint->address;
            e.peer = peer_text(c.peer);
            if (c.file) e.card = cards[c.file->card]->id();
            e.note = note;
            add_journal(std::move(e));
        }
        connections.erase(it);
    }

    void run() {
        while (!stopping.load()) {
            std::vector<pollfd> fds;
            enum Kind { Wake, Shared, Discovery, Command, Listener, Conn };
            std::vector<std::pair<Kind, std::uintptr_t>> what;
            auto add = [&](int fd, Kind k, std::uintptr_t ref) {
                if (fd < 0) return;
                fds.push_back({fd, POLLIN, 0});
                what.emplace_back(k, ref);
            };
            add(wake.fd, Wake, 0);
            add(shared.fd, Shared, 0);
            for (auto& e : endpoints) {
                const auto ref = reinterpret_cast<std::uintptr_t>(e.get());
                add(e->udp_discovery.fd, Discovery, ref);
                add(e->udp_command.fd, Command, ref);
                add(e->tcp_listener.fd, Listener, ref);
            }
            int timeout = 1000;
            const auto now = Clock::now();
            close_idle(now);
            for (auto& [id, c] : connections) {
                // A card that takes nothing now is not asked; it is woken when its budget grows.
                Clock::time_point retry{};
                const bool reading = read_budget(c, now, retry) > 0;
                if (!reading && retry != Clock::time_point{}) timeout = std::min<int>(timeout, 10);
                const short events =
                    static_cast<short>((reading ? POLLIN : 0) | (c.pending_output() > 0 ? POLLOUT : 0));
                if (events != 0) {
                    fds.push_back({c.fd.fd, events, 0});
                    what.emplace_back(Conn, id);
                }
                const auto idle_at = c.last_active + config.idle_timeout;
                timeout = std::min<int>(
                    timeout,
                    static_cast<int>(std::max<long long>(
                        0,
                        std::chrono::duration_cast<std::chrono::milliseconds>(idle_at - now).count() + 1)));
            }
            for (const auto& d : delayed)
                timeout = std::min<int>(
                    timeout,
                    static_cast<int>(std::max<long long>(
                        0, std::chrono::duration_cast<std::chrono::milliseconds>(d.at - now).count() + 1)));
            if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
            // Delayed answers whose time has come.
            const auto t = Clock::now();
            std::vector<Delayed> due;
            for (auto it = delayed.begin(); it != delayed.end();) {
                if (it->at <= t) {
                    due.push_back(std::move(*it));
                    it = delayed.erase(it);
                } else {
                    ++it;
                }
            }
            for (const auto& d : due) transmit(d);
            for (std::size_t i = 0; i < fds.size(); ++i) {
                const auto [kind, ref] = what[i];
                if (kind == Conn && (fds[i].events & POLLOUT) && fds[i].revents != 0) {
                    if (auto it = connections.find(ref); it != connections.end()) flush(it);
                }
                if (!(fds[i].events & POLLIN) || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                auto* e = reinterpret_cast<Endpoint*>(ref);
                switch (kind) {
                    case Wake: {
                        std::uint64_t v;
                        [[maybe_unused]] auto n = ::read(wake.fd, &v, sizeof v);
                        break;
                    }
                    case Shared:
                        datagram(shared.fd, nullptr, frame::kDiscoveryPort);
                        break;
                    case Discovery:
                        if (e->udp_discovery.fd >= 0) datagram(e->udp_discovery.fd, e, frame::kDiscoveryPort);
                        break;
                    case Command:
                        if (e->udp_command.fd >= 0) datagram(e->udp_command.fd, e, frame::kCommandPort);
                        break;
                    case Listener:
                        if (e->tcp_listener.fd >= 0) accept_on(*e);
                        break;
                    case Conn:
                        if (connections.count(ref)) read_connection(ref);
                        break;
                }
            }
        }
    }

    // Closes the connections on which nothing was read or written for the idle time, so that idle
    // peers cannot hold the connection limit. A card that itself stops reading (a slow-reader fault)
    // keeps its connections.
    void close_idle(Clock::time_point now) {
        for (auto it = connections.begin(); it != connections.end();) {
            auto next = std::next(it);
            if (!it->second.throttled && now - it->second.last_active >= config.idle_timeout)
                close_connection(
                    it, "idle for " + std::to_string(config.idle_timeout.count()) + " ms, connection closed");
            it = next;
        }
    }

    CardModel* find(std::string_view id) const {  // mu held
        for (auto& c : cards)
            if (c->id() == id) return c.get();
        return nullptr;
    }
};

Simulator::Simulator(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Simulator::~Simulator() {
    stop();
}

StartResult Simulator::start(SimulatorConfig config) {
    auto impl = std::make_unique<Impl>();
    auto& im = *impl;
    if (config.cards.empty()) return {nullptr, "no cards"};
    std::set<std::string> ids;
    std::map<std::string, std::size_t> per_address;
    for (const auto& c : config.cards) {
        if (c.id.empty() || c.id.size() > card_info::kCardIdSize - 1)
            return {nullptr, "bad card id \"" + c.id + "\""};
        if (!ids.insert(c.id).second) return {nullptr, "card id " + c.id + " given twice"};
        if (!parse_ipv4(c.address)) return {nullptr, "card " + c.id + ": bad address \"" + c.address + "\""};
        if (++per_address[c.address] > 1 && !config.allow_duplicate_addresses)
            return {nullptr, "two cards at " + c.address + " (allow duplicate addresses to permit it)"};
    }
    std::error_code ec;
    if (config.storage_root.empty()) {
        char pattern[] = "/tmp/ledcard-sim-XXXXXX";
        if (!::mkdtemp(pattern)) return {nullptr, errno_text("mkdtemp")};
        config.storage_root = pattern;
        im.config.storage_root = pattern;  // removed again by ~Impl if start fails below
        im.own_root = true;
    }
    std::filesystem::create_directories(config.storage_root, ec);
    if (ec) return {nullptr, "storage folder: " + ec.message()};
    if (!config.journal_file.empty()) {
        im.journal_out.open(config.journal_file, std::ios::app);
        if (!im.journal_out) return {nullptr, "cannot open journal " + config.journal_file.string()};
    }
    for (const auto& c : config.cards) {
        const auto folder = config.storage_root / folder_name(c.id);
        std::filesystem::create_directories(folder, ec);
        if (ec) return {nullptr, "card folder " + folder.string() + ": " + ec.message()};
        im.cards.push_back(std::make_unique<CardModel>(c, folder, im.started));
    }
    // Three sockets per address: hundreds of cards need more descriptors than the usual soft limit.
    const rlim_t wanted = static_cast<rlim_t>(per_address.size() * 3 + 256);
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < wanted) {
        lim.rlim_cur = std::min(wanted, lim.rlim_max);
        setrlimit(RLIMIT_NOFILE, &lim);
    }
    std::string error;
    if (config.discovery_socket) {
        im.shared = open_socket(SOCK_DGRAM, INADDR_ANY, frame::kDiscoveryPort, error);
        if (im.shared.fd < 0) return {nullptr, error};
        const int one = 1, big = 1 << 20;
        setsockopt(im.shared.fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
        setsockopt(im.shared.fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    }
    for (std::size_t i = 0; i < config.cards.size(); ++i) {
        const auto& c = config.cards[i];
        auto* e = im.endpoint_for(c.address);
        if (!e) {
            auto opened = im.open_endpoint(c.address, *parse_ipv4(c.address), error);
            if (!opened) return {nullptr, "card " + c.id + ": " + error};
            e = opened.get();
            im.endpoints.push_back(std::move(opened));
        }
        e->cards.push_back(i);
    }
    im.wake = Fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (im.wake.fd < 0) return {nullptr, errno_text("eventfd")};
    im.config = std::move(config);
    im.thread = std::thread([&im] { im.run(); });
    return {std::unique_ptr<Simulator>(new Simulator(std::move(impl))), {}};
}

void Simulator::stop() {
    if (!impl_ || !impl_->thread.joinable()) return;
    impl_->stopping = true;
    impl_->wake_up();
    impl_->thread.join();
    std::lock_guard lock(impl_->mu);
    for (auto& [id, c] : impl_->connections)
        if (c.file) impl_->cards[c.file->card]->abandon(*c.file);
    impl_->connections.clear();
    impl_->endpoints.clear();
    impl_->shared.reset();
}

std::vector<std::string> Simulator::card_ids() const {
    std::lock_guard lock(impl_->mu);
    std::vector<std::string> out;
    for (const auto& c : impl_->cards) out.push_back(c->id());
    return out;
}

std::optional<CardState> Simulator::state(std::string_view card_id) const {
    std::lock_guard lock(impl_->mu);
    if (auto* c = impl_->find(card_id)) return c->state();
    return std::nullopt;
}

bool Simulator::set_faults(std::string_view card_id, const Faults& faults) {
    std::lock_guard lock(impl_->mu);
    auto* c = impl_->find(card_id);
    if (!c) return false;
    c->state().faults = faults;
    return true;
}

std::vector<StoredFile> Simulator::stored_files(std::string_view card_id) const {
    std::lock_guard lock(impl_->mu);
    if (auto* c = impl_->find(card_id)) return c->stored_files();
    return {};
}

std::filesystem::path Simulator::card_folder(std::string_view card_id) const {
    std::lock_guard lock(impl_->mu);
    if (auto* c = impl_->find(card_id)) return c->folder();
    return {};
}

std::vector<JournalEntry> Simulator::journal() const {
    std::lock_guard lock(impl_->mu);
    return impl_->journal;
}

std::uint64_t Simulator::journal_end() const {
    std::lock_guard lock(impl_->mu);
    return impl_->next_seq;
}

bool Simulator::wait_for(const std::function<bool(const std::vector<JournalEntry>&)>& pred,
                         std::chrono::milliseconds timeout) const {
    std::unique_lock lock(impl_->mu);
    return impl_->journal_changed.wait_for(lock, timeout, [&] { return pred(impl_->journal); });
}

std::optional<JournalEntry> Simulator::wait_for_frame(std::string_view card_id, std::uint8_t command,
                                                      std::chrono::milliseconds timeout,
                                                      std::uint64_t from_seq) const {
    std::optional<JournalEntry> found;
    wait_for(
        [&](const std::vector<JournalEntry>& j) {
            for (const auto& e : j)
                if (e.seq >= from_seq && e.command == command && (card_id.empty() || e.card == card_id)) {
                    found = e;
                    return true;
                }
            return false;
        },
        timeout);
    return found;
}

std::vector<CardConfig> make_cards(std::size_t count, std::string_view first_address, IdFamily family) {
    std::vector<CardConfig> out;
    const auto first = parse_ipv4(std::string(first_address));
    if (!first) return out;
    const std::uint32_t base = ntohl(*first);
    for (std::size_t i = 0; i < count; ++i) {
        const bool plain = family == IdFamily::PlainSum || (family == IdFamily::Mixed && i % 2 == 0);
        char id[24];
        std::snprintf(id, sizeof id, plain ? "S730-413-%05zu" : "A901-200-%05zu", i + 1);
        CardConfig c;
        c.id = id;
        c.address = address_text(htonl(base + static_cast<std::uint32_t>(i)));
        out.push_back(std::move(c));
    }
    return out;
}

}  // namespace sim
