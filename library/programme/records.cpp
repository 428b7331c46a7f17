#include "library/programme/records.h"

#include "common/bytes.h"

namespace kelvra::programme {

using namespace bytes;
namespace {

// Writes the word sum of everything before the last four bytes into them.
void seal(std::vector<std::uint8_t>& bytes) {
    const std::size_t at = bytes.size() - 4;
    put_u32(bytes, at, word_sum(std::span<const std::uint8_t>(bytes).first(at)));
}

template <typename Param>
void write_overlay(std::span<std::uint8_t> out, const Param& p, std::uint8_t byte2, std::uint8_t byte3) {
    out[0] = p.type;
    out[1] = p.position;
    out[2] = byte2;
    out[3] = byte3;
    put_bytes(out, offsetof(Param, zero1), p.zero1);
    put_bytes(out, offsetof(Param, font_name), p.font_name);
    put_u32(out, offsetof(Param, font_size), p.font_size);
    put_u32(out, offsetof(Param, bold), p.bold);
    put_u32(out, offsetof(Param, italic), p.italic);
    put_u32(out, offsetof(Param, underline), p.underline);
    put_u32(out, offsetof(Param, background_colour), p.background_colour);
    put_u32(out, offsetof(Param, text_colour), p.text_colour);
}

}  // namespace

void write_fill(std::span<std::uint8_t> out, const FillSpec& f) {
    put_u32(out, offsetof(FillSpec, kind), f.kind);
    put_u32(out, offsetof(FillSpec, reserved), f.reserved);
    put_u32(out, offsetof(FillSpec, red), f.red);
    put_u32(out, offsetof(FillSpec, green), f.green);
    put_u32(out, offsetof(FillSpec, blue), f.blue);
    put_bytes(out, offsetof(FillSpec, picture), f.picture);
}

void write_play_item(std::span<std::uint8_t> out, const PlayItem& item) {
    put_bytes(out, offsetof(PlayItem, tag), item.tag);
    put_u32(out, offsetof(PlayItem, loop_count), item.loop_count);
    put_u32(out, offsetof(PlayItem, entry_effect), item.entry_effect);
    put_u32(out, offsetof(PlayItem, clear_effect), item.clear_effect);
    put_u32(out, offsetof(PlayItem, entry_speed), item.entry_speed);
    put_u32(out, offsetof(PlayItem, clear_speed), item.clear_speed);
    put_u32(out, offsetof(PlayItem, stay_seconds), item.stay_seconds);
    put_u32(out, offsetof(PlayItem, display_mode), item.display_mode);
    put_bytes(out, offsetof(PlayItem, zero1), item.zero1);
    put_bytes(out, offsetof(PlayItem, file_name), item.file_name);
    put_bytes(out, offsetof(PlayItem, file_name_again), item.file_name_again);
    put_bytes(out, offsetof(PlayItem, end), item.end);
}

void write_marquee(std::span<std::uint8_t> out, const MarqueeParam& p) {
    write_overlay(out, p, p.speed, p.off_switch);
}

void write_clock(std::span<std::uint8_t> out, const ClockParam& p) {
    write_overlay(out, p, p.format, p.reserved);
}

std::array<std::uint8_t, sizeof(PlayItem)> encode(const PlayItem& item) {
    std::array<std::uint8_t, sizeof(PlayItem)> out{};
    write_play_item(out, item);
    return out;
}

std::vector<std::uint8_t> encode(const ScreenRecord& r) {
    std::vector<std::uint8_t> out(sizeof(ScreenRecord), 0);
    put_bytes(out, offsetof(ScreenRecord, marker), r.marker);
    put_u32(out, offsetof(ScreenRecord, word1), r.word1);
    put_u32(out, offsetof(ScreenRecord, word2), r.word2);
    put_u32(out, offsetof(ScreenRecord, word3), r.word3);
    put_u32(out, offsetof(ScreenRecord, word4), r.word4);
    put_u32(out, offsetof(ScreenRecord, width), r.width);
    put_u32(out, offsetof(ScreenRecord, height), r.height);
    put_u32(out, offsetof(ScreenRecord, word7), r.word7);
    put_f32(out, offsetof(ScreenRecord, value8), r.value8);
    put_bytes(out, offsetof(ScreenRecord, zero1), r.zero1);
    put_bytes(out, offsetof(ScreenRecord, background), r.background);
    put_bytes(out, offsetof(ScreenRecord, card_ip), r.card_ip);
    put_u32(out, offsetof(ScreenRecord, card_port), r.card_port);
    put_bytes(out, offsetof(ScreenRecord, fpga_file), r.fpga_file);
    put_u32(out, offsetof(ScreenRecord, word9), r.word9);
    put_u32(out, offsetof(ScreenRecord, word10), r.word10);
    put_bytes(out, offsetof(ScreenRecord, area_block), r.area_block);
    put_bytes(out, offsetof(ScreenRecord, zero2), r.zero2);
    put_bytes(out, offsetof(ScreenRecord, end), r.end);
    seal(out);
    return out;
}

std::vector<std::uint8_t> encode(const AreaRecord& r) {
    std::vector<std::uint8_t> out(sizeof(AreaRecord), 0);
    std::span<std::uint8_t> s(out);
    put_bytes(s, offsetof(AreaRecord, marker), r.marker);
    put_u32(s, offsetof(AreaRecord, left), r.left);
    put_u32(s, offsetof(AreaRecord, top), r.top);
    put_u32(s, offsetof(AreaRecord, width), r.width);
    put_u32(s, offsetof(AreaRecord, height), r.height);
    put_bytes(s, offsetof(AreaRecord, zero1), r.zero1);
    put_u32(s, offsetof(AreaRecord, word_a), r.word_a);
    put_u32(s, offsetof(AreaRecord, word_b), r.word_b);
    put_bytes(s, offsetof(AreaRecord, zero2), r.zero2);
    write_fill(s.subspan(offsetof(AreaRecord, fill1), sizeof(FillSpec)), r.fill1);
    write_fill(s.subspan(offsetof(AreaRecord, fill2), sizeof(FillSpec)), r.fill2);
    put_u32(s, offsetof(AreaRecord, word_c), r.word_c);
    put_u32(s, offsetof(AreaRecord, word_d), r.word_d);
    put_bytes(s, offsetof(AreaRecord, list_block), r.list_block);
    put_bytes(s, offsetof(AreaRecord, list_block_copy), r.list_block_copy);
    put_bytes(s, offsetof(AreaRecord, zero3), r.zero3);
    put_bytes(s, offsetof(AreaRecord, end), r.end);
    seal(out);
    return out;
}

std::vector<std::uint8_t> encode(const PlayListRecord& r) {
    std::vector<std::uint8_t> out(play_list_size(r.items.size()), 0);
    std::span<std::uint8_t> s(out);
    const PlayListHeader& h = r.header;
    put_bytes(s, offsetof(PlayListHeader, marker), h.marker);
    put_u32(s, offsetof(PlayListHeader, word1), h.word1);
    put_u32(s, offsetof(PlayListHeader, word2), h.word2);
    put_u32(s, offsetof(PlayListHeader, word3), h.word3);
    put_u32(s, offsetof(PlayListHeader, word4), h.word4);
    write_clock(s.subspan(offsetof(PlayListHeader, clock), sizeof(ClockParam)), h.clock);
    const std::size_t marquee = offsetof(PlayListHeader, marquee);
    write_marquee(s.subspan(marquee, sizeof(MarqueeParam)), h.marquee.param);
    put_bytes(s, marquee + offsetof(MarqueeSlot, picture), h.marquee.picture);
    std::size_t at = sizeof(PlayListHeader);
    for (const PlayItem& item : r.items) {
        write_play_item(s.subspan(at, sizeof(PlayItem)), item);
        at += sizeof(PlayItem);
    }
    put_bytes(s, at + offsetof(PlayListTrailer, zero1), r.trailer.zero1);
    put_u32(s, at + offsetof(PlayListTrailer, word), r.trailer.word);
    put_bytes(s, at + offsetof(PlayListTrailer, end), r.trailer.end);
    seal(out);
    return out;
}

std::vector<std::uint8_t> encode(const DownLoadProject& r) {
    std::vector<std::uint8_t> out(sizeof(DownLoadProject), 0);
    put_bytes(out, offsetof(DownLoadProject, marker), r.marker);
    put_u32(out, offsetof(DownLoadProject, project_word), r.project_word);
    put_bytes(out, offsetof(DownLoadProject, block), r.block);
    put_bytes(out, offsetof(DownLoadProject, end), r.end);
    seal(out);
    return out;
}

ScreenRecord new_screen_record() {
    ScreenRecord r;
    r.word2 = 3;
    r.word4 = 256;
    r.width = 640;
    r.height = 512;
    r.word7 = 60;
    r.value8 = 2.4f;
    r.background = text_field<kNameSize>("Background.jpg");
    r.card_ip = text_field<32>("192.168.0.200");
    r.card_port = 31296;
    r.fpga_file = text_field<kNameSize>("Fpga.bin");
    r.word10 = 1;
    constexpr std::string_view first_area = "Area0";
    for (std::size_t i = 0; i < first_area.size(); ++i)
        r.area_block[i] = static_cast<std::uint8_t>(first_area[i]);
    return r;
}

AreaRecord new_area_record() {
    AreaRecord r;
    r.width = 640;
    r.height = 512;
    r.fill2.kind = 0;
    r.fill2.picture = text_field<kNameSize>("Background.jpg");
    r.word_c = 1;
    return r;
}

}  // namespace kelvra::programme
