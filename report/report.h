// The commissioning report: what an installer keeps for the records of one card, and its rendering as
// an HTML page in the chosen language. GUI-free: the content is plain values, the page a string; the
// pictures are named by path and the caller says how a page refers to each (report_writer.h).
// Threading: any thread (texts by key from the current language file).
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/card_info.h"
#include "report/send_log.h"
#include "screenconfig/screen_params.h"

namespace report {

// Where the module's settings in the report come from.
enum class ModuleSource {
    Card,    // the copy the card reported in its information block
    Record,  // the screen parameter record of this session (the wizard's, or a loaded ".hcp" file)
};

// A special-screen layout sent in this session: its description (sizes, ports, method) and the picture
// of its wiring.
struct LayoutNote {
    std::string description;
    std::optional<std::filesystem::path> preview;
};

struct CommissioningReport {
    std::string site;        // as typed
    std::string technician;  // as typed
    std::chrono::system_clock::time_point created;
    card_info::CardInfo card;  // as the card sent it when the report was made
    std::string card_address;  // where it was reached
    screenconfig::ScreenParams module;
    ModuleSource module_source = ModuleSource::Card;
    std::string record_name;                            // Record: the ".hcp" file's name, when it has one
    std::optional<std::string> profile_name;            // the module profile the settings were taken from
    std::optional<std::filesystem::path> grid_picture;  // the traced grid ("ncp.jpg")
    std::optional<LayoutNote> layout;
    // The sends of this session that went to the card; none when the session does not keep them (the
    // command line), and the report then leaves the section out rather than claim nothing was sent.
    std::optional<std::vector<SendRecord>> sends;
};

// How a page refers to a picture file: the text for the image's "src" attribute, or empty when the
// picture cannot be read (the page then says so in its place).
using PictureSource = std::function<std::string(const std::filesystem::path&)>;

// The page: title, site, technician, date and time, the card, the module's settings in words, the
// traced grid, the special-screen layout and the sends with their outcomes. Typed and card texts are
// escaped.
std::string render_html(const CommissioningReport& report, const PictureSource& pictures);

// A send's outcome in words: "done", "no answer within 3 s", ...
std::string outcome_text(const SendRecord& record);

// `text` with &, <, >, " and ' written as entities.
std::string escape_html(const std::string& text);

}  // namespace report
