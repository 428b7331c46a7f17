#include "mainwindow/display_params.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace display_params {

namespace {

std::string_view name_key_of(SubCode sub) {
    switch (sub) {
        case SubCode::Brightness:
            return "IDS_MESSAGE_COMMAND_BRIGHTNESS";
        case SubCode::Gamma:
            return "IDS_MESSAGE_COMMAND_GAMMA";
        case SubCode::GrayLevel:
            return "IDS_MESSAGE_COMMAND_GRAY";
        case SubCode::OePolarity:
            return "IDS_MESSAGE_COMMAND_OE";
        case SubCode::ScanClock:
            return "IDS_MESSAGE_COMMAND_SCAN_CLOCK";
        case SubCode::DutyCycle:
            return "IDS_MESSAGE_COMMAND_DUTY";
        case SubCode::DataPolarity:
            return "IDS_MESSAGE_COMMAND_DATA_POLARITY";
        case SubCode::HorizontalShift:
            return "IDS_MESSAGE_COMMAND_SHIFT";
        default:
            return {};
    }
}

DisplayCommand make(SubCode sub, std::initializer_list<std::uint32_t> values, std::string_view failure_text,
                    bool sets_changed) {
    DisplayCommand command;
    command.name_key = name_key_of(sub);
    command.block = screen_control::encode(screen_control::make(sub, values));
    command.read_answer = !failure_text.empty();
    command.failure_text = failure_text;
    command.sets_changed = sets_changed;
    return command;
}

std::size_t row(int index, std::size_t rows) {
    return static_cast<std::size_t>(std::clamp(index, 0, static_cast<int>(rows) - 1));
}

}  // namespace

std::optional<int> gray_index_of(std::uint32_t gray_value) {
    for (std::size_t i = 0; i < kGrayRows.size(); ++i)
        if (kGrayRows[i].gray_value == gray_value) return static_cast<int>(i);
    return std::nullopt;
}

std::optional<int> scan_clock_index_of(std::uint32_t code) {
    for (std::size_t i = 0; i < kScanClocks.size(); ++i)
        if (kScanClocks[i].code == code) return static_cast<int>(i);
    return std::nullopt;
}

DisplayCommand brightness_command(int position) {
    const auto level = static_cast<std::uint32_t>(std::clamp(position, kBrightnessMin, kBrightnessMax));
    return make(SubCode::Brightness, {level}, {}, false);
}

DisplayCommand gamma_command(float red, float green, float blue) {
    return make(SubCode::Gamma,
                {std::bit_cast<std::uint32_t>(red), std::bit_cast<std::uint32_t>(green),
                 std::bit_cast<std::uint32_t>(blue)},
                {}, false);
}

DisplayCommand gray_level_command(int index) {
    const GrayRow& gray = kGrayRows[row(index, kGrayRows.size())];
    return make(SubCode::GrayLevel, {gray.gray_value, gray.refresh_code, gray.depth_code}, "error 666", true);
}

DisplayCommand oe_polarity_command(Polarity polarity) {
    return make(SubCode::OePolarity, {static_cast<std::uint32_t>(polarity)}, "error oe", false);
}

DisplayCommand scan_clock_command(int index) {
    return make(SubCode::ScanClock, {kScanClocks[row(index, kScanClocks.size())].code}, "error 111", true);
}

DisplayCommand duty_cycle_command(DutyCycle duty) {
    return make(SubCode::DutyCycle, {static_cast<std::uint32_t>(duty)},
                duty == DutyCycle::Half ? "error 888" : "error 777", true);
}

DisplayCommand data_polarity_command(Polarity polarity) {
    return make(SubCode::DataPolarity, {static_cast<std::uint32_t>(polarity)},
                polarity == Polarity::Positive ? "error RP" : "error rp", false);
}

DisplayCommand horizontal_shift_command(std::uint32_t value) {
    return make(SubCode::HorizontalShift, {value}, "error 002", true);
}

float gamma_of_position(int position) {
    // Divided, not multiplied by 0.1f: the quotient is the float nearest p / 10, the value typed as "0.p".
    return static_cast<float>(std::clamp(position, 0, kGammaPositionMax)) / 10.0f;
}

int gamma_position(float gamma) {
    if (!(gamma > 0.0f)) return 0;  // also NaN
    const float limit = static_cast<float>(kGammaPositionMax);
    return static_cast<int>(std::lround(std::min(gamma * 10.0f, limit)));
}

bool gamma_channels_equal(float red, float green, float blue) {
    return red == green && green == blue;
}

std::uint32_t horizontal_shift_value(std::int32_t a, std::int32_t b, std::uint32_t line_interval) {
    if (a == 0) return 0;
    // Computed in 64 bits so a huge b cannot overflow before the 32-bit wrap.
    const std::int64_t c = b <= 160 ? 160 : (static_cast<std::int64_t>(b) + 39) / 40 * 40;
    const std::uint32_t a4 = static_cast<std::uint32_t>(a) * 4u;
    const std::uint32_t rows = (line_interval + 1u) * static_cast<std::uint32_t>(c);
    return a4 - rows + 0xFFFEu;
}

void apply_to_report(card_info::CardInfo& info, const DisplayCommand& command) {
    const auto w = screen_control::decode(command.block);
    const std::uint32_t v = w[2];
    switch (static_cast<SubCode>(w[0])) {
        case SubCode::Brightness:
            info.brightness = v;
            break;
        case SubCode::Gamma:
            info.gamma_red = std::bit_cast<float>(v);
            info.gamma_green = std::bit_cast<float>(w[3]);
            info.gamma_blue = std::bit_cast<float>(w[4]);
            break;
        case SubCode::GrayLevel:
            info.gray_value = v;
            info.gray_refresh_code = w[3];
            info.gray_depth_code = w[4];
            break;
        case SubCode::OePolarity:
            info.oe_polarity = v;
            break;
        case SubCode::ScanClock:
            info.scan_clock_code = v;
            break;
        case SubCode::DutyCycle:
            info.duty_cycle = v;
            break;
        case SubCode::DataPolarity:
            info.data_polarity = v;
            break;
        case SubCode::HorizontalShift:
            info.horizontal_shift = v;
            break;
        default:  // the window sends no other sub-code
            break;
    }
}

}  // namespace display_params
