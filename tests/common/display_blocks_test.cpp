#include "common/display_blocks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/bytes.h"

namespace {

using display::Bytes;

std::uint32_t word(const Bytes& b, std::size_t at) {
    return bytes::get_u32le(b.data() + at);
}

// Every byte of `b` is 0 except those the test names.
void expect_zero_except(const Bytes& b, std::initializer_list<std::pair<std::size_t, std::size_t>> named) {
    for (std::size_t i = 0; i < b.size(); ++i) {
        bool inside = false;
        for (const auto& [from, to] : named) inside = inside || (i >= from && i < to);
        if (!inside) {
            EXPECT_EQ(b[i], 0) << "byte " << i;
        }
    }
}

display::ItemBytes item(const char* tag, const char* card_name, std::uint32_t loop) {
    display::ItemBytes out{};
    std::memcpy(out.data(), tag, std::strlen(tag));
    bytes::put_u32le(out.data() + display::kItemNumbersOffset, loop);
    std::memcpy(out.data() + display::kItemCardNameOffset, card_name, std::strlen(card_name));
    std::memcpy(out.data() + display::kItemEndOffset, "END", 3);
    return out;
}

TEST(WindowOpBlock, CreateWindowPlacesEveryWord) {
    const Bytes b = display::create_window(3, 9, {1, 2, 64, 32}, 0x55, true);
    ASSERT_EQ(b.size(), 448u);
    EXPECT_EQ(word(b, 0), 2u);
    EXPECT_EQ(word(b, 4), 4u);
    EXPECT_EQ(word(b, 8), 3u);
    EXPECT_EQ(word(b, 12), 9u);
    EXPECT_EQ(word(b, 16), 1u);
    EXPECT_EQ(word(b, 20), 2u);
    EXPECT_EQ(word(b, 24), 64u);
    EXPECT_EQ(word(b, 28), 32u);
    EXPECT_EQ(word(b, 292), 1u);
    EXPECT_EQ(word(b, 296), 1u);
    EXPECT_EQ(word(b, 300), 0x55u);
    EXPECT_EQ(word(b, 304), 0xAA55AA55u);
    expect_zero_except(b, {{0, 32}, {292, 308}});
    EXPECT_EQ(word(display::create_window(3, 9, {1, 2, 64, 32}, 0x55, false), 304), 0u);
}

TEST(WindowOpBlock, SmallOperationsAreZeroAfterTheirWords) {
    struct Case {
        const char* name;
        Bytes block;
        std::uint32_t op;
        std::uint32_t argument;  // the word at 12
    };
    const Case cases[] = {
        {"lock", display::lock_window(5, 1), 6, 1},
        {"unlock", display::lock_window(5, 0), 6, 0},
        {"destroy", display::destroy_window(5), 7, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.block.size(), 448u);
        EXPECT_EQ(word(c.block, 0), c.op);
        EXPECT_EQ(word(c.block, 4), 4u);
        EXPECT_EQ(word(c.block, 8), 5u);
        EXPECT_EQ(word(c.block, 12), c.argument);
        expect_zero_except(c.block, {{0, 16}});  // all zero after offset 16
    }
    const Bytes leave = display::leave_insert_mode();
    ASSERT_EQ(leave.size(), 448u);
    EXPECT_EQ(word(leave, 0), 8u);
    EXPECT_EQ(word(leave, 4), 4u);
    expect_zero_except(leave, {{0, 8}});
}

TEST(WindowOpBlock, DeletePictureCarriesTheNameAndRefusesOneThatDoesNotFit) {
    const auto b = display::delete_picture(2, "Pic7.jpg");
    ASSERT_TRUE(b);
    ASSERT_EQ(b->size(), 448u);
    EXPECT_EQ(word(*b, 0), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b->data() + 12)), "Pic7.jpg");
    expect_zero_except(*b, {{0, 20}});
    EXPECT_TRUE(display::delete_picture(2, std::string(99, 'a')));
    EXPECT_FALSE(display::delete_picture(2, std::string(100, 'a')));
    EXPECT_FALSE(display::delete_picture(2, std::string("a\0b", 3)));
}

