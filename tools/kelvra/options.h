// The command line of `kelvra`: which subcommand, which card, over which transport, with what.
// The options follow docs/command-line.md, which `vantor-cli` follows too; CLI11 reads them.
// Pure parsing: no I/O, so every rule is testable on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvra_cli {

enum class Command {
    Discover,
    Ports,
    Info,
    Reset,
    Brightness,
    Clock,
    IoGet,
    IoSet,
    SendFile,
    SendFolder,
    Upgrade,
    ShowPicture
};

enum class Transport { Tcp, Udp, Serial };

inline constexpr const char* kDefaultDiscoveryAddress = "255.255.255.255";
inline constexpr std::uint32_t kDefaultDiscoveryMs = 1500;
inline constexpr std::uint32_t kMaxDiscoveryMs = 600000;  // ten minutes

struct Options {
    Command command = Command::Discover;
    std::string card_id;  // empty: learnt from the card's information block (network transports)
    std::string address;  // the card's address; for discover, where the search goes
    Transport transport = Transport::Tcp;
    int serial_port = 1;      // COM<n>: /dev/ttyS(n-1), or the device named by $KELVRA_COM<n>
    std::string port_device;  // --port given as a device path (/dev/ttyUSB0): used instead of COM<n>
    int baud = 9600;
    std::uint32_t timeout_ms = kDefaultDiscoveryMs;  // discover: how long answers are collected
    bool json = false;
    bool quiet = false;  // no progress bar
    bool trace = false;  // every frame sent and received, in hex, on standard error

    // brightness
    int brightness = 0;
    // clock: seven values in the order the card takes them; none given: the local time now
    std::optional<std::vector<std::int32_t>> clock_values;
    // io
    int line = 0;
    bool line_on = false;
    // send-file, send-folder, upgrade
    std::string local_path;
    std::string card_name;    // send-file: the name on the card (empty: the local file's name)
    std::string card_folder;  // send-file: the card folder (empty: none)
    std::uint32_t file_type = 4;
    std::uint32_t parameter = 0;
    std::string base_folder;  // send-folder, upgrade: folder name where card folders start
};

struct Parsed {
    std::optional<Options> options;  // empty with help, version or an error
    std::string output;              // help or version text, for standard output
    std::string error;               // a usage error, for the user (exit status 2)
};

// `args` without the program name; `version` is what -V prints after the program's name.
Parsed parse(const std::vector<std::string>& args, const std::string& version = "");

// A dotted-quad IPv4 address ("192.168.0.7"): four decimal numbers 0..255, nothing else.
bool valid_ipv4(const std::string& text);

}  // namespace kelvra_cli
