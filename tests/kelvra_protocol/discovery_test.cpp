// Discovery with a real broadcast to 255.255.255.255, inside a private network namespace only.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include "common/frame.h"
#include "kelvra/kelvra.h"
#include "library/protocol/library_state.h"
#include "library/protocol/timeouts.h"
#include "library/protocol/transport.h"
#include "simulator/sim.h"
#include "tests/kelvra_protocol/fast_timeouts.h"
#include "tests/support/netns.h"
#include "tests/kelvra_protocol/peer.h"
#include "tests/kelvra_protocol/recorder.h"
#include "tests/support/wait.h"

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
    return support::wait_until([] { return !kelvra::discovery_busy(); }, limit) && kelvra::wait_for_jobs(5s);
}

class Discovery : public ::testing::TestWithParam<std::size_t> {
  protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETNS();
        recorder::reset();
    }
    kelvra::ScopedTimeouts fast_{test::fast_timeouts()};
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
    kelvra::ScopedTimeouts fast_{test::fast_timeouts()};
};

TEST_F(DiscoveryLoop, SecondDiscoveryWhileOneRunsSendsNothing) {
    Cards cards(3);
    ASSERT_EQ(BroadcastCheckCard(1), 0);
    EXPECT_EQ(LoopCheck(), 1);
    EXPECT_EQ(BroadcastCheckCard(1), 1);
    char id[20], ip[20];
    // The three answers are in the table while the discovery still runs.
    ASSERT_TRUE(support::wait_until([] { return kelvra::card_table_count() == 3; }));
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

// KelvraDiscover: the search goes where it is told and has ended when the call returns;
// a bad address or time sends nothing. The trace sees the request and every answer.
TEST_F(DiscoveryLoop, DiscoveryAtAnAddressForATimeWithATrace) {
    sim::SimulatorConfig config;
    config.cards = sim::make_cards(3, "127.0.2.1");
    auto started = sim::Simulator::start(config);
    ASSERT_TRUE(started) << started.error;
    const auto& card_sim = *started.simulator;

    for (const auto& [address, time] : {std::pair<const char*, std::uint32_t>{"999.1.1.1", 100},
                                        {"8.8.8.8x", 100},
                                        {"not-an-ip", 100},
                                        {"127.0.2.2", 0},
                                        {"127.0.2.2", 600001}}) {
        SCOPED_TRACE(address);
        EXPECT_EQ(KelvraDiscover(address, time), 2);
    }
    EXPECT_TRUE(card_sim.journal().empty()) << "nothing was sent";

    struct Traced {
        std::mutex mutex;
        std::vector<std::pair<int, Bytes>> frames;
    } traced;
    KelvraSetTraceHandler(
        [](int direction, const unsigned char* bytes, size_t size, void* user) {
            auto* t = static_cast<Traced*>(user);
            std::lock_guard lock(t->mutex);
            t->frames.emplace_back(direction, Bytes(bytes, bytes + size));
        },
        &traced);
    ASSERT_EQ(KelvraDiscover("127.0.2.2", 400), 0);
    EXPECT_FALSE(kelvra::discovery_busy());
    KelvraSetTraceHandler(nullptr, nullptr);
    char id[20], ip[20];
    ASSERT_EQ(LoadCardInfor(id, ip, 1), 1);
    EXPECT_EQ(std::string(ip), "127.0.2.2");
    EXPECT_EQ(std::string(id), config.cards[1].id);
    EXPECT_EQ(LoadCardInfor(id, ip, 2), 2) << "a search at one card's address finds that card only";
    ASSERT_EQ(traced.frames.size(), 2u);
    EXPECT_EQ(traced.frames[0].first, 0);
    EXPECT_EQ(traced.frames[0].second.size(), 32u);
    EXPECT_EQ(traced.frames[0].second[3], frame::CMD_DISCOVER);
    EXPECT_EQ(traced.frames[1].first, 1);
    EXPECT_EQ(traced.frames[1].second[3], frame::ANS_DISCOVER);
}

TEST_F(DiscoveryLoop, ADatagramShorterThanTenBytesEndsTheLoop) {
    Cards cards(2, {Bytes(9, 0x7E)});
    ASSERT_EQ(LoopCheck(), 0);
    ASSERT_TRUE(wait_discovery_done());
    EXPECT_EQ(kelvra::card_table_count(), 0u);
}

TEST_F(DiscoveryLoop, OddAnswersStayInsideTheirFields) {
    // A well-formed answer whose 16-character id has no NUL and whose parameter bytes are text too:
    // the id is read from the 20-byte field, 19 characters at most.
    Bytes long_id = peer::answer(0xD0, std::string(16, 'Z'), {});
    std::fill(long_id.begin() + 20, long_id.begin() + 24, 'Z');
    unsigned sum = 0;
    for (std::size_t i = 3; i < 28; ++i) sum += long_id[i];
    long_id[28] = static_cast<std::uint8_t>(sum);
    // Datagrams of 10 bytes or more that are no well-formed 0xD0 answer are not cards.
    Bytes no_lead_in(60, 'Z');
    no_lead_in[3] = 0xD0;
    Cards cards(0, {no_lead_in, Bytes(10, 'Q'), long_id});
    ASSERT_EQ(LoopCheck(), 0);
    ASSERT_TRUE(wait_discovery_done());
    char id[20], ip[20];
    ASSERT_EQ(LoadCardInfor(id, ip, 1), 1);
    EXPECT_EQ(std::string(id), std::string(19, 'Z'));
    EXPECT_EQ(LoadCardInfor(id, ip, 2), 2);
}

TEST_F(DiscoveryLoop, ASynchronousBroadcastRunsInTheCallersThread) {
    Cards cards(2);
    kelvra::CommandBlock b = kelvra::CommandBlock::make(0x90, "x", 0);
    ASSERT_TRUE(kelvra::discovery_try_begin());
    EXPECT_EQ(kelvra::SendCommand(kelvra::CardAddress::make(kelvra::ProtoType::BroadcastHere, "255.255.0.0"),
                                  nullptr, &b),
              0);
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
    EXPECT_EQ(kelvra::SendCommand(kelvra::CardAddress::make(kelvra::ProtoType::BroadcastHere, "255.255.0.0"),
                                  nullptr, &block),
              0);
    std::vector<std::size_t> sizes;
    for (const auto& e : started.simulator->journal()) {
        if (e.command == 0x02) sizes.push_back(e.datagram_size);
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{2032, 33}));
    EXPECT_TRUE(recorder::all().empty());
}

