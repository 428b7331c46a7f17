#include "common/bytes.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

TEST(Bytes, SixteenBitFieldsAreLittleEndian) {
    std::array<std::uint8_t, 4> out{};
    bytes::put_u16(out, 1, 0xBEEF);
    EXPECT_EQ(out, (std::array<std::uint8_t, 4>{0x00, 0xEF, 0xBE, 0x00}));
    EXPECT_EQ(bytes::get_u16(out, 1), 0xBEEF);
    const std::array<std::uint8_t, 2> high{0x01, 0x80};
    EXPECT_EQ(bytes::get_u16le(high.data()), 0x8001);
}

struct ReadCase {
    const char* name;
    std::size_t offset;
    bool u32;
    std::uint32_t value;  // what the read gives
    bool ok;              // and whether the reader still holds
};

TEST(Bytes, ReaderGivesZeroAndFailsForFieldsPastTheEnd) {
    const std::vector<std::uint8_t> in{0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    const ReadCase cases[] = {
        {"u16 at the start", 0, false, 0x2211, true},
        {"u16 ending on the last byte", 4, false, 0x6655, true},
        {"u16 one byte past", 5, false, 0, false},
        {"u32 ending on the last byte", 2, true, 0x66554433, true},
        {"u32 one byte past", 3, true, 0, false},
        {"at the size", 6, true, 0, false},
        {"offset that wraps", std::numeric_limits<std::size_t>::max() - 1, true, 0, false},
    };
    for (const auto& c : cases) {
        bytes::Reader reader(in);
        EXPECT_EQ(c.u32 ? reader.u32(c.offset) : reader.u16(c.offset), c.value) << c.name;
        EXPECT_EQ(reader.ok(), c.ok) << c.name;
    }
}

TEST(Bytes, ReaderStaysFailedAfterALaterGoodRead) {
    const std::vector<std::uint8_t> in{1, 0, 0, 0};
    bytes::Reader reader(in);
    EXPECT_EQ(reader.u32(2), 0u);
    EXPECT_EQ(reader.u32(0), 1u);
    EXPECT_FALSE(reader.ok());
}

}  // namespace
