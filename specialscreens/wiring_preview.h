// The wiring preview of a special screen: the modules as a grid, each HUB port's cable through them in
// order with arrows, the order number in each module and the port's label ("J1", "J2", ...) at the
// cable's start, drawn into a picture, and the picture saved as JPEG, GIF or PNG.
//
// Qt Gui only (QPainter into a QImage; "Arial" is asked for and fontconfig substitutes it), so the
// command-line program draws the same pictures as the dialogs. A QGuiApplication must exist.
// JPEG and GIF are encoded by Kelvra (JPEG 4:4:4 at quality 100, GIF with one palette).
// Threading: the thread that owns the QGuiApplication.
#pragma once

#include <QImage>

#include <cstdint>
#include <filesystem>
#include <string>

#include "screenconfig/special_layout.h"

namespace specialscreens {

struct PreviewTexts {
    std::string caption;  // first line above the grid (sizes, ports)
    std::string legend;   // last line below the grid
};

// At most this many module columns and rows are drawn (2 pixels a module at the least).
inline constexpr std::uint32_t kMaxModules = 1900;
bool drawable(const screenconfig::WiringPlan& plan);

// The picture of `plan`. Module cells shrink for large screens so the picture stays below about 4,000
// pixels a side; below 20 pixels a cell the order numbers are left out. A null picture when the plan is
// not drawable().
QImage render_wiring(const screenconfig::WiringPlan& plan, const PreviewTexts& texts);

enum class PictureFormat { Jpeg, Gif, Png };

// The format a file name asks for by its extension (".jpg"/".jpeg", ".gif", else PNG).
PictureFormat format_for(const std::filesystem::path& file);

// Writes `picture` to `file` (replacing it). False when it could not be encoded or written.
bool save_picture(const QImage& picture, const std::filesystem::path& file, PictureFormat format);

// The fixed places of the previews in the per-user data folder: "bbb.jpg" (long strip), "bbb.gif"
// (vertical screen).
std::filesystem::path long_strip_preview_path();
std::filesystem::path vertical_preview_path();

}  // namespace specialscreens
