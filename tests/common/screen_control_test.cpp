// The screen-control block (data of 0x84) in bytes: every form its senders build, decoding short and
// long data, and which blocks a card answers.
#include "common/screen_control.h"

#include <gtest/gtest.h>

#include <bit>
#include <vector>

namespace {

using namespace screen_control;
using Bytes = std::vector<std::uint8_t>;

// 408 bytes: the given little-endian words first, zero after them.
Bytes block(std::initializer_list<std::uint32_t> ws) {
    Bytes b(kSize, 0);
    std::size_t at = 0;
    for (const std::uint32_t w : ws)
        for (int k = 0; k < 4; ++k) b[at++] = static_cast<std::uint8_t>(w >> (8 * k));
    return b;
}

Bytes bytes(const Words& w) {
    const auto a = encode(w);
    return {a.begin(), a.end()};
}

TEST(ScreenControlBlock, EverySendersFormInBytes) {
    struct Case {
        const char* name;
        Words words;
        Bytes want;
    };
    const std::uint32_t gamma = std::bit_cast<std::uint32_t>(1.5f);
    const std::vector<Case> cases = {
        {"gray level", make(Sub::GrayLevel, {256, 11, 5}), block({5, 0, 256, 11, 5})},
        {"OE polarity", make(Sub::OePolarity, {1}), block({6, 0, 1})},
        {"scan clock", make(Sub::ScanClock, {9}), block({7, 0, 9})},
        {"gamma", make(Sub::Gamma, {gamma, gamma, gamma}), block({3, 0, gamma, gamma, gamma})},
        {"factory restore", make(Sub::FactoryRestore), block({4})},
        {"apply configuration", make(Sub::ApplyConfig), block({23})},
        {"row-decode order", make(Sub::DecodeOrderWords, {0x89ABCDEF, 0x012345}),
         block({21, 0, 0x89ABCDEF, 0x012345})},
        {"stop test", make_test(TestOp::Stop), block({1, 241})},
        {"grid test", make_test(TestOp::Grid, {5, 8, 1, 1, 0, 0, 1, 0xFF}),
         block({1, 2, 5, 8, 1, 1, 0, 0, 1, 0xFF})},
        {"module test", make_test(TestOp::ModuleTest, {10, 20, 30, 0x332211, 40, 50}),
         block({1, 8, 10, 20, 30, 0x332211, 40, 50})},
        {"smart setup colour", make_smart(SmartStep::Colour, {0x00FF00}), block({1, 7, 3, 0x00FF00})},
        {"traced point", make_smart(SmartStep::TracePoint, {3, 4, 1}), block({1, 7, 5, 3, 4, 1})},
        {"test line", make_smart(SmartStep::TestLine, {64, 32}), block({1, 7, 8, 64, 32})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bytes(c.words), c.want) << c.name;
        EXPECT_EQ(decode(c.want), c.words) << c.name;
    }
    // The layout at byte level: word 2 of the gray level is 256 = 00 01 00 00 at offset 8.
    const Bytes gray = bytes(make(Sub::GrayLevel, {256, 11, 5}));
    EXPECT_EQ(Bytes(gray.begin(), gray.begin() + 20),
              (Bytes{5, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 11, 0, 0, 0, 5, 0, 0, 0}));
}

TEST(ScreenControlBlock, DecodesShortAndLongDataAndOneFlippedByte) {
    // Kelvra's brightness: 12 bytes, the rest reads as 0.
    const Words brightness = decode(Bytes{2, 0, 0, 0, 7, 0, 0, 0, 7, 0, 0, 0});
    Words want{};
    want[0] = 2, want[1] = 7, want[2] = 7;
    EXPECT_EQ(brightness, want);
    // A trailing part of a word and anything beyond 102 words are not read.
    Bytes odd = block({5, 0, 1});
    odd.resize(kSize + 7, 0xAB);
    EXPECT_EQ(decode(odd), make(Sub::GrayLevel, {1}));
    EXPECT_EQ(decode(Bytes{9, 0, 0}), Words{});
    // One flipped byte changes exactly the word it lies in.
    Bytes flipped = block({12, 0, 3});
    flipped[9] ^= 0x01;
    const Words w = decode(flipped);
    EXPECT_EQ(w[2], 3u + 0x100u);
    EXPECT_EQ(w[0], 12u);
    // At most 100 values follow the sub-command and word 1.
    const std::initializer_list<std::uint32_t> many = {
        1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,  17,  18, 19, 20, 21,
        22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37,  38,  39, 40, 41, 42,
        43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58,  59,  60, 61, 62, 63,
        64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79,  80,  81, 82, 83, 84,
        85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99, 100, 101, 102};
    const Words full = make(Sub::LitPoint, many);
    EXPECT_EQ(full[2], 1u);
    EXPECT_EQ(full[kWords - 1], 100u);
}

TEST(ScreenControlBlock, WhichBlocksACardAnswers) {
    struct Case {
        Words words;
        bool answered;
    };
    const std::vector<Case> cases = {
        {make(Sub::GrayLevel, {0, 9, 3}), true},
        {make(Sub::HorizontalShift, {2}), true},
        {make(Sub::DecodeOrderClass, {1}), true},
        {make(Sub::WizardHiddenControl, {4}), true},
        {make_smart(SmartStep::ScreenParams), true},
        {make_smart(SmartStep::DataPolarityState, {1}), true},
        {make_smart(SmartStep::TracePoint, {1, 1, 1}), false},
        {make(Sub::Brightness, {8}), false},
        {make(Sub::Gamma), false},
        {make(Sub::FactoryRestore), false},
        {make(Sub::ApplyConfig), false},
        {make_test(TestOp::Stop), false},
        {make_test(TestOp::Gray, {1, 1}), false},
        {decode(block({99})), false},
    };
    for (const auto& c : cases) EXPECT_EQ(answered(c.words), c.answered) << c.words[0] << "/" << c.words[1];
}

}  // namespace