TEST_F(DiscoveryLoop, ConnectsToASilentHostGiveUpInBoundedTime) {
    const kelvra::ScopedTimeouts documented(kelvra::Timeouts{});  // the bounds this test checks
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

Bytes read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A file's header and its data are two blocks of one job; the broadcast socket is bound once per job,
// so the data follows the header over 3 and 103 alike.
TEST_F(DiscoveryLoop, BroadcastFileSendsDeliverTheWholeFile) {
    sim::SimulatorConfig config;
    config.cards = sim::make_cards(1, "127.0.4.1");
    auto started = sim::Simulator::start(config);
    ASSERT_TRUE(started) << started.error;
    auto& card = *started.simulator;
    const std::string id = config.cards[0].id;
    const auto dir = std::filesystem::temp_directory_path() / ("kelvra-bcast-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    Bytes data(5003);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const auto local = dir / "pic.bin";
    std::ofstream(local, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
    for (int pt : {103, 3}) {
        SCOPED_TRACE(pt);
        const std::string name = "b" + std::to_string(pt) + ".bin";
        ASSERT_EQ(SendFileToCard(id.c_str(), "255.255.0.0", pt, 0, local.c_str(), name.c_str(), "bc", 4), 0);
        ASSERT_TRUE(kelvra::wait_for_jobs(10s));
        ASSERT_TRUE(card.wait_for(
            [&](const auto&) {
                for (const auto& f : card.stored_files(id))
                    if (f.card_path == "bc\\" + name && f.complete) return true;
                return false;
            },
            5s));
        for (const auto& f : card.stored_files(id)) {
            if (f.card_path == "bc\\" + name) {
                EXPECT_EQ(read_file(f.local_path), data);
            }
        }
    }
    const auto codes = recorder::codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 54u), 0) << "no second bind";
    std::filesystem::remove_all(dir);
}

// A local UDP socket that stands in for the broadcast socket, and a host that keeps sending to it.
struct Chatter {
    kelvra::Socket socket{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    int host = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    std::atomic<bool> stop{false};
    std::thread thread;

    Chatter(std::vector<Bytes> datagrams, std::chrono::milliseconds every) {
        to.sin_family = AF_INET;
        inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        EXPECT_EQ(::bind(socket.fd(), reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        socklen_t len = sizeof to;
        getsockname(socket.fd(), reinterpret_cast<sockaddr*>(&to), &len);
        thread = std::thread([this, datagrams = std::move(datagrams), every] {
            while (!stop) {
                for (const auto& d : datagrams)
                    ::sendto(host, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
                support::wait_until([&] { return stop.load(); }, every);  // the next round, or the end
            }
        });
    }
    ~Chatter() {
        stop = true;
        thread.join();
        ::close(host);
    }
};

// A host that answers more often than the silence bound cannot keep the discovery running: it ends at
// its overall bound.
TEST(DiscoveryBound, AHostThatKeepsAnsweringCannotHoldTheDiscovery) {
    recorder::reset();
    kelvra::Timeouts t;
    t.discovery_silence = 500ms;
    t.discovery_total = 1500ms;
    const kelvra::ScopedTimeouts lowered(t);
    Chatter chatter({peer::answer(0xD0, "S730-413-00007", {})}, 200ms);
    const auto start = std::chrono::steady_clock::now();
    kelvra::DiscoveryReceiveLoop(chatter.socket);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 1400ms);
    EXPECT_LT(took, 2500ms);
    EXPECT_GE(kelvra::card_table_count(), 1u);
}

// Only well-formed 0xD0 answers with a right check byte are cards (plain sum, or the complement for an
// id of that family); the loop leaves the busy flag to its job, so one discovery has one end.
TEST(DiscoveryBound, OnlyCardAnswersAreListedAndTheLoopDoesNotEndTheDiscovery) {
    recorder::reset();
    kelvra::Timeouts t;
    t.discovery_silence = 400ms;
    const kelvra::ScopedTimeouts lowered(t);
    frame::Packet complement{0xD0, "A901-200-00002", 0, {}};
    Bytes bad_check = peer::answer(0xD0, "S730-413-00003", {});
    bad_check.back() ^= 0x40;
    Chatter chatter({Bytes(40, 0x33), peer::answer(0xC2, "S730-413-00004", {}), bad_check,
                     peer::answer(0xD0, "S730-413-00001", {}),
                     frame::encode_exact(complement, frame::CheckForm::Complement)},
                    5000ms);
    ASSERT_TRUE(kelvra::discovery_try_begin());
    kelvra::DiscoveryReceiveLoop(chatter.socket);
    EXPECT_TRUE(kelvra::discovery_busy()) << "only the job ends a discovery";
    kelvra::discovery_end();
    char id[20], ip[20];
    ASSERT_EQ(LoadCardInfor(id, ip, 1), 1);
    EXPECT_STREQ(id, "S730-413-00001");
    EXPECT_STREQ(ip, "127.0.0.1");
    ASSERT_EQ(LoadCardInfor(id, ip, 2), 1);
    EXPECT_STREQ(id, "A901-200-00002");
    EXPECT_EQ(LoadCardInfor(id, ip, 3), 2);
}

}  // namespace
