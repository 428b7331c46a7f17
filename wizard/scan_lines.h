// Step 5 of the smart-setup wizard (ScanLinesPage): how many rows the row pattern lights, and from that
// and the scan the line interval, the line group and the main window's row values; then the four scan
// settings sent to the card on one connection. GUI-free.
// Threading: UI thread (plain values).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "cardlink/card_exchange.h"
#include "screenconfig/working_set.h"
#include "wizard/outcome.h"

namespace wizard {

// Sub-command 20's code for a scan: 1 -> 4, 2 -> 3, 4 -> 2, 8 -> 1, 16 -> 0, any other -> 0.
std::uint32_t scan_code(std::uint32_t scan);

class ScanLines {
  public:
    int rows_lit_index = 0;  // 0: IDS_MESSAGE_DUDO_PLEASE_SEL, then "1", "2", "4", "8", "16"
    int rows_between_index =
        0;  // 0: IDS_MESSAGE_DUDO_PLEASE_SEL, then IDS_MESSAGE_STEP6_3, "1", "3", "7", "15"

    static constexpr std::array<std::string_view, 5> kRowsLit = {"1", "2", "4", "8", "16"};
    static constexpr std::array<std::string_view, 4> kRowsBetween = {"1", "3", "7", "15"};

    // Lit rows minus one: 0, 1, 3, 7 or 15; 1 when nothing usable is chosen. Handed to the trace step.
    std::uint32_t lit_rows_minus_one() const;

    static Block row_pattern();

    // Next, before the card: the checks and the writes. When `outcome` refuses, nothing is sent;
    // otherwise `blocks` go to the card on one connection.
    struct Plan {
        Outcome outcome;
        std::vector<Block> blocks;
    };
    Plan accept(screenconfig::WorkingSet& working) const;
    static constexpr std::array<std::string_view, 4> kFailures = {"error 88!", "error 6", "error 4",
                                                                  "error 33"};
    // Next, after the card: accepted exactly when the row-decode order was taken.
    static Outcome finish(const cardlink::SequenceResult& result);
};

}  // namespace wizard
