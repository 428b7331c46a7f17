// A module's screen parameters (the ScreenParams record of a ".hcp" file, or the copy a card reports in
// its information block) as a person reads them: one line per setting, label and value in the chosen
// language. GUI-free; texts by key from the current language file. Threading: any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/card_info.h"
#include "screenconfig/screen_params.h"

namespace report {

struct Setting {
    std::string label;
    std::string value;
};

// The record the card reports: its information block holds the record's bytes 8..59.
screenconfig::ScreenParams params_from_card(
    const std::array<std::uint8_t, card_info::kScreenParamsSize>& bytes);

// The colour order's letters ("RGB", "BGR", ...), empty for a code outside 0..5.
std::string colour_order_name(std::uint32_t code);
// The scan count a scan code stands for (0 -> 16, 1 -> 8, 2 -> 4, 3 -> 2, 4 -> 1); 0 for any other code.
std::uint32_t scan_count_of(std::uint32_t scan_code);
// The 14-character row-decode order the two decode words hold: decodeWordB's 6 hexadecimal digits, then
// decodeWordA's 8.
std::string decode_order_text(const screenconfig::ScreenParams& params);

// HUB board type, row decoder, data and OE polarity, colour order, scan, row group and interval,
// row-decode order and its class, the column and row arrangement codes.
std::vector<Setting> module_settings(const screenconfig::ScreenParams& params);

}  // namespace report
