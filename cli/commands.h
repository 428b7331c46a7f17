// The commands of vantor-cli, over the same GUI-free core as the desktop program: discovery
// (cardlink), the special screen layouts (screenconfig/special_layout.h), the image transfer and the
// parameter send (screenconfig), the wiring preview (specialscreens/wiring_preview.h, Qt Gui only).
//
// Each command writes a human-readable result to standard output, or with --json one JSON object, and
// errors to standard error; it returns the program's exit code. Options, exit codes and JSON objects
// follow docs/command-line.md, as `kelvra` does.
// Threading: the main thread (discovery runs the Qt event loop for its waiting time).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

enum ExitCode : int {
    kOk = 0,
    kFailed = 1,       // the card refused or the transfer broke off
    kUsage = 2,        // the command line is wrong
    kFileError = 3,    // a file could not be read, is not what it should be, or could not be written
    kUnreachable = 4,  // no card: no connection, no answer, or no card answered the search
    kRefused = 5,      // the layout is refused (its inputs, or it leaves the mapping table)
};

inline constexpr std::uint32_t kDefaultDiscoveryMs = 1500;
inline constexpr std::uint32_t kMaxDiscoveryMs = 600000;

struct Output {
    bool json = false;
    bool trace = false;  // every frame sent and received, in hex, on standard error
};

struct DiscoverOptions {
    std::string address = "255.255.255.255";
    std::uint32_t timeout_ms = kDefaultDiscoveryMs;
    Output output;
};

enum class LayoutKind { Strip, Vertical, Direction };

struct LayoutOptions {
    LayoutKind kind = LayoutKind::Strip;
    std::uint32_t width = 0, height = 0, module_width = 0, module_height = 0;
    std::uint32_t ports = 0;      // strip
    std::uint32_t rows = 0;       // vertical
    std::uint32_t method = 1;     // vertical: 1, 2 or 3
    bool bottom_to_top = false;   // vertical
    std::uint32_t direction = 0;  // direction: 0..8
    std::optional<std::string> file, preview;
    Output output;
};

struct SendOptions {
    std::string card_id;  // empty: the identifier the desktop program uses for a card given by address
    std::string address;
    std::string file;
    bool force = false;  // send-hcp: send a file whose check sum does not match
    Output output;
};

enum class ProfileAction { List, Show, Apply, Import, Export, ExportAll, ImportAll };

// `profile ...`: the module library (profiles/profile_library.h) in $XDG_DATA_HOME/vantor/profiles.
struct ProfileOptions {
    ProfileAction action = ProfileAction::List;
    std::string name;      // show, apply, export
    std::string file;      // import, export, export-all, import-all
    bool replace = false;  // import, import-all: a profile of the same name is replaced
    // apply: the cards by address, with their identifiers in the same order (or none: the identifier
    // the desktop program uses for a card given by address); or with `all` every card a search at
    // `search_address` finds within `timeout_ms`.
    std::vector<std::string> addresses;
    std::vector<std::string> card_ids;
    bool all = false;
    std::string search_address = "255.255.255.255";
    std::uint32_t timeout_ms = kDefaultDiscoveryMs;
    Output output;
};

int run_discover(const DiscoverOptions& request);
int run_profile(const ProfileOptions& options);
int run_layout(const LayoutOptions& options);
int run_send_image(const SendOptions& options);
int run_send_hcp(const SendOptions& options);

}  // namespace cli
