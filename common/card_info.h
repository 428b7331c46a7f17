// The card information block (data of answer 0xC2, 1088 bytes) and the extended block (answer 0xDA,
// 160 bytes): one definition for Vantor, Kelvra and ledcard-sim. Little-endian; texts are NUL-padded
// fields. The full table is in docs/protocol.md.
//
// Pure functions over bytes; no I/O, no shared state: safe to call from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace card_info {

inline constexpr std::size_t kBlockSize = 1088;
inline constexpr std::size_t kMoreBlockSize = 160;
inline constexpr std::size_t kMaxAddressText = 15;  // address texts are compared and written as 15 chars

// Offsets in the 1088-byte information block.
inline constexpr std::size_t kCardIdOffset = 0;  // text, 20 bytes
inline constexpr std::size_t kCardIdSize = 20;
// Bytes 20..543 are the card settings block that CMD_SAVE_SETTINGS (0x8A) sends back whole.
inline constexpr std::size_t kSettingsOffset = 20;
inline constexpr std::size_t kSettingsSize = 524;
inline constexpr std::size_t kIpAddressOffset = 60;      // text, 16 bytes (settings block offset 40)
inline constexpr std::size_t kSubnetMaskOffset = 92;     // text, 16 bytes (settings block offset 72)
inline constexpr std::size_t kScreenWidthOffset = 132;   // u32 (settings block offset 112)
inline constexpr std::size_t kScreenHeightOffset = 136;  // u32 (settings block offset 116)
inline constexpr std::size_t kGatewayOffset = 164;       // text, 16 bytes (settings block offset 144)
inline constexpr std::size_t kAddressTextSize = 16;
// Display parameters (u32 unless noted).
inline constexpr std::size_t kBrightnessOffset = 544;     // 1..8
inline constexpr std::size_t kScanClockCodeOffset = 548;  // 2..9 (list index + 2)
inline constexpr std::size_t kDutyCycleOffset = 552;      // 0 = 50 %, 1 = 25 %
inline constexpr std::size_t kOePolarityOffset = 556;     // 0 positive, 1 negative
inline constexpr std::size_t kDataPolarityOffset = 560;   // 0 positive, 1 negative
inline constexpr std::size_t kGrayRefreshCodeOffset = 564;
inline constexpr std::size_t kGrayDepthCodeOffset = 568;
inline constexpr std::size_t kGrayValueOffset = 572;   // 0, 16, 64, ... 10016
inline constexpr std::size_t kGammaRedOffset = 576;    // f32
inline constexpr std::size_t kGammaGreenOffset = 580;  // f32
inline constexpr std::size_t kGammaBlueOffset = 584;   // f32
inline constexpr std::size_t kHorizontalShiftOffset = 588;
inline constexpr std::size_t kScreenParamsOffset = 592;  // ScreenParams bytes 8..59 as last received
inline constexpr std::size_t kScreenParamsSize = 52;
inline constexpr std::size_t kClockOffset = 644;  // 7 x u32, the values of CMD_SET_CLOCK
inline constexpr std::size_t kClockWords = 7;
inline constexpr std::size_t kProgrammeOffset = 672;    // programme chosen with CMD_SELECT_PROGRAM
inline constexpr std::size_t kOutputLinesOffset = 676;  // bit i = output line i (CMD_SET_IO)
inline constexpr std::size_t kInputLinesOffset = 680;   // bit i = input line i
// Firmware version words, shown "V%X.%X" (upper and lower 16 bits).
inline constexpr std::size_t kSoftwareVersionOffset =
    1032;  // the card program: low-version and smart-setup checks
inline constexpr std::size_t kHardwareVersionOffset = 1036;  // the board: shown without checks

static_assert(kSettingsOffset == kCardIdOffset + kCardIdSize);
static_assert(kSettingsOffset + kSettingsSize == kBrightnessOffset);
static_assert(kIpAddressOffset - kSettingsOffset == 40);
static_assert(kSubnetMaskOffset - kSettingsOffset == 72);
static_assert(kScreenWidthOffset - kSettingsOffset == 112);
static_assert(kScreenHeightOffset - kSettingsOffset == 116);
static_assert(kGatewayOffset - kSettingsOffset == 144);
static_assert(kIpAddressOffset + kAddressTextSize <= kSubnetMaskOffset);
static_assert(kSubnetMaskOffset + kAddressTextSize <= kScreenWidthOffset);
static_assert(kGatewayOffset + kAddressTextSize <= kBrightnessOffset);
static_assert(kGrayValueOffset == 572 && kGammaRedOffset == 576 && kGammaGreenOffset == 580 &&
              kGammaBlueOffset == 584);
