#include "wizard/alternating_step.h"

#include <utility>

namespace wizard {

namespace {

using screenconfig::ConfigField;

constexpr std::uint32_t kColourStates[] = {0x0000FF, 0x00FF00, 0xFF0000, 0};  // 0x00BBGGRR

}  // namespace

std::optional<std::uint32_t> colour_order_of(std::string_view letters) {
    static constexpr std::pair<std::string_view, std::uint32_t> kOrders[] = {
        {"RGB", 0}, {"BGR", 1}, {"GRB", 2}, {"GBR", 3}, {"BRG", 4},
        {"RBG", 5}, {"RG", 0},  {"GR", 2},  {"R", 0},   {"G", 2},
    };
    for (const auto& [text, order] : kOrders)
        if (text == letters) return order;
    return std::nullopt;
}

int AlternatingStep::start() {
    auto_change_ = true;
    shown_ = 0;
    next_ = 1;
    return 1;
}

int AlternatingStep::tick() {
    const int k = next_ + 1;
    shown_ = next_;
    next_ = (next_ + 1) % state_count();
    return k;
}

int AlternatingStep::radio_clicked(int k) {
    shown_ = k - 1;
    return k;
}

std::optional<int> AlternatingStep::auto_change_clicked(bool ticked) {
    if (!ticked) {
        auto_change_ = false;
        return std::nullopt;
    }
    return start();
}

Block AlternatingStep::block(int k) const {
    using screen_control::SmartStep;
    switch (kind_) {
        case Alternation::DataPolarity:
            return screen_control::make_smart(SmartStep::DataPolarityState, {k == 1 ? 1u : 0u});
        case Alternation::Oe:
            return screen_control::make_smart(SmartStep::OeState, {k == 1 ? 1u : 0u});
        case Alternation::Colour:
            break;
    }
    return screen_control::make_smart(SmartStep::Colour, {kColourStates[(k - 1) & 3]});
}

std::string AlternatingStep::failure_text(int k) const {
    switch (kind_) {
        case Alternation::DataPolarity:
            return "error RP";
        case Alternation::Oe:
            return "error OE";
        case Alternation::Colour:
            break;
    }
    return "error RGB" + std::to_string(k);
}

std::optional<std::string> AlternatingStep::answer_chosen(int list, int index) {
    if (list < 0 || list >= 4) return std::nullopt;
    answers[static_cast<std::size_t>(list)] = index;
    if (kind_ == Alternation::Colour && index == 5) return std::string("IDS_MESSAGE_STEP5_10");
    return std::nullopt;
}

AlternatingStep::Accept AlternatingStep::accept(screenconfig::ScreenConfig& header) {
    const int a = answers[0];
    switch (kind_) {
        case Alternation::DataPolarity:
            if (a == 0) return {{false, {"IDS_MESSAGE_STEP4_1"}}, std::nullopt};
            if (a == 1) {  // state 1 black: the module lights with word 3 = 0
                header.set(ConfigField::dataPolarity, 0);
                return {{true, {}}, radio_clicked(2)};
            }
            if (a == 2) {
                header.set(ConfigField::dataPolarity, 1);
                return {{true, {}}, radio_clicked(1)};
            }
            return {{true, {}}, std::nullopt};
        case Alternation::Oe:
            if (a == 0) return {{false, {"IDS_MESSAGE_STEP4_1"}}, std::nullopt};
            if (a == 1) {  // state 1 brighter
                header.set(ConfigField::oePolarity, 1);
                return {{true, {}}, radio_clicked(1)};
            }
            if (a == 2) {
                header.set(ConfigField::oePolarity, 0);
                return {{true, {}}, radio_clicked(2)};
            }
            return {{true, {}}, std::nullopt};  // "no change" keeps the value
        case Alternation::Colour:
            break;
    }
    // The letter of each state goes into the slot of the colour seen; a later letter overwrites.
    std::string slot[3];
    static constexpr const char* kMissing[] = {"IDS_MESSAGE_STEP5_2", "IDS_MESSAGE_STEP5_3",
                                               "IDS_MESSAGE_STEP5_4"};
    static constexpr const char* kLetters[] = {"R", "G", "B"};
    for (int state = 0; state < 3; ++state) {
        const int seen = answers[static_cast<std::size_t>(state)];
        if (seen == 0) return {{false, {kMissing[state]}}, std::nullopt};
        if (seen >= 1 && seen <= 3) slot[seen - 1] = kLetters[state];
    }
    const auto order = colour_order_of(slot[0] + slot[1] + slot[2]);
    if (!order) return {{false, {"IDS_MESSAGE_STEP5_1"}}, std::nullopt};
    header.set(ConfigField::colourOrder, *order);
    return {{true, {}}, std::nullopt};
}

}  // namespace wizard
