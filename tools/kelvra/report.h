// What `kelvra` prints: the cards of a discovery and a card's information, as a table or as JSON.
// The information blocks are read from the bytes the library hands back (layout: docs/protocol.md).
// Pure functions: no I/O.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvra_cli {

struct FoundCard {
    std::string id;
    std::string address;
};

// The fields of the 1088-byte information block (answer 0xC2) and the 160-byte extended block (0xDA).
struct CardReport {
    std::string id, ip_address, subnet_mask, gateway;
    std::uint32_t screen_width = 0, screen_height = 0;
    std::uint32_t brightness = 0, scan_clock_code = 0, duty_cycle = 0, oe_polarity = 0, data_polarity = 0;
    std::uint32_t gray_value = 0;
    float gamma[3] = {0, 0, 0};
    std::array<std::uint32_t, 7> clock{};
    std::uint32_t programme = 0, output_lines = 0, input_lines = 0;
    std::uint32_t software_version = 0, hardware_version = 0;
    bool has_more = false;  // the extended block arrived
    std::string model, mac_address;
    std::uint32_t uptime_seconds = 0, files_stored = 0, free_kib = 0;
};

inline constexpr std::size_t kInfoBlockSize = 1088;
inline constexpr std::size_t kMoreBlockSize = 160;

// `more` may be null (no extended block).
CardReport read_report(const std::array<unsigned char, kInfoBlockSize>& info,
                       const std::array<unsigned char, kMoreBlockSize>* more);

// "V8.814": upper and lower 16 bits in hexadecimal.
std::string version_text(std::uint32_t word);

std::string cards_table(const std::vector<FoundCard>& cards);
std::string cards_json(const std::vector<FoundCard>& cards);
std::string report_table(const CardReport& r);
std::string report_json(const CardReport& r);

// A text as a JSON string literal, quotes included.
std::string json_string(const std::string& text);

}  // namespace kelvra_cli
