#include "wizard/number_grid.h"

#include <algorithm>

namespace wizard {

void NumberGrid::reset(int rows, int columns) {
    rows_ = std::max(0, rows);
    columns_ = std::max(0, columns);
    cells_.assign(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(columns_), Cell{});
}

NumberGrid::Cell* NumberGrid::cell(int row, int column) {
    if (!ordinary(row, column)) return nullptr;
    return &cells_[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) +
                   static_cast<std::size_t>(column)];
}

const NumberGrid::Cell* NumberGrid::cell(int row, int column) const {
    return const_cast<NumberGrid*>(this)->cell(row, column);
}

std::optional<std::uint32_t> NumberGrid::number(int row, int column) const {
    const Cell* c = cell(row, column);
    return c ? c->number : std::nullopt;
}

NumberGrid::Look NumberGrid::look(int row, int column) const {
    const Cell* c = cell(row, column);
    return c ? c->look : Look::Fresh;
}

void NumberGrid::set(int row, int column, std::uint32_t number) {
    if (Cell* c = cell(row, column)) *c = {number, Look::Numbered};
}

int NumberGrid::clear_number(std::uint32_t number) {
    int cleared = 0;
    for (auto& c : cells_)
        if (c.number == number) {
            c = {std::nullopt, Look::Cleared};
            ++cleared;
        }
    return cleared;
}

}  // namespace wizard
