// Runs the C caller of the display windows against a simulated card inside a private network
// namespace: it checks the card's rendered screen itself after each step and exits 0 when all held.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "library/imaging/bmp.h"
#include "library/imaging/codecs.h"
#include "simulator/sim.h"
#include "tests/support/netns.h"
#include "tests/support/temp_dir.h"

namespace {

[[maybe_unused]] auto* const kNet =
    ::testing::AddGlobalTestEnvironment(new support::PrivateNetworkEnvironment);

std::vector<std::uint8_t> solid(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    std::vector<std::uint8_t> rgb;
    for (int i = 0; i < w * h; ++i) rgb.insert(rgb.end(), {r, g, b});
    return rgb;
}

TEST(KelvraDisplayCaller, WindowPicturesAndEffectListShowOnTheCardsScreen) {
    support::TempDir dir;
    sim::SimulatorConfig config;
    config.cards = sim::make_cards(1, "127.44.1.1");
    config.discovery_socket = false;
    config.storage_root = dir / "cards";
    auto started = sim::Simulator::start(config);
    ASSERT_TRUE(started) << started.error;
    const auto& card = config.cards[0];
    namespace img = kelvra::imaging;
    const auto bmp = dir.write("red.bmp", img::encode_bmp(img::rgb_bitmap(16, 8, solid(16, 8, 255, 0, 0))));
    const auto jpg =
        dir.write("blue.jpg", *img::encode_jpeg(img::rgb_bitmap(16, 8, solid(16, 8, 0, 0, 255))));

    const std::string command = std::string(DISPLAY_CALLER) + " " + card.id + " " + card.address + " '" +
                                started.simulator->card_folder(card.id).string() + "' '" + bmp.string() +
                                "' '" + jpg.string() + "' 2>&1";
    FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string output;
    char line[512];
    while (std::fgets(line, sizeof line, p) != nullptr) output += line;
    const int status = pclose(p);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    const auto state = started.simulator->state(card.id);
    ASSERT_TRUE(state);
    EXPECT_GE(state->screen_pictures_written, 5u) << "one picture per change at least";
}

}  // namespace
