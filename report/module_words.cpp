#include "report/module_words.h"

#include <cstdio>

#include "platform/localisation.h"

namespace report {
namespace {

using screenconfig::ParamsField;

std::string fill(std::string text, const std::string& value) {
    for (auto at = text.find("%1"); at != std::string::npos; at = text.find("%1", at + value.size()))
        text.replace(at, 2, value);
    return text;
}

std::string text(const char* key) {
    return localisation::lookup(key);
}

}  // namespace

screenconfig::ScreenParams params_from_card(
    const std::array<std::uint8_t, card_info::kScreenParamsSize>& bytes) {
    screenconfig::ScreenParams params;
    std::copy(bytes.begin(), bytes.end(),
              params.bytes().begin() + static_cast<std::ptrdiff_t>(ParamsField::hubType));
    static constexpr std::uint8_t kLed[4] = {'L', 'E', 'D', 0};
    static constexpr std::uint8_t kEnd[4] = {'E', 'N', 'D', 0};
    std::copy(std::begin(kLed), std::end(kLed), params.bytes().begin());
    std::copy(std::begin(kEnd), std::end(kEnd),
              params.bytes().begin() + static_cast<std::ptrdiff_t>(ParamsField::endMarker));
    params.seal();
    return params;
}

std::string colour_order_name(std::uint32_t code) {
    static constexpr const char* kNames[] = {"RGB", "BGR", "GRB", "GBR", "BRG", "RBG"};
    return code < std::size(kNames) ? kNames[code] : "";
}

std::uint32_t scan_count_of(std::uint32_t scan_code) {
    for (std::uint32_t count : {1u, 2u, 4u, 8u, 16u})
        if (screenconfig::scan_code_for(count) == scan_code) return count;
    return 0;
}

std::string decode_order_text(const screenconfig::ScreenParams& params) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%06x%08x", params.get(ParamsField::decodeWordB) & 0xFFFFFFu,
                  params.get(ParamsField::decodeWordA));
    return digits;
}

std::vector<Setting> module_settings(const screenconfig::ScreenParams& params) {
    std::vector<Setting> out;
    const auto number = [](std::uint32_t v) { return std::to_string(v); };

    out.push_back({text("IDS_MESSAGE_REPORT_HUB"), number(params.get(ParamsField::hubType))});

    static constexpr const char* kDecoders[] = {"IDS_MESSAGE_DUDO_YIMA_TYPE1", "IDS_MESSAGE_DUDO_YIMA_TYPE2",
                                                "IDS_MESSAGE_DUDO_YIMA_TYPE3", "IDS_MESSAGE_DUDO_YIMA_TYPE4"};
    const std::uint32_t decoder = params.get(ParamsField::decodeType);
    out.push_back({text("IDS_MESSAGE_REPORT_DECODER"),
                   decoder < std::size(kDecoders)
                       ? text(kDecoders[decoder])
                       : fill(text("IDS_MESSAGE_REPORT_UNKNOWN_CODE"), number(decoder))});

    out.push_back(
        {text("IDS_MESSAGE_REPORT_DATA_POLARITY"), fill(text("IDS_MESSAGE_REPORT_DATA_POLARITY_VALUE"),
                                                        number(params.get(ParamsField::dataPolarity)))});
    out.push_back(
        {text("IDS_MESSAGE_REPORT_OE_POLARITY"),
         fill(text("IDS_MESSAGE_REPORT_OE_POLARITY_VALUE"), number(params.get(ParamsField::oePolarity)))});

    const std::uint32_t colour = params.get(ParamsField::colourOrder);
    const std::string colour_name = colour_order_name(colour);
    out.push_back(
        {text("IDS_MESSAGE_REPORT_COLOUR_ORDER"),
         colour_name.empty() ? fill(text("IDS_MESSAGE_REPORT_UNKNOWN_CODE"), number(colour)) : colour_name});

    const std::uint32_t scan_code = params.get(ParamsField::scanCode);
    const std::uint32_t scan = scan_count_of(scan_code);
    out.push_back({text("IDS_MESSAGE_REPORT_SCAN"),
                   scan != 0 ? fill(text("IDS_MESSAGE_REPORT_SCAN_VALUE"), number(scan))
                             : fill(text("IDS_MESSAGE_REPORT_UNKNOWN_CODE"), number(scan_code))});

    out.push_back({text("IDS_MESSAGE_REPORT_LINE_GROUP"), number(params.get(ParamsField::lineGroup))});
    out.push_back({text("IDS_MESSAGE_REPORT_LINE_INTERVAL"), number(params.get(ParamsField::lineInterval))});
    out.push_back(
        {text("IDS_MESSAGE_REPORT_DECODE_ORDER"),
         decode_order_text(params) + " (" +
             fill(text("IDS_MESSAGE_REPORT_DECODE_CLASS"), number(params.get(ParamsField::decodeOrder))) +
             ")"});

    // The wizard's step 7 keeps the column code in bits 0..3 and the row code in bits 10..13.
    const std::uint32_t flags = params.get(ParamsField::pointFlags);
    std::string arrangement = text("IDS_MESSAGE_REPORT_ARRANGEMENT_VALUE");
    arrangement = fill(arrangement, number(flags & 0xFu));
    const auto at = arrangement.find("%2");
    if (at != std::string::npos) arrangement.replace(at, 2, number((flags >> 10) & 0xFu));
    out.push_back({text("IDS_MESSAGE_REPORT_ARRANGEMENT"), arrangement});
    return out;
}

}  // namespace report
