// Special screen layouts: the long strip, the vertical (portrait) screen and the screen direction, as
// pure functions over the mapping table, and the wiring plan their previews draw. The tables, rules and
// refusals are in docs/special-screens.md.
//
// Every layout is checked before anything is computed: the technician's inputs in the order the
// dialogs check them, then the table's bounds (512 rows of 1024 entries). A layout that would read or
// write outside the table, or that the card could not use, is refused with a named reason and never
// computed in part.
//
// Threading: pure functions and values; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "screenconfig/screen_config.h"

namespace screenconfig {

// The long strip's inputs: screen width and height, module width and height, in pixels, and `ports`, the
// number of HUB ports that together carry one row of modules (nothing when the field is empty).
struct LongStripInput {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t module_width = 0;
    std::uint32_t module_height = 0;
    std::optional<std::uint32_t> ports;
};

// How the cable runs through a vertical screen's modules.
enum class VerticalMethod : int {
    None = 0,          // no method ticked
    CabinetWidth = 1,  // "绕线方法一:箱体内以箱体宽绕线": down one module column, up the next
    UnitBoard = 2,     // "接线方法二:箱体内以单元板绕线": a port's band cut into pieces stacked
    CascadedCabinets = 3,  // "接线方法三:箱体间级联绕线": as 2, with bands of whole port groups
};

struct VerticalInput {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t module_width = 0;
    std::uint32_t module_height = 0;
    std::optional<std::uint32_t> retrace;  // module rows chained on one HUB port; nothing when empty
    VerticalMethod method = VerticalMethod::CabinetWidth;
    bool bottom_to_top = false;
};

// The directions of the combo "屏体方向", by list index.
enum class Direction : int {
    Normal = 0,
    Turn270 = 1,
    Turn90 = 2,
    Turn180 = 3,
    MirrorHorizontal = 4,
    MirrorVertical = 5,
    Turn270Mirror = 6,
    Turn90Mirror = 7,
    Turn180Mirror = 8,
};
inline constexpr int kDirectionCount = 9;

// The language key of each direction, by index.
const char* direction_key(Direction direction);

// Why a layout is refused.
enum class LayoutProblem {
    ModuleWidthZero,             // IDS_MESSAGE_SPECIAL_TIP1
    ModuleWidthNotMultipleOf4,   // IDS_MESSAGE_STEP1_3
    ModuleHeightZero,            // IDS_MESSAGE_SPECIAL_TIP2
    ModuleHeightNotMultipleOf4,  // IDS_MESSAGE_STEP1_1
    CountTooSmall,               // IDS_MESSAGE_SPECIAL_TIP3: ports or module rows empty or not above 1
    RetraceTooLarge,             // "RetraceTimes too large": R x W > 1,024
    NoMethod,                    // "请选择绕线方法"
    MethodNotDrawn,  // "不支持方法：箱体间级联，请选择其他方法" (the preview of method 3)
    SegmentTooWide,  // "set error": a port's segment is wider than 1,024 pixels
    ScreenEmpty,     // IDS_MESSAGE_SPECIAL_NO_SIZE: width or height 0
    OutsideTable,    // IDS_MESSAGE_SPECIAL_OUTSIDE_TABLE: the layout leaves the table
};

// The input the dialog puts the focus on after a refusal.
enum class LayoutField { None, ModuleWidth, ModuleHeight, Count };

struct LayoutRefusal {
    LayoutProblem problem;
    LayoutField focus = LayoutField::None;
    // For OutsideTable: which limit was passed, in figures ("ports x height = 528 > 512 table rows").
    std::string detail;
    friend bool operator==(const LayoutRefusal&, const LayoutRefusal&) = default;
};

// The language key of a problem (IDS_MESSAGE_...), or the plain text the program shows for it as it
// stands ("RetraceTimes too large", "set error", the two method texts).
std::string problem_key(LayoutProblem problem);
bool problem_is_plain_text(LayoutProblem problem);

// What a check is for: the preview draws the wiring only; the send builds the table.
enum class LayoutAction { Preview, Send };

// The input checks in the dialogs' order, then (for a send) the table's bounds. Nothing when the layout
// may go ahead.
std::optional<LayoutRefusal> check_long_strip(const LongStripInput& input, LayoutAction action);
std::optional<LayoutRefusal> check_vertical(const VerticalInput& input, LayoutAction action);
std::optional<LayoutRefusal> check_direction(std::uint32_t width, std::uint32_t height, Direction direction);

// Builds the whole image (header and table; not finished) into `image`. On a refusal `image` is left as
// it was.
std::optional<LayoutRefusal> build_long_strip(const LongStripInput& input, ScreenConfig& image);
std::optional<LayoutRefusal> build_vertical(const VerticalInput& input, ScreenConfig& image);
std::optional<LayoutRefusal> build_direction(std::uint32_t width, std::uint32_t height, Direction direction,
                                             ScreenConfig& image);

// The table rearrangements on their own. Each reads the table as it was before the call and writes the
// result in place; entries no rule touches keep their value. The arguments are those the checks above
// let through: each returns false, changing nothing, when it would leave the table.
//
// Long strip: the table read as `tableHeight` rows of 1024 k entries, k = ceil(width / 1024); port p's
// band (rows p x height ..) at the right end of the wide rows, port 1's to its left, and so on.
bool arrange_long_strip(MappingMatrix& table, std::uint32_t width, std::uint32_t height,
                        std::uint32_t segment, std::uint32_t ports);
// A port's band of `band_height` rows, `retrace` screen widths long, cut into pieces stacked below one
// another (`groups` bands).
bool fold(MappingMatrix& table, std::uint32_t band_height, std::uint32_t retrace, std::uint32_t groups,
          std::uint32_t width, std::uint32_t height, bool bottom_to_top);
// The cable down one module column and up the next, `retrace` module rows per port.
bool serpentine(MappingMatrix& table, std::uint32_t width, std::uint32_t height, std::uint32_t module_width,
                std::uint32_t module_height, std::uint32_t retrace, bool bottom_to_top);
// Bands of `band_height` rows exchanged end for end over the screen area (rows inside a band keep their
// order).
bool bands_bottom_to_top(MappingMatrix& table, std::uint32_t width, std::uint32_t height,
                         std::uint32_t band_height);

enum class Transform { QuarterTurnA, QuarterTurnB, HalfTurn, MirrorHorizontal, MirrorVertical };
bool transform(MappingMatrix& table, Transform which, std::uint32_t width, std::uint32_t height);

// The segment width of a long strip: width / ports, raised to the next multiple of the module width.
std::uint32_t strip_segment(std::uint32_t width, std::uint32_t ports, std::uint32_t module_width);

// A wiring plan: the screen's modules as a grid (column 0 on the left, row 0 at the top) and, for each
// HUB port, the modules its cable passes through in order. Ports are numbered from 1, as labelled
// ("J1", "J2", ...).
struct ModuleCell {
    std::uint32_t column = 0;
    std::uint32_t row = 0;
    friend bool operator==(const ModuleCell&, const ModuleCell&) = default;
};
struct CableRun {
    std::uint32_t port = 0;
    std::vector<ModuleCell> modules;
};
struct WiringPlan {
    std::uint32_t columns = 0;
    std::uint32_t rows = 0;
    std::uint32_t module_width = 0;  // pixels, for the drawing's proportions
    std::uint32_t module_height = 0;
    std::vector<CableRun> runs;
};

// The plans of checked inputs (check_long_strip / check_vertical with LayoutAction::Preview). A vertical
// plan exists for methods 1 and 2 only.
WiringPlan long_strip_wiring(const LongStripInput& input);
std::optional<WiringPlan> vertical_wiring(const VerticalInput& input);

}  // namespace screenconfig
