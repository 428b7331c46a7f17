// The main window's settings, restore and test-pattern blocks as bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "common/card_info.h"
#include "common/frame.h"
#include "common/screen_control.h"
#include "mainwindow/network_settings.h"
#include "mainwindow/test_patterns.h"

namespace {

using network_settings::Field;
using network_settings::TypedSettings;

TEST(AddressText, OnlyFourNumbersUpTo255AreAnAddress) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"192.168.0.10", true}, {"0.0.0.0", true},     {"255.255.255.255", true}, {"", false},
        {"192.168.0", false},   {"192.168.0.", false}, {"192.168.0.256", false},  {"1.2.3.4.5", false},
        {"1..2.3", false},      {"a.b.c.d", false},    {"192.168.0.1 ", false},   {"0192.168.0.1", false},
    };
    for (const auto& c : cases) EXPECT_EQ(network_settings::valid_address(c.text), c.valid) << c.text;
}

TEST(AddressText, TheFirstMalformedFieldIsNamedAndAnEmptyGatewayPasses) {
    TypedSettings typed{"192.168.0.10", "255.255.255.0", "", 128, 64};
    EXPECT_EQ(network_settings::malformed_field(typed), std::nullopt);
    typed.gateway = "192.168.0";
    EXPECT_EQ(network_settings::malformed_field(typed), Field::Gateway);
    typed.subnet_mask = "255.255.255.";
    EXPECT_EQ(network_settings::malformed_field(typed), Field::SubnetMask);
    typed.ip_address = "300.1.1.1";
    EXPECT_EQ(network_settings::malformed_field(typed), Field::IpAddress);
}

class SaveCommand : public ::testing::Test {
  protected:
    SaveCommand() {
        card_info::CardInfo info;
        info.ip_address = "192.168.0.10";
        info.subnet_mask = "255.255.255.0";
        info.gateway = "192.168.0.1";
        info.screen_width = 128;
        info.screen_height = 64;
        block_ = card_info::encode_settings_block(info);
        block_[300] = 0x5A;  // a byte the window does not know must come back as it was
    }
    TypedSettings same() const { return {"192.168.0.10", "255.255.255.0", "192.168.0.1", 128, 64}; }
    std::array<std::uint8_t, card_info::kSettingsSize> block_{};
};

TEST_F(SaveCommand, NothingChangedStoresTheCurrentValues) {
    const auto c = network_settings::save_command(block_, same());
    EXPECT_FALSE(c.changed);
    EXPECT_EQ(c.command, frame::CMD_SAVE_VALUE);
    EXPECT_EQ(c.payload, std::vector<std::uint8_t>(4, 0));
}

TEST_F(SaveCommand, AChangedFieldIsWrittenAtItsOffsetAndTheRestKept) {
    const struct {
        const char* name;
        void (*change)(TypedSettings&);
        std::size_t offset;
        std::vector<std::uint8_t> written;
    } cases[] = {
        {"mask",
         [](TypedSettings& t) { t.subnet_mask = "255.255.0.0"; },
         72,
         {'2', '5', '5', '.', '2', '5', '5', '.', '0', '.', '0', 0, 0, 0, 0, 0}},
        {"address",
         [](TypedSettings& t) { t.ip_address = "10.0.0.7"; },
         40,
         {'1', '0', '.', '0', '.', '0', '.', '7', 0, 0, 0, 0, 0, 0, 0, 0}},
        {"gateway",
         [](TypedSettings& t) { t.gateway = "10.0.0.254"; },
         144,
         {'1', '0', '.', '0', '.', '0', '.', '2', '5', '4', 0, 0, 0, 0, 0, 0}},
        {"width", [](TypedSettings& t) { t.screen_width = 0x1234; }, 112, {0x34, 0x12, 0, 0}},
        {"height", [](TypedSettings& t) { t.screen_height = 320; }, 116, {0x40, 0x01, 0, 0}},
    };
    for (const auto& c : cases) {
        TypedSettings typed = same();
        c.change(typed);
        const auto cmd = network_settings::save_command(block_, typed);
        EXPECT_TRUE(cmd.changed) << c.name;
        EXPECT_EQ(cmd.command, frame::CMD_SAVE_SETTINGS) << c.name;
        ASSERT_EQ(cmd.payload.size(), 524u) << c.name;
        // 524 bytes of data make the 553-byte frame.
        EXPECT_EQ(
            frame::encode_exact({cmd.command, "S730-413-00001", 0, cmd.payload}, frame::CheckForm::PlainSum)
                .size(),
            553u);
        std::vector<std::uint8_t> expected(block_.begin(), block_.end());
        std::copy(c.written.begin(), c.written.end(),
                  expected.begin() + static_cast<std::ptrdiff_t>(c.offset));
        EXPECT_EQ(cmd.payload, expected) << c.name;
    }
}

