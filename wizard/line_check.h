// Step 7 of the smart-setup wizard (LineCheckPage): the order in which the module's columns and rows
// are driven. The card lights column points along the top row from the right edge, then row points down
// the rightmost column; the technician clicks, in a one-row column grid and then a one-column row grid,
// where each lit point appears. The order of the clicks gives two arrangement codes, kept in pointFlags
// of the working ScreenParams (bits 0..3 the columns, 10..13 the rows), which the card receives before it
// lights the test line. GUI-free: each operation returns what the panel is to do, in order.
// Threading: UI thread (plain values).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "screenconfig/screen_config.h"
#include "screenconfig/screen_params.h"
#include "wizard/number_grid.h"
#include "wizard/outcome.h"

namespace wizard {

// The arrangement code of an order text T of length n: for n = 2, 4, 8 or 16, the v in 0..n-1 for which
// character i of T is the lower-case hexadecimal digit of (n - 1 - i) XOR v. A text of one of those
// lengths that fits no v gives -1 and adds IDS_MESSAGE_NOT_SUPPORT_THIS to `messages`; any other length
// gives 0.
int arrangement_code(std::string_view order, Messages& messages);

inline constexpr int kMaxGridCells = 16;  // ordinary cells of either grid

class LineCheck {
  public:
    // What the panel does after an operation, in this order: show `messages`; show the row grid when
    // `show_rows`; enable or disable Finish when `finish` says so; light `points` one after another
    // (each on its own connection, no answer awaited); send `flags` (answer checked, "error 99"); light
    // `test_line` (no answer awaited) and then ask IDS_MESSAGE_STEP8_TEST_LINE_IS_RIGHT.
    struct Actions {
        Messages messages;
        bool show_rows = false;
        std::optional<bool> finish;
        std::vector<Block> points;
        std::optional<Block> flags;
        std::optional<Block> test_line;
    };

    static Block column_point(std::uint32_t n);  // word 3 = 1024 - n, word 4 = 0
    static Block row_point(std::uint32_t n);     // word 3 = 1023, word 4 = n - 1
    static constexpr std::string_view kFlagsFailure = "error 99";

    // Entering the step, and the column grid's "重新选择": pointFlags cleared, both grids laid out, the
    // column walk started at column point 1. `module_width` is step 1's width (at most 32).
    Actions lay_out_columns(screenconfig::ScreenParams& params, std::uint32_t module_width,
                            std::uint32_t scan_count);
    // The row grid's "重新选择" (`start`), or the row grid laid out beside the column walk.
    Actions lay_out_rows(bool start);

    Actions column_clicked(int row, int column, screenconfig::ScreenParams& params);
    Actions row_clicked(int row, int column, screenconfig::ScreenParams& params,
                        const screenconfig::ScreenConfig& header);

    const NumberGrid& column_grid() const { return columns_; }
    const NumberGrid& row_grid() const { return rows_; }
    int phase() const { return phase_; }
    std::uint32_t next_column() const { return x_; }
    std::uint32_t next_row() const { return y_; }

  private:
    NumberGrid columns_;
    NumberGrid rows_;
    int phase_ = 1;
    std::uint32_t x_ = 1;
    std::uint32_t y_ = 1;
    std::uint32_t row_count_ = 0;
};

}  // namespace wizard
