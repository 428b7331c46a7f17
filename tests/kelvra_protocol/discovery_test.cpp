// Discovery with a real broadcast to 255.255.255.255, inside a private network namespace only.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "common/frame.h"
#include "kelvra/kelvra.h"
#include "library/protocol/library_state.h"
#include "library/protocol/transport.h"
#include "simulator/sim.h"
#include "tests/kelvra_protocol/netns_guard.h"
#include "tests/kelvra_protocol/peer.h"
#include "tests/kelvra_protocol/recorder.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

std::string card_ip(std::size_t i) {
    return "127.0." + std::to_string(1 + i / 200) + "." + std::to_string(1 + i % 200);
}
std::string card_id(std::size_t i) {
    return "S730-413-" + std::to_string(10000 + i);
}

// The cards' side: one socket on 0.0.0.0:31296 hears the broadcast; each card answers 0xD0 from a
// socket bound to its own address. `prefix` datagrams go out before the answers.
class Cards {
  public:
    Cards(std::size_t n, std::vector<Bytes> prefix = {}) : prefix_(std::move(prefix)) {
        hear_ = make_socket("0.0.0.0", 31296);
        for (std::size_t i = 0; i < n; ++i) card_fds_.push_back(make_socket(card_ip(i), 31296));
        thread_ = std::thread([this] { run(); });
    }
    ~Cards() {
        stop_ = true;
        thread_.join();
        ::close(hear_);
        for (int fd : card_fds_) ::close(fd);
    }
    std::vector<Bytes> heard() const {
        std::lock_guard lock(mutex_);
        return heard_;
    }

  private:
    static int make_socket(const std::string& ip, std::uint16_t port) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        inet_pton(AF_INET, ip.c_str(), &sa.sin_addr);
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0) << ip;
        return fd;
    }
    void run() {
        while (!stop_) {
            pollfd p{hear_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            Bytes buf(4096);
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n =
                ::recvfrom(hear_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n <= 0) continue;
            buf.resize(static_cast<std::size_t>(n));
            {
                std::lock_guard lock(mutex_);
                heard_.push_back(buf);
            }
            for (const auto& d : prefix_) {
                ::sendto(card_fds_.empty() ? hear_ : card_fds_[0], d.data(), d.size(), 0,
                         reinterpret_cast<sockaddr*>(&from), len);
            }
            for (std::size_t i = 0; i < card_fds_.size(); ++i) {
                const Bytes a = peer::answer(0xD0, card_id(i), {});
                ::sendto(card_fds_[i], a.data(), a.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
            }
        }
    }

    std::vector<Bytes> prefix_;
    int hear_ = -1;
    std::vector<int> card_fds_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Bytes> heard_;
    std::thread thread_;
};

bool wait_discovery_done(std::chrono::seconds limit = 20s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (kelvra::discovery_busy()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return kelvra::wait_for_jobs(5s);
}

class Discovery : public ::testing::TestWithParam<std::size_t> {
  protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETNS();
        recorder::reset();
    }
};

TEST_P(Discovery, EveryCardIsListed) {
    const std::size_t n = GetParam();
    sim::SimulatorConfig config;
    config.cards = sim::make_cards(n, "127.0.1.1");
    auto started = sim::Simulator::start(config);
    ASSERT_TRUE(started) << started.error;
    const auto& card_sim = *started.simulator;
    ASSERT_EQ(LoopCheck(), 0);
    ASSERT_TRUE(wait_discovery_done());
    // One broadcast, heard by every card: a 32-byte datagram, plain sum, id "Broadcast!".
    std::size_t heard = 0;
    for (const auto& e : card_sim.journal()) {
        if (e.command != 0x90) continue;
        ++heard;
        EXPECT_EQ(e.datagram_size, 32u);
        EXPECT_EQ(e.id, "Broadcast!");
        EXPECT_EQ(e.check_form, frame::CheckForm::PlainSum);
        EXPECT_EQ(e.local_port, 31296);
    }
    EXPECT_EQ(heard, n);
    std::set<std::pair<std::string, std::string>> want, got;
    for (const auto& c : config.cards) want.insert({c.id, c.address});
    char id[20], ip[20];
    int r;
    int k = 1;
    while ((r = LoadCardInfor(id, ip, k)) == 1) {
        got.insert({id, ip});
        ++k;
    }
    EXPECT_EQ(r, 2);
    EXPECT_EQ(got, want);
    EXPECT_TRUE(recorder::all().empty());
}

INSTANTIATE_TEST_SUITE_P(Counts, Discovery, ::testing::Values(1, 10, 256));

class DiscoveryLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETNS();
        recorder::reset();
    }
};

TEST_F(DiscoveryLoop, SecondDiscoveryWhileOneRunsSendsNothing) {
    Cards cards(3);
    ASSERT_EQ(BroadcastCheckCard(1), 0);
    EXPECT_EQ(LoopCheck(), 1);
    EXPECT_EQ(BroadcastCheckCard(1), 1);
    char id[20], ip[20];
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(LoadCardInfor(id, ip, 4), -2);
    EXPECT_EQ(LoadCardInfor(id, ip, 1), -1);
    ASSERT_TRUE(wait_discovery_done());
    EXPECT_EQ(cards.heard().size(), 1u);
    EXPECT_EQ(kelvra::card_table_count(), 3u);
    // Once it is over, a new discovery starts afresh.
    ASSERT_EQ(LoopCheck(), 0);
    ASSERT_TRUE(wait_discovery_done());
    EXPECT_EQ(cards.heard().size(), 2u);
    EXPECT_EQ(kelvra::card_table_count(), 3u);
}

