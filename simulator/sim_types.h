// The values of ledcard-sim: how it is configured (cards, their faults, the simulator), and what it
// reports (journal entries, stored files, a card's state). Plain values; the simulator that takes and
// gives them is in sim.h.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/card_info.h"
#include "common/frame.h"
#include "simulator/led_module.h"

namespace sim {

inline constexpr std::uint32_t kDefaultSoftwareVersion = 0x00090120;  // "V9.120"
inline constexpr std::uint32_t kDefaultHardwareVersion = 0x00020001;  // "V2.1"

// How an answer is damaged when `Faults::malformed` asks for it.
enum class Malformed {
    None,
    Short,         // only the first 20 bytes are sent (less than a header)
    NoLeadIn,      // the three 0x7E bytes are replaced by 0x00
    BogusLength,   // the length field says 0xFFFFFFFF
    Garbage,       // as many bytes as the answer, none of them a frame (no lead-in anywhere)
    OtherCommand,  // a well-formed answer with a right check byte, but of another command
};

enum class WireForm { Exact, Stream, Fixed };  // the answer's form: n + 29, n + 32 or 2080 bytes

struct Faults {
    bool answer_error = false;         // status answers carry "Error!" instead of "Success!"
    int delay_ms = 0;                  // answers leave this many milliseconds late
    bool silent = false;               // no answer at all
    int close_after_data_frames = -1;  // TCP: close once this many CMD_FILE_DATA frames came in (-1: never)
    int read_rate = 0;            // TCP: bytes per second the card takes off a connection (0: all it gets)
    int stop_reading_after = -1;  // TCP: the card takes no more bytes of a connection after this many
    Malformed malformed = Malformed::None;
    std::uint8_t only_command = 0;  // 0: the faults hit every command; else only frames with this code

