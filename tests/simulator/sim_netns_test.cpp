// A real limited broadcast (255.255.255.255) to 1, 10 and 256 cards, inside a private network
// namespace of this test's own (scripts/in-netns.sh), so nothing reaches a real network.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "simulator/sim.h"
#include "tests/simulator/sim_client.h"
#include "tests/support/sim_cards.h"

namespace {

using namespace simtest;

TEST(SimBroadcast, EveryCardAnswersFromItsOwnAddress) {
    if (std::getenv("VANTOR_NO_NETNS")) GTEST_SKIP() << "needs a private network namespace (root)";
    // Inside the namespace: a /16 on loopback and a route for the limited broadcast.
    ASSERT_EQ(std::system("ip addr add 10.200.0.1/16 dev lo 2>/dev/null; ip route replace default dev lo"),
              0);
    rlimit lim{};
    getrlimit(RLIMIT_NOFILE, &lim);
    lim.rlim_cur = lim.rlim_max;
    setrlimit(RLIMIT_NOFILE, &lim);

    for (const std::size_t count : {std::size_t{1}, std::size_t{10}, std::size_t{256}}) {
        sim::SimulatorConfig config;
        config.cards = sim::make_cards(count, "10.200.0.2");
        support::SimCards cards;
        ASSERT_TRUE(cards.start(config));
        UdpClient u("10.200.0.1");
        ASSERT_TRUE(u.send_to("255.255.255.255", frame::kDiscoveryPort,
                              vantor_frame(frame::CMD_DISCOVER, "Broadcast!", mask_text_field())));
        std::set<std::pair<std::string, std::string>> seen;  // (address, id)
        for (const auto& d : u.drain(1500ms)) {
            const auto f = frame::decode(d.bytes);
            ASSERT_TRUE(f);
            EXPECT_EQ(f->command, frame::ANS_DISCOVER);
            EXPECT_TRUE(frame::verify_check_byte(d.bytes, frame::check_form_for_id(f->card_id)));
            seen.emplace(d.from, f->card_id);
        }
        std::set<std::pair<std::string, std::string>> expected;
        for (const auto& c : config.cards) expected.emplace(c.address, c.id);
        EXPECT_EQ(seen, expected) << count << " cards";
        EXPECT_EQ(cards->journal().size(), count);
        EXPECT_EQ(cards->journal().front().local_address, "255.255.255.255");
    }
}

}  // namespace
