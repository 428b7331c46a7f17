// Step 1 of the smart-setup wizard (ModuleInfoPage): the module's size and grouping, the HUB board and
// the row decoder. The controller holds the panel's fields; the panel renders them and forwards what
// the technician does. GUI-free.
// Threading: UI thread (plain values).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "screenconfig/screen_config.h"
#include "wizard/outcome.h"

namespace wizard {

// The HUB board pictures; each stands for one picture control of the panel.
enum class HubPicture { None, KorvaS630, KorvaS730, KorvaS730_40, KorvaS730_75, Linsn40, Linsn90 };

struct HubBoard {
    std::string_view name;  // empty for row 0, which shows IDS_MESSAGE_DUDO_PLEASE_SEL
    std::uint32_t code;     // what the card and the header's hubType receive
};
inline constexpr std::size_t kHubBoardRows = 72;
const std::array<HubBoard, kHubBoardRows>& hub_boards();
HubPicture hub_picture(std::string_view row_text);

inline constexpr std::array<std::string_view, 4> kDecoderKeys = {
    "IDS_MESSAGE_DUDO_YIMA_TYPE1", "IDS_MESSAGE_DUDO_YIMA_TYPE2", "IDS_MESSAGE_DUDO_YIMA_TYPE3",
    "IDS_MESSAGE_DUDO_YIMA_TYPE4"};

// The class of a card identifier: 0 for "X...", "P..." and "M1..." cards (no HUB board choice), 1 for
// "S...", -1 for any other. Case-sensitive.
int card_class(std::string_view card_id);

class ModuleInfo {
  public:
    explicit ModuleInfo(std::string_view card_id);

    // The panel's fields. A list without a selection is -1.
    std::uint32_t width = 16;
    std::uint32_t height = 16;
    int cable_groups_index = -1;  // list "1", "2" (a third entry would mean 4)
    int rgb_groups_index = -1;    // list "1", "2", "4"
    int hub_row = -1;
    int decoder_index = -1;

    bool hub_visible() const { return class_ != 0; }
    int card_class() const { return class_; }

    // The RGB groups the module's rows are split into (cables x RGB groups per cable): each drives one
    // band of scanCount rows. 0 while either count is not chosen.
    std::uint32_t bands() const;

    // For the later steps: the width and height read afresh, limited to 32 and 16.
    std::uint32_t width_limited() const { return width > 32 ? 32 : width; }
    std::uint32_t height_limited() const { return height > 16 ? 16 : height; }

    // Next: the checks in their order. The size writes stay in `header` when the HUB or decoder check
    // then refuses; the width and height fields are limited as they are written.
    Outcome accept(screenconfig::ScreenConfig& header);

    // A HUB row chosen: the block to send, nothing for row 0 (or a row outside the table).
    std::optional<Block> hub_block(int row) const;
    // The connection for that row was opened: the header takes the row's code.
    void hub_connected(int row, screenconfig::ScreenConfig& header) const;
    static constexpr std::string_view kHubFailure = "error HUB";

    // A decoder chosen: the block to send; once connected the header takes the index.
    static Block decoder_block(int index);
    static void decoder_connected(int index, screenconfig::ScreenConfig& header);
    static constexpr std::string_view kDecoderFailure = "error 003";

  private:
    int class_;
};

}  // namespace wizard