TEST_F(DiscoveryLoop, ADatagramShorterThanTenBytesEndsTheLoop) {
    Cards cards(2, {Bytes(9, 0x7E)});
    ASSERT_EQ(LoopCheck(), 0);
    ASSERT_TRUE(wait_discovery_done());
    EXPECT_EQ(kelvra::card_table_count(), 0u);
}

TEST_F(DiscoveryLoop, OddAnswersStayInsideTheirFields) {
    // An id field without NUL running to the end of the datagram, and a 10-byte answer.
    Bytes long_id(60, 'Z');
    long_id[3] = 0xD0;
    Cards cards(0, {long_id, Bytes(10, 'Q')});
    ASSERT_EQ(LoopCheck(), 0);
    ASSERT_TRUE(wait_discovery_done());
    char id[20], ip[20];
    ASSERT_EQ(LoadCardInfor(id, ip, 1), 1);
    EXPECT_EQ(std::string(id), std::string(19, 'Z'));
    ASSERT_EQ(LoadCardInfor(id, ip, 2), 1);
    EXPECT_EQ(std::string(id), "QQQQQQ");
    EXPECT_EQ(LoadCardInfor(id, ip, 3), 2);
}

TEST_F(DiscoveryLoop, ASynchronousBroadcastRunsInTheCallersThread) {
    Cards cards(2);
    kelvra::CommandBlock b = kelvra::CommandBlock::make(0x90, "x", 0);
    ASSERT_TRUE(kelvra::discovery_try_begin());
    EXPECT_EQ(kelvra::SendCommand(kelvra::CardAddress::make(103, "255.255.0.0"), nullptr, &b), 0);
    EXPECT_EQ(b.card_id, "x") << "only types 3 and 5 rename the block";
    EXPECT_FALSE(kelvra::discovery_busy());
    EXPECT_EQ(kelvra::card_table_count(), 2u);
}

TEST_F(DiscoveryLoop, BroadcastCommandReachesEveryCard) {
    sim::SimulatorConfig config;
    config.cards = sim::make_cards(3, "127.0.4.1");
    auto started = sim::Simulator::start(config);
    ASSERT_TRUE(started) << started.error;
    auto& cards = *started.simulator;
    ASSERT_EQ(ResetCard("S730-413-00001", "255.255.0.0", 3), 0);
    ASSERT_TRUE(kelvra::wait_for_jobs(10s));
    ASSERT_TRUE(cards.wait_for(
        [](const std::vector<sim::JournalEntry>& j) {
            return std::count_if(j.begin(), j.end(), [](const auto& e) { return e.command == 0x8B; }) == 3;
        },
        5s));
    for (const auto& e : cards.journal()) {
        EXPECT_EQ(e.id, "Broadcast!");
        EXPECT_EQ(e.local_port, 31296);
    }
    for (const auto& c : config.cards) EXPECT_EQ(cards.state(c.id)->resets, 1u) << c.id;
    EXPECT_FALSE(kelvra::discovery_busy()) << "only a discovery sets the busy flag";
}

TEST_F(DiscoveryLoop, ABroadcastOfSeveralPiecesSendsThemAll) {
    // The broadcast socket is bound once; a second bind before the second piece would fail with 54.
    sim::SimulatorConfig config;
    config.cards = sim::make_cards(1, "127.0.4.1");
    auto started = sim::Simulator::start(config);
    ASSERT_TRUE(started) << started.error;
    auto block = kelvra::CommandBlock::make(0x02, "Broadcast!", 0, Bytes(2001, 0x5A));
    EXPECT_EQ(kelvra::SendCommand(kelvra::CardAddress::make(103, "255.255.0.0"), nullptr, &block), 0);
    std::vector<std::size_t> sizes;
    for (const auto& e : started.simulator->journal()) {
        if (e.command == 0x02) sizes.push_back(e.datagram_size);
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{2032, 33}));
    EXPECT_TRUE(recorder::all().empty());
}

TEST_F(DiscoveryLoop, ConnectsToASilentHostGiveUpInBoundedTime) {
    // Inside this namespace 10.0.0.1 is nobody: its SYNs go unanswered, as for a card switched off.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ConnectCardSuccessOrFaile("10.0.0.1"), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    Bytes info(1088, 0xEE);
    EXPECT_EQ(GetCardInfoByTcp("S1", "10.0.0.1", reinterpret_cast<unsigned char*>(info.data())), 0);
    EXPECT_EQ(info, Bytes(1088, 0xEE));
    EXPECT_EQ(ResetCard("S1", "10.0.0.1", 101), 60);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_EQ(recorder::codes(), std::vector<std::uint32_t>{101});
}

}  // namespace
