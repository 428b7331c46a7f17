// The standard row-decode lists and the two numbers of an order text.
#include "common/row_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using namespace row_decode;

TEST(RowDecodeLists, SizesForEveryPair) {
    struct Case {
        std::uint32_t group, scan;
        std::size_t size;
    };
    const Case cases[] = {
        {16, 16, 1}, {16, 1, 1}, {16, 32, 1},  // line group 16 has one entry whatever the scan
        {8, 16, 7},  {8, 8, 1},  {8, 4, 0},   {8, 2, 0},  {4, 16, 10}, {4, 8, 7},  {4, 4, 1},  {4, 2, 0},
        {2, 16, 6},  {2, 8, 8},  {2, 4, 6},   {2, 2, 1},  {2, 1, 0},   {1, 16, 6}, {1, 8, 12}, {1, 4, 13},
        {1, 2, 1},   {1, 1, 0},  {1, 12, 0},  {1, 32, 0}, {3, 12, 0},  {0, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(standard_list(c.group, c.scan).size(), c.size) << c.group << " " << c.scan;
}

TEST(RowDecodeLists, ChosenEntries) {
    struct Case {
        std::uint32_t group, scan;
        std::size_t index;
        std::string_view order;
        std::uint32_t order_class;
        std::string_view key;
        std::uint32_t a, b;
    };
    const Case cases[] = {
        {4, 16, 5, "ba987654dc3210", 1, "IDS_MESSAGE_STEP7_4_16_6", 0x54DC3210, 0xBA9876},
        {4, 16, 9, "ba98765d43c210", 0, "IDS_MESSAGE_STEP7_4_16_10", 0x5D43C210, 0xBA9876},
        {8, 16, 5, "cba98765432d10", 3, "IDS_MESSAGE_STEP7_8_16_6", 0x65432D10, 0xCBA987},
        {2, 8, 7, "da9876543c2b10", 0, "IDS_MESSAGE_STEP7_2_8_8", 0x543C2B10, 0xDA9876},
        {2, 2, 0, "dcba9876543210", 0, "IDS_MESSAGE_STEP7_16_1", 0x76543210, 0xDCBA98},
        {1, 16, 0, "9876543210dcba", 0, "IDS_MESSAGE_STEP7_116_1", 0x3210DCBA, 0x987654},
        {1, 4, 12, "dc98765432b10a", 2, "IDS_MESSAGE_STEP7_14_13", 0x5432B10A, 0xDC9876},
        {1, 2, 0, "dcb9876543a210", 0, "IDS_MESSAGE_STEP7_12_1", 0x6543A210, 0xDCB987},
    };
    for (const auto& c : cases) {
        const Entry e = entry_at(c.group, c.scan, c.index);
        EXPECT_EQ(e.order, c.order) << c.key;
        EXPECT_EQ(e.order_class, c.order_class) << c.key;
        EXPECT_EQ(e.key, c.key);
        EXPECT_EQ(words_of(e.order), (Words{c.a, c.b})) << c.key;
    }
}

TEST(RowDecodeLists, MissingEntryIsTheEmptyOrderOfClassZero) {
    for (const auto& [group, scan, index] :
         {std::tuple{8u, 4u, 0u}, {4u, 16u, 10u}, {1u, 1u, 0u}, {16u, 16u, 1u}}) {
        const Entry e = entry_at(group, scan, index);
        EXPECT_TRUE(e.order.empty());
        EXPECT_EQ(e.order_class, 0u);
        EXPECT_TRUE(e.key.empty());
        EXPECT_EQ(words_of(e.order), (Words{0, 0}));
    }
}

// Every standard order drives each of the 14 row addresses once, and the keys count 1, 2, 3... under
// one prefix: a typing slip in the table fails here.
TEST(RowDecodeLists, EveryOrderIsAPermutationAndKeysCountUp) {
    for (std::uint32_t group : {1u, 2u, 4u, 8u, 16u}) {
        for (std::uint32_t scan : {2u, 4u, 8u, 16u}) {
            const auto list = standard_list(group, scan);
            for (std::size_t i = 0; i < list.size(); ++i) {
                std::string sorted(list[i].order);
                std::sort(sorted.begin(), sorted.end());
                EXPECT_EQ(sorted, "0123456789abcd") << list[i].key;
                const std::string suffix = "_" + std::to_string(i + 1);
                ASSERT_GT(list[i].key.size(), suffix.size());
                EXPECT_TRUE(list[i].key.ends_with(suffix)) << list[i].key;
                EXPECT_EQ(list[i].key.substr(0, list[i].key.size() - suffix.size()),
                          list[0].key.substr(0, list[0].key.size() - 2));
            }
        }
    }
}

TEST(RowDecodeHexReading, DigitsCaseAndOtherCharacters) {
    EXPECT_EQ(hex_reading("76543210"), 0x76543210u);
    EXPECT_EQ(hex_reading("dcba98"), 0xDCBA98u);
    EXPECT_EQ(hex_reading("DCBA98"), 0xDCBA98u);
    EXPECT_EQ(hex_reading("fFfFfFfF"), 0xFFFFFFFFu);
    EXPECT_EQ(hex_reading("1g"), 0x10u + 255u) << "a non-digit counts 255 in its place";
    EXPECT_EQ(hex_reading("g0"), 255u * 16u);
    EXPECT_EQ(hex_reading("123456789"), 0x12345678u) << "only the first 8 characters";
    EXPECT_EQ(hex_reading(""), 0u);
    EXPECT_EQ(words_of(kDefaultOrder), (Words{0x76543210, 0xDCBA98}));
}

}  // namespace
