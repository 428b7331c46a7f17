// The code tables of play items, marquees and clocks: each code is its entry's position, and its label
// is the text of the entry's key in the current language file. List builders empty the list they are
// given and append the labels in code order.
// Threading: the tables are constants; the builders read the language file and are safe from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kelvra::vocabulary {

// Display mode codes (PlayItem offset 32).
inline constexpr std::array<std::string_view, 16> kDisplayModeKeys{
    "IDS_MESSAGE_FANGSHI_LASHEN",    "IDS_MESSAGE_FANGSHI_PT_MIDDLE", "IDS_MESSAGE_FANGSHI_PT_LEFT",
    "IDS_MESSAGE_FANGSHI_PT_RIGHT",  "IDS_MESSAGE_FANGSHI_PT_UP",     "IDS_MESSAGE_FANGSHI_PT_DOWN",
    "IDS_MESSAGE_FANGSHI_PT_LU",     "IDS_MESSAGE_FANGSHI_PT_LD",     "IDS_MESSAGE_FANGSHI_PT_RU",
    "IDS_MESSAGE_FANGSHI_PT_RD",     "IDS_MESSAGE_FANGSHI_SF_MIDDLE", "IDS_MESSAGE_FANGSHI_SF_LEFT",
    "IDS_MESSAGE_FANGSHI_SF_RIGHT",  "IDS_MESSAGE_FANGSHI_SF_UP",     "IDS_MESSAGE_FANGSHI_SF_DOWN",
    "IDS_MESSAGE_FANGSHI_SF_PINGPU",
};

// Effect codes (entry effect at PlayItem offset 12, clear effect at 16). Code 13 is the left-right
// closing effect, the partner of code 12 as 11 is of 10 and 15 of 14: it has a key of its own.
inline constexpr std::array<std::string_view, 26> kEffectKeys{
    "IDS_MESSAGE_TEXIAO_NO",          "IDS_MESSAGE_TEXIAO_RADIO",         "IDS_MESSAGE_TEXIAO_FG_UP",
    "IDS_MESSAGE_TEXIAO_FG_DOWN",     "IDS_MESSAGE_TEXIAO_FG_LEFT",       "IDS_MESSAGE_TEXIAO_FG_RIGHT",
    "IDS_MESSAGE_TEXIAO_FG_RD",       "IDS_MESSAGE_TEXIAO_FG_LD",         "IDS_MESSAGE_TEXIAO_FG_RU",
    "IDS_MESSAGE_TEXIAO_FG_LU",       "IDS_MESSAGE_TEXIAO_FG_UD_IN",      "IDS_MESSAGE_TEXIAO_FG_UD_OUT",
    "IDS_MESSAGE_TEXIAO_FG_LR_IN",    "IDS_MESSAGE_TEXIAO_FG_LR_OUT",     "IDS_MESSAGE_TEXIAO_FG_SZ_IN",
    "IDS_MESSAGE_TEXIAO_FG_SZ_OUT",   "IDS_MESSAGE_TEXIAO_FG_OUT_INT",    "IDS_MESSAGE_TEXIAO_FG_INT_OUT",
    "IDS_MESSAGE_TEXIAO_MOVEUP",      "IDS_MESSAGE_TEXIAO_MOVEDOWN",      "IDS_MESSAGE_TEXIAO_MOVELEFT",
    "IDS_MESSAGE_TEXIAO_MOVERIGHT",   "IDS_MESSAGE_TEXIAO_MOVERIGHTDOWN", "IDS_MESSAGE_TEXIAO_MOVELEFTDOWN",
    "IDS_MESSAGE_TEXIAO_MOVERIGHTUP", "IDS_MESSAGE_TEXIAO_MOVELEFTUP",
};

// Effect speed codes (PlayItem offsets 20 and 24): ten entries, the first and last by key, the eight
// between them the plain digits "2" to "9".
inline constexpr std::size_t kSpeedCount = 10;
inline constexpr std::string_view kSpeedFirstKey = "IDS_MESSAGE_TEXIAO_SPEED1";
inline constexpr std::string_view kSpeedLastKey = "IDS_MESSAGE_TEXIAO_SPEED10";

// Marquee type codes (MarqueeParam byte 0).
inline constexpr std::array<std::string_view, 3> kMarqueeTypeKeys{
    "IDS_MESSAGE_PMD_TYPE_MOVELEFT", "IDS_MESSAGE_PMD_TYPE_MOVEUP", "IDS_MESSAGE_PMD_TYPE_STATIC"};

// Position codes (MarqueeParam and ClockParam byte 1).
inline constexpr std::array<std::string_view, 3> kPositionKeys{
    "IDS_MESSAGE_POS_LEFT", "IDS_MESSAGE_POS_CENTER", "IDS_MESSAGE_POS_RIGHTC"};

// Clock type codes (ClockParam byte 0).
inline constexpr std::array<std::string_view, 1> kClockTypeKeys{"IDS_MESSAGE_CLOCK_TYPE"};

// Screen rotation codes. The library's list has the first six; the special screen layouts of the
// desktop program use all nine.
inline constexpr std::size_t kLibraryRotationCount = 6;
inline constexpr std::array<std::string_view, 9> kRotationKeys{
    "IDS_MESSAGE_SCREEN_ROTATE_NORMAL",     "IDS_MESSAGE_SCREEN_ROTATE_270",
    "IDS_MESSAGE_SCREEN_ROTATE_90",         "IDS_MESSAGE_SCREEN_ROTATE_180",
    "IDS_MESSAGE_SCREEN_ROTATE_H_BACK",     "IDS_MESSAGE_SCREEN_ROTATE_V_BACK",
    "IDS_MESSAGE_SCREEN_ROTATE_270_MIRROR", "IDS_MESSAGE_SCREEN_ROTATE_90_MIRROR",
    "IDS_MESSAGE_SCREEN_ROTATE_180_MIRROR",
};

void build_display_mode_list(std::vector<std::string>& list);
void build_effect_list(std::vector<std::string>& list);
void build_speed_list(std::vector<std::string>& list);
void build_marquee_type_list(std::vector<std::string>& list);
void build_position_list(std::vector<std::string>& list);
void build_clock_type_list(std::vector<std::string>& list);
void build_rotation_list(std::vector<std::string>& list);               // the library's six
void build_rotation_list_with_mirrors(std::vector<std::string>& list);  // all nine

}  // namespace kelvra::vocabulary
