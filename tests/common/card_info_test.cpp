#include "common/card_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

card_info::CardInfo sample() {
    card_info::CardInfo info;
    info.card_id = "S730-413-05862";
    info.ip_address = "192.168.0.162";
    info.subnet_mask = "255.255.255.0";
    info.gateway = "192.168.0.1";
    info.screen_width = 256;
    info.screen_height = 128;
    info.brightness = 8;
    info.scan_clock_code = 6;
    info.duty_cycle = 1;
    info.oe_polarity = 1;
    info.data_polarity = 0;
    info.gray_refresh_code = 14;
    info.gray_depth_code = 0;
    info.gray_value = 10016;
    info.gamma_red = 1.0f;
    info.gamma_green = 2.5f;
    info.gamma_blue = 0.1f;
    info.horizontal_shift = 0xFFFE;
    for (std::size_t i = 0; i < info.screen_params.size(); ++i)
        info.screen_params[i] = static_cast<std::uint8_t>(i + 1);
    info.clock = {2026, 12, 10, 4, 10, 20, 30};
    info.programme = 3;
    info.output_lines = 0b101;
    info.input_lines = 0b10;
    info.software_version = 0x00080814;
    info.hardware_version = 0x00020001;
    return info;
}

Bytes at(const std::array<std::uint8_t, card_info::kBlockSize>& b, std::size_t off, std::size_t n) {
    return Bytes(b.begin() + off, b.begin() + off + n);
}

TEST(CardInfoBlock, FieldsFixedByTheProgramSitAtTheirOffsets) {
    const auto b = card_info::encode_card_info(sample());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[92])), "255.255.255.0");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[164])), "192.168.0.1");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[60])), "192.168.0.162");
    EXPECT_EQ(at(b, 572, 4), (Bytes{0x20, 0x27, 0, 0}));        // 10016
    EXPECT_EQ(at(b, 576, 4), (Bytes{0x00, 0x00, 0x80, 0x3F}));  // 1.0f
    EXPECT_EQ(at(b, 580, 4), (Bytes{0x00, 0x00, 0x20, 0x40}));  // 2.5f
    EXPECT_EQ(at(b, 1032, 4), (Bytes{0x14, 0x08, 0x08, 0x00}));
    EXPECT_EQ(at(b, 1036, 4), (Bytes{0x01, 0x00, 0x02, 0x00}));
    EXPECT_EQ(at(b, 132, 8), (Bytes{0, 1, 0, 0, 128, 0, 0, 0}));
}

TEST(CardInfoBlock, RoundTrip) {
    const auto info = sample();
    EXPECT_EQ(card_info::decode_card_info(card_info::encode_card_info(info)), info);
}

TEST(CardInfoBlock, ShortInputReadsZeroesBeyondIt) {
    const auto full = card_info::encode_card_info(sample());
    // An answer cut after the gateway text: display values and versions read as zero.
    const auto info = card_info::decode_card_info(std::span(full).first(200));
    EXPECT_EQ(info.gateway, "192.168.0.1");
    EXPECT_EQ(info.screen_height, 128u);
    EXPECT_EQ(info.gray_value, 0u);
    EXPECT_EQ(info.software_version, 0u);
    // A cut inside a version word keeps only the bytes that arrived.
    EXPECT_EQ(card_info::decode_card_info(std::span(full).first(1034)).software_version, 0x0814u);
    EXPECT_EQ(card_info::decode_card_info({}), card_info::CardInfo{});
}

TEST(CardInfoBlock, AddressTextsKeepFifteenCharacters) {
    auto info = sample();
    info.ip_address = "1234567890123456789";
    auto b = card_info::encode_card_info(info);
    EXPECT_EQ(b[60 + 15], 0);
    EXPECT_EQ(card_info::decode_card_info(b).ip_address, "123456789012345");
    // A block whose text fills its field without NUL is still read as 15 characters.
    std::memset(&b[92], 'x', 16);
    EXPECT_EQ(card_info::decode_card_info(b).subnet_mask, std::string(15, 'x'));
}

TEST(CardSettingsBlock, IsInformationBytes20To543) {
    const auto info = sample();
    const auto block = card_info::encode_card_info(info);
    const auto settings = card_info::encode_settings_block(info);
    ASSERT_EQ(settings.size(), 524u);
    EXPECT_TRUE(std::equal(settings.begin(), settings.end(), block.begin() + 20));
    // Offsets inside the settings block as the save-settings command edits them.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&settings[40])), "192.168.0.162");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&settings[72])), "255.255.255.0");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&settings[144])), "192.168.0.1");
    EXPECT_EQ(settings[112], 0);
    EXPECT_EQ(settings[113], 1);
    EXPECT_EQ(settings[116], 128);
    const auto back = card_info::decode_settings_block(settings);
    EXPECT_EQ(back, (card_info::CardSettings{"192.168.0.162", "255.255.255.0", "192.168.0.1", 256, 128}));
}

TEST(CardMoreInfoBlock, RoundTripAndOffsets) {
    card_info::CardMoreInfo more{
        "A901-200-00001", "LEDSIM-1", "127.0.0.2", "02:00:7f:00:00:02", 0x90120, 0x20001, 77, 3, 4096};
    const auto b = card_info::encode_card_more_info(more);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[40])), "127.0.0.2");
    EXPECT_EQ(b[76], 0x20);
    EXPECT_EQ(b[84], 77);
    EXPECT_EQ(card_info::decode_card_more_info(b), more);
    EXPECT_EQ(card_info::decode_card_more_info(std::span(b).first(30)).ip_address, "");
}

}  // namespace
