// The display parameter blocks as bytes, the report lookups and the shift value.
#include "mainwindow/display_params.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace display_params;

struct BlockCase {
    const char* name;
    DisplayCommand command;
    std::vector<std::uint8_t> head;  // the block's first bytes; every later byte is zero
    bool read_answer;
    std::string failure_text;
    bool sets_changed;
};

TEST(DisplayParamsTest, BlocksAreTheSubCodeAndItsValuesThenZeros) {
    const BlockCase cases[] = {
        {"brightness 8", brightness_command(8), {2, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0}, false, "", false},
        {"brightness clamped up",
         brightness_command(0),
         {2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
         false,
         "",
         false},
        {"brightness clamped down",
         brightness_command(9),
         {2, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0},
         false,
         "",
         false},
        {"gamma 1.0",
         gamma_command(1.0f, 1.0f, 1.0f),
         {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x3F, 0, 0, 0x80, 0x3F, 0, 0, 0x80, 0x3F},
         false,
         "",
         false},
        {"gamma 0.5 1.5 2.0",
         gamma_command(0.5f, 1.5f, 2.0f),
         {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x3F, 0, 0, 0xC0, 0x3F, 0, 0, 0, 0x40},
         false,
         "",
         false},
        {"gray no gray",
         gray_level_command(0),
         {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 3, 0, 0, 0},
         true,
         "error 666",
         true},
        {"gray 4096",
         gray_level_command(5),
         {5, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x10, 0, 0, 37, 0, 0, 0, 7, 0, 0, 0},
         true,
         "error 666",
         true},
        {"gray OE 16",
         gray_level_command(7),
         {5, 0, 0, 0, 0, 0, 0, 0, 0x20, 0x27, 0, 0, 14, 0, 0, 0, 0, 0, 0, 0},
         true,
         "error 666",
         true},
        {"OE positive",
         oe_polarity_command(Polarity::Positive),
         {6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         true,
         "error oe",
         false},
        {"OE negative",
         oe_polarity_command(Polarity::Negative),
         {6, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
         true,
         "error oe",
         false},
        {"scan 15.0M", scan_clock_command(0), {7, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0}, true, "error 111", true},
        {"scan 8.0M", scan_clock_command(4), {7, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0, 0}, true, "error 111", true},
        {"scan 3.12M", scan_clock_command(7), {7, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0}, true, "error 111", true},
        {"duty 50%",
         duty_cycle_command(DutyCycle::Half),
         {8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         true,
         "error 888",
         true},
        {"duty 25%",
         duty_cycle_command(DutyCycle::Quarter),
         {8, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
         true,
         "error 777",
         true},
        {"data positive",
         data_polarity_command(Polarity::Positive),
         {11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         true,
         "error RP",
         false},
        {"data negative",
         data_polarity_command(Polarity::Negative),
         {11, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},
         true,
         "error rp",
         false},
        {"shift",
         horizontal_shift_command(0x0000FF62),
         {19, 0, 0, 0, 0, 0, 0, 0, 0x62, 0xFF, 0, 0},
         true,
         "error 002",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> expected(screenconfig::kControlBlockSize, 0);
        std::copy(c.head.begin(), c.head.end(), expected.begin());
        EXPECT_EQ(std::vector<std::uint8_t>(c.command.block.begin(), c.command.block.end()), expected);
        EXPECT_EQ(c.command.read_answer, c.read_answer);
        EXPECT_EQ(std::string(c.command.failure_text), c.failure_text);
        EXPECT_EQ(c.command.sets_changed, c.sets_changed);
    }
}

TEST(DisplayParamsTest, ReportedValuesMapBackToListRows) {
    const std::pair<std::uint32_t, std::optional<int>> gray[] = {
        {0, 0},
        {16, 1},
        {64, 2},
        {256, 3},
        {1024, 4},
        {4096, 5},
        {10000, 6},
        {10016, 7},
        {10064, std::nullopt},
        {1, std::nullopt},
        {128, std::nullopt},
    };
    for (const auto& [value, index] : gray) EXPECT_EQ(gray_index_of(value), index) << value;

    const std::pair<std::uint32_t, std::optional<int>> clocks[] = {
        {2, 0}, {6, 4}, {9, 7}, {0, std::nullopt}, {1, std::nullopt}, {10, std::nullopt},
    };
    for (const auto& [code, index] : clocks) EXPECT_EQ(scan_clock_index_of(code), index) << code;
    EXPECT_EQ(kScanClocks[4].text, "8.0M ");
}

TEST(DisplayParamsTest, GammaSliderPositions) {
    const std::pair<int, float> to_gamma[] = {{0, 0.0f},  {1, 0.1f},  {3, 0.3f},  {10, 1.0f},
                                              {25, 2.5f}, {40, 4.0f}, {41, 4.0f}, {-1, 0.0f}};
    for (const auto& [position, gamma] : to_gamma) EXPECT_EQ(gamma_of_position(position), gamma) << position;
    const std::pair<float, int> to_position[] = {{1.0f, 10}, {0.34f, 3},         {0.36f, 4},
                                                 {2.2f, 22}, {4.0f, 40},         {4.5f, 40},
                                                 {-1.0f, 0}, {std::nanf(""), 0}, {1e30f, 40}};
    for (const auto& [gamma, position] : to_position) EXPECT_EQ(gamma_position(gamma), position) << gamma;
    EXPECT_TRUE(gamma_channels_equal(1.0f, 1.0f, 1.0f));
    EXPECT_FALSE(gamma_channels_equal(1.0f, 1.0f, 1.1f));
    EXPECT_FALSE(gamma_channels_equal(2.0f, 1.0f, 1.0f));
}

TEST(DisplayParamsTest, ShiftValue) {
    struct Case {
        std::int32_t a, b;
        std::uint32_t line_interval;
        std::uint32_t value;
    };
    const Case cases[] = {
        {0, 500, 3, 0},                 // no columns: no shift
        {1, 100, 0, 4 - 160 + 0xFFFE},  // b up to 160 counts as 160
        {1, 160, 0, 4 - 160 + 0xFFFE},
        {2, 161, 1, 8 - 2 * 200 + 0xFFFE},  // rounded up to a multiple of 40
        {2, 200, 1, 8 - 2 * 200 + 0xFFFE},  // already a multiple
        {2, 201, 1, 8 - 2 * 240 + 0xFFFE},
        {1, 100000, 15, 4293432834u},  // wraps below zero in 32 bits
        {-1, 100, 0, 0xFFFFFFFCu - 160 + 0xFFFE},
        {1, 2147483647, 0, 4u - 2147483680u + 0xFFFEu},  // the rounding does not overflow
    };
    for (const auto& c : cases)
        EXPECT_EQ(horizontal_shift_value(c.a, c.b, c.line_interval), c.value) << c.a << " " << c.b;
}

// What the window keeps as the card's state once the card took a command.
TEST(DisplayParamsTest, ACommandTakenUpdatesTheKnownReport) {
    card_info::CardInfo info;
    apply_to_report(info, gray_level_command(7));
    EXPECT_EQ(info.gray_value, 10016u);
    EXPECT_EQ(info.gray_refresh_code, 14u);
    EXPECT_EQ(info.gray_depth_code, 0u);
    apply_to_report(info, scan_clock_command(4));
    EXPECT_EQ(info.scan_clock_code, 6u);
    apply_to_report(info, oe_polarity_command(Polarity::Negative));
    EXPECT_EQ(info.oe_polarity, 1u);
    apply_to_report(info, data_polarity_command(Polarity::Negative));
    EXPECT_EQ(info.data_polarity, 1u);
    apply_to_report(info, brightness_command(3));
    EXPECT_EQ(info.brightness, 3u);
    apply_to_report(info, duty_cycle_command(DutyCycle::Quarter));
    EXPECT_EQ(info.duty_cycle, 1u);
    apply_to_report(info, horizontal_shift_command(0x1234));
    EXPECT_EQ(info.horizontal_shift, 0x1234u);
    apply_to_report(info, gamma_command(1.5f, 2.0f, 2.5f));
    EXPECT_EQ(info.gamma_red, 1.5f);
    EXPECT_EQ(info.gamma_green, 2.0f);
    EXPECT_EQ(info.gamma_blue, 2.5f);
    // Every command names itself for the status line.
    for (const auto& c :
         {gray_level_command(0), scan_clock_command(0), oe_polarity_command(Polarity::Positive),
          data_polarity_command(Polarity::Positive), brightness_command(1),
          duty_cycle_command(DutyCycle::Half), horizontal_shift_command(0), gamma_command(1, 1, 1)})
        EXPECT_EQ(c.name_key.substr(0, 20), "IDS_MESSAGE_COMMAND_");
}

}  // namespace
