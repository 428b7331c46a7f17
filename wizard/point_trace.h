// Step 6 of the smart-setup wizard (PointTracePage): how the module's rows and data lines are ordered.
// Either the technician tries the standard row-decode orders for the module's line group and scan until
// the card's line-cross check shows one horizontal and one vertical line (list mode), or the card lights
// one point after another and the technician clicks, in a grid of the module's pixels, where each
// appears (grid mode); the numbered grid is then saved as the picture "ncp.jpg". GUI-free: each
// operation returns what the panel is to send and show.
// Threading: UI thread (plain values).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/row_decode.h"
#include "screenconfig/working_set.h"
#include "wizard/number_grid.h"
#include "wizard/outcome.h"

namespace wizard {

// Fills the working ScreenParams as a list choice of (`order`, `order_class`) does: the header's
// values, the scan code (kept when the scan has none), the class and the two decode words (both 0 for
// the empty order). pointFlags is not touched.
void fill_decode_choice(const screenconfig::ScreenConfig& header, screenconfig::ScreenParams& params,
                        std::string_view order, std::uint32_t order_class);

// Finish: a record that no list choice ever filled (no "LED" marker) is filled from the header with
// the default order "dcba9876543210", class 0, so that what is saved and sent is a valid record.
// Returns whether it had to be filled.
bool fill_unfilled_record(screenconfig::WorkingSet& working);

class PointTrace {
  public:
    enum class Mode { List, Grid };

    // Where the module is: taken on entering the step.
    struct Module {
        std::uint32_t width = 0;   // W, at most 32
        std::uint32_t height = 0;  // H, at most 16 (the grid may take more rows: grid_rows)
        std::uint32_t scan = 0;    // scanCount
        std::uint32_t line_group = 0;
        std::uint32_t lit_rows_minus_one = 1;  // m, from step 5
    };

    // The grid's rows: the module's height limited to 16, or the whole first band when the scan is
    // taller (32 rows of a 1/32 module), so that every point of the band the card lights has its cell
    // and the band count N = rows / scan reaches 1. Up to the tallest scan step 1 accepts.
    static constexpr std::uint32_t kMaxScan = 32;
    static std::uint32_t grid_rows(const Module& module);

    // Entering the step (and Reset, which keeps the list): the grid laid out empty, P = C = 1, and the
    // block that lights point 1. Nothing to light when the module has no width: W = 0 would make every
    // point number divide by zero, so tracing stays off (tracing_active() is false) until step 1 gives
    // a width.
    std::optional<Block> lay_out(const Module& module);
    // The standard list for the module (filled on entering the step): its entries' language keys.
    std::span<const row_decode::Entry> list() const;

    // A list choice: fills the working record and returns the six blocks to send on one connection.
    struct Choice {
        std::string number_text;  // shown in edit 1001: index + 1
        std::vector<Block> blocks;
    };
    Choice choose(int index, screenconfig::WorkingSet& working);
    static constexpr std::string_view kChoiceNoConnection = "connect error!";
    static constexpr std::array<std::string_view, 6> kChoiceFailures = {"error 6", "error 5", "error 4",
                                                                        "error 3", "error 2", "error 1"};

    // The grid radio chosen: the three blocks of the default order on one connection. Then, once they
    // went out (the connection opened), start_tracing() gives the block that lights point 1.
    static std::vector<Block> grid_mode_blocks();
    static constexpr std::string_view kGridNoConnection = "error 11";
    static constexpr std::array<std::string_view, 3> kGridFailures = {"error 22", "error 33", "error 2"};
    std::optional<Block> start_tracing();
    // Back from grid mode to the list: the line interval of step 5 again, which grid mode set to 0, so
    // that the card takes step 7's points as places on the module, not as bits along a chain.
    static Block list_mode_block(const screenconfig::ScreenConfig& header);
    static constexpr std::string_view kListModeFailure = "error 4";

    // A grid cell clicked. `light` (when set) is sent on its own connection; if it cannot be, the panel
    // shows IDS_MESSAGE_CARD_LINK_ERROR and calls light_failed(). When `save_picture` is set, the panel
    // then saves the grid's picture (cells rectangle `picture_columns` x `picture_rows` cells) as
    // "ncp.jpg" and shows IDS_MESSAGE_DUDO_POINT_LINE_OVER.
    struct Click {
        Messages messages;
        bool numbered = false;
        std::optional<Block> light;
        bool save_picture = false;
        int picture_columns = 0;
        int picture_rows = 0;
    };
    Click clicked(int row, int column, screenconfig::WorkingSet& working);
    void light_failed();

    // "回退": the block that switches point P off. When it went out, back_done() steps back and clears
    // the cells of the number dropped.
    std::optional<Block> back_block();
    void back_done(std::uint32_t scan);

    Block point_block(std::uint32_t point, bool on) const;

    Mode mode = Mode::List;
    std::string chosen;  // edit 1001
    const NumberGrid& grid() const { return grid_; }
    bool tracing_active() const { return active_; }
    std::uint32_t point() const { return p_; }
    std::uint32_t clicks() const { return c_; }
    std::uint32_t bands() const { return n_; }
    const Module& module() const { return module_; }

  private:
    Module module_;
    NumberGrid grid_;
    bool active_ = false;
    std::uint32_t p_ = 1;
    std::uint32_t c_ = 1;
    std::uint32_t n_ = 0;
    std::uint32_t undo_p_ = 1;  // P after a failed light
    std::uint32_t back_p_ = 0;  // the point Back switches off
};

}  // namespace wizard
