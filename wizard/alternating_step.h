// Steps 2, 3 and 4 of the smart-setup wizard (DataPolarityPage, OePolarityPage, ColourOrderPage): the
// module alternates between two (four) states every 4 seconds, and the technician says which state looked
// right. The controller keeps the shown state, the cycle position, the auto-change box and the answers,
// and says which state to light; the panel owns the timer and the card exchange. GUI-free.
// Threading: UI thread (plain values).
#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>

#include "screenconfig/screen_config.h"
#include "wizard/outcome.h"

namespace wizard {

enum class Alternation { DataPolarity, Oe, Colour };

inline constexpr std::chrono::milliseconds kAlternationPeriod{4000};

// "RGB" -> 0, ... "R" -> 0, "G" -> 2; nothing for a text that names no colour order.
std::optional<std::uint32_t> colour_order_of(std::string_view letters);

class AlternatingStep {
  public:
    explicit AlternatingStep(Alternation kind) : kind_(kind) {}

    Alternation kind() const { return kind_; }
    int state_count() const { return kind_ == Alternation::Colour ? 4 : 2; }
    int lists() const { return kind_ == Alternation::Colour ? 3 : 1; }  // the fourth colour list is hidden

    int shown() const { return shown_; }  // 0-based radio index of the state lit
    bool auto_change() const { return auto_change_; }
    // The answer lists' indices (0: IDS_MESSAGE_DUDO_PLEASE_SEL). Each starts at 0.
    std::array<int, 4> answers{0, 0, 0, 0};

    // Each returns the state (1-based) to light now; the panel then sends block(k).
    int start();  // entering the step: box ticked, state 1, the next tick lights state 2
    int tick();   // the timer: the next state of the cycle
    int radio_clicked(int k);
    // The box clicked: ticked restarts the cycle at state 1 (returned); cleared stops it (nothing).
    std::optional<int> auto_change_clicked(bool ticked);

    Block block(int k) const;
    std::string failure_text(int k) const;  // "error RP", "error OE", "error RGB1".."error RGB4"
    // An answer chosen in list `list`: the hint to show, if any.
    std::optional<std::string> answer_chosen(int list, int index);

    // Next: writes the deduced value into `header`; `show` is the state the module is left showing.
    struct Accept {
        Outcome outcome;
        std::optional<int> show;
    };
    Accept accept(screenconfig::ScreenConfig& header);

  private:
    Alternation kind_;
    int shown_ = 0;
    int next_ = 0;
    bool auto_change_ = false;
};

}  // namespace wizard
