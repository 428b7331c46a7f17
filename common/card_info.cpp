#include "common/card_info.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "common/frame.h"

namespace card_info {
namespace {

using frame::get_u32le;
using frame::put_u32le;

void put_text(std::uint8_t* block, std::size_t offset, std::size_t field, std::size_t max_chars,
              const std::string& text) {
    const std::size_t n = std::min({text.size(), max_chars, field - 1});  // always NUL-terminated
    std::memcpy(block + offset, text.data(), n);
}

std::string get_text(const std::uint8_t* block, std::size_t offset, std::size_t field) {
    const auto* begin = block + offset;
    return std::string(begin, std::find(begin, begin + field, std::uint8_t{0}));
}

void put_f32(std::uint8_t* block, std::size_t offset, float v) {
    put_u32le(block + offset, std::bit_cast<std::uint32_t>(v));
}
float get_f32(const std::uint8_t* block, std::size_t offset) {
    return std::bit_cast<float>(get_u32le(block + offset));
}

template <std::size_t N>
std::array<std::uint8_t, N> zero_filled_copy(std::span<const std::uint8_t> bytes) {
    std::array<std::uint8_t, N> block{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), N), block.begin());
    return block;
}

}  // namespace

std::array<std::uint8_t, kBlockSize> encode_card_info(const CardInfo& info) {
    std::array<std::uint8_t, kBlockSize> block{};
    auto* b = block.data();
    put_text(b, kCardIdOffset, kCardIdSize, kCardIdSize - 1, info.card_id);
    put_text(b, kIpAddressOffset, kAddressTextSize, kMaxAddressText, info.ip_address);
    put_text(b, kSubnetMaskOffset, kAddressTextSize, kMaxAddressText, info.subnet_mask);
    put_text(b, kGatewayOffset, kAddressTextSize, kMaxAddressText, info.gateway);
    put_u32le(b + kScreenWidthOffset, info.screen_width);
    put_u32le(b + kScreenHeightOffset, info.screen_height);
    put_u32le(b + kBrightnessOffset, info.brightness);
    put_u32le(b + kScanClockCodeOffset, info.scan_clock_code);
    put_u32le(b + kDutyCycleOffset, info.duty_cycle);
    put_u32le(b + kOePolarityOffset, info.oe_polarity);
    put_u32le(b + kDataPolarityOffset, info.data_polarity);
    put_u32le(b + kGrayRefreshCodeOffset, info.gray_refresh_code);
    put_u32le(b + kGrayDepthCodeOffset, info.gray_depth_code);
    put_u32le(b + kGrayValueOffset, info.gray_value);
    put_f32(b, kGammaRedOffset, info.gamma_red);
    put_f32(b, kGammaGreenOffset, info.gamma_green);
    put_f32(b, kGammaBlueOffset, info.gamma_blue);
    put_u32le(b + kHorizontalShiftOffset, info.horizontal_shift);
    std::copy(info.screen_params.begin(), info.screen_params.end(), b + kScreenParamsOffset);
    for (std::size_t i = 0; i < kClockWords; ++i) put_u32le(b + kClockOffset + 4 * i, info.clock[i]);
    put_u32le(b + kProgrammeOffset, info.programme);
    put_u32le(b + kOutputLinesOffset, info.output_lines);
    put_u32le(b + kInputLinesOffset, info.input_lines);
    put_u32le(b + kSoftwareVersionOffset, info.software_version);
    put_u32le(b + kHardwareVersionOffset, info.hardware_version);
    return block;
}

