// The TCP command exchange on real sockets (loopback of the test's own network namespace): what leaves,
// how answers are judged, and that an unreachable or silent card costs a bounded wait.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "cardlink/card_exchange.h"
#include "common/frame.h"
#include "common/screen_control.h"
#include "simulator/sim.h"
#include "tests/cardlink/fixture.h"
#include "tests/support/wait.h"

namespace cardlink {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

int Listen(const std::string& address, int backlog) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(frame::kCommandPort);
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << address;
    EXPECT_EQ(::listen(fd, backlog), 0);
    return fd;
}

// A card stand-in that takes one connection, keeps every byte of the request frame and answers with
// `reply`, optionally in two pieces with a pause between them. The simulator does neither: its journal
// holds the frames it parsed (not the bytes on the wire, whose 20-byte id field these tests check), and
// it sends each answer whole.
class TcpPeer {
  public:
    TcpPeer(const std::string& address, Bytes reply, std::chrono::milliseconds split_pause = 0ms)
        : fd_(Listen(address, 4)), reply_(std::move(reply)), pause_(split_pause) {
        thread_ = std::thread([this] { serve(); });
    }
    ~TcpPeer() {
        thread_.join();
        ::close(fd_);
    }
    Bytes received() {
        thread_.join();
        thread_ = std::thread([] {});
        return received_;
    }

  private:
    // True once the caller has closed its end (what it sends meanwhile is read and dropped).
    static bool hung_up(int c) {
        pollfd p{c, POLLIN | POLLRDHUP, 0};
        if (::poll(&p, 1, 20) <= 0) return false;
        std::uint8_t sink[4096];
        return ::recv(c, sink, sizeof sink, MSG_DONTWAIT) <= 0;
    }
    void serve() {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 5000) != 1) return;
        const int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0) return;
        std::uint8_t buf[4096];
        for (;;) {
            pollfd q{c, POLLIN, 0};
            if (::poll(&q, 1, 300) != 1) break;  // the request is complete when nothing more comes
            const ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0) break;
            received_.insert(received_.end(), buf, buf + n);
        }
        const std::size_t half = pause_ > 0ms ? reply_.size() / 2 : reply_.size();
        ::send(c, reply_.data(), half, MSG_NOSIGNAL);
        if (half < reply_.size()) {
            // The rest after the pause, unless the caller hangs up first.
            if (support::wait_until([&] { return hung_up(c); }, pause_)) {
                ::close(c);
                return;
            }
            ::send(c, reply_.data() + half, reply_.size() - half, MSG_NOSIGNAL);
        }
        // The connection stays open until the caller hangs up.
        support::wait_until([&] { return hung_up(c); }, 10s);
        ::close(c);
    }

    int fd_;
    Bytes reply_;
    std::chrono::milliseconds pause_;
    Bytes received_;
    std::thread thread_;
};

Bytes StatusAnswer(std::uint8_t command, std::string_view text) {
    frame::Packet p;
    p.command = command;
    p.card_id = "S730-413-05862";
    p.data.assign(text.begin(), text.end());
    return frame::encode_exact(p);
}

// Sub-command 6 (OE polarity, answered by the card) with value 1.
Bytes ScreenControlBlock() {
    Bytes block(screen_control::kSize, 0);
    block[0] = 6;
    block[8] = 1;
    return block;
}

TEST(Exchange, ScreenControlLeavesAsExactFrameWithTheIdsCheckForm) {
    REQUIRE_PRIVATE_NETWORK();
    const Bytes payload = ScreenControlBlock();
    // The last id is 18 characters long: it leaves whole in the 20-byte id field.
    for (const std::string id : {"S730-413-05862", "A901-200-00001", "A901-200-00001-XYZ"}) {
        TcpPeer peer("127.0.0.2", StatusAnswer(0xC4, "Success!"));
        const auto result = ExchangeCommand({id, "127.0.0.2"}, frame::CMD_SCREEN_CONTROL, payload);
        EXPECT_TRUE(result.ok()) << id;
        const Bytes sent = peer.received();
        ASSERT_EQ(sent.size(), 437u) << id;
        frame::Packet p{frame::CMD_SCREEN_CONTROL, id, 0, payload};
        p.wide_id = true;
        EXPECT_EQ(sent, frame::encode_exact(p, frame::check_form_for_id(id))) << id;
        EXPECT_EQ(std::string(sent.begin() + 4, sent.begin() + 4 + static_cast<long>(id.size())), id);
    }
}

TEST(Exchange, AnswerSplitAcrossSegmentsIsReadWhole) {
    REQUIRE_PRIVATE_NETWORK();
    TcpPeer peer("127.0.0.2", StatusAnswer(0xCA, "Success!"), 200ms);
    const auto result = ExchangeCommand({"S1", "127.0.0.2"}, frame::CMD_SAVE_SETTINGS, Bytes(524, 0));
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(result.answer, StatusAnswer(0xCA, "Success!"));
}

