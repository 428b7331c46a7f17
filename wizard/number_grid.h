// The numbers a wizard grid holds: one fixed header row and column (row 0 and column 0) and ordinary
// cells that are empty, numbered by a click, or cleared again. The tracing and line-check steps keep
// their grids here and the panels draw them into a grid control. GUI-free.
// Threading: UI thread (plain values).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace wizard {

class NumberGrid {
  public:
    // How an ordinary cell looks: fresh (white, red text), numbered (0xCCCCFF, black text) or cleared
    // by a step back (white, black text).
    enum class Look { Fresh, Numbered, Cleared };

    // `rows` and `columns` count the header row and column.
    void reset(int rows, int columns);
    int rows() const { return rows_; }
    int columns() const { return columns_; }
    bool ordinary(int row, int column) const {
        return row >= 1 && column >= 1 && row < rows_ && column < columns_;
    }

    // Nothing for an empty cell or one outside the ordinary cells.
    std::optional<std::uint32_t> number(int row, int column) const;
    Look look(int row, int column) const;
    void set(int row, int column, std::uint32_t number);
    // Empties every ordinary cell holding `number`; returns how many.
    int clear_number(std::uint32_t number);

  private:
    struct Cell {
        std::optional<std::uint32_t> number;
        Look look = Look::Fresh;
    };
    Cell* cell(int row, int column);
    const Cell* cell(int row, int column) const;

    int rows_ = 0;
    int columns_ = 0;
    std::vector<Cell> cells_;
};

}  // namespace wizard
