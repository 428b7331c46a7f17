// Exchanges run on worker threads (the configuration transfer) while the window exchanges too: they
// must not share anything but the once-per-run version warning. Also built in the ThreadSanitizer build.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "cardlink/card_exchange.h"
#include "cardlink/exchange_worker.h"
#include "common/frame.h"
#include "common/screen_control.h"
#include "simulator/sim.h"
#include "tests/cardlink/fixture.h"
#include "tests/support/wait.h"
#include "tests/support/sim_cards.h"

namespace cardlink {
namespace {

using namespace std::chrono_literals;

TEST(ExchangeThreads, ConcurrentExchangesEachGetTheirOwnAnswer) {
    REQUIRE_PRIVATE_NETWORK();
    sim::SimulatorConfig config = support::SimCards::config(3, "127.0.0.2");
    config.cards[2].faults.silent = true;  // one card never answers: the others must not wait for it
    support::SimCards cards;
    ASSERT_TRUE(cards.start(config));

    std::vector<std::uint8_t> block(screen_control::kSize, 0);
    block[0] = 6;  // OE polarity: answered
    ExchangeTimeouts quick;
    quick.receive = 500ms;
    std::atomic<int> ok{0}, rejected{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 6; ++t) {
        workers.emplace_back([&, t] {
            const auto& card = config.cards[static_cast<std::size_t>(t % 3)];
            for (int i = 0; i < 5; ++i) {
                const auto r =
                    ExchangeCommand({card.id, card.address}, frame::CMD_SCREEN_CONTROL, block, true, quick);
                (r.ok() ? ok : rejected)++;
                if (t % 3 != 2) {
                    EXPECT_TRUE(r.ok()) << card.id;
                }
            }
        });
    }
    for (auto& w : workers) w.join();
    EXPECT_EQ(ok.load(), 20);
    EXPECT_EQ(rejected.load(), 10);
}

// The worker behind the exchange service: jobs posted from several threads run one at a time, each
// poster's in its order, and a silent card delays the jobs behind it without mixing their answers.
TEST(ExchangeThreads, WorkerRunsPostedExchangesOneAtATimeInOrder) {
    REQUIRE_PRIVATE_NETWORK();
    sim::SimulatorConfig config = support::SimCards::config(2, "127.0.0.2");
    config.cards[1].faults.silent = true;
    support::SimCards cards;
    ASSERT_TRUE(cards.start(config));

    std::vector<std::uint8_t> block(screen_control::kSize, 0);
    block[0] = 6;
    ExchangeTimeouts quick;
    quick.receive = 200ms;
    std::mutex mu;
    std::vector<std::pair<int, int>> order;  // (poster, sequence number) as the jobs ran
    std::vector<ExchangeError> errors(12);
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    {
        ExchangeWorker worker;
        std::vector<std::thread> posters;
        for (int t = 0; t < 3; ++t) {
            posters.emplace_back([&, t] {
                for (int i = 0; i < 4; ++i) {
                    worker.post([&, t, i] {
                        if (running.fetch_add(1) != 0) overlapped = true;
                        const auto& card = config.cards[static_cast<std::size_t>(i == 1 && t == 0)];
                        const auto r = ExchangeCommand({card.id, card.address}, frame::CMD_SCREEN_CONTROL,
                                                       block, true, quick);
                        {
                            std::lock_guard lock(mu);
                            order.emplace_back(t, i);
                            errors[static_cast<std::size_t>(t * 4 + i)] = r.error;
                        }
                        running.fetch_sub(1);
                    });
                }
            });
        }
        for (auto& p : posters) p.join();
        EXPECT_TRUE(support::wait_until([&] { return worker.pending() == 0; }, 10s));
    }
    EXPECT_FALSE(overlapped.load());
    ASSERT_EQ(order.size(), 12u);
    std::vector<int> next(3, 0);
    for (const auto& [t, i] : order) EXPECT_EQ(i, next[static_cast<std::size_t>(t)]++) << "poster " << t;
    for (std::size_t k = 0; k < errors.size(); ++k)
        EXPECT_EQ(errors[k], k == 1 ? ExchangeError::NoAnswer : ExchangeError::None) << k;
}

TEST(ExchangeThreads, StoppedWorkerDropsWhatHasNotStarted) {
    std::atomic<int> ran{0};
    std::promise<void> started, release;
    auto released = release.get_future().share();
    ExchangeWorker worker;
    worker.post([&, released] {
        started.set_value();
        released.wait();
        ++ran;
    });
    for (int i = 0; i < 5; ++i) worker.post([&] { ++ran; });
    started.get_future().wait();
    std::thread stopper([&] { worker.stop(); });
    // Once the stop has emptied the queue only the running job is left; it ends when let go.
    EXPECT_TRUE(support::wait_until([&] { return worker.pending() == 1; }, 5s, 1ms));
    release.set_value();
    stopper.join();
    EXPECT_EQ(ran.load(), 1);
    EXPECT_FALSE(worker.post([&] { ++ran; }));
}

TEST(ExchangeThreads, VersionWarningOnceWhateverTheThread) {
    support::RecordingMessages messages;
    reset_version_warning_for_test();
    std::vector<std::thread> workers;
    for (int t = 0; t < 8; ++t) {
        workers.emplace_back([t] { FormatFirmwareVersion(0x00070800, "OLD" + std::to_string(t), false); });
    }
    for (auto& w : workers) w.join();
    EXPECT_EQ(messages.all().size(), 1u);
    reset_version_warning_for_test();
}

}  // namespace
}  // namespace cardlink
