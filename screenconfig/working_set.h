// The screen data the main window owns for its whole run: the working ScreenConfig (whose header is the
// store of the screen's drive parameters) and ScreenParams, the current ".hcp" path, where the
// parameters came from, and whether parameter changes are unsaved. GUI-free.
// Threading: UI thread only (the image transfer never reads it).
#pragma once

#include <filesystem>

#include "screenconfig/screen_config.h"
#include "screenconfig/screen_params.h"

namespace screenconfig {

enum class ParamSource : int {
    None = -1,   // at start and whenever another card is selected
    Wizard = 0,  // the wizard has just finished
    File = 1,    // a ".hcp" file was chosen for loading
};

class WorkingSet {
  public:
    ScreenConfig config;  // zero-filled; its table is never filled or sent
    ScreenParams params;  // zero at start
    std::filesystem::path hcp_path;
    ParamSource source = ParamSource::None;
    bool changed = false;  // set by the parameter commands that change the card, cleared by a save
    // The record came from a ".hcp" file whose word sum did not match: it is sent only when the user
    // confirms.
    bool unchecked = false;
    // How the module's rows light, from the wizard's scan step: all rows of a scan lit (1) or only some
    // (part_rows_lit 1, and rows_per_group the scan divided by the lit rows). The row-decode step reads
    // them. Zero until the wizard sets them.
    std::uint32_t all_rows_lit = 0;
    std::uint32_t part_rows_lit = 0;
    std::uint32_t rows_per_group = 0;

    // Another card was selected: its parameters are not the ones on screen, so no path or source.
    void card_selected() {
        hcp_path.clear();
        source = ParamSource::None;
        unchecked = false;
    }

    // A ".hcp" file chosen for loading was refused: the record of the file loaded before goes too.
    void file_refused() {
        params = ScreenParams{};
        hcp_path.clear();
        source = ParamSource::None;
        unchecked = false;
    }

    // The wizard finished: the parameters are its, and no file holds them yet.
    void wizard_finished() {
        source = ParamSource::Wizard;
        hcp_path.clear();
        unchecked = false;
    }

    // Whether there is a record to send: one loaded from a file or left by the wizard. Without either
    // the record is all zero, and sending it would wipe the card's screen parameters.
    bool has_record() const { return source != ParamSource::None; }

    // Whether closing the window must ask to save the parameters (IDS_MESSAGE_IS_SAVE_PARAM).
    bool should_ask_to_save() const { return source == ParamSource::Wizard && changed; }
};

}  // namespace screenconfig
