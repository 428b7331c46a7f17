// The command line of `kelvra`: which subcommand, which card, over which transport, with what.
// Pure parsing: no I/O, so every rule is testable on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvra_cli {

enum class Command {
    Discover,
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

struct Options {
    Command command = Command::Discover;
    std::string card_id;  // empty: learnt from the card's information block (network transports)
    std::string address;
    Transport transport = Transport::Tcp;
    int serial_port = 1;  // COM<n>: /dev/ttyS(n-1), or the device named by $KELVRA_COM<n>
    int baud = 9600;
    bool json = false;
    bool quiet = false;  // no progress bar

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
    std::optional<Options> options;  // empty with help or an error
    bool help = false;
    bool version = false;
    std::string error;  // a usage error, for the user
};

Parsed parse(const std::vector<std::string>& args);

// The whole help text (`kelvra --help`).
extern const char* const kUsage;

}  // namespace kelvra_cli
