#include "library/programme/defaults.h"

#include <array>
#include <cstdint>
#include <string>

#include "common/bytes.h"
#include "platform/ini.h"
#include "platform/paths.h"

namespace kelvra::defaults {

using namespace bytes;
namespace {

using programme::PlayItem;

// The font face is read as a 1000-byte buffer would hold it, then cut to the 100-byte field.
constexpr std::size_t kFontBuffer = 1000;

class Reader {
  public:
    Reader() : file_(default_ini_path()) {}
    std::uint32_t u32(std::string_view key, std::uint32_t fallback) const {
        const std::string text = ini::get_string(file_, kSection, key, kMissing);
        if (text == kMissing) return fallback;
        return ini::whole_number(text).value_or(fallback);
    }
    // Only the low 8 bits of the byte-wide keys are kept.
    std::uint8_t u8(std::string_view key, std::uint32_t fallback) const {
        return static_cast<std::uint8_t>(u32(key, fallback));
    }
    void font(std::string_view key, programme::Name& field) const {
        bytes::cut_text(field, ini::get_string(file_, kSection, key, "Arial", kFontBuffer));
    }

  private:
    // A value no INI line can hold (a line ends at its newline), so it marks a missing key.
    static constexpr std::string_view kMissing = "\n";
    std::filesystem::path file_;
};

// The font part of the marquee and clock settings, keys "<prefix>FONT_...".
template <typename Param>
void read_font(const Reader& r, std::string_view prefix, Param& p) {
    const std::string s(prefix);
    r.font(s + "FONT_NAME", p.font_name);
    p.font_size = r.u32(s + "FONT_SIZE", 16);
    p.bold = r.u32(s + "FONT_B", 0);
    p.italic = r.u32(s + "FONT_I", 0);
    p.underline = r.u32(s + "FONT_U", 0);
    p.text_colour = r.u32(s + "FONT_COLOR", 255);
    p.background_colour = r.u32(s + "FONT_BKCOLOR", 0);
}

}  // namespace

std::filesystem::path default_ini_path() {
    return paths::program_folder() / "default.ini";
}

PlayItem picture_item() {
    const Reader r;
    PlayItem item;
    item.loop_count = r.u32("PIC_LoopNum", 1);
    item.entry_effect = r.u32("PIC_TeXiao", 0);
    item.clear_effect = r.u32("PIC_ClearTeXiao", 0);
    item.entry_speed = r.u32("PIC_TeXiao_Speed", 1);
    item.clear_speed = r.u32("PIC_Clear_Speed", 1);
    item.stay_seconds = r.u32("PIC_StopSec", 3);
    item.display_mode = r.u32("PIC_DispMode", 0);
    return item;
}

PlayItem video_item() {
    PlayItem item;
    item.loop_count = Reader().u32("VIDEO_LoopNum", 1);
    return item;
}

PlayItem flash_item() {
    PlayItem item;
    item.loop_count = Reader().u32("SWF_LoopNum", 1);
    return item;
}

programme::MarqueeSlot marquee_slot() {
    const Reader r;
    programme::MarqueeSlot slot;
    slot.param.type = r.u8("PMD_Type", 0);
    slot.param.position = r.u8("PMD_Pos", 0);
    slot.param.speed = r.u8("PMD_Speed", 0);
    slot.param.off_switch = r.u8("PMD_Shut", 0);
    read_font(r, "PMD_", slot.param);
    slot.picture = bytes::text_field<programme::kNameSize>("FontMessage.bmp");
    return slot;
}

programme::ClockParam clock_slot() {
    const Reader r;
    programme::ClockParam p;
    p.type = r.u8("TIMER_Type", 0);
    p.position = r.u8("TIMER_Pos", 0);
    p.format = r.u8("TIMER_Formate", 254);
    read_font(r, "TIMER_", p);
    return p;
}

std::optional<PlayItem> item_for_type(std::string_view tag) {
    struct TypeDefault {
        std::string_view tag;
        std::uint32_t entry_effect, stay_seconds, display_mode;
    };
    static constexpr std::array<TypeDefault, 9> kTable{{
        {"jpg", 0, 10, 0},
        {"bmp", 0, 10, 0},
        {"rtf", 0, 10, 0},
        {"grid", 0, 10, 0},
        {"gif", 0, 10, 0},
        {"vod", 24, 0, 0},
        {"txt", 24, 0, 0},
        {"swf", 0, 0, 1},
        {"mp3", 0, 0, 0},
    }};
    for (const TypeDefault& d : kTable) {
        if (d.tag != tag) continue;
        PlayItem item;
        item.tag = bytes::text_field<8>(d.tag);
        item.loop_count = 1;
        item.entry_effect = d.entry_effect;
        item.stay_seconds = d.stay_seconds;
        item.display_mode = d.display_mode;
        return item;
    }
    return std::nullopt;
}

}  // namespace kelvra::defaults