TEST(Exchange, AnswersAgainstTheSimulator) {
    REQUIRE_PRIVATE_NETWORK();
    sim::SimulatorConfig config;
    config.cards = sim::make_cards(1, "127.0.0.3", sim::IdFamily::Complement);
    config.discovery_socket = false;
    auto started = sim::Simulator::start(config);
    ASSERT_TRUE(started) << started.error;
    auto& card_sim = *started.simulator;
    const std::string id = card_sim.card_ids().at(0);
    const CardTarget card{id, "127.0.0.3"};
    support::RecordingMessages messages;

    EXPECT_EQ(exchange_and_report(card, frame::CMD_SCREEN_CONTROL, ScreenControlBlock(), "error RP"), 0);
    const auto state = card_sim.state(id);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->info.oe_polarity, 1u);  // the card took the block it was sent
    EXPECT_TRUE(messages.all().empty());

    sim::Faults faults;
    faults.answer_error = true;
    card_sim.set_faults(id, faults);
    EXPECT_EQ(exchange_and_report(card, frame::CMD_SCREEN_CONTROL, ScreenControlBlock(), "error RP"), -1);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"error RP"});

    // A silent card: the answer wait ends at its bound, and the command's own code is shown.
    messages.clear();
    faults = {};
    faults.silent = true;
    card_sim.set_faults(id, faults);
    const auto begin = std::chrono::steady_clock::now();
    ExchangeTimeouts quick;
    quick.receive = 500ms;
    const auto silent = ExchangeCommand(card, frame::CMD_SCREEN_CONTROL, ScreenControlBlock(), true, quick);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 3s);
    EXPECT_EQ(silent.error, ExchangeError::NoAnswer);
    EXPECT_TRUE(silent.answer.empty());

    // An answer that is not read reports nothing, whatever the card does.
    EXPECT_TRUE(ExchangeCommand(card, frame::CMD_SCREEN_CONTROL, ScreenControlBlock(), false).ok());

    faults = {};
    faults.malformed = sim::Malformed::NoLeadIn;
    card_sim.set_faults(id, faults);
    EXPECT_EQ(ExchangeCommand(card, frame::CMD_SCREEN_CONTROL, ScreenControlBlock()).error,
              ExchangeError::AnswerRejected);
}

TEST(Exchange, SequenceSendsEveryFrameOnOneConnection) {
    REQUIRE_PRIVATE_NETWORK();
    sim::SimulatorConfig config;
    config.cards = sim::make_cards(1, "127.0.0.3", sim::IdFamily::PlainSum);
    config.discovery_socket = false;
    auto started = sim::Simulator::start(config);
    ASSERT_TRUE(started) << started.error;
    auto& card_sim = *started.simulator;
    const std::string id = card_sim.card_ids().at(0);
    const CardTarget card{id, "127.0.0.3"};
    const std::vector<std::vector<std::uint8_t>> blocks(3, ScreenControlBlock());

    const auto from = card_sim.journal_end();
    auto r = exchange_sequence(card, frame::CMD_SCREEN_CONTROL, blocks);
    ASSERT_TRUE(r.connected);
    ASSERT_EQ(r.results.size(), 3u);
    for (const auto& one : r.results) EXPECT_TRUE(one.ok());
    std::vector<std::string> peers;
    for (const auto& e : card_sim.journal())
        if (e.seq >= from) peers.push_back(e.peer);
    ASSERT_EQ(peers.size(), 3u);
    EXPECT_EQ(peers[0], peers[1]);
    EXPECT_EQ(peers[1], peers[2]);

    // A silent card: each frame waits its own receive bound, no longer.
    sim::Faults faults;
    faults.silent = true;
    card_sim.set_faults(id, faults);
    ExchangeTimeouts quick;
    quick.receive = 300ms;
    const auto begin = std::chrono::steady_clock::now();
    r = exchange_sequence(card, frame::CMD_SCREEN_CONTROL, blocks, true, quick);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
    ASSERT_EQ(r.results.size(), 3u);
    for (const auto& one : r.results) EXPECT_EQ(one.error, ExchangeError::NoAnswer);

    // No card at the address: nothing sent, no results.
    r = exchange_sequence({id, "127.0.0.9"}, frame::CMD_SCREEN_CONTROL, blocks, true, quick);
    EXPECT_FALSE(r.connected);
    EXPECT_TRUE(r.results.empty());
    EXPECT_FALSE(exchange_sequence({"", "127.0.0.3"}, frame::CMD_SCREEN_CONTROL, blocks).connected);
}

TEST(Exchange, UnreachableCardGivesCardLinkErrorWithinTheBound) {
    REQUIRE_PRIVATE_NETWORK();
    // A listener whose queue is full drops new SYNs without a word: a card that does not answer.
    const int full = Listen("127.0.0.4", 0);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(frame::kCommandPort);
        ::inet_pton(AF_INET, "127.0.0.4", &a.sin_addr);
        ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(c);
    }
    // The first connection fills the queue once its handshake is done; the others wait in SYN.
    pollfd established{fillers[0], POLLOUT, 0};
    ASSERT_EQ(::poll(&established, 1, 5000), 1);

    support::RecordingMessages messages;
    const ExchangeTimeouts defaults;
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(
        exchange_and_report({"S1", "127.0.0.4"}, frame::CMD_SCREEN_CONTROL, ScreenControlBlock(), "error RP"),
        -1);
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(took, defaults.connect - 100ms);  // it really waited for the card, not a refusal
    EXPECT_LT(took, defaults.connect + 2s);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"card link error"});
    for (int c : fillers) ::close(c);
    ::close(full);
}

TEST(Exchange, NothingIsSentWithoutAUsableTarget) {
    struct Case {
        CardTarget target;
        std::size_t payload;
        ExchangeError expected;
    };
    const Case cases[] = {
        {{"", "127.0.0.2"}, 408, ExchangeError::NoConnection},
        {{"S1", "not an address"}, 408, ExchangeError::NoConnection},
        {{"S1", ""}, 408, ExchangeError::NoConnection},
        {{"S1", "127.0.0.2"}, 2049, ExchangeError::SendFailed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExchangeCommand(c.target, frame::CMD_SCREEN_CONTROL, Bytes(c.payload, 0)).error, c.expected)
            << c.target.card_id << " " << c.target.address;
    }
    support::RecordingMessages messages;
    report_exchange_failure({ExchangeError::SendFailed, {}}, "");
    report_exchange_failure({ExchangeError::None, {}}, "error RP");
    EXPECT_TRUE(messages.all().empty());
}

}  // namespace
}  // namespace cardlink
