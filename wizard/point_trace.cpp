#include "wizard/point_trace.h"

#include <algorithm>

#include "screenconfig/screen_params.h"

namespace wizard {

using screenconfig::ConfigField;
using screenconfig::ParamsField;

void fill_decode_choice(const screenconfig::ScreenConfig& header, screenconfig::ScreenParams& params,
                        std::string_view order, std::uint32_t order_class) {
    screenconfig::fill_params(header, params);
    const auto words = row_decode::words_of(order);
    params.set(ParamsField::decodeOrder, order_class);
    params.set(ParamsField::decodeWordA, words.a);
    params.set(ParamsField::decodeWordB, words.b);
}

bool fill_unfilled_record(screenconfig::WorkingSet& working) {
    if (working.params.get(ParamsField::magic) == screenconfig::kLedMarker) return false;
    fill_decode_choice(working.config, working.params, row_decode::kDefaultOrder, 0);
    return true;
}

std::uint32_t PointTrace::grid_rows(const Module& module) {
    return std::max(module.height, std::min(module.scan, kMaxScan));
}

std::optional<Block> PointTrace::lay_out(const Module& module) {
    module_ = module;
    const std::uint32_t rows = grid_rows(module);
    grid_.reset(static_cast<int>(rows) + 1, static_cast<int>(module.width) + 1);
    active_ = module.width > 0;
    p_ = 1;
    c_ = 1;
    n_ = module.scan > 0 ? rows / module.scan : 0;
    return start_tracing();
}

std::span<const row_decode::Entry> PointTrace::list() const {
    return row_decode::standard_list(module_.line_group, module_.scan);
}

PointTrace::Choice PointTrace::choose(int index, screenconfig::WorkingSet& working) {
    using screen_control::Sub;
    Choice choice;
    chosen = std::to_string(index + 1);
    choice.number_text = chosen;
    const auto& header = working.config;
    const auto entry =
        row_decode::entry_at(header.get(ConfigField::lineGroup), header.get(ConfigField::scanCount),
                             index < 0 ? SIZE_MAX : static_cast<std::size_t>(index));
    auto& params = working.params;
    fill_decode_choice(header, params, entry.order, entry.order_class);
    choice.blocks = {
        screen_control::make(Sub::LineGroup, {params.get(ParamsField::lineGroup)}),
        screen_control::make(Sub::ScanCode, {params.get(ParamsField::scanCode)}),
        screen_control::make(Sub::LineInterval, {params.get(ParamsField::lineInterval)}),
        screen_control::make(Sub::DecodeOrderWords,
                             {params.get(ParamsField::decodeWordA), params.get(ParamsField::decodeWordB)}),
        screen_control::make(Sub::DecodeOrderClass, {entry.order_class}),
        screen_control::make_smart(screen_control::SmartStep::LineCross),
    };
    return choice;
}

std::vector<Block> PointTrace::grid_mode_blocks() {
    using screen_control::Sub;
    const auto words = row_decode::words_of(row_decode::kDefaultOrder);
    return {
        screen_control::make(Sub::LineInterval, {0}),
        screen_control::make(Sub::DecodeOrderWords, {words.a, words.b}),
        screen_control::make(Sub::DecodeOrderClass, {0}),
    };
}

Block PointTrace::list_mode_block(const screenconfig::ScreenConfig& header) {
    return screen_control::make(screen_control::Sub::LineInterval, {header.get(ConfigField::lineInterval)});
}

std::optional<Block> PointTrace::start_tracing() {
    p_ = 1;
    c_ = 1;
    if (!active_) return std::nullopt;
    return point_block(p_, true);
}

Block PointTrace::point_block(std::uint32_t point, bool on) const {
    // Only called while tracing is active, so the module has a width and `chain` is not 0.
    const std::uint32_t chain = (module_.lit_rows_minus_one + 1) * module_.width;
    const std::uint32_t index = point - 1;
    return screen_control::make_smart(screen_control::SmartStep::TracePoint,
                                      {1023 - index % chain, index / chain, on ? 1u : 0u});
}

PointTrace::Click PointTrace::clicked(int row, int column, screenconfig::WorkingSet& working) {
    Click click;
    // Only the module's cells count: a header cell or a cell already numbered changes nothing.
    if (!active_ || !grid_.ordinary(row, column) || grid_.number(row, column)) return click;
    if (working.all_rows_lit != 1 && working.part_rows_lit != 1) {
        click.messages.emplace_back("IDS_MESSAGE_DUDO_DISABLE_DO_IT");
        return click;
    }
    grid_.set(row, column, c_);
    click.numbered = true;
    const std::uint64_t s = working.config.get(ConfigField::scanCount);
    const std::uint64_t w = module_.width;
    const std::uint64_t m1 = module_.lit_rows_minus_one + 1;
    ++c_;
    const bool all = working.all_rows_lit == 1;
    if (!all) working.rows_per_group = 0;
    if (c_ <= w * s) {
        ++p_;
        const std::uint64_t chain = all ? m1 * w : m1 * s * w;
        const std::uint64_t jump = all ? (s - 1) * m1 * w : m1 * s * w;
        if ((p_ - 1) % chain == 0 && p_ != 1) p_ = static_cast<std::uint32_t>(p_ + jump);
        undo_p_ = p_ - 1;  // the jump stays
    } else {
        const std::uint64_t k = c_ - w * s;
        undo_p_ = p_;
        p_ = static_cast<std::uint32_t>(m1 * w * s * k + 1);
        if (k == n_) {
            click.save_picture = true;
            click.picture_columns = grid_.columns() + (all ? 0 : 1);
            click.picture_rows = grid_.rows() + (all ? 0 : 1);
        }
    }
    click.light = point_block(p_, true);
    return click;
}

void PointTrace::light_failed() {
    p_ = undo_p_;
    if (c_ > 1) --c_;
}

std::optional<Block> PointTrace::back_block() {
    if (!active_) return std::nullopt;
    if (p_ <= 1) {
        p_ = 2;
        c_ = 2;
    }
    back_p_ = p_;
    return point_block(p_, false);
}

void PointTrace::back_done(std::uint32_t scan) {
    if (!active_) return;
    if (c_ > 0) --c_;
    const std::int64_t s = scan;
    const std::int64_t w = module_.width;
    const std::int64_t m1 = module_.lit_rows_minus_one + 1;
    std::int64_t p = p_;
    std::int64_t c = c_;
    if (c <= w * s) {
        --p;
        if (p % (m1 * w) == 0 && p != w) p -= (s - 1) * m1 * w;
        if (p < 1) {
            p = 1;
            c = 1;
        }
    } else {
        p = m1 * w * s * (c - w * s) + 1;
    }
    p_ = static_cast<std::uint32_t>(p);
    c_ = static_cast<std::uint32_t>(c);
    grid_.clear_number(c_);
}

}  // namespace wizard