TEST(WindowOpBlock, AddItemIs300BytesWithTheItemAt12) {
    const auto it = item("jpg", "Pic3.jpg", 2);
    const Bytes b = display::add_item(4, it);
    ASSERT_EQ(b.size(), 300u);
    EXPECT_EQ(word(b, 0), 3u);
    EXPECT_EQ(word(b, 4), 4u);
    EXPECT_EQ(word(b, 8), 4u);
    EXPECT_TRUE(std::equal(it.begin(), it.end(), b.begin() + 12));
}

TEST(WindowOpBlock, MultiAreaAndInsertList) {
    const Bytes m = display::create_multi_area({10, 20, 30, 40}, 7, 8);
    ASSERT_EQ(m.size(), 392u);
    EXPECT_EQ(word(m, 0), 16u);
    EXPECT_EQ(word(m, 4), 7u);
    EXPECT_EQ(word(m, 8), 10u);
    EXPECT_EQ(word(m, 20), 40u);
    EXPECT_EQ(word(m, 164), 1u);
    EXPECT_EQ(word(m, 168), 8u);
    EXPECT_EQ(word(m, 384), 1u);
    EXPECT_EQ(word(m, 388), 1u);
    expect_zero_except(m, {{0, 24}, {164, 172}, {384, 392}});
    const Bytes l = display::insert_list(0x1234);
    EXPECT_EQ(l, (Bytes{17, 0, 0, 0, 0x34, 0x12, 0, 0}));
}

TEST(WindowOpBlock, EveryFormDecodesToWhatWasEncoded) {
    auto c = display::decode_window_command(display::create_window(3, 9, {1, 2, 64, 32}, 0x55, true));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->op, display::WindowOp::Create);
    EXPECT_EQ(c->window, 3u);
    EXPECT_EQ(c->rect, (display::Rect{1, 2, 64, 32}));
    EXPECT_TRUE(c->marker);
    c = display::decode_window_command(display::add_item(4, item("bmp", "Pic1.bmp", 1)));
    ASSERT_TRUE(c && c->item);
    EXPECT_EQ(c->item->tag, "bmp");
    EXPECT_EQ(c->item->card_name, "Pic1.bmp");
    c = display::decode_window_command(*display::delete_picture(2, "Pic7.jpg"));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->card_name, "Pic7.jpg");
    c = display::decode_window_command(display::stunt_start());
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->stunt_start);
    c = display::decode_window_command(display::insert_list(5));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->word, 5u);
}

TEST(WindowOpBlock, MalformedBlocksAreRefused) {
    Bytes unknown = display::destroy_window(1);
    unknown[0] = 9;  // no such operation
    EXPECT_FALSE(display::decode_window_command(unknown));
    Bytes short_create = display::create_window(1, 0, {}, 0, false);
    short_create.resize(300);  // a create block of the add-item size
    EXPECT_FALSE(display::decode_window_command(short_create));
    Bytes no_end = display::add_item(1, item("jpg", "Pic1.jpg", 1));
    no_end[12 + 280] = 'X';
    EXPECT_FALSE(display::decode_window_command(no_end));
    Bytes start = display::stunt_start();
    start[504] = 'c';  // "config.sys" is not the effect list
    EXPECT_FALSE(display::decode_window_command(start));
}

TEST(StuntStart, Is604BytesWithSevenAt400AndTheFileNameAt504) {
    const Bytes b = display::stunt_start();
    ASSERT_EQ(b.size(), 604u);
    EXPECT_EQ(word(b, 400), 7u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 504)), "Config.sys");
    expect_zero_except(b, {{400, 404}, {504, 514}});
}

