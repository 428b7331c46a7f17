// Firmware upgrade of a control card: every file below the "Kernel" and "Application" sub-folders of a
// local firmware folder goes to the card over one TCP connection to its command port, between a start
// command that announces the total size and an end command.
//
//   CMD_UPGRADE_START (0x93)  4 bytes: total size of both folders (33 bytes on the wire); the card answers
//                             0xD3 "Success!" (checked with CheckCardAnswer) or refuses
//   per file                  CMD_FILE_HEADER (0x01) with the 212-byte header: byte 0 the kind (1 Kernel,
//                             2 Application), size, 2048-byte block count, card folder text ("\a\b.bin"
//                             for base\Kernel\a\b.bin), file name; then CMD_FILE_DATA (0x02) frames of up
//                             to 2,048 bytes. No answer is read for either.
//   CMD_UPGRADE_END (0x94)    no data (29 bytes)
//
// Every frame carries the id "Broadcast!". Files elsewhere in the folder are counted in the total but not
// sent. The layout and the simulator's reading of a package are in docs/protocol.md.
//
// The result says what the card got: a folder without a package is refused before anything is sent, a
// card that does not answer the start is told apart from one that refuses it, and the transfer stops at
// the first file that does not reach the card whole (the connection is gone by then), without the end
// command, so the card never installs part of a package.
//
// Threading: run_upgrade() blocks its caller (a worker thread) for as long as the transfer takes, each
// step bounded; it touches nothing but its arguments and reports through the observer, which it calls
// on that same thread. No Qt here.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/tcp_stream.h"

namespace cardlink {

inline constexpr std::string_view kUpgradeCardId = "Broadcast!";
inline constexpr std::size_t kUpgradeBlockSize = 2048;

enum class UpgradeKind : std::uint8_t { Kernel = 1, Application = 2 };

// One file of a firmware folder as it is sent.
struct UpgradeFile {
    std::filesystem::path local;
    std::string card_folder;  // "\" + the path below Kernel or Application, "\" separators, with the name
    std::string name;
    UpgradeKind kind = UpgradeKind::Kernel;
};

// The files below `base` in the order they are sent (Kernel first, then Application, each walked in
// name order): only files whose first folder below `base` is "Kernel" or "Application" (any case).
std::vector<UpgradeFile> list_upgrade_files(const std::filesystem::path& base);

// Total size in bytes of the regular files below `folder` (0 when it does not exist).
std::uint64_t GetFolderSize(const std::filesystem::path& folder);

// The 212-byte header of an upgrade file of `size` bytes.
std::vector<std::uint8_t> upgrade_file_header(const UpgradeFile& file, std::uint32_t size);

class UpgradeObserver {
  public:
    virtual ~UpgradeObserver() = default;
    // The range of the progress bar: the total announced to the card.
    virtual void upgrade_started(std::uint64_t total) = 0;
    // Data bytes sent so far in this upgrade.
    virtual void upgrade_progress(std::uint64_t sent) = 0;
};

enum class UpgradeOutcome {
    Finished,        // every file reached the card whole and the end command went out
    FolderMissing,   // the firmware folder does not exist: nothing sent
    NothingToSend,   // no file with data below "Kernel" or "Application": nothing sent
    FileUnreadable,  // a file of the package cannot be read (`file`): nothing sent
    NoConnection,    // the card could not be reached: nothing sent
    NoAnswer,        // the card did not answer the start command: no file, no end
    Refused,         // the card refused the start command: no file, no end
    ConnectionLost,  // `file` (or the end command) did not reach the card whole: no end command
    Stopped,         // the owner gave up part way (UpgradeSettings::stop): no end command
};

struct UpgradeResult {
    UpgradeOutcome outcome = UpgradeOutcome::NoConnection;
    std::uint64_t total = 0;  // announced to the card
    std::uint64_t sent = 0;   // data bytes the card acknowledged (all of them, once Finished)
    std::string file;         // the file that failed: its card folder text ("\a\b.bin")
};

struct UpgradeSettings {
    platform::TcpTimeouts timeouts;
    std::chrono::milliseconds answer{3000};        // for the card's answer to the start command
    std::chrono::milliseconds after_header{100};   // the card opens the file meanwhile
    std::chrono::milliseconds after_file{2000};    // the card writes the file to its flash meanwhile
    std::chrono::milliseconds before_close{1000};  // after the end command
    // Set by the owner to give up (the program closes): checked between frames and during the waits.
    const std::atomic<bool>* stop = nullptr;
};

// The whole upgrade of the card at `address` with the firmware folder `base`. Shows nothing: the one
// closing message, made from the result, is the caller's.
UpgradeResult run_upgrade(const std::string& address, const std::filesystem::path& base,
                          UpgradeObserver& observer, const UpgradeSettings& settings = {});

}  // namespace cardlink
