// What `kelvra` prints: the cards of a discovery and a card's information, as a table or as JSON
// (the objects of docs/command-line.md, written by nlohmann-json). The information blocks are read
// from the bytes the library hands back (layout: docs/protocol.md). Pure functions: no I/O.
#pragma once

#include <kelvra/kelvra.h>

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace kelvra_cli {

struct FoundCard {
    std::string id;
    std::string address;
};

// The fields of the 1088-byte information block (answer 0xC2) and the 160-byte extended block (0xDA).
struct CardReport {
    std::string id, address, subnet_mask, gateway;
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

inline constexpr std::size_t kInfoBlockSize = KELVRA_CARD_INFO_SIZE;
inline constexpr std::size_t kMoreBlockSize = KELVRA_CARD_MORE_INFO_SIZE;

// `more` may be null (no extended block).
CardReport read_report(const std::array<unsigned char, kInfoBlockSize>& info,
                       const std::array<unsigned char, kMoreBlockSize>* more);

// "V8.814": upper and lower 16 bits in hexadecimal.
std::string version_text(std::uint32_t word);

std::string cards_table(const std::vector<FoundCard>& cards);
std::string report_table(const CardReport& r);

// The card object: "id" and "address" for a found card, every field of the blocks for a report.
nlohmann::json card_json(const FoundCard& card);
nlohmann::json card_json(const CardReport& r);

// A document as the tools print it: indented by four (as vantor-cli's), one line feed at the end. Bytes that
// are not UTF-8 (a card's id may hold any) become U+FFFD, so the output is always valid JSON.
std::string dump(const nlohmann::json& document);

// A serial port present on this machine (`kelvra ports`).
struct SerialPort {
    std::string path;    // /dev/ttyUSB0
    std::string driver;  // ftdi_sio, serial8250, cdc_acm, ...
};

// The serial ports under `sys_class_tty` (/sys/class/tty): entries backed by a device, leaving out
// the 8250 ports the kernel lists with no UART behind them (their "type" reads 0). Sorted by path.
std::vector<SerialPort> serial_ports(const std::string& sys_class_tty = "/sys/class/tty");
std::string ports_table(const std::vector<SerialPort>& ports);
nlohmann::json port_json(const SerialPort& port);

}  // namespace kelvra_cli
