#include "mainwindow/network_settings.h"

#include <algorithm>
#include <charconv>

#include "common/bytes.h"
#include "common/card_info.h"
#include "common/frame.h"

namespace network_settings {
namespace {

// Offsets inside the settings block.
constexpr std::size_t kIp = card_info::kIpAddressOffset - card_info::kSettingsOffset;
constexpr std::size_t kMask = card_info::kSubnetMaskOffset - card_info::kSettingsOffset;
constexpr std::size_t kWidth = card_info::kScreenWidthOffset - card_info::kSettingsOffset;
constexpr std::size_t kHeight = card_info::kScreenHeightOffset - card_info::kSettingsOffset;
constexpr std::size_t kGateway = card_info::kGatewayOffset - card_info::kSettingsOffset;
static_assert(kIp == 40 && kMask == 72 && kWidth == 112 && kHeight == 116 && kGateway == 144);
static_assert(kGateway + card_info::kAddressTextSize <= card_info::kSettingsSize);

std::string address_field(std::string_view text) {
    return std::string(text.substr(0, card_info::kMaxAddressText));
}

std::string text_at(std::span<const std::uint8_t> block, std::size_t offset) {
    std::string text;
    for (std::size_t i = offset; i < offset + card_info::kMaxAddressText && i < block.size() && block[i] != 0;
         ++i)
        text.push_back(static_cast<char>(block[i]));
    return text;
}

void put_text(std::span<std::uint8_t> block, std::size_t offset, std::string_view text) {
    std::fill_n(block.begin() + static_cast<std::ptrdiff_t>(offset), card_info::kAddressTextSize, 0);
    const std::string cut = address_field(text);
    std::copy(cut.begin(), cut.end(), block.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace

bool valid_address(std::string_view text) {
    if (text.empty() || text.size() > card_info::kMaxAddressText) return false;
    int parts = 0;
    std::size_t pos = 0;
    while (true) {
        const std::size_t dot = text.find('.', pos);
        const std::string_view part = text.substr(pos, dot == std::string_view::npos ? dot : dot - pos);
        if (part.empty() || part.size() > 3) return false;
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (ec != std::errc{} || end != part.data() + part.size() || value > 255) return false;
        ++parts;
        if (dot == std::string_view::npos) break;
        pos = dot + 1;
    }
    return parts == 4;
}

std::optional<Field> malformed_field(const TypedSettings& typed) {
    if (!valid_address(typed.ip_address)) return Field::IpAddress;
    if (!valid_address(typed.subnet_mask)) return Field::SubnetMask;
    if (!typed.gateway.empty() && !valid_address(typed.gateway)) return Field::Gateway;
    return std::nullopt;
}

SaveCommand save_command(std::span<const std::uint8_t> current, const TypedSettings& typed) {
    std::vector<std::uint8_t> block(card_info::kSettingsSize, 0);
    std::copy_n(current.begin(), std::min(current.size(), block.size()), block.begin());
    bool changed = false;
    for (const auto& [offset, text] :
         {std::pair{kIp, &typed.ip_address}, std::pair{kMask, &typed.subnet_mask},
          std::pair{kGateway, &typed.gateway}}) {
        if (text_at(block, offset) == address_field(*text)) continue;
        put_text(block, offset, *text);
        changed = true;
    }
    for (const auto& [offset, value] :
         {std::pair{kWidth, typed.screen_width}, std::pair{kHeight, typed.screen_height}}) {
        if (bytes::get_u32_or_zero(block, offset) == value) continue;
        frame::put_u32le(block.data() + offset, value);
        changed = true;
    }
    SaveCommand c;
    c.changed = changed;
    if (changed) {
        c.command = frame::CMD_SAVE_SETTINGS;
        c.payload = std::move(block);
    } else {
        c.command = frame::CMD_SAVE_VALUE;
        c.payload.assign(4, 0);  // the card stores its current parameters
    }
    return c;
}

bool restore_address_refused(std::string_view address) {
    return address.ends_with("255") || address.ends_with(".1") || address.ends_with(".0");
}

}  // namespace network_settings
