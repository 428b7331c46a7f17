// The blocks of a card's live display, one definition for Kelvra (which builds them) and ledcard-sim
// (which reads them). Layout tables: docs/protocol.md, "Display windows and live display".
//
//   WindowOpBlock      data of CMD_WINDOW (0x91): one window operation, 448 bytes (add item 300,
//                      multi-area window 392, insert list 8); word 0 the operation
//   stunt start block  data of the CMD_WINDOW that starts an effect list, 604 bytes
//   StuntListRecord    the effect list, sent as the file "Config.sys" of type 7: 124 + 288 N bytes
//   GlintWindowBlock   data of CMD_GLINT_WINDOW (0x92), 1532 bytes: a picture flashing over regions
//
// A play item (288 bytes) is built by the programme records of Kelvra; here only the fields a card
// reads are named, and records.h checks its own layout against them.
// All words little-endian; bytes not named are 0. Pure functions over bytes; thread-safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace display {

using Bytes = std::vector<std::uint8_t>;
// The four rectangle words of a window, as the caller gives them (the card reads them as left, top,
// width, height).
using Rect = std::array<std::uint32_t, 4>;

// ---- play items -----------------------------------------------------------------------------------
inline constexpr std::size_t kItemSize = 288;
inline constexpr std::size_t kItemTagOffset = 0;
inline constexpr std::size_t kItemTagSize = 8;
inline constexpr std::size_t kItemNumbersOffset = 8;  // seven words: loop count .. display mode
inline constexpr std::size_t kItemNameOffset = 80;
inline constexpr std::size_t kItemCardNameOffset = 180;
inline constexpr std::size_t kItemNameSize = 100;
inline constexpr std::size_t kItemEndOffset = 280;
static_assert(kItemNumbersOffset == kItemTagOffset + kItemTagSize);
static_assert(kItemCardNameOffset == kItemNameOffset + kItemNameSize);
static_assert(kItemEndOffset == kItemCardNameOffset + kItemNameSize && kItemSize == kItemEndOffset + 8);

using ItemBytes = std::array<std::uint8_t, kItemSize>;

struct Item {
    std::string tag;        // "jpg", "bmp", "gif", "vod", ...
    std::string card_name;  // the file's name on the card (offset 180)
    std::array<std::uint32_t, 7> numbers{};

    bool operator==(const Item&) const = default;
};
// None unless all 288 bytes are present and "END" closes them.
std::optional<Item> decode_item(std::span<const std::uint8_t> bytes);

// ---- WindowOpBlock --------------------------------------------------------------------------------
enum class WindowOp : std::uint32_t {
    Create = 2,
    AddItem = 3,
    DeletePicture = 4,
    Lock = 6,
    Destroy = 7,
    LeaveInsert = 8,
    CreateMultiArea = 16,
    InsertList = 17,
};

inline constexpr std::size_t kWindowBlockSize = 448;
inline constexpr std::size_t kAddItemBlockSize = 300;
inline constexpr std::size_t kMultiAreaBlockSize = 392;
inline constexpr std::size_t kInsertListBlockSize = 8;
inline constexpr std::uint32_t kWindowConstant = 4;         // word at offset 4 of operations 2..8
inline constexpr std::uint32_t kWindowMarker = 0xAA55AA55;  // create: offset 304, marker switch on

inline constexpr std::size_t kOpOffset = 0;
inline constexpr std::size_t kConstantOffset = 4;
inline constexpr std::size_t kWindowOffset = 8;
inline constexpr std::size_t kArgumentOffset = 12;  // window word, card file name, lock word, 1 (destroy)
inline constexpr std::size_t kCreateRectOffset = 16;
inline constexpr std::size_t kCreateFlag1Offset = 292;
inline constexpr std::size_t kCreateFlag2Offset = 296;
inline constexpr std::size_t kCreateStyleOffset = 300;
inline constexpr std::size_t kCreateMarkerOffset = 304;
inline constexpr std::size_t kAddItemOffset = 12;
inline constexpr std::size_t kAreaSetOffset = 4;
inline constexpr std::size_t kAreaRectOffset = 8;
inline constexpr std::size_t kAreaFlagOffset = 164;
inline constexpr std::size_t kAreaWordOffset = 168;
inline constexpr std::size_t kAreaFlag2Offset = 384;
inline constexpr std::size_t kAreaFlag3Offset = 388;
inline constexpr std::size_t kListWordOffset = 4;
static_assert(kConstantOffset == kOpOffset + 4 && kWindowOffset == kConstantOffset + 4);
static_assert(kArgumentOffset == kWindowOffset + 4 && kCreateRectOffset == kArgumentOffset + 4);
static_assert(kCreateRectOffset + 16 <= kCreateFlag1Offset && kCreateFlag2Offset == kCreateFlag1Offset + 4);
static_assert(kCreateStyleOffset == kCreateFlag2Offset + 4 && kCreateMarkerOffset == kCreateStyleOffset + 4);
static_assert(kCreateMarkerOffset + 4 <= kWindowBlockSize);
static_assert(kAddItemBlockSize == kAddItemOffset + kItemSize);
static_assert(kAreaRectOffset == kAreaSetOffset + 4 && kAreaRectOffset + 16 <= kAreaFlagOffset);
static_assert(kAreaWordOffset == kAreaFlagOffset + 4 && kAreaFlag3Offset == kAreaFlag2Offset + 4);
static_assert(kMultiAreaBlockSize == kAreaFlag3Offset + 4 && kInsertListBlockSize == kListWordOffset + 4);
// The longest card file name operation 4 carries: a card name field (99 characters and the NUL).
inline constexpr std::size_t kMaxCardName = kItemNameSize - 1;

