// Answer waits have one overall bound: a fake card that trickles a valid answer one byte per second
// holds no command longer than the answer bound (plus a margin), and the next call works. The first
// case runs with the documented bounds; the others lower them through the internal Timeouts seam.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "common/frame.h"
#include "kelvra/kelvra.h"
#include "library/protocol/library_state.h"
#include "library/protocol/timeouts.h"
#include "tests/kelvra_protocol/peer.h"
#include "tests/kelvra_protocol/recorder.h"
#include "tests/support/listener.h"
#include "tests/support/wait.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr const char* kId = "S730-413-05862";
constexpr const char* kIp = "127.42.0.51";
constexpr auto kMargin = 1500ms;

Bytes words(std::initializer_list<std::uint32_t> ws) {
    Bytes b;
    for (auto w : ws)
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<std::uint8_t>(w >> (8 * k)));
    return b;
}

// A TCP card at kIp:31298 that answers each frame with the valid answer `reply(frame)`, either at once
// or one byte per `pace` (trickle), until the caller hangs up.
class SlowCard {
  public:
    using Reply = std::function<Bytes(std::uint8_t command)>;
    SlowCard(Reply reply, std::chrono::milliseconds pace) : reply_(std::move(reply)), pace_(pace) {
        fd_ = support::listen_tcp(kIp, 31298);
        EXPECT_GE(fd_, 0);
        thread_ = std::thread([this] { run(); });
    }
    ~SlowCard() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    void set_trickle(bool on) { trickle_ = on; }

  private:
    // True once the caller has closed its end (what it sends meanwhile is read and dropped).
    static bool hung_up(int c) {
        pollfd p{c, POLLIN | POLLRDHUP, 0};
        if (::poll(&p, 1, 20) <= 0) return false;
        std::uint8_t sink[4096];
        return ::recv(c, sink, sizeof sink, MSG_DONTWAIT) <= 0;
    }
    bool wait(int fd, int ms) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, ms) > 0;
    }
    void run() {
        while (!stop_) {
            if (!wait(fd_, 50)) continue;
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) continue;
            Bytes pending;
            std::vector<peer::Frame> frames;
            while (!stop_ && frames.empty()) {
                if (!wait(c, 50)) continue;
                std::uint8_t buf[4096];
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                pending.insert(pending.end(), buf, buf + n);
                frames = peer::parse_frames(pending);
            }
            if (!frames.empty()) {
                const Bytes answer = reply_(frames.front().command);
                if (!trickle_) {
                    (void)!::send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
                    // The connection stays open until the caller hangs up.
                    support::wait_until([&] { return stop_ || hung_up(c); }, 10s);
                } else {
                    for (std::size_t i = 0; i < answer.size() && !stop_; ++i) {
                        if (::send(c, answer.data() + i, 1, MSG_NOSIGNAL) != 1) break;
                        // Ends the trickle early once the caller has hung up.
                        const auto next = Clock::now() + pace_;
                        bool closed = false;
                        while (!stop_ && Clock::now() < next && !closed) {
                            pollfd p{c, POLLIN | POLLRDHUP, 0};
                            if (::poll(&p, 1, 20) > 0) {
                                std::uint8_t sink[4096];
                                closed = ::recv(c, sink, sizeof sink, MSG_DONTWAIT) <= 0;
                            }
                        }
                        if (closed) break;
                    }
                }
            }
            ::close(c);
        }
    }

    Reply reply_;
    std::chrono::milliseconds pace_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> trickle_{true};
    std::thread thread_;
};

Bytes valid_answer(std::uint8_t command) {
    switch (command) {
        case 0x8E:
            return peer::answer(0xCE, kId, words({2, 1, 4, 8}));
        case 0x82:
            return peer::answer(0xC2, kId, Bytes(1088, 0x11));
        case 0x9A:
            return peer::answer(0xDA, kId, Bytes(160, 0x22));
        case 0x81:
            return peer::answer(0xC1, kId, {'S', 'u', 'c', 'c', 'e', 's', 's', '!', 0});
        default:
            return {};
    }
}

// One command against the slow card: `call` returns true when it got its answer.
struct Command {
    const char* name;
    std::function<bool()> call;
};

const std::vector<Command>& commands() {
    static const std::vector<Command> list = {
        {"GetIOState",
         [] {
             std::int32_t first = -1, second = -1;
             return GetIOState(kId, kIp, 101, 0, 2, &first, &second) == 1 && first == 8 && second == 4;
         }},
        {"GetCardInfoByTcp",
         [] {
             Bytes out(1088, 0xEE);
             EXPECT_EQ(GetCardInfoByTcp(kId, kIp, out.data()), 0);
             return out == Bytes(1088, 0x11);
         }},
        {"GetCardMoreInfoByTcp",
         [] {
             Bytes out(160, 0xEE);
             EXPECT_EQ(GetCardMoreInfoByTcp(kId, kIp, out.data()), 0);
             return out == Bytes(160, 0x22);
         }},
        {"UpgradeSingleFile",
         [] {
             kelvra::free_answer();
             EXPECT_EQ(UpgradeSingleFile(kId, kIp, 101, 0, TEST_SOURCE_DIR "/docs"), 0);
             const auto a = kelvra::take_answer();
             return a && a->received == valid_answer(0x81).size();
         }},
    };
    return list;
}

class SlowCardTest : public ::testing::Test {
  protected:
    void SetUp() override { recorder::reset(); }
    void TearDown() override { EXPECT_TRUE(kelvra::wait_for_jobs(30s)); }
};

// Each command gives up after its bound, then works against the same card once it answers promptly.
void trickle_then_prompt(std::chrono::milliseconds bound, const Command& c) {
    SCOPED_TRACE(c.name);
    SlowCard card(valid_answer, 1000ms);
    const auto start = Clock::now();
    EXPECT_FALSE(c.call()) << "a trickled answer is no answer";
    const auto took = Clock::now() - start;
    EXPECT_LT(took, bound + kMargin);
    EXPECT_GE(took, bound - 100ms);
    card.set_trickle(false);
    EXPECT_TRUE(c.call()) << "the next call works";
}

TEST_F(SlowCardTest, DocumentedBoundHoldsGetIOState) {
    trickle_then_prompt(6000ms, commands()[0]);
}

TEST_F(SlowCardTest, EveryAnsweringCommandGivesUpAtItsBound) {
    kelvra::Timeouts t;
    t.answer = 1500ms;
    const kelvra::ScopedTimeouts lowered(t);
    for (const auto& c : commands()) trickle_then_prompt(t.answer, c);
}

}  // namespace
