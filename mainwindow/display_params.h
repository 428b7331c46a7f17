// The main window's display parameter commands: one CMD_SCREEN_CONTROL (0x84) block per setting
// (brightness, gamma, gray level, OE polarity, scan clock, duty cycle, data polarity, horizontal shift),
// whether the card's answer is read, the short code shown when it is refused, and whether a sent command
// marks the working parameters changed. The block layout is in docs/protocol.md: 102 little-endian u32
// words, word 0 the sub-code, word 1 zero, the values from word 2 on.
//
// Pure functions, GUI-free and safe on any thread; the window sends the blocks through the exchange
// service (cardlink/exchange_service.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/card_info.h"
#include "common/screen_control.h"
#include "screenconfig/card_blocks.h"

namespace display_params {

using screenconfig::ControlBlock;

// The sub-codes of the screen-control block (common/screen_control.h) the window sends.
using SubCode = screen_control::Sub;

enum class Polarity : std::uint32_t { Positive = 0, Negative = 1 };  // "正" / "负"
enum class DutyCycle : std::uint32_t { Half = 0, Quarter = 1 };      // "50%" / "25%"

inline constexpr int kBrightnessMin = 1;
inline constexpr int kBrightnessMax = 8;

// Combo 1019: the clock texts as the card's firmware names them; code = index + 2.
struct ScanClockRow {
    std::string_view text;
    std::uint32_t code;
};
inline constexpr std::array<ScanClockRow, 8> kScanClocks{{
    {"15.0M", 2},
    {"12.5M", 3},
    {"11.2M", 4},
    {"9.4M", 5},
    {"8.0M ", 6},  // the trailing space is the card software's own text
    {"6.25M", 7},
    {"4.7M", 8},
    {"3.12M", 9},
}};

// Combo 1086: the text key and the three values sub-code 5 carries.
struct GrayRow {
    std::string_view key;
    std::uint32_t gray_value;
    std::uint32_t refresh_code;
    std::uint32_t depth_code;
};
inline constexpr std::array<GrayRow, 8> kGrayRows{{
    {"IDS_MESSAGE_DUDO_GRAY_NO_GRAY", 0, 9, 3},
    {"IDS_MESSAGE_DUDO_GRAY_NO_16", 16, 7, 1},
    {"IDS_MESSAGE_DUDO_GRAY_NO_64", 64, 9, 3},
    {"IDS_MESSAGE_DUDO_GRAY_NO_256", 256, 11, 5},
    {"IDS_MESSAGE_DUDO_GRAY_NO_1024", 1024, 20, 6},
    {"IDS_MESSAGE_DUDO_GRAY_NO_4096", 4096, 37, 7},
    {"IDS_MESSAGE_DUDO_GRAY_NO_OE", 10000, 1, 0},
    {"IDS_MESSAGE_DUDO_GRAY_NO_OE_16", 10016, 14, 0},
}};

// The combo row of a reported gray value; nullopt for a value not in the list (the combo keeps its row).
std::optional<int> gray_index_of(std::uint32_t gray_value);
// The combo row of a reported scan clock code; nullopt outside 2..9.
std::optional<int> scan_clock_index_of(std::uint32_t code);

// One command as the window sends it.
struct DisplayCommand {
    ControlBlock block{};
    bool read_answer = false;
    std::string_view failure_text;  // shown when the answer is refused; empty when none is read
    bool sets_changed = false;      // a sent command marks the working parameters changed
    std::string_view name_key;      // the command's name in the status line (IDS_MESSAGE_COMMAND_*)
};

// Brightness: the slider position (1..8; other positions are clamped into the range). No answer.
DisplayCommand brightness_command(int position);
// Gamma red, green, blue as IEEE single floats. No answer.
DisplayCommand gamma_command(float red, float green, float blue);
// Gray level: row `index` of kGrayRows (0..7); "error 666".
DisplayCommand gray_level_command(int index);
// OE polarity: "error oe".
DisplayCommand oe_polarity_command(Polarity polarity);
// Scan clock: row `index` of kScanClocks (0..7), sent as its code; "error 111".
DisplayCommand scan_clock_command(int index);
// Duty cycle: "error 888" for 50 %, "error 777" for 25 %.
DisplayCommand duty_cycle_command(DutyCycle duty);
// Data polarity: "error RP" for positive, "error rp" for negative.
DisplayCommand data_polarity_command(Polarity polarity);
// Horizontal shift by a value from horizontal_shift_value; "error 002".
DisplayCommand horizontal_shift_command(std::uint32_t value);

// Gamma sliders of dialog 154: position p stands for the gamma p * 0.1, limited to 0.0..4.0.
inline constexpr int kGammaPositionMax = 40;
float gamma_of_position(int position);
// The slider position nearest to `gamma`, clamped into 0..40 (a card may report anything, even NaN: 0).
int gamma_position(float gamma);
// The dialog's start mode: all channels together when the card's three values are equal.
bool gamma_channels_equal(float red, float green, float blue);

// The shift value of "右移" from hidden edits 1001 (a) and 1002 (b) and the working header's
// lineInterval: 0 when a is 0; else c = 160 for b <= 160, otherwise the smallest multiple of 40 not below
// b, and the value a * 4 - (lineInterval + 1) * c + 0xFFFE, wrapping in 32 bits.
std::uint32_t horizontal_shift_value(std::int32_t a, std::int32_t b, std::uint32_t line_interval);

// What the card holds once it took `command`: the report `info` with the command's values written in
// (gray value and codes, scan clock code, polarities, brightness, duty cycle, shift, gamma). The window
// keeps this as the card's last known state and shows it again after a change the card did not take.
void apply_to_report(card_info::CardInfo& info, const DisplayCommand& command);

}  // namespace display_params
