#include "common/screen_control.h"

#include <algorithm>

#include "common/frame.h"

namespace screen_control {
namespace {

Words with(std::initializer_list<std::uint32_t> head, std::initializer_list<std::uint32_t> values) {
    Words w{};
    std::size_t at = 0;
    for (const std::uint32_t v : head) w[at++] = v;
    for (const std::uint32_t v : values) {
        if (at == kWords) break;
        w[at++] = v;
    }
    return w;
}

constexpr std::uint32_t code(auto e) {
    return static_cast<std::uint32_t>(e);
}

}  // namespace

Words make(Sub sub, std::initializer_list<std::uint32_t> values) {
    return with({code(sub), 0}, values);
}

Words make_test(TestOp op, std::initializer_list<std::uint32_t> values) {
    return with({code(Sub::Test), code(op)}, values);
}

Words make_smart(SmartStep step, std::initializer_list<std::uint32_t> values) {
    return with({code(Sub::Test), code(TestOp::SmartSetup), code(step)}, values);
}

std::array<std::uint8_t, kSize> encode(const Words& words) {
    std::array<std::uint8_t, kSize> out{};
    for (std::size_t i = 0; i < kWords; ++i) frame::put_u32le(out.data() + 4 * i, words[i]);
    return out;
}

Words decode(std::span<const std::uint8_t> data) {
    Words w{};
    const std::size_t n = std::min(kWords, data.size() / 4);
    for (std::size_t i = 0; i < n; ++i) w[i] = frame::get_u32le(data.data() + 4 * i);
    return w;
}

bool answered(const Words& w) {
    switch (static_cast<Sub>(w[0])) {
        case Sub::Test:
            return w[1] == code(TestOp::SmartSetup) && w[2] != code(SmartStep::TracePoint);
        case Sub::GrayLevel:
        case Sub::OePolarity:
        case Sub::ScanClock:
        case Sub::DutyCycle:
        case Sub::WizardHiddenControl:
        case Sub::DataPolarity:
        case Sub::LineGroup:
        case Sub::LineInterval:
        case Sub::DecoderType:
        case Sub::LitPoint:
        case Sub::HorizontalShift:
        case Sub::ScanCode:
        case Sub::DecodeOrderWords:
        case Sub::HubType:
        case Sub::DecodeOrderClass:
            return true;
        case Sub::Brightness:
        case Sub::Gamma:
        case Sub::FactoryRestore:
        case Sub::ApplyConfig:
            return false;
    }
    return false;  // unknown sub-commands
}

}  // namespace screen_control