CardInfo decode_card_info(std::span<const std::uint8_t> bytes) {
    const auto block = zero_filled_copy<kBlockSize>(bytes);
    const auto* b = block.data();
    CardInfo info;
    info.card_id = get_text(b, kCardIdOffset, kCardIdSize);
    info.ip_address = get_text(b, kIpAddressOffset, kMaxAddressText);
    info.subnet_mask = get_text(b, kSubnetMaskOffset, kMaxAddressText);
    info.gateway = get_text(b, kGatewayOffset, kMaxAddressText);
    info.screen_width = get_u32le(b + kScreenWidthOffset);
    info.screen_height = get_u32le(b + kScreenHeightOffset);
    info.brightness = get_u32le(b + kBrightnessOffset);
    info.scan_clock_code = get_u32le(b + kScanClockCodeOffset);
    info.duty_cycle = get_u32le(b + kDutyCycleOffset);
    info.oe_polarity = get_u32le(b + kOePolarityOffset);
    info.data_polarity = get_u32le(b + kDataPolarityOffset);
    info.gray_refresh_code = get_u32le(b + kGrayRefreshCodeOffset);
    info.gray_depth_code = get_u32le(b + kGrayDepthCodeOffset);
    info.gray_value = get_u32le(b + kGrayValueOffset);
    info.gamma_red = get_f32(b, kGammaRedOffset);
    info.gamma_green = get_f32(b, kGammaGreenOffset);
    info.gamma_blue = get_f32(b, kGammaBlueOffset);
    info.horizontal_shift = get_u32le(b + kHorizontalShiftOffset);
    std::copy_n(b + kScreenParamsOffset, kScreenParamsSize, info.screen_params.begin());
    for (std::size_t i = 0; i < kClockWords; ++i) info.clock[i] = get_u32le(b + kClockOffset + 4 * i);
    info.programme = get_u32le(b + kProgrammeOffset);
    info.output_lines = get_u32le(b + kOutputLinesOffset);
    info.input_lines = get_u32le(b + kInputLinesOffset);
    info.software_version = get_u32le(b + kSoftwareVersionOffset);
    info.hardware_version = get_u32le(b + kHardwareVersionOffset);
    return info;
}

std::array<std::uint8_t, kSettingsSize> encode_settings_block(const CardInfo& info) {
    const auto block = encode_card_info(info);
    std::array<std::uint8_t, kSettingsSize> settings{};
    std::copy_n(block.begin() + kSettingsOffset, kSettingsSize, settings.begin());
    return settings;
}

CardSettings decode_settings_block(std::span<const std::uint8_t> bytes) {
    // Read it in place inside an otherwise empty information block, so the offsets stay in one table.
    std::array<std::uint8_t, kBlockSize> block{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), kSettingsSize), block.begin() + kSettingsOffset);
    const CardInfo info = decode_card_info(block);
    return CardSettings{info.ip_address, info.subnet_mask, info.gateway, info.screen_width,
                        info.screen_height};
}

std::array<std::uint8_t, kMoreBlockSize> encode_card_more_info(const CardMoreInfo& info) {
    std::array<std::uint8_t, kMoreBlockSize> block{};
    auto* b = block.data();
    put_text(b, kMoreCardIdOffset, 20, 19, info.card_id);
    put_text(b, kMoreModelOffset, 20, 19, info.model);
    put_text(b, kMoreIpAddressOffset, kAddressTextSize, kMaxAddressText, info.ip_address);
    put_text(b, kMoreMacOffset, 20, 19, info.mac_address);
    put_u32le(b + kMoreSoftwareVersionOffset, info.software_version);
    put_u32le(b + kMoreHardwareVersionOffset, info.hardware_version);
    put_u32le(b + kMoreUptimeOffset, info.uptime_seconds);
    put_u32le(b + kMoreStoredFilesOffset, info.stored_files);
    put_u32le(b + kMoreFreeSpaceOffset, info.free_space_kib);
    return block;
}

CardMoreInfo decode_card_more_info(std::span<const std::uint8_t> bytes) {
    const auto block = zero_filled_copy<kMoreBlockSize>(bytes);
    const auto* b = block.data();
    CardMoreInfo info;
    info.card_id = get_text(b, kMoreCardIdOffset, 20);
    info.model = get_text(b, kMoreModelOffset, 20);
    info.ip_address = get_text(b, kMoreIpAddressOffset, kMaxAddressText);
    info.mac_address = get_text(b, kMoreMacOffset, 20);
    info.software_version = get_u32le(b + kMoreSoftwareVersionOffset);
    info.hardware_version = get_u32le(b + kMoreHardwareVersionOffset);
    info.uptime_seconds = get_u32le(b + kMoreUptimeOffset);
    info.stored_files = get_u32le(b + kMoreStoredFilesOffset);
    info.free_space_kib = get_u32le(b + kMoreFreeSpaceOffset);
    return info;
}

}  // namespace card_info
