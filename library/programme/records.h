// The fixed-layout records of a programme: screen, area and play-list records ("Config.sys" of their
// folders), play items, the marquee and clock settings, and the download project (marker "LEDPRO").
// Each struct mirrors its file layout field for field (every offset is checked below); encode() writes
// it as little-endian bytes, sets the markers and puts the word sum last. Layout tables:
// docs/programme-files.md.
// Pure functions over values; thread-safe (no state).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/display_blocks.h"

namespace kelvra::programme {

using Marker = std::array<char, 8>;
inline constexpr std::size_t kNameSize = 100;  // 99 characters and the NUL
using Name = std::array<char, kNameSize>;

inline constexpr Marker kLedMarker{'L', 'E', 'D'};
inline constexpr Marker kProjectMarker{'L', 'E', 'D', 'P', 'R', 'O'};
inline constexpr Marker kEndMarker{'E', 'N', 'D'};

// ---- FillSpec: the fill of an area ----------------------------------------------------------------
inline constexpr std::uint32_t kFillColour = 2;
inline constexpr std::uint32_t kFillPicture = 3;

struct FillSpec {
    std::uint32_t kind = 0;  // kFillColour or kFillPicture
    std::uint32_t reserved = 0;
    std::uint32_t red = 0;  // kind 2 only, 0..255
    std::uint32_t green = 0;
    std::uint32_t blue = 0;
    Name picture{};  // kind 3 only
};
static_assert(offsetof(FillSpec, kind) == 0 && offsetof(FillSpec, reserved) == 4);
static_assert(offsetof(FillSpec, red) == 8 && offsetof(FillSpec, green) == 12 &&
              offsetof(FillSpec, blue) == 16);
static_assert(offsetof(FillSpec, picture) == 20 && sizeof(FillSpec) == 120);

// ---- ScreenRecord (2316 bytes) --------------------------------------------------------------------
inline constexpr std::size_t kAreaBlockSize = 1600;

struct ScreenRecord {
    Marker marker = kLedMarker;
    std::uint32_t word1 = 0;
    std::uint32_t word2 = 0;
    std::uint32_t word3 = 0;
    std::uint32_t word4 = 0;
    std::uint32_t width = 0;   // pixels
    std::uint32_t height = 0;  // pixels
    std::uint32_t word7 = 0;
    float value8 = 0.0f;
    std::array<std::uint8_t, 20> zero1{};
    Name background{};
    std::array<char, 32> card_ip{};  // dotted text
    std::uint32_t card_port = 0;
    Name fpga_file{};
    std::uint32_t word9 = 0;
    std::uint32_t word10 = 0;
    std::array<std::uint8_t, kAreaBlockSize> area_block{};  // names of the area folders
    std::array<std::uint8_t, 400> zero2{};                  // unnamed, always 0
    Marker end = kEndMarker;
    std::uint32_t sum = 0;  // filled in by encode()
};
static_assert(offsetof(ScreenRecord, word1) == 8 && offsetof(ScreenRecord, word2) == 12);
static_assert(offsetof(ScreenRecord, word3) == 16 && offsetof(ScreenRecord, word4) == 20);
static_assert(offsetof(ScreenRecord, width) == 24 && offsetof(ScreenRecord, height) == 28);
static_assert(offsetof(ScreenRecord, word7) == 32 && offsetof(ScreenRecord, value8) == 36);
static_assert(offsetof(ScreenRecord, zero1) == 40 && offsetof(ScreenRecord, background) == 60);
static_assert(offsetof(ScreenRecord, card_ip) == 160 && offsetof(ScreenRecord, card_port) == 192);
static_assert(offsetof(ScreenRecord, fpga_file) == 196 && offsetof(ScreenRecord, word9) == 296);
static_assert(offsetof(ScreenRecord, word10) == 300 && offsetof(ScreenRecord, area_block) == 304);
static_assert(offsetof(ScreenRecord, zero2) == 1904 && offsetof(ScreenRecord, end) == 2304 &&
              offsetof(ScreenRecord, sum) == 2312);
static_assert(sizeof(ScreenRecord) == 2316);

// ---- AreaRecord (4728 bytes) ----------------------------------------------------------------------
inline constexpr std::size_t kListBlockSize = 2000;

struct AreaRecord {
    Marker marker = kLedMarker;
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::array<std::uint8_t, 24> zero1{};
    std::uint32_t word_a = 0;  // stored before word B
    std::uint32_t word_b = 0;
    std::array<std::uint8_t, 12> zero2{};
    FillSpec fill1{};
    FillSpec fill2{};
    std::uint32_t word_c = 0;
    std::uint32_t word_d = 0;
    std::array<std::uint8_t, kListBlockSize> list_block{};
    std::array<std::uint8_t, kListBlockSize> list_block_copy{};  // the same bytes again
    std::array<std::uint8_t, 400> zero3{};
    Marker end = kEndMarker;
    std::uint32_t sum = 0;
};
static_assert(offsetof(AreaRecord, left) == 8 && offsetof(AreaRecord, top) == 12);
static_assert(offsetof(AreaRecord, width) == 16 && offsetof(AreaRecord, height) == 20);
static_assert(offsetof(AreaRecord, zero1) == 24 && offsetof(AreaRecord, word_a) == 48);
static_assert(offsetof(AreaRecord, word_b) == 52 && offsetof(AreaRecord, zero2) == 56);
static_assert(offsetof(AreaRecord, fill1) == 68 && offsetof(AreaRecord, fill2) == 188);
static_assert(offsetof(AreaRecord, word_c) == 308 && offsetof(AreaRecord, word_d) == 312);
static_assert(offsetof(AreaRecord, list_block) == 316 && offsetof(AreaRecord, list_block_copy) == 2316);
static_assert(offsetof(AreaRecord, zero3) == 4316 && offsetof(AreaRecord, end) == 4716);
static_assert(offsetof(AreaRecord, sum) == 4724 && sizeof(AreaRecord) == 4728);

// ---- PlayItem (288 bytes) -------------------------------------------------------------------------
struct PlayItem {
    std::array<char, 8> tag{};  // "jpg", "bmp", "gif", "rtf", "grid", "vod", "swf", "txt", "mp3"
    std::uint32_t loop_count = 0;
    std::uint32_t entry_effect = 0;  // effect code
    std::uint32_t clear_effect = 0;  // effect code
    std::uint32_t entry_speed = 0;   // speed code
    std::uint32_t clear_speed = 0;
    std::uint32_t stay_seconds = 0;
    std::uint32_t display_mode = 0;  // display mode code
    std::array<std::uint8_t, 44> zero1{};
    Name file_name{};  // without folder
    Name file_name_again{};
    Marker end = kEndMarker;
};
static_assert(offsetof(PlayItem, loop_count) == 8 && offsetof(PlayItem, entry_effect) == 12);
static_assert(offsetof(PlayItem, clear_effect) == 16 && offsetof(PlayItem, entry_speed) == 20);
static_assert(offsetof(PlayItem, clear_speed) == 24 && offsetof(PlayItem, stay_seconds) == 28);
static_assert(offsetof(PlayItem, display_mode) == 32 && offsetof(PlayItem, zero1) == 36);
static_assert(offsetof(PlayItem, file_name) == 80 && offsetof(PlayItem, file_name_again) == 180);
static_assert(offsetof(PlayItem, end) == 280 && sizeof(PlayItem) == 288);
// The fields a card reads, as the live display's blocks name them.
static_assert(offsetof(PlayItem, tag) == display::kItemTagOffset &&
              sizeof(PlayItem::tag) == display::kItemTagSize);
static_assert(offsetof(PlayItem, loop_count) == display::kItemNumbersOffset);
static_assert(offsetof(PlayItem, file_name) == display::kItemNameOffset);
static_assert(offsetof(PlayItem, file_name_again) == display::kItemCardNameOffset);
static_assert(offsetof(PlayItem, end) == display::kItemEndOffset && sizeof(PlayItem) == display::kItemSize);

// ---- MarqueeParam and ClockParam (168 bytes each, the same layout) ---------------------------------
struct MarqueeParam {
    std::uint8_t type = 0;      // marquee type code
    std::uint8_t position = 0;  // position code
    std::uint8_t speed = 0;
    std::uint8_t off_switch = 0;
    std::array<std::uint8_t, 40> zero1{};
    Name font_name{};
    std::uint32_t font_size = 0;
    std::uint32_t bold = 0;
    std::uint32_t italic = 0;
    std::uint32_t underline = 0;
    std::uint32_t background_colour = 0;  // packed 0x00BBGGRR
    std::uint32_t text_colour = 0;        // packed 0x00BBGGRR
};

struct ClockParam {
    std::uint8_t type = 0;      // clock type code
    std::uint8_t position = 0;  // position code
    std::uint8_t format = 0;    // format bits
    std::uint8_t reserved = 0;
    std::array<std::uint8_t, 40> zero1{};
    Name font_name{};
    std::uint32_t font_size = 0;
    std::uint32_t bold = 0;
    std::uint32_t italic = 0;
    std::uint32_t underline = 0;
    std::uint32_t background_colour = 0;
    std::uint32_t text_colour = 0;
};

#define KELVRA_CHECK_OVERLAY(T, b2, b3)                                                                     \
    static_assert(offsetof(T, type) == 0 && offsetof(T, position) == 1 && offsetof(T, b2) == 2);            \
    static_assert(offsetof(T, b3) == 3 && offsetof(T, zero1) == 4 && offsetof(T, font_name) == 44);         \
    static_assert(offsetof(T, font_size) == 144 && offsetof(T, bold) == 148 && offsetof(T, italic) == 152); \
    static_assert(offsetof(T, underline) == 156 && offsetof(T, background_colour) == 160);                  \
    static_assert(offsetof(T, text_colour) == 164 && sizeof(T) == 168)
KELVRA_CHECK_OVERLAY(MarqueeParam, speed, off_switch);
KELVRA_CHECK_OVERLAY(ClockParam, format, reserved);
#undef KELVRA_CHECK_OVERLAY

// The marquee slot of a play list: the settings and a picture file name.
struct MarqueeSlot {
    MarqueeParam param{};
    Name picture{};  // "FontMessage.bmp" in a new slot
};
static_assert(offsetof(MarqueeSlot, picture) == 168 && sizeof(MarqueeSlot) == 268);

// ---- PlayListRecord (596 + 288 N bytes) -----------------------------------------------------------
struct PlayListHeader {
    Marker marker = kLedMarker;
    std::uint32_t word1 = 0;
    std::uint32_t word2 = 1;
    std::uint32_t word3 = 0;
    std::uint32_t word4 = 1;
    ClockParam clock{};
    MarqueeSlot marquee{};
};
static_assert(offsetof(PlayListHeader, word1) == 8 && offsetof(PlayListHeader, word2) == 12);
static_assert(offsetof(PlayListHeader, word3) == 16 && offsetof(PlayListHeader, word4) == 20);
static_assert(offsetof(PlayListHeader, clock) == 24 && offsetof(PlayListHeader, marquee) == 192);
static_assert(sizeof(PlayListHeader) == 460);

// Follows the items: offsets below are from 460 + 288 N.
struct PlayListTrailer {
    std::array<std::uint8_t, 120> zero1{};
    std::uint32_t word = 100;
    Marker end = kEndMarker;
    std::uint32_t sum = 0;
};
static_assert(offsetof(PlayListTrailer, word) == 120 && offsetof(PlayListTrailer, end) == 124);
static_assert(offsetof(PlayListTrailer, sum) == 132 && sizeof(PlayListTrailer) == 136);

struct PlayListRecord {
    PlayListHeader header{};
    std::vector<PlayItem> items;  // the item count is not stored; it follows from the file length
    PlayListTrailer trailer{};
};

inline constexpr std::size_t play_list_size(std::size_t items) {
    return sizeof(PlayListHeader) + sizeof(PlayItem) * items + sizeof(PlayListTrailer);
}
static_assert(play_list_size(3) == 1460);

// ---- DownLoadProject (1624 bytes) -----------------------------------------------------------------
inline constexpr std::size_t kProjectBlockSize = 1600;

struct DownLoadProject {
    Marker marker = kProjectMarker;
    std::uint32_t project_word = 0;
    std::array<std::uint8_t, kProjectBlockSize> block{};
    Marker end = kEndMarker;
    std::uint32_t sum = 0;
};
static_assert(offsetof(DownLoadProject, project_word) == 8 && offsetof(DownLoadProject, block) == 12);
static_assert(offsetof(DownLoadProject, end) == 1612 && offsetof(DownLoadProject, sum) == 1620);
static_assert(sizeof(DownLoadProject) == 1624);

// ---- encoding -------------------------------------------------------------------------------------
// Whole records: the little-endian bytes with the word sum of all words before it written last (the
// struct's own `sum` is ignored). Markers are written as the struct holds them.
std::vector<std::uint8_t> encode(const ScreenRecord& r);
std::vector<std::uint8_t> encode(const AreaRecord& r);
std::vector<std::uint8_t> encode(const PlayListRecord& r);  // may throw std::bad_alloc
std::vector<std::uint8_t> encode(const DownLoadProject& r);

// Parts, written at the start of `out` (which must hold sizeof(T) bytes).
void write_fill(std::span<std::uint8_t> out, const FillSpec& f);
void write_play_item(std::span<std::uint8_t> out, const PlayItem& item);
void write_marquee(std::span<std::uint8_t> out, const MarqueeParam& p);
void write_clock(std::span<std::uint8_t> out, const ClockParam& p);
std::array<std::uint8_t, sizeof(PlayItem)> encode(const PlayItem& item);

// The records that a new programme starts with.
ScreenRecord new_screen_record();
AreaRecord new_area_record();

}  // namespace kelvra::programme
