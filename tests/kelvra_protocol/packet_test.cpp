// The stream form that every Kelvra command goes out in, checked against literal bytes.
#include <gtest/gtest.h>

#include <vector>

#include "common/frame.h"
#include "library/protocol/transport.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(MakeStreamPacketForSend, DiscoveryPacketBytes) {
    const auto p = kelvra::MakeStreamPacketForSend(0x90, "Broadcast!", 0, nullptr, 0);
    ASSERT_TRUE(p);
    const Bytes expected = {0x7E, 0x7E, 0x7E, 0x90, 'B', 'r', 'o', 'a', 'd', 'c', 'a', 's', 't',  '!', 0, 0,
                            0,    0,    0,    0,    0,   0,   0,   0,   0,   0,   0,   0,   0x44, 0,   0, 0};
    EXPECT_EQ(*p, expected);
}

TEST(MakeStreamPacketForSend, IdParameterLengthAndDataLayout) {
    const Bytes data = {0xAA, 0xBB, 0xCC};
    // 16-character id: fills the field with no NUL; characters beyond 16 never reach the packet.
    const auto p = kelvra::MakeStreamPacketForSend(0x97, "A123-456-78901234XYZ", 0x01020304, data.data(), 3);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->size(), 3u + 32u);
    EXPECT_EQ(Bytes(p->begin() + 4, p->begin() + 20),
              Bytes({'A', '1', '2', '3', '-', '4', '5', '6', '-', '7', '8', '9', '0', '1', '2', '3'}));
    EXPECT_EQ(Bytes(p->begin() + 20, p->begin() + 28), Bytes({0x04, 0x03, 0x02, 0x01, 3, 0, 0, 0}));
    EXPECT_EQ(Bytes(p->begin() + 28, p->begin() + 31), data);
    unsigned sum = 0;
    for (std::size_t i = 3; i < 31; ++i) sum += (*p)[i];
    EXPECT_EQ((*p)[31], static_cast<std::uint8_t>(sum));
    EXPECT_EQ(Bytes(p->end() - 3, p->end()), Bytes({0, 0, 0}));
}

TEST(MakeStreamPacketForSend, ShortIdIsNulPadded) {
    const auto p = kelvra::MakeStreamPacketForSend(0x8B, "p12", 0, nullptr, 0);
    ASSERT_TRUE(p);
    EXPECT_EQ(Bytes(p->begin() + 4, p->begin() + 20),
              Bytes({'p', '1', '2', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(MakeStreamPacketForSend, AgreesWithTheSharedFrameBuilder) {
    Bytes data(2000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    const auto p = kelvra::MakeStreamPacketForSend(0x02, "x001-002-00003", 9, data.data(), data.size());
    ASSERT_TRUE(p);
    frame::Packet f{0x02, "x001-002-00003", 9, data};
    EXPECT_EQ(*p, frame::encode_stream(f, frame::CheckForm::PlainSum));
}

TEST(MakeStreamPacketForSend, LengthWithoutDataIsRefused) {
    EXPECT_FALSE(kelvra::MakeStreamPacketForSend(0x02, "id", 0, nullptr, 5));
}

}  // namespace
