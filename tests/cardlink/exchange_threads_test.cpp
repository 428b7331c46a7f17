// Exchanges run on worker threads (the configuration transfer) while the window exchanges too: they
// must not share anything but the once-per-run version warning. Also built in the ThreadSanitizer build.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "cardlink/card_exchange.h"
#include "common/frame.h"
#include "simulator/sim.h"
#include "tests/cardlink/fixture.h"

namespace cardlink {
namespace {

using namespace std::chrono_literals;

TEST(ExchangeThreads, ConcurrentExchangesEachGetTheirOwnAnswer) {
    REQUIRE_PRIVATE_NETWORK();
    sim::SimulatorConfig config;
    config.cards = sim::make_cards(3, "127.0.0.2");
    config.cards[2].faults.silent = true;  // one card never answers: the others must not wait for it
    config.discovery_socket = false;
    auto started = sim::Simulator::start(config);
    ASSERT_TRUE(started) << started.error;

    std::vector<std::uint8_t> block(kScreenControlSize, 0);
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

TEST(ExchangeThreads, VersionWarningOnceWhateverTheThread) {
    cardlink_test::Messages messages;
    ResetVersionWarningForTest();
    std::vector<std::thread> workers;
    for (int t = 0; t < 8; ++t) {
        workers.emplace_back([t] { FormatFirmwareVersion(0x00070800, "OLD" + std::to_string(t), false); });
    }
    for (auto& w : workers) w.join();
    EXPECT_EQ(messages.all().size(), 1u);
    ResetVersionWarningForTest();
}

}  // namespace
}  // namespace cardlink