static_assert(kHorizontalShiftOffset + 4 == kScreenParamsOffset);
static_assert(kScreenParamsOffset + kScreenParamsSize == kClockOffset);
static_assert(kClockOffset + 4 * kClockWords == kProgrammeOffset);
static_assert(kInputLinesOffset + 4 <= kSoftwareVersionOffset);
static_assert(kSoftwareVersionOffset == 1032 && kHardwareVersionOffset == 1036);
static_assert(kHardwareVersionOffset + 4 <= kBlockSize);

struct CardInfo {
    std::string card_id;     // at most 19 characters kept
    std::string ip_address;  // address texts: at most 15 characters kept
    std::string subnet_mask;
    std::string gateway;
    std::uint32_t screen_width = 0;
    std::uint32_t screen_height = 0;
    std::uint32_t brightness = 0;
    std::uint32_t scan_clock_code = 0;
    std::uint32_t duty_cycle = 0;
    std::uint32_t oe_polarity = 0;
    std::uint32_t data_polarity = 0;
    std::uint32_t gray_refresh_code = 0;
    std::uint32_t gray_depth_code = 0;
    std::uint32_t gray_value = 0;
    float gamma_red = 0.0f;
    float gamma_green = 0.0f;
    float gamma_blue = 0.0f;
    std::uint32_t horizontal_shift = 0;
    std::array<std::uint8_t, kScreenParamsSize> screen_params{};
    std::array<std::uint32_t, kClockWords> clock{};
    std::uint32_t programme = 0;
    std::uint32_t output_lines = 0;
    std::uint32_t input_lines = 0;
    std::uint32_t software_version = 0;
    std::uint32_t hardware_version = 0;

    bool operator==(const CardInfo&) const = default;
};

std::array<std::uint8_t, kBlockSize> encode_card_info(const CardInfo& info);
// Reads the bytes present (an answer may be cut short); missing bytes read as zero.
CardInfo decode_card_info(std::span<const std::uint8_t> bytes);

// The 524-byte settings block (information block bytes 20..543) and the fields a card takes from it.
struct CardSettings {
    std::string ip_address;
    std::string subnet_mask;
    std::string gateway;
    std::uint32_t screen_width = 0;
    std::uint32_t screen_height = 0;

    bool operator==(const CardSettings&) const = default;
};
std::array<std::uint8_t, kSettingsSize> encode_settings_block(const CardInfo& info);
CardSettings decode_settings_block(std::span<const std::uint8_t> bytes);

// Offsets in the 160-byte extended block (answer 0xDA).
inline constexpr std::size_t kMoreCardIdOffset = 0;      // text, 20 bytes
inline constexpr std::size_t kMoreModelOffset = 20;      // text, 20 bytes
inline constexpr std::size_t kMoreIpAddressOffset = 40;  // text, 16 bytes
inline constexpr std::size_t kMoreMacOffset = 56;        // text "aa:bb:cc:dd:ee:ff", 20 bytes
inline constexpr std::size_t kMoreSoftwareVersionOffset = 76;
inline constexpr std::size_t kMoreHardwareVersionOffset = 80;
inline constexpr std::size_t kMoreUptimeOffset = 84;       // seconds since the card started
inline constexpr std::size_t kMoreStoredFilesOffset = 88;  // files stored on the card
inline constexpr std::size_t kMoreFreeSpaceOffset = 92;    // KiB free for files
static_assert(kMoreModelOffset == kMoreCardIdOffset + 20 && kMoreIpAddressOffset == kMoreModelOffset + 20);
static_assert(kMoreMacOffset == kMoreIpAddressOffset + 16 &&
              kMoreSoftwareVersionOffset == kMoreMacOffset + 20);
static_assert(kMoreFreeSpaceOffset + 4 <= kMoreBlockSize);

struct CardMoreInfo {
    std::string card_id;
    std::string model;
    std::string ip_address;
    std::string mac_address;
    std::uint32_t software_version = 0;
    std::uint32_t hardware_version = 0;
    std::uint32_t uptime_seconds = 0;
    std::uint32_t stored_files = 0;
    std::uint32_t free_space_kib = 0;

    bool operator==(const CardMoreInfo&) const = default;
};

std::array<std::uint8_t, kMoreBlockSize> encode_card_more_info(const CardMoreInfo& info);
CardMoreInfo decode_card_more_info(std::span<const std::uint8_t> bytes);

}  // namespace card_info
