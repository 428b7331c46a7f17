// Record layouts byte for byte.
#include "library/programme/records.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "common/bytes.h"

namespace {

using namespace kelvra::programme;
using namespace bytes;

std::string_view text_at(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t width) {
    return field_text(b, at, width);
}

// The sum field must equal the wrapped sum of all words before it.
void expect_sealed(const std::vector<std::uint8_t>& b) {
    ASSERT_EQ(b.size() % 4, 0u);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 4 < b.size(); i += 4) sum += get_u32(b, i);
    EXPECT_EQ(get_u32(b, b.size() - 4), sum);
}

TEST(WordSum, AddsLittleEndianWordsAndWraps) {
    const std::vector<std::uint8_t> bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00,
                                          0x00, 0x00, 0x00, 0x01, 0x00, 0x00};
    EXPECT_EQ(word_sum(bytes), 0x101u);  // 0xFFFFFFFF + 2 wraps to 1, plus 0x100
}

TEST(TextFields, RefuseOrCutTextsThatLeaveNoRoomForTheNul) {
    std::array<char, 8> f{};
    EXPECT_TRUE(set_text(f, "1234567"));
    EXPECT_EQ(text_of(f), "1234567");
    EXPECT_FALSE(set_text(f, "12345678"));
    EXPECT_EQ(text_of(f), "1234567");  // a refused text changes nothing
    cut_text(f, "abcdefghij");
    EXPECT_EQ(text_of(f), "abcdefg");
    EXPECT_EQ(f[7], '\0');
}

TEST(ScreenRecord, NewDefaultRecordByteForByte) {
    const std::vector<std::uint8_t> b = encode(new_screen_record());
    ASSERT_EQ(b.size(), 2316u);
    EXPECT_EQ(text_at(b, 0, 8), "LED");
    const std::pair<std::size_t, std::uint32_t> words[] = {{8, 0},    {12, 3},   {16, 0},  {20, 256},
                                                           {24, 640}, {28, 512}, {32, 60}, {192, 31296},
                                                           {296, 0},  {300, 1}};
    for (auto [at, value] : words) EXPECT_EQ(get_u32(b, at), value) << "offset " << at;
    EXPECT_EQ(get_u32(b, 36), std::bit_cast<std::uint32_t>(2.4f));
    EXPECT_EQ(text_at(b, 60, 100), "Background.jpg");
    EXPECT_EQ(text_at(b, 160, 32), "192.168.0.200");
    EXPECT_EQ(text_at(b, 196, 100), "Fpga.bin");
    EXPECT_EQ(text_at(b, 304, 1600), "Area0");
    EXPECT_EQ(text_at(b, 2304, 8), "END");
    for (std::size_t i = 40; i < 60; ++i) EXPECT_EQ(b[i], 0) << i;
    expect_sealed(b);
}

TEST(ScreenRecord, SumCoversEveryWordBeforeIt) {
    ScreenRecord r;
    const std::uint32_t before = get_u32(encode(r), 2312);
    r.area_block[1599] = 0x01;  // the highest byte of the word at 2300
    EXPECT_EQ(get_u32(encode(r), 2312), before + 0x01000000u);
    r.word1 = 5;
    EXPECT_EQ(get_u32(encode(r), 2312), before + 0x01000000u + 5);
}

TEST(AreaRecord, NewDefaultRecordByteForByte) {
    const std::vector<std::uint8_t> b = encode(new_area_record());
    ASSERT_EQ(b.size(), 4728u);
    EXPECT_EQ(get_u32(b, 16), 640u);
    EXPECT_EQ(get_u32(b, 20), 512u);
    EXPECT_EQ(get_u32(b, 68), 0u);                      // first fill zero
    EXPECT_EQ(get_u32(b, 188), 0u);                     // second fill: kind 0 ...
    EXPECT_EQ(text_at(b, 208, 100), "Background.jpg");  // ... with the picture name
    EXPECT_EQ(get_u32(b, 308), 1u);
    EXPECT_EQ(get_u32(b, 312), 0u);
    EXPECT_EQ(text_at(b, 4716, 8), "END");
    expect_sealed(b);
}

TEST(PlayItem, FieldsAtTheirOffsets) {
    PlayItem item;
    item.tag = text_field<8>("grid");
    item.loop_count = 0x01020304;
    item.entry_effect = 5;
    item.clear_effect = 6;
    item.entry_speed = 7;
    item.clear_speed = 8;
    item.stay_seconds = 9;
    item.display_mode = 15;
    set_text(item.file_name, "a.bmp");
    set_text(item.file_name_again, "a.bmp");
    const auto a = encode(item);
    const std::vector<std::uint8_t> b(a.begin(), a.end());
    EXPECT_EQ(text_at(b, 0, 8), "grid");
    EXPECT_EQ(b[8], 0x04);
    EXPECT_EQ(b[11], 0x01);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(get_u32(b, 12 + 4 * i), 5 + i);
    EXPECT_EQ(get_u32(b, 32), 15u);
    for (std::size_t i = 36; i < 80; ++i) EXPECT_EQ(b[i], 0) << i;
    EXPECT_EQ(text_at(b, 80, 100), "a.bmp");
    EXPECT_EQ(text_at(b, 180, 100), "a.bmp");
    EXPECT_EQ(text_at(b, 280, 8), "END");
}