TEST_F(SaveCommand, TextsAreComparedAndWrittenAsFifteenCharacters) {
    card_info::CardInfo info;
    info.ip_address = "192.168.100.200";
    info.subnet_mask = "255.255.255.0";
    info.screen_width = 128;
    info.screen_height = 64;
    const auto block = card_info::encode_settings_block(info);
    TypedSettings typed{"192.168.100.2001", "255.255.255.0", "", 128, 64};
    EXPECT_FALSE(network_settings::save_command(block, typed).changed);
}

TEST(RestoreAddress, NetworkRouterAndBroadcastEndingsAreRefused) {
    const struct {
        const char* address;
        bool refused;
    } cases[] = {{"192.168.0.10", false}, {"192.168.0.100", false}, {"192.168.0.21", false},
                 {"192.168.0.1", true},   {"192.168.1.0", true},    {"192.168.0.255", true},
                 {"10.0.0.255", true}};
    for (const auto& c : cases)
        EXPECT_EQ(network_settings::restore_address_refused(c.address), c.refused) << c.address;
}

std::vector<std::uint32_t> first_words(const std::array<std::uint8_t, screen_control::kSize>& block,
                                       std::size_t n) {
    const auto w = screen_control::decode(block);
    EXPECT_TRUE(std::all_of(w.begin() + static_cast<std::ptrdiff_t>(n), w.end(),
                            [](std::uint32_t v) { return v == 0; }));
    return {w.begin(), w.begin() + static_cast<std::ptrdiff_t>(n)};
}

TEST(TestPatterns, BlocksCarryTheDialogsValuesInTheirWords) {
    using test_patterns::GridColour;
    EXPECT_EQ(first_words(test_patterns::grid_block({}), 10),
              (std::vector<std::uint32_t>{1, 2, 200, 15, 0, 0, 1, 0, 1, 0xFFFFFF}));
    test_patterns::GridTest grid{GridColour::Blue, true, true, false, 8, 50};
    EXPECT_EQ(first_words(test_patterns::grid_block(grid), 10),
              (std::vector<std::uint32_t>{1, 2, 50, 8, 1, 1, 0, 0, 1, 0xFF0000}));
    EXPECT_EQ(test_patterns::kGridColourCodes,
              (std::array<std::uint32_t, 4>{0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF}));
    EXPECT_EQ(first_words(test_patterns::gray_block({}), 10),
              (std::vector<std::uint32_t>{1, 3, 10, 1, 0, 0, 0, 0, 1, 0}));
    test_patterns::GrayTest gray{true, false, true, false, 3};
    EXPECT_EQ(first_words(test_patterns::gray_block(gray), 10),
              (std::vector<std::uint32_t>{1, 3, 3, 1, 0, 1, 0, 1, 0, 0}));
    EXPECT_EQ(first_words(test_patterns::stop_block(), 2), (std::vector<std::uint32_t>{1, 241}));
}

TEST(TestPatterns, NothingTickedFallsBackToHorizontalLinesAndRed) {
    test_patterns::GridTest grid;
    grid.diagonal = false;
    const auto g = test_patterns::with_fallback(grid);
    EXPECT_TRUE(g.horizontal);
    EXPECT_FALSE(g.vertical);
    EXPECT_FALSE(g.diagonal);
    test_patterns::GrayTest gray;
    gray.white = false;
    const auto r = test_patterns::with_fallback(gray);
    EXPECT_TRUE(r.red);
    EXPECT_FALSE(r.green || r.blue || r.white);
    // A choice the user made is left alone.
    test_patterns::GridTest vertical_only{test_patterns::GridColour::Red, false, true, false, 15, 200};
    EXPECT_FALSE(test_patterns::with_fallback(vertical_only).horizontal);
}

}  // namespace
