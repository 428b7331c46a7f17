// ScreenConfig, ScreenParams, the word sum, the matrix view and the command payloads, checked against
// literal bytes at the documented offsets.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "common/frame.h"
#include "screenconfig/card_blocks.h"
#include "common/bytes.h"
#include "screenconfig/screen_config.h"
#include "screenconfig/screen_params.h"

using namespace screenconfig;
using bytes::get_u32le;
using bytes::word_sum;

namespace {

std::vector<std::uint8_t> slice(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t n) {
    return {bytes.begin() + static_cast<std::ptrdiff_t>(offset),
            bytes.begin() + static_cast<std::ptrdiff_t>(offset + n)};
}

using Bytes = std::vector<std::uint8_t>;

}  // namespace

TEST(WordSum, Cases) {
    struct Case {
        Bytes bytes;
        std::uint32_t sum;
    } cases[] = {
        {{}, 0},
        {{0x01, 0x02, 0x03, 0x04}, 0x04030201},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00}, 1},  // wraps at 2^32
        {{0x10, 0, 0, 0, 0x99, 0x99, 0x99}, 0x10},              // a trailing partial word is not summed
    };
    for (const auto& c : cases) EXPECT_EQ(word_sum(c.bytes), c.sum);
}

TEST(ScreenConfigImage, BlankImageBytes) {
    ScreenConfig image;
    std::memset(image.bytes().data(), 0xAB, image.bytes().size());  // build_blank must clear everything
    build_blank(image);
    const auto b = image.bytes();
    ASSERT_EQ(b.size(), 2'097'588u);
    EXPECT_EQ(slice(b, 0, 16), (Bytes{'L', 'E', 'D', 0, 0, 0, 0, 0, 0x00, 0x04, 0, 0, 0x00, 0x02, 0, 0}));
    EXPECT_EQ(slice(b, 16, 404), Bytes(404, 0));
    // Entry (0, 0), (1, 2) and (511, 1023): r * 1024 + c at 420 + 4 * (r * 1024 + c).
    EXPECT_EQ(slice(b, 420, 4), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(slice(b, 420 + 4 * 1026, 4), (Bytes{0x02, 0x04, 0, 0}));
    EXPECT_EQ(slice(b, 2'097'568, 4), (Bytes{0xFF, 0xFF, 0x07, 0x00}));
    // Trailer before finish: the entry count only.
    EXPECT_EQ(slice(b, 2'097'572, 16), (Bytes{0, 0, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ScreenConfigImage, FinishWritesEndMarkerAndSumOverEverythingBefore) {
    ScreenConfig image;
    build_blank(image);
    finish(image);
    const auto b = image.bytes();
    EXPECT_EQ(slice(b, 2'097'576, 8), (Bytes{'E', 'N', 'D', 0, 0, 0, 0, 0}));

    // Independent reckoning: magic, 1024, 512, the entry count, the end marker and 0..524,287.
    std::uint64_t expected = 0x0044454Cu + 1024u + 512u + 524'288u + 0x00444E45u;
    expected += 524'287ull * 524'288ull / 2;
    const auto want = static_cast<std::uint32_t>(expected);
    EXPECT_EQ(image.get(ConfigField::wordSum), want);
    EXPECT_EQ(slice(b, 2'097'584, 4),
              (Bytes{static_cast<std::uint8_t>(want), static_cast<std::uint8_t>(want >> 8),
                     static_cast<std::uint8_t>(want >> 16), static_cast<std::uint8_t>(want >> 24)}));
    EXPECT_TRUE(sum_matches(image));

    // Any word before the sum is covered: header, table, entry count, end marker.
    for (std::size_t offset : {std::size_t{4}, std::size_t{420 + 4 * 7000}, std::size_t{2'097'572},
                               std::size_t{2'097'578}, std::size_t{2'097'583}}) {
        ScreenConfig copy = image;
        copy.bytes()[offset] ^= 0x01;
        EXPECT_FALSE(sum_matches(copy)) << offset;
    }
}

TEST(ScreenConfigImage, HeaderFieldsSitAtTheirOffsets) {
    struct Case {
        ConfigField field;
        std::size_t offset;
    } cases[] = {
        {ConfigField::tableWidth, 8},
        {ConfigField::tableHeight, 12},
        {ConfigField::retraceTimes, 16},
        {ConfigField::moduleHeight, 20},
        {ConfigField::rotation, 24},
        {ConfigField::mirror, 28},
        {ConfigField::swapAxes, 32},
        {ConfigField::portsPerRow, 60},
        {ConfigField::moduleWidth, 64},
        {ConfigField::dutyCycle, 72},
        {ConfigField::scanClockCode, 76},
        {ConfigField::grayValue, 80},
        {ConfigField::grayRefreshCode, 84},
        {ConfigField::grayDepthCode, 88},
        {ConfigField::colourOrder, 92},
        {ConfigField::oePolarity, 96},
        {ConfigField::dataPolarity, 100},
        {ConfigField::lineInterval, 104},
        {ConfigField::scanCount, 108},
        {ConfigField::lineGroup, 112},
        {ConfigField::hubType, 116},
        {ConfigField::decodeType, 120},
        {ConfigField::rgbGroupsPerCable, 408},
        {ConfigField::moduleWidthLimited, 412},
        {ConfigField::moduleHeightLimited, 416},
    };
    for (const auto& c : cases) {
        ScreenConfig image;
        image.set(c.field, 0x11223344);
        EXPECT_EQ(slice(image.bytes(), c.offset, 4), (Bytes{0x44, 0x33, 0x22, 0x11})) << c.offset;
        EXPECT_EQ(std::count(image.bytes().begin(), image.bytes().begin() + 420, 0), 416) << c.offset;
    }
}

TEST(ScreenConfigImage, LongStripTableShape) {
    struct Case {
        std::uint32_t width;
        std::optional<TableShape> shape;
    } cases[] = {
        {1, TableShape{1024, 512}},
        {1024, TableShape{1024, 512}},
        {1025, TableShape{2048, 256}},
        {2048, TableShape{2048, 256}},
        {2049, TableShape{3072, 170}},
        {524'288, TableShape{524'288, 1}},
        {0, std::nullopt},
        {524'289, std::nullopt},
        {0xFFFFFFFF, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(long_strip_table(c.width), c.shape) << c.width;
}

TEST(ScreenParamsRecord, FillCopiesTheHeaderFieldsToTheirPlaces) {
    ScreenConfig working;
    working.set(ConfigField::hubType, 2);
    working.set(ConfigField::decodeType, 3);
    working.set(ConfigField::dataPolarity, 1);
    working.set(ConfigField::oePolarity, 0x01000000);
    working.set(ConfigField::colourOrder, 5);
    working.set(ConfigField::lineGroup, 8);
    working.set(ConfigField::lineInterval, 9);
    working.set(ConfigField::scanCount, 8);
    ScreenParams p;
    p.set(ParamsField::pointFlags, 0x55);  // not the fill's business
    fill_params(working, p);
    const Bytes expect = {
        'L', 'E', 'D', 0, 0,    0, 0, 0, 2, 0, 0, 0, 3,   0,   0,   0, 1, 0, 0, 0, 0, 0, 0, 1,
        5,   0,   0,   0, 8,    0, 0, 0, 1, 0, 0, 0, 9,   0,   0,   0, 0, 0, 0, 0, 0, 0, 0, 0,
        0,   0,   0,   0, 0x55, 0, 0, 0, 0, 0, 0, 0, 'E', 'N', 'D', 0, 0, 0, 0, 0, 0, 0, 0, 0,
    };
    EXPECT_EQ(Bytes(p.bytes().begin(), p.bytes().end()), expect);
}

TEST(ScreenParamsRecord, ScanCodeFromScanCount) {
    struct Case {
        std::uint32_t scan_count;
        std::uint32_t code;  // the scan code after filling over a record holding 77
    } cases[] = {{1, 4}, {2, 3}, {4, 2}, {8, 1}, {16, 0}, {12, 77}, {0, 77}, {32, 77}, {3, 77}};
    for (const auto& c : cases) {
        ScreenConfig working;
        working.set(ConfigField::scanCount, c.scan_count);
        ScreenParams p;
        p.set(ParamsField::scanCode, 77);
        fill_params(working, p);
        EXPECT_EQ(p.get(ParamsField::scanCode), c.code) << c.scan_count;
    }
}

TEST(ScreenParamsRecord, SealSumsSeventeenWords) {
    ScreenParams p;
    for (std::size_t i = 0; i < 72; ++i) p.bytes()[i] = static_cast<std::uint8_t>(i * 7 + 1);
    p.seal();
    std::uint32_t sum = 0;
    for (std::size_t w = 0; w < 17; ++w) sum += get_u32le(p.bytes().data() + 4 * w);
    EXPECT_EQ(get_u32le(p.bytes().data() + 68), sum);
    EXPECT_TRUE(p.sum_matches());
    p.bytes()[67] ^= 0x80;
    EXPECT_FALSE(p.sum_matches());
}

TEST(ScreenParamsRecord, DecodeOrderText) {
    ScreenParams p;
    ASSERT_TRUE(set_decode_order(p, 2, "0123456789abcd"));
    EXPECT_EQ(p.get(ParamsField::decodeOrder), 2u);
    EXPECT_EQ(p.get(ParamsField::decodeWordA), 0x6789abcdu);  // last 8 characters
    EXPECT_EQ(p.get(ParamsField::decodeWordB), 0x012345u);    // first 6 characters
    ASSERT_TRUE(set_decode_order(p, 1, "DCBA9876543210"));
    EXPECT_EQ(p.get(ParamsField::decodeWordA), 0x76543210u);
    EXPECT_EQ(p.get(ParamsField::decodeWordB), 0xDCBA98u);

    const ScreenParams before = p;
    for (const char* bad : {"", "0123456789abc", "0123456789abcde", "0123456789abce", "01234 6789abcd"}) {
        EXPECT_FALSE(set_decode_order(p, 3, bad)) << bad;
        EXPECT_EQ(p, before) << bad;
    }
}

TEST(Matrix, LoadStoreAndBlockCopies) {
    ScreenConfig image;
    build_blank(image);
    MappingMatrix m = MappingMatrix::load(image);
    EXPECT_EQ(m, MappingMatrix::identity());
    EXPECT_EQ(m.at(3, 5), 3u * 1024 + 5);

    // Move a 2 x 3 block from (0, 0) to the end of rows 10, 11 (the screen area is right-aligned).
    const MappingMatrix source = MappingMatrix::identity();
    ASSERT_TRUE(m.copy_block(source, 0, 0, 10, 1021, 2, 3));
    m.store(image);
    EXPECT_EQ(image.entry(10, 1021), 0u);
    EXPECT_EQ(image.entry(10, 1023), 2u);
    EXPECT_EQ(image.entry(11, 1022), 1025u);
    EXPECT_EQ(image.entry(10, 1020), 10u * 1024 + 1020);  // outside the block: identity kept
    EXPECT_EQ(slice(image.bytes(), 420 + 4 * (11 * 1024 + 1023), 4), (Bytes{0x02, 0x04, 0, 0}));

    // Blocks that leave the 512 x 1024 area copy nothing.
    const MappingMatrix before = m;
    EXPECT_FALSE(m.copy_block(source, 0, 1022, 0, 0, 1, 3));
    EXPECT_FALSE(m.copy_block(source, 0, 0, 511, 0, 2, 1));
    EXPECT_FALSE(m.copy_block(source, 0, 0, 0, 0, 1, 1025));
    EXPECT_FALSE(m.copy_block(source, SIZE_MAX, 0, 0, 0, 1, 1));
    EXPECT_EQ(m, before);
    EXPECT_TRUE(m.copy_block(source, 511, 1023, 0, 0, 1, 1));
    EXPECT_EQ(m.at(0, 0), 511u * 1024 + 1023);
}

TEST(CardBlocks, ParameterBlockCarriesRecordBytes8To59At12) {
    ScreenParams p;
    for (std::size_t i = 0; i < 72; ++i) p.bytes()[i] = static_cast<std::uint8_t>(0x80 + i);
    const ControlBlock block = params_block(p);
    EXPECT_EQ(slice(block, 0, 12), (Bytes{1, 0, 0, 0, 7, 0, 0, 0, 7, 0, 0, 0}));
    EXPECT_EQ(slice(block, 12, 52), slice(p.bytes(), 8, 52));
    EXPECT_EQ(slice(block, 64, 344), Bytes(344, 0));

    frame::Packet packet{frame::CMD_SCREEN_CONTROL, "A123-456-78901", 0, Bytes(block.begin(), block.end())};
    EXPECT_EQ(frame::encode_exact(packet).size(), 437u);
}

TEST(CardBlocks, ApplyBlockAndImageFileHeader) {
    const ControlBlock apply = apply_block();
    EXPECT_EQ(slice(apply, 0, 4), (Bytes{23, 0, 0, 0}));
    EXPECT_EQ(slice(apply, 4, 404), Bytes(404, 0));

    const FileHeader h = image_file_header(2'097'588, "Config.sys");
    Bytes expect(212, 0);
    expect[0] = 3;
    expect[4] = 0xB4;
    expect[5] = 0x01;
    expect[6] = 0x20;
    std::memcpy(&expect[112], "Config.sys", 10);
    EXPECT_EQ(Bytes(h.begin(), h.end()), expect);

    frame::Packet packet{frame::CMD_FILE_HEADER, "A123-456-78901", 0, Bytes(h.begin(), h.end())};
    EXPECT_EQ(frame::encode_exact(packet).size(), 241u);

    // A name longer than its field keeps the field NUL-terminated.
    const FileHeader longer = image_file_header(1, std::string(150, 'n'));
    EXPECT_EQ(longer[112 + 98], 'n');
    EXPECT_EQ(longer[211], 0);
}