TEST(PlayList, ThreeItemsMakeA1460ByteRecord) {
    PlayListRecord r;
    for (const char* tag : {"jpg", "bmp", "gif"}) {
        PlayItem item;
        item.tag = text_field<8>(tag);
        item.loop_count = 1;
        r.items.push_back(item);
    }
    const std::vector<std::uint8_t> b = encode(r);
    ASSERT_EQ(b.size(), 1460u);
    EXPECT_EQ(text_at(b, 0, 8), "LED");
    EXPECT_EQ(get_u32(b, 8), 0u);
    EXPECT_EQ(get_u32(b, 12), 1u);
    EXPECT_EQ(get_u32(b, 16), 0u);
    EXPECT_EQ(get_u32(b, 20), 1u);
    for (std::size_t i = 24; i < 460; ++i) ASSERT_EQ(b[i], 0) << "slots are written as zeros, offset " << i;
    const std::pair<std::size_t, std::string_view> items[] = {{460, "jpg"}, {748, "bmp"}, {1036, "gif"}};
    for (auto [at, tag] : items) {
        EXPECT_EQ(text_at(b, at, 8), tag);
        EXPECT_EQ(text_at(b, at + 280, 8), "END");
    }
    // After the items: 120 zero bytes, the word 100, "END" and the sum, which stays the last word.
    for (std::size_t i = 1324; i < 1444; ++i) ASSERT_EQ(b[i], 0) << i;
    EXPECT_EQ(get_u32(b, 1444), 100u);
    EXPECT_EQ(text_at(b, 1448, 8), "END");
    expect_sealed(b);  // the sum at 1456 covers the 364 words before it, item "END"s included
}

TEST(PlayList, MarqueeAndClockSlotsByteForByte) {
    PlayListRecord r;
    r.header.clock.type = 1;
    r.header.clock.position = 2;
    r.header.clock.format = 254;
    set_text(r.header.clock.font_name, "Arial");
    r.header.clock.font_size = 16;
    r.header.clock.text_colour = 255;
    r.header.marquee.param.speed = 3;
    r.header.marquee.param.off_switch = 4;
    r.header.marquee.param.bold = 1;
    r.header.marquee.param.italic = 1;
    r.header.marquee.param.underline = 1;
    r.header.marquee.param.background_colour = 0x00336699;
    set_text(r.header.marquee.picture, "FontMessage.bmp");
    const std::vector<std::uint8_t> b = encode(r);
    ASSERT_EQ(b.size(), 596u);
    EXPECT_EQ(b[24], 1);
    EXPECT_EQ(b[25], 2);
    EXPECT_EQ(b[26], 254);
    EXPECT_EQ(b[27], 0);
    EXPECT_EQ(text_at(b, 24 + 44, 100), "Arial");
    EXPECT_EQ(get_u32(b, 24 + 144), 16u);
    EXPECT_EQ(get_u32(b, 24 + 164), 255u);
    EXPECT_EQ(b[192 + 2], 3);
    EXPECT_EQ(b[192 + 3], 4);
    EXPECT_EQ(get_u32(b, 192 + 148), 1u);
    EXPECT_EQ(get_u32(b, 192 + 152), 1u);
    EXPECT_EQ(get_u32(b, 192 + 156), 1u);
    EXPECT_EQ(get_u32(b, 192 + 160), 0x00336699u);
    EXPECT_EQ(text_at(b, 192 + 168, 100), "FontMessage.bmp");
    expect_sealed(b);
}

TEST(DownLoadProject, ByteForByte) {
    DownLoadProject p;
    p.project_word = 0xA1B2C3D4;
    p.block[0] = 'x';
    p.block[1599] = 0x7F;
    const std::vector<std::uint8_t> b = encode(p);
    ASSERT_EQ(b.size(), 1624u);
    EXPECT_EQ(text_at(b, 0, 8), "LEDPRO");
    const std::vector<std::uint8_t> word(b.begin() + 8, b.begin() + 12);
    EXPECT_EQ(word, (std::vector<std::uint8_t>{0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(b[12], 'x');
    EXPECT_EQ(b[1611], 0x7F);
    EXPECT_EQ(text_at(b, 1612, 8), "END");
    expect_sealed(b);
}

}  // namespace
