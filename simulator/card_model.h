// What one simulated card does with a frame: its state, its answers and the files it stores. No
// sockets here; the simulator feeds it decoded frames and sends what it returns.
//
// Threading: not thread-safe; the simulator calls it under its one lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/card_display.h"
#include "simulator/card_storage.h"
#include "simulator/sim.h"

namespace sim {

// A file being received on one connection (or from one UDP peer).
struct IncomingFile {
    std::size_t card = 0;      // index of the card that took the header
    std::uint64_t record = 0;  // key of that card's stored-file record (gone once it is dropped)
    std::uint32_t file_type = 0;
    std::string card_path;
    bool refused = false;  // the header named a path outside the card folder: data is dropped
    std::uint64_t remaining = 0;
    std::ofstream out;
};

struct CheckResult {
    std::optional<frame::CheckForm> matched;
    bool accepted = false;
};

struct HandleResult {
    std::optional<std::vector<std::uint8_t>> answer;  // already in the card's wire form, faults applied
    int delay_ms = 0;
    std::string note;
    bool accepted = true;
};

// A firmware package names its version in "version.txt" directly below its "Application" (or else
// "Kernel") folder: one line "V<hex>.<hex>", as the window shows versions ("V9.121" is 0x00090121).
inline constexpr std::string_view kVersionFileName = "version.txt";
std::optional<std::uint32_t> parse_version_text(std::string_view text);
// The version named by the firmware stored in `card_folder`, if any.
std::optional<std::uint32_t> upgrade_version(const std::filesystem::path& card_folder);

class CardModel {
  public:
    CardModel(const CardConfig& config, std::filesystem::path folder,
              std::chrono::steady_clock::time_point started);

    const std::string& id() const { return config_.id; }
    const CardConfig& config() const { return config_; }
    const std::filesystem::path& folder() const { return folder_; }
    CardState& state() { return state_; }
    const CardState& state() const { return state_; }
    // The newest kMaxStoredFileRecords records, oldest first.
    std::vector<StoredFile> stored_files() const;

    // The display as it stands, for rendering outside the simulator's lock; none when it has not
    // changed since the last job was taken.
    struct ScreenJob {
        CardDisplay display;
        std::filesystem::path folder;
        std::uint32_t width = 0, height = 0;
    };
    std::optional<ScreenJob> take_screen_job();
    // Keeps a rendered screen and writes "screen.png" when it differs from the last one.
    void put_screen(ModulePicture picture);

    // A card checks the check byte in its own family's form. It also takes the plain sum, which
    // Kelvra sends to every card, and the complement when the frame's id calls for it ("Broadcast!",
    // or the fixed id of Vantor's address mode sent to a card of the other family).
    CheckResult check(std::span<const std::uint8_t> frame_bytes, std::string_view frame_id) const;

    // `slot` is the connection's file transfer; `self` is this card's index in the simulator.
    HandleResult handle(const frame::Received& f, std::optional<IncomingFile>& slot, std::size_t self);

    // Ends a transfer cut short (connection closed, or a new header arrived first).
    void abandon(IncomingFile& file);

  private:
    // One frame being handled: what came in, and what goes back. A handler sets `r` (answer, note,
    // accepted) or asks for a status answer (`status`, which says "Error!" unless `ok`).
    struct Exchange {
        const frame::Received& f;
        std::optional<IncomingFile>& slot;
        std::size_t self;
        bool ok;
        std::optional<std::uint8_t> status;
        HandleResult r;
    };
    using Handler = void (CardModel::*)(Exchange&);
    static Handler handler_for(std::uint8_t command);

    // One handler per command.
    void on_discover(Exchange& x);
    void on_get_card_info(Exchange& x);
    void on_get_card_more_info(Exchange& x);
    void on_get_io(Exchange& x);
    void on_set_io(Exchange& x);
    void on_set_clock(Exchange& x);
    void on_select_program(Exchange& x);
    void on_reset_card(Exchange& x);
    void on_screen_control(Exchange& x);
    void on_save_value(Exchange& x);
    void on_save_settings(Exchange& x);
    void on_restore_ip(Exchange& x);
    void on_upgrade_begin(Exchange& x);  // CMD_UPGRADE_START (Vantor) and CMD_UPGRADE_BEGIN (Kelvra)
    void on_upgrade_end(Exchange& x);
    void on_file_header(Exchange& x);
    void on_file_data(Exchange& x);
    void on_window(Exchange& x);  // CMD_WINDOW, CMD_GLINT_WINDOW, CMD_EXIT_STUNT: the display

    void apply_faults(std::uint8_t command, HandleResult& r) const;
    std::vector<std::uint8_t> status_answer(std::uint8_t code, bool success) const;
    std::vector<std::uint8_t> answer(std::uint8_t code, std::vector<std::uint8_t> data) const;
    bool faulted(std::uint8_t command) const;
    bool change_address(const std::string& text);
    void factory_restore();
    void check_config_image();
    void render_module();  // the virtual module's picture, and its PNG when it changed
    void screen_changed() { screen_dirty_ = true; }  // rendered later by the simulator
    void trace_point(std::uint32_t along, std::uint32_t row, bool on);

    CardConfig config_;
    std::filesystem::path folder_;
    std::chrono::steady_clock::time_point started_;
    CardState state_;
    std::map<std::uint64_t, StoredFile> files_;                 // by age: keys count up
    std::map<std::filesystem::path, std::uint64_t> record_of_;  // the key of each file's record
    std::uint64_t next_record_ = 0;
    CardDisplay display_;
    bool screen_dirty_ = false;
};

}  // namespace sim
