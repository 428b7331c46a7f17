// "保存设置", the IP restore and the guarded functions of the main window, without widgets: the check
// of the addresses the user typed, the comparison with the card's settings block and the command that
// results, the restore address rule and the fixed codes of dialogs 151 and 156.
//
// Settings block (524 bytes, information block bytes 20..543): IP text at 40, mask at 72, width u32 at
// 112, height u32 at 116, gateway text at 144; texts are compared and written as at most 15 characters,
// NUL-terminated in 16-byte fields. The whole table is in docs/protocol.md.
//
// Pure functions; safe on any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace network_settings {

inline constexpr std::string_view kRestoreCode = "47110815";  // dialog 151's confirmation code
inline constexpr std::string_view kPassword = "517";          // dialog 156: the rarely used functions
inline constexpr int kRestoreCodeMaxLength = 8;

// What the user typed in the main window's network and size fields.
struct TypedSettings {
    std::string ip_address;
    std::string subnet_mask;
    std::string gateway;
    std::uint32_t screen_width = 0;
    std::uint32_t screen_height = 0;
};

enum class Field { IpAddress, SubnetMask, Gateway };

// True for four dotted decimal numbers 0..255, at most 15 characters, nothing else.
bool valid_address(std::string_view text);

// The first field that does not hold a valid address; an empty gateway is allowed (a card on a network
// without a router has none).
std::optional<Field> malformed_field(const TypedSettings& typed);

struct SaveCommand {
    std::uint8_t command = 0;           // CMD_SAVE_SETTINGS when something changed, else CMD_SAVE_VALUE
    std::vector<std::uint8_t> payload;  // the changed 524-byte block, or 4 zero bytes
    bool changed = false;
};

// Compares `typed` with the card's settings block `block` (first 15 characters of each text, width
// and height) and builds the command "保存设置" sends. A block shorter than 524 bytes reads as zeros.
SaveCommand save_command(std::span<const std::uint8_t> block, const TypedSettings& typed);

// The IP restore refuses an address that ends in "255", ".1" or ".0" (the network's own, its router's
// and its broadcast address).
bool restore_address_refused(std::string_view address);

}  // namespace network_settings
