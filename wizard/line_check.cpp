#include "wizard/line_check.h"

#include <algorithm>
#include <cstdio>

namespace wizard {

using screenconfig::ConfigField;
using screenconfig::ParamsField;

namespace {

std::string hex_digits(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

constexpr std::uint32_t kRowFlagsShift = 10;
constexpr std::uint32_t kRowFlagsMask = 0xFu << kRowFlagsShift;

}  // namespace

int arrangement_code(std::string_view order, Messages& messages) {
    const std::size_t n = order.size();
    if (n != 2 && n != 4 && n != 8 && n != 16) return 0;
    for (std::size_t v = 0; v < n; ++v) {
        bool fits = true;
        for (std::size_t i = 0; i < n && fits; ++i) fits = order[i] == "0123456789abcdef"[(n - 1 - i) ^ v];
        if (fits) return static_cast<int>(v);
    }
    messages.emplace_back("IDS_MESSAGE_NOT_SUPPORT_THIS");
    return -1;
}

Block LineCheck::column_point(std::uint32_t n) {
    return screen_control::make_smart(screen_control::SmartStep::TracePoint, {1024 - n, 0, 1});
}

Block LineCheck::row_point(std::uint32_t n) {
    return screen_control::make_smart(screen_control::SmartStep::TracePoint, {1023, n - 1, 1});
}

LineCheck::Actions LineCheck::lay_out_columns(screenconfig::ScreenParams& params, std::uint32_t module_width,
                                              std::uint32_t scan_count) {
    params.set(ParamsField::pointFlags, 0);
    row_count_ = scan_count;
    const int used = static_cast<int>(std::min<std::uint32_t>(module_width, kMaxGridCells));
    columns_.reset(2, used + 1);
    phase_ = 1;
    x_ = 1;
    Actions actions;
    // A new walk: until its rows are traced too, Finish would save flags that are not yet known.
    actions.finish = false;
    actions.points.push_back(column_point(x_));
    x_ = 2;
    auto rows = lay_out_rows(false);
    actions.points.insert(actions.points.end(), rows.points.begin(), rows.points.end());
    return actions;
}

LineCheck::Actions LineCheck::lay_out_rows(bool start) {
    const int used = static_cast<int>(std::min<std::uint32_t>(row_count_, kMaxGridCells));
    rows_.reset(used + 1, 2);
    y_ = 1;
    Actions actions;
    if (start) {
        actions.finish = false;
        phase_ = 2;
        actions.points.push_back(row_point(y_));
        y_ = 2;
    }
    return actions;
}

LineCheck::Actions LineCheck::column_clicked(int row, int column, screenconfig::ScreenParams& params) {
    Actions actions;
    const auto last = static_cast<std::uint32_t>(columns_.columns());  // W' + 1
    // Once the column walk is over its grid only shows the result: a click there would light a column
    // point while the row walk expects row points.
    if (phase_ != 1 || x_ > last) return actions;
    if (!columns_.ordinary(row, column) || columns_.number(row, column)) return actions;
    columns_.set(row, column, x_ - 1);
    actions.points.push_back(column_point(x_));
    ++x_;
    if (x_ <= last) return actions;

    x_ = 1;
    actions.show_rows = true;
    phase_ = 2;
    std::string order;
    for (int c = 1; c < columns_.columns(); ++c)
        order += hex_digits(columns_.number(1, c).value_or(0) - 1);  // an empty cell counts as 0
    const int code = arrangement_code(order, actions.messages);
    if (code != -1)
        params.set(ParamsField::pointFlags,
                   params.get(ParamsField::pointFlags) | static_cast<std::uint32_t>(code));
    if (y_ <= static_cast<std::uint32_t>(rows_.rows())) {
        actions.points.push_back(row_point(y_));
        ++y_;
    }
    return actions;
}

LineCheck::Actions LineCheck::row_clicked(int row, int column, screenconfig::ScreenParams& params,
                                          const screenconfig::ScreenConfig& header) {
    Actions actions;
    const auto last = static_cast<std::uint32_t>(rows_.rows());  // S' + 1
    if (phase_ != 2 || y_ > last) return actions;
    if (!rows_.ordinary(row, column) || rows_.number(row, column)) return actions;
    rows_.set(row, column, y_ - 1);
    actions.points.push_back(row_point(y_));
    ++y_;
    if (y_ <= last) return actions;

    y_ = 1;
    actions.finish = true;
    // The digit of the last row comes first.
    std::string order;
    for (int r = 1; r < rows_.rows(); ++r) order = hex_digits(rows_.number(r, 1).value_or(0) - 1) + order;
    const int code = arrangement_code(order, actions.messages);
    if (code == -1) {
        actions.finish = false;
        return actions;
    }
    // A repeated row walk replaces the row code of the one before.
    const std::uint32_t flags = (params.get(ParamsField::pointFlags) & ~kRowFlagsMask) |
                                (static_cast<std::uint32_t>(code) << kRowFlagsShift);
    params.set(ParamsField::pointFlags, flags);
    actions.flags = screen_control::make(screen_control::Sub::LitPoint, {flags});
    actions.test_line = screen_control::make_smart(
        screen_control::SmartStep::TestLine,
        {header.get(ConfigField::moduleWidthLimited), header.get(ConfigField::moduleHeightLimited)});
    return actions;
}

}  // namespace wizard
