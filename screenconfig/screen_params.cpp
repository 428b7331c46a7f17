#include "screenconfig/screen_params.h"

#include <algorithm>

#include "common/bytes.h"
#include "common/row_decode.h"

namespace screenconfig {

using bytes::get_u32le;
using bytes::put_u32le;
using bytes::word_sum;

ScreenParams::ScreenParams(std::span<const std::uint8_t, kParamsSize> bytes) {
    std::copy(bytes.begin(), bytes.end(), bytes_.begin());
}

std::uint32_t ScreenParams::get(ParamsField field) const {
    return get_u32le(bytes_.data() + static_cast<std::size_t>(field));
}

void ScreenParams::set(ParamsField field, std::uint32_t value) {
    put_u32le(bytes_.data() + static_cast<std::size_t>(field), value);
}

std::uint32_t ScreenParams::computed_sum() const {
    return word_sum(std::span<const std::uint8_t>(bytes_).first(4 * kParamsSummedWords));
}

std::optional<std::uint32_t> scan_code_for(std::uint32_t scan_count) {
    switch (scan_count) {
        case 1:
            return 4;
        case 2:
            return 3;
        case 4:
            return 2;
        case 8:
            return 1;
        case 16:
            return 0;
        default:
            return std::nullopt;
    }
}

void fill_params(const ScreenConfig& working, ScreenParams& params) {
    params.set(ParamsField::magic, kLedMarker);
    params.set(ParamsField::hubType, working.get(ConfigField::hubType));
    params.set(ParamsField::decodeType, working.get(ConfigField::decodeType));
    params.set(ParamsField::dataPolarity, working.get(ConfigField::dataPolarity));
    params.set(ParamsField::oePolarity, working.get(ConfigField::oePolarity));
    params.set(ParamsField::colourOrder, working.get(ConfigField::colourOrder));
    params.set(ParamsField::lineGroup, working.get(ConfigField::lineGroup));
    params.set(ParamsField::lineInterval, working.get(ConfigField::lineInterval));
    if (const auto code = scan_code_for(working.get(ConfigField::scanCount))) {
        params.set(ParamsField::scanCode, *code);
    }
    params.set(ParamsField::endMarker, kEndMarker);
}

namespace {

int decode_digit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'd') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'D') return ch - 'A' + 10;
    return -1;
}

}  // namespace

bool is_decode_order_text(std::string_view text) {
    return text.size() == 14 &&
           std::all_of(text.begin(), text.end(), [](char ch) { return decode_digit(ch) >= 0; });
}

bool set_decode_order(ScreenParams& params, std::uint32_t order_class, std::string_view text) {
    if (!is_decode_order_text(text)) return false;
    params.set(ParamsField::decodeOrder, order_class);
    const row_decode::Words words = row_decode::words_of(text);
    params.set(ParamsField::decodeWordA, words.a);
    params.set(ParamsField::decodeWordB, words.b);
    return true;
}

}  // namespace screenconfig
