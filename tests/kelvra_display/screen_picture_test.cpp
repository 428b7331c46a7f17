// SendScreenPicToCards on a display of the test's own (Xvfb): the captured area reaches the card as
// "ScreenPic.jpg" and the card shows it; without a display nothing is sent. Skips when Xvfb cannot be
// started.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "common/file_header.h"
#include "common/frame.h"
#include "kelvra/kelvra.h"
#include "simulator/sim.h"
#include "tests/support/x11/xvfb.h"
#include "tests/support/netns.h"

// Xlib last: its macros must not reach the headers above.
// clang-format off
#include <X11/Xlib.h>
// clang-format on

namespace {

using namespace std::chrono_literals;

[[maybe_unused]] auto* const kNet =
    ::testing::AddGlobalTestEnvironment(new support::PrivateNetworkEnvironment);

class ScreenPicture : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::SimulatorConfig config;
        config.cards = sim::make_cards(1, "127.44.2.1");
        config.discovery_socket = false;
        auto started = sim::Simulator::start(config);
        ASSERT_TRUE(started) << started.error;
        sim_ = std::move(started.simulator);
        card_ = config.cards[0];
    }

    std::unique_ptr<sim::Simulator> sim_;
    sim::CardConfig card_;
};

TEST_F(ScreenPicture, WithoutADisplayNothingIsSent) {
    const char* old = std::getenv("DISPLAY");
    const std::string kept = old != nullptr ? old : "";
    unsetenv("DISPLAY");
    const auto from = sim_->journal_end();
    EXPECT_EQ(SendScreenPicToCards(0, 0, 32, 16, card_.id.c_str(), card_.address.c_str(), 0, 101), 17);
    if (old != nullptr) setenv("DISPLAY", kept.c_str(), 1);
    EXPECT_EQ(sim_->journal_end(), from);
}

TEST_F(ScreenPicture, TheCapturedAreaIsShownOnTheCard) {
    xvfb::Server server(320, 240);
    if (!server.running()) GTEST_SKIP() << server.why_not();
    // A red window over the top left corner of the screen.
    ::Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    const int s = DefaultScreen(d);
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.background_pixel = 0xFF0000;
    const Window w = XCreateWindow(d, RootWindow(d, s), 0, 0, 40, 20, 0, CopyFromParent, InputOutput,
                                   CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
    XMapRaised(d, w);
    XSync(d, False);

    const auto from = sim_->journal_end();
    ASSERT_EQ(SendScreenPicToCards(0, 0, 32, 16, card_.id.c_str(), card_.address.c_str(), 0x55, 101), 0);
    const auto header = sim_->wait_for_frame(card_.id, frame::CMD_FILE_HEADER, 5s, from);
    ASSERT_TRUE(header);
    const auto h = file_header::decode(header->data);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->file_name, "ScreenPic.jpg");
    EXPECT_EQ(h->file_type, 5u);
    EXPECT_EQ(header->parameter, 0x55u);
    const auto data = sim_->wait_for_frame(card_.id, frame::CMD_FILE_DATA, 5s, from);
    ASSERT_TRUE(data);
    ASSERT_GE(data->data.size(), 3u);
    EXPECT_EQ(data->data[0], 0xFF);
    EXPECT_EQ(data->data[1], 0xD8);
    // The card shows the capture at once: red where the window was, dark beyond the 32 x 16 area.
    EXPECT_TRUE(sim_->wait_for(
        [&](const auto&) {
            const auto st = sim_->state(card_.id);
            if (!st || !st->screen_picture) return false;
            const std::uint32_t v = st->screen_picture->at(5, 5);
            return (v >> 16) > 0xE0 && ((v >> 8) & 0xFF) < 0x20 && (v & 0xFF) < 0x20 &&
                   st->screen_picture->at(40, 5) == 0;
        },
        5s));
    XDestroyWindow(d, w);
    XCloseDisplay(d);
}

}  // namespace
