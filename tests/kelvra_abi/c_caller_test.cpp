// Runs the C caller against simulated cards inside a private network namespace and checks what it
// printed: every card once, with the firmware version from its information block.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <set>
#include <string>

#include "simulator/sim.h"
#include "tests/support/netns.h"
#include "tests/support/sim_cards.h"

namespace {

TEST(KelvraCCaller, DiscoversCardsAndReadsTheirInformation) {
    REQUIRE_PRIVATE_NETNS();
    // The discovery socket too: the caller finds the cards by broadcast.
    sim::SimulatorConfig config = support::SimCards::config(3, "127.0.3.1");
    config.discovery_socket = true;
    config.cards[2].software_version = 0x000A0003;
    support::SimCards cards;
    ASSERT_TRUE(cards.start(config));

    FILE* p = popen(C_CALLER, "r");
    ASSERT_NE(p, nullptr);
    std::set<std::string> lines;
    char line[256];
    while (std::fgets(line, sizeof line, p) != nullptr) lines.insert(std::string(line));
    const int status = pclose(p);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::set<std::string> expected = {
        config.cards[0].id + " 127.0.3.1 V9.120\n",
        config.cards[1].id + " 127.0.3.2 V9.120\n",
        config.cards[2].id + " 127.0.3.3 VA.3\n",
    };
    EXPECT_EQ(lines, expected);
}

}  // namespace