Bytes create_window(std::uint32_t window, std::uint32_t window_word, const Rect& rect, std::uint32_t style,
                    bool marker);
Bytes add_item(std::uint32_t window, const ItemBytes& item);
// None when the name is longer than kMaxCardName or holds a NUL.
std::optional<Bytes> delete_picture(std::uint32_t window, std::string_view card_name);
Bytes lock_window(std::uint32_t window, std::uint32_t lock_word);
Bytes destroy_window(std::uint32_t window);
Bytes leave_insert_mode();
Bytes create_multi_area(const Rect& rect, std::uint32_t area_set, std::uint32_t area_word);
Bytes insert_list(std::uint32_t list_word);

// ---- the effect list's start block ----------------------------------------------------------------
inline constexpr std::size_t kStuntStartSize = 604;
inline constexpr std::size_t kStuntStartWordOffset = 400;
inline constexpr std::uint32_t kStuntStartWord = 7;
inline constexpr std::size_t kStuntStartNameOffset = 504;
inline constexpr std::string_view kStuntFileName = "Config.sys";
static_assert(kStuntStartNameOffset + kStuntFileName.size() < kStuntStartSize);

Bytes stunt_start();

// One decoded CMD_WINDOW data block (a card's view).
struct WindowCommand {
    WindowOp op = WindowOp::Create;
    bool stunt_start = false;  // the effect list's start block (op is then meaningless)
    std::uint32_t window = 0;
    Rect rect{};
    std::uint32_t word = 0;  // window word (2), lock word (6), area word (16), list word (17)
    std::uint32_t style = 0;
    std::uint32_t area_set = 0;
    bool marker = false;
    std::string card_name;     // operation 4
    std::optional<Item> item;  // operation 3
};
// None for a block of a size or operation that none of the above has.
std::optional<WindowCommand> decode_window_command(std::span<const std::uint8_t> bytes);

// ---- StuntListRecord ------------------------------------------------------------------------------
inline constexpr std::size_t kStuntMarkerOffset = 0;  // "LED", 8 bytes
inline constexpr std::size_t kStuntSwitchOffset = 8;  // kWindowMarker when the marker switch is on
inline constexpr std::size_t kStuntWindowOffset = 92;
inline constexpr std::uint32_t kStuntWindowMarker = 0x55AA55AA;
inline constexpr std::size_t kStuntRectOffset = 96;
inline constexpr std::size_t kStuntItemsOffset = 112;
inline constexpr std::size_t kStuntTrailerSize = 12;  // "END" (8 bytes) and the word sum
static_assert(kStuntWindowOffset == kStuntSwitchOffset + 4 + 80);
static_assert(kStuntRectOffset == kStuntWindowOffset + 4 && kStuntItemsOffset == kStuntRectOffset + 16);

inline constexpr std::size_t stunt_list_size(std::size_t items) {
    return kStuntItemsOffset + kItemSize * items + kStuntTrailerSize;
}
static_assert(stunt_list_size(3) == 988);

// `rect` is written only when `window` is on.
Bytes encode_stunt_list(bool marker, bool window, const Rect& rect, std::span<const ItemBytes> items);

struct StuntList {
    bool marker = false;
    bool window = false;
    Rect rect{};
    std::vector<Item> items;
};
// None unless the size is 124 + 288 N, the markers are in place, every item is whole and the word sum
// matches.
std::optional<StuntList> decode_stunt_list(std::span<const std::uint8_t> bytes);

// ---- GlintWindowBlock -----------------------------------------------------------------------------
inline constexpr std::size_t kGlintSize = 1532;
inline constexpr std::size_t kGlintKindOffset = 40;
inline constexpr std::uint32_t kGlintKind = 6;
inline constexpr std::size_t kGlintNameOffset = 144;
inline constexpr std::size_t kGlintNameSize = 100;
inline constexpr std::size_t kGlintCountOffset = 244;
inline constexpr std::size_t kGlintFlashOffset = 248;
inline constexpr std::size_t kGlintRegionsOffset = 252;
inline constexpr std::size_t kRegionSize = 20;
inline constexpr std::size_t kMaxRegions = 64;
static_assert(kGlintCountOffset == kGlintNameOffset + kGlintNameSize);
static_assert(kGlintFlashOffset == kGlintCountOffset + 4 && kGlintRegionsOffset == kGlintFlashOffset + 4);
static_assert(kGlintSize == kGlintRegionsOffset + kMaxRegions * kRegionSize);

using Region = std::array<std::uint32_t, 5>;

// None when there are more than 64 regions or the name does not fit its field.
std::optional<Bytes> encode_glint(std::string_view card_name, std::uint32_t flash,
                                  std::span<const Region> regions);

struct Glint {
    std::string card_name;
    std::uint32_t flash = 0;
    std::vector<Region> regions;
};
// None unless all 1532 bytes are present and the region count is at most 64.
std::optional<Glint> decode_glint(std::span<const std::uint8_t> bytes);

}  // namespace display