    bool operator==(const Faults&) const = default;
};

struct CardConfig {
    std::string id;       // e.g. "S730-413-05862" (plain-sum family) or "A901-200-00001" (complement)
    std::string address;  // IPv4 text the card binds, e.g. "127.0.0.2"
    std::uint32_t software_version = kDefaultSoftwareVersion;  // information block offset 1032
    std::uint32_t hardware_version = kDefaultHardwareVersion;  // offset 1036
    std::string subnet_mask = "255.255.255.0";
    std::string gateway;  // empty: the card's address with last byte 1
    std::uint32_t screen_width = 128;
    std::uint32_t screen_height = 64;
    WireForm answer_form = WireForm::Exact;
    bool follow_address_changes = true;  // rebind when CMD_SAVE_SETTINGS or CMD_RESTORE_IP change the address
    // Answer the apply frame (screen control sub-command 23) with 0xC4: "Success!" when the stored
    // "Config.sys" is a whole image with a good word sum, else "Error!". Off: the frame goes unanswered.
    bool answer_apply = false;
    Faults faults;
    // A virtual LED module on the card's first HUB port (docs/virtual-module.md): its picture is kept in
    // CardState::module_picture and written as "module.png" into the card folder whenever it changes.
    std::optional<ModuleProfile> module;
};

struct SimulatorConfig {
    std::vector<CardConfig> cards;
    bool allow_duplicate_addresses = false;
    std::filesystem::path storage_root;  // card folders are <root>/<card id>; empty: a new folder under /tmp
    std::filesystem::path journal_file;  // JSON lines, one per received frame; empty: none
    bool discovery_socket = true;        // the shared 0.0.0.0:31296 socket for broadcasts
    // The journal held in memory (journal(), wait_for) keeps the newest entries only: at most this many,
    // holding at most this many data bytes. Older entries are dropped (seq keeps counting); the journal
    // file keeps every entry. The simulator's memory stays bounded however much it is sent.
    std::size_t journal_memory_entries = 20000;
    std::size_t journal_memory_bytes = 16u << 20;
    // A TCP connection on which nothing is read or written for this long is closed (with a journal
    // note), so that idle peers cannot hold the connection limit. Connections of a card with a
    // slow-reader fault are exempt.
    std::chrono::milliseconds idle_timeout{30000};
    // Answers a TCP peer has not read yet are kept for it, up to this many bytes; a connection whose
    // peer leaves more unread is closed (with a journal note). Answers are never waited for: a peer
    // that does not read holds up no other.
    std::size_t connection_output_bytes = 1u << 20;
};

// TCP connections held open at once (all cards together). A connection beyond them is closed as soon
// as it is accepted, with a journal note: a client that opens connections and never closes them costs
// the simulator a bounded number of descriptors and buffers.
inline constexpr std::size_t kMaxTcpConnections = 512;

// Stored-file records a card keeps (stored_files()): the newest ones; the files themselves stay in
// the card folder.
inline constexpr std::size_t kMaxStoredFileRecords = 4096;

enum class Transport { Tcp, Udp };

// One received frame as one card took it (a broadcast gives one entry per card), or as nobody took
// it (card empty). A TCP connection that closes with bytes unread or a file unfinished adds one entry with
// command 0 whose note says so.
struct JournalEntry {
    std::uint64_t seq = 0;
    std::uint64_t ms = 0;  // since the simulator started
    Transport transport = Transport::Udp;
    std::uint16_t local_port = 0;  // 31296 or 31298
    std::string local_address;     // the address it was sent to
    std::string peer;              // "a.b.c.d:port" of the sender
    std::string card;              // id of the card that took it; empty when none did
    std::uint8_t command = 0;
    std::string id;  // the frame's 16-byte id field, up to its first NUL
    std::uint32_t parameter = 0;
    std::uint32_t length = 0;
    std::vector<std::uint8_t> data;
    std::size_t datagram_size = 0;  // UDP: bytes in the datagram; TCP: 0
    bool lead_in_ok = false;
    std::optional<frame::CheckForm> check_form;  // the form the check byte matched, if any
    bool accepted = false;                       // the card acted on it
    std::string note;                            // why not, or what went wrong ("refused card path", ...)
};

struct StoredFile {
    std::string card_path;  // as the header named it, "\" separators
    std::filesystem::path local_path;
    std::uint32_t file_type = 0;
    std::uint32_t expected_length = 0;
    std::uint64_t received = 0;
    bool complete = false;
};

struct CardState {
    card_info::CardInfo info;   // what the card reports in answer 0xC2
    std::string bound_address;  // where its sockets are (differs from info.ip_address if a move failed)
    std::map<std::uint32_t, std::vector<std::uint32_t>>
        last_screen_control;  // sub-command -> last block words
    std::uint32_t resets = 0;
    std::uint32_t factory_restores = 0;
    std::uint32_t save_values = 0;
    std::uint32_t save_settings = 0;
    std::uint32_t window_commands = 0;
    bool upgrade_running = false;
    std::uint32_t upgrade_announced = 0;  // the value of CMD_UPGRADE_START (bytes) or CMD_UPGRADE_BEGIN (KiB)
    std::uint32_t upgrades_finished = 0;
    std::uint32_t config_applied = 0;  // sub-command 23 received
    bool config_valid = false;         // the stored "Config.sys" was a whole image with a good word sum
    Faults faults;
    std::uint32_t smart_pattern = 0;  // the last smart-setup test: its step (word 2; 0: none yet)
    std::uint32_t smart_value = 0;    // and its word 3
    std::uint32_t smart_value2 = 0;   // and its word 4
    bool point_on = false;            // the traced point (pattern 5 at words 3 and 4) is lit
    // The test dialog's pattern running now: words 1..9 of its block (grid or gray ramp); empty when
    // none runs (stopped, or a smart-setup pattern came after it).
    std::vector<std::uint32_t> test_pattern;
    std::optional<ModulePicture> module_picture;  // what the virtual module shows now (when there is one)
    std::uint32_t module_pictures_written = 0;    // "module.png" files written so far
    // The whole screen as the card's display windows and live display show it (simulator/card_display.h),
    // written as "screen.png" into the card folder whenever it changes; none before the first display
    // command.
    std::optional<ModulePicture> screen_picture;
    std::uint32_t screen_pictures_written = 0;
};

}  // namespace sim