TEST(StuntListRecord, ThreePicturesInAWindowMake988Bytes) {
    const display::ItemBytes items[] = {item("jpg", "Pic0.jpg", 1), item("gif", "Pic1.gif", 2),
                                        item("bmp", "Pic2.bmp", 3)};
    const Bytes b = display::encode_stunt_list(false, true, {0, 0, 64, 32}, items);
    ASSERT_EQ(b.size(), 988u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data())), "LED");
    EXPECT_EQ(word(b, 8), 0u);
    EXPECT_EQ(word(b, 92), 0x55AA55AAu);
    EXPECT_EQ(word(b, 96), 0u);
    EXPECT_EQ(word(b, 100), 0u);
    EXPECT_EQ(word(b, 104), 64u);
    EXPECT_EQ(word(b, 108), 32u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(std::equal(items[i].begin(), items[i].end(), b.begin() + 112 + 288 * i)) << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 976)), "END");
    EXPECT_EQ(word(b, 984), bytes::word_sum(std::span<const std::uint8_t>(b).first(984)));
    expect_zero_except(b, {{0, 3}, {92, 112 + 864}, {976, 979}, {984, 988}});
}

TEST(StuntListRecord, SwitchesOffLeaveTheWindowWordsZeroAndMarkerSetsWord8) {
    const display::ItemBytes one[] = {item("jpg", "Pic0.jpg", 1)};
    const Bytes off = display::encode_stunt_list(true, false, {5, 6, 7, 8}, one);
    ASSERT_EQ(off.size(), 412u);
    EXPECT_EQ(word(off, 8), 0xAA55AA55u);
    for (std::size_t at = 92; at < 112; at += 4) EXPECT_EQ(word(off, at), 0u) << at;
}

TEST(StuntListRecord, DecodesAndRefusesAFlippedByte) {
    const display::ItemBytes items[] = {item("jpg", "Pic0.jpg", 1), item("gif", "Pic1.gif", 2)};
    Bytes b = display::encode_stunt_list(true, true, {1, 2, 3, 4}, items);
    const auto list = display::decode_stunt_list(b);
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->marker);
    EXPECT_TRUE(list->window);
    EXPECT_EQ(list->rect, (display::Rect{1, 2, 3, 4}));
    ASSERT_EQ(list->items.size(), 2u);
    EXPECT_EQ(list->items[1].card_name, "Pic1.gif");
    b[200] ^= 1;
    EXPECT_FALSE(display::decode_stunt_list(b)) << "the word sum no longer matches";
    b[200] ^= 1;
    b.pop_back();
    EXPECT_FALSE(display::decode_stunt_list(b)) << "not 124 + 288 N bytes";
}

TEST(GlintWindowBlock, TwoRegionsAt252And272) {
    const display::Region regions[] = {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}};
    const auto b = display::encode_glint("Pic4.jpg", 0x77, regions);
    ASSERT_TRUE(b);
    ASSERT_EQ(b->size(), 1532u);
    EXPECT_EQ(word(*b, 40), 6u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b->data() + 144)), "Pic4.jpg");
    EXPECT_EQ(word(*b, 244), 2u);
    EXPECT_EQ(word(*b, 248), 0x77u);
    for (std::uint32_t i = 0; i < 10; ++i) EXPECT_EQ(word(*b, 252 + 4 * i), i + 1) << i;
    expect_zero_except(*b, {{40, 44}, {144, 152}, {244, 292}});
    const auto g = display::decode_glint(*b);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->card_name, "Pic4.jpg");
    EXPECT_EQ(g->regions.size(), 2u);
    EXPECT_EQ(g->regions[1], (display::Region{6, 7, 8, 9, 10}));
}

TEST(GlintWindowBlock, HoldsSixtyFourRegionsAndNoMore) {
    std::vector<display::Region> regions(64, display::Region{1, 1, 1, 1, 1});
    const auto full = display::encode_glint("Pic0.jpg", 0, regions);
    ASSERT_TRUE(full);
    EXPECT_EQ(word(*full, 252 + 63 * 20 + 16), 1u);  // the last word of the 64th region ends the block
    regions.push_back({});
    EXPECT_FALSE(display::encode_glint("Pic0.jpg", 0, regions));
    Bytes bogus = *full;
    bytes::put_u32le(bogus.data() + 244, 65);
    EXPECT_FALSE(display::decode_glint(bogus));
}

}  // namespace
