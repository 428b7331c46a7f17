#include "wizard/scan_lines.h"

#include "common/row_decode.h"
#include "screenconfig/screen_params.h"

namespace wizard {

using screenconfig::ConfigField;

std::uint32_t scan_code(std::uint32_t scan) {
    return screenconfig::scan_code_for(scan).value_or(0);  // a scan the card has no code for sends 0
}

std::uint32_t ScanLines::lit_rows_minus_one() const {
    static constexpr std::uint32_t kMinusOne[] = {0, 1, 3, 7, 15};
    return rows_lit_index >= 1 && rows_lit_index <= 5 ? kMinusOne[rows_lit_index - 1] : 1;
}

Block ScanLines::row_pattern() {
    return screen_control::make_smart(screen_control::SmartStep::RowPattern, {0});
}

ScanLines::Plan ScanLines::accept(screenconfig::WorkingSet& working) const {
    Plan plan;
    if (rows_lit_index <= 0) {
        plan.outcome.messages = {"IDS_MESSAGE_STEP6_1"};
        return plan;
    }
    if (rows_between_index <= 0) {
        plan.outcome.messages = {"IDS_MESSAGE_STEP6_2"};
        return plan;
    }
    auto& header = working.config;
    const std::uint32_t s = header.get(ConfigField::scanCount);
    const std::uint32_t m = lit_rows_minus_one();
    if (s == m + 1) {
        header.set(ConfigField::lineInterval, s - 1);
        working.all_rows_lit = 1;
        working.part_rows_lit = 0;
        header.set(ConfigField::lineGroup, 1);
    } else {
        header.set(ConfigField::lineInterval, m);
        working.all_rows_lit = 0;
        working.part_rows_lit = 1;
        working.rows_per_group = s / (m + 1);
    }
    const std::uint32_t interval = header.get(ConfigField::lineInterval);
    // Compared in 64 bits: a scan of 0 gives an interval whose successor would wrap to 0.
    if (std::uint64_t{s} < std::uint64_t{interval} + 1) {
        plan.outcome.messages = {"IDS_MESSAGE_DUDO_RESET_PARAM"};
        return plan;
    }
    const std::uint32_t group = s / (interval + 1);
    header.set(ConfigField::lineGroup, group);
    using screen_control::Sub;
    const auto default_order = row_decode::words_of(row_decode::kDefaultOrder);
    plan.outcome.accepted = true;
    plan.blocks = {
        screen_control::make(Sub::ScanCode, {scan_code(s)}),
        screen_control::make(Sub::LineGroup, {working.all_rows_lit == 1 ? s : group}),
        screen_control::make(Sub::LineInterval, {interval}),
        screen_control::make(Sub::DecodeOrderWords, {default_order.a, default_order.b}),
    };
    return plan;
}

Outcome ScanLines::finish(const cardlink::SequenceResult& result) {
    if (!result.connected) return {false, {"IDS_MESSAGE_CARD_LINK_ERROR"}};
    Outcome outcome;
    for (std::size_t i = 0; i < result.results.size() && i < kFailures.size(); ++i)
        if (!result.results[i].ok()) outcome.messages.emplace_back(kFailures[i]);
    outcome.accepted = result.results.size() == kFailures.size() && result.results.back().ok();
    return outcome;
}

}  // namespace wizard
