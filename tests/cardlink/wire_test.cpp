// Frames the card link builds and reads, the answer check, the version checks, the address choice and
// the card table rules: byte vectors and small tables, no sockets.
#include <gtest/gtest.h>

#include <cstring>

#include "cardlink/card_exchange.h"
#include "cardlink/card_link_socket.h"
#include "cardlink/card_table.h"
#include "cardlink/local_addresses.h"
#include "common/frame.h"
#include "tests/cardlink/fixture.h"

namespace cardlink {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(TextFrame, DiscoveryDatagramsDifferOnlyInTheirCheckByte) {
    const Bytes plain = BuildTextFrame(frame::CMD_DISCOVER, 32, "255.0.0.0", frame::kBroadcastId, false);
    const Bytes complemented =
        BuildTextFrame(frame::CMD_DISCOVER, 32, "255.0.0.0", frame::kBroadcastId, true);

    Bytes expected = {0x7E, 0x7E, 0x7E, 0x90, 'B', 'r', 'o', 'a', 'd', 'c', 'a', 's', 't',
                      '!',  0,    0,    0,    0,   0,   0,   0,   0,   0,   0,   32,  0,
                      0,    0,    '2',  '5',  '5', '.', '0', '.', '0', '.', '0'};
    expected.resize(60, 0);
    expected.push_back(0x1A);
    EXPECT_EQ(plain, expected);
    ASSERT_EQ(complemented.size(), 61u);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end() - 1, complemented.begin()));
    EXPECT_EQ(complemented.back(), 0xE5);
}

TEST(TextFrame, TextIsCutSoItsNulFits) {
    const Bytes f = BuildTextFrame(frame::CMD_GET_CARD_INFO, 4, "255.0.0.0", "S1", false);
    ASSERT_EQ(f.size(), 28u + 4 + 1);
    EXPECT_EQ(std::memcmp(f.data() + 28, "255\0", 4), 0);
    EXPECT_EQ(f[24], 4);
}

Bytes Answer(std::uint8_t command, std::string_view text, std::uint32_t length_field) {
    frame::Packet p;
    p.command = command;
    p.card_id = "S730-413-05862";
    p.data.assign(text.begin(), text.end());
    Bytes bytes = frame::encode_exact(p);
    bytes[24] = static_cast<std::uint8_t>(length_field);
    return bytes;
}

TEST(CheckCardAnswer, AcceptsOnlyStatusAnswersSayingSuccess) {
    struct Case {
        std::uint8_t command;
        std::string text;
        int mode;
        int expected;
    };
    const Case cases[] = {
        {0x80, "Success!", 0, 0},   {0xC4, "Success!", 0, 0},  {0xCA, "Success!", 0, 0},
        {0xD3, "Success!", 0, 0},   {0xC4, "Error!", 0, -1},   {0xC4, "Success", 0, -1},
        {0xC4, "Success!!", 0, -1}, {0xC2, "Success!", 0, -1}, {0xD0, "Success!", 0, -1},
        {0x84, "Success!", 0, -1},  {0xC4, "Success!", 1, -1}, {0xC4, "", 0, -1},
    };
    for (const auto& c : cases) {
        const Bytes a = Answer(c.command, c.text, static_cast<std::uint32_t>(c.text.size()));
        EXPECT_EQ(CheckCardAnswer(a, static_cast<AnswerCheck>(c.mode)), c.expected)
            << std::hex << int(c.command) << " \"" << c.text << "\" mode " << c.mode;
    }
}

TEST(CheckCardAnswer, RejectsDamagedFrames) {
    Bytes no_lead_in = Answer(0xC4, "Success!", 8);
    no_lead_in[1] = 0;
    EXPECT_EQ(CheckCardAnswer(no_lead_in, AnswerCheck::Status), -1);

    // The length field reaches past what arrived: only the present bytes are read.
    Bytes cut = Answer(0xC4, "Success!", 8);
    cut.resize(28 + 4);
    EXPECT_EQ(CheckCardAnswer(cut, AnswerCheck::Status), -1);
    Bytes header_only = Answer(0xC4, "Success!", 8);
    header_only.resize(20);
    EXPECT_EQ(CheckCardAnswer(header_only, AnswerCheck::Status), -1);
    EXPECT_EQ(CheckCardAnswer({}, AnswerCheck::Status), -1);

    // A length field shorter than the text takes only its first bytes.
    EXPECT_EQ(CheckCardAnswer(Answer(0xC4, "Success!", 7), AnswerCheck::Status), -1);
    // The check byte is not verified.
    Bytes bad_check = Answer(0xC4, "Success!", 8);
    bad_check.back() ^= 0xFF;
    EXPECT_EQ(CheckCardAnswer(bad_check, AnswerCheck::Status), 0);
}

TEST(FirmwareVersion, FormatsBothHalvesInHex) {
    support::RecordingMessages messages;
    EXPECT_EQ(FormatFirmwareVersion(0x00090120, "S1", true), "V9.120");
    EXPECT_EQ(FormatFirmwareVersion(0x000A00FF, "S1", true), "VA.FF");
    EXPECT_EQ(FormatFirmwareVersion(0, "S1", true), "V0.0");
    EXPECT_TRUE(messages.all().empty());
}

TEST(FirmwareVersion, LowVersionWarningAtMostOncePerRun) {
    support::RecordingMessages messages;
    reset_version_warning_for_test();
    EXPECT_EQ(FormatFirmwareVersion(0x00090120, "GOOD", false), "V9.120");  // new enough: no warning
    FormatFirmwareVersion(0x00070005, "OLD1", true);                        // quiet: no warning
    EXPECT_TRUE(messages.all().empty());
    FormatFirmwareVersion(0x00070800, "OLD2", false);  // 0x070800 < 0x070930
    FormatFirmwareVersion(0x00020003, "OLD3", false);  // lower half below 10, but one warning per run
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"OLD2!!! version low"});

    reset_version_warning_for_test();
    messages.clear();
    FormatFirmwareVersion(0x00090009, "OLD4", false);  // lower half 9 < 10: the plain warning
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"OLD4version low"});
    reset_version_warning_for_test();
}

TEST(FirmwareVersion, SmartSetupNeedsV8814) {
    support::RecordingMessages messages;
    EXPECT_EQ(CheckSetupVersion(526356, "S1", false), 0);
    EXPECT_EQ(CheckSetupVersion(0xFF080814, "S1", false), 0);  // only the low 24 bits count
    EXPECT_TRUE(messages.all().empty());
    EXPECT_EQ(CheckSetupVersion(526355, "S1", false), 1);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"too old for smart setup"});
    EXPECT_EQ(CheckSetupVersion(1, "S1", true), 0);
}

TEST(BindChoice, FollowsNetCardIndex) {
    const std::vector<LocalAddress> two = {
        {"192.168.10.2", "pcA", false}, {"192.168.20.2", "pcB", false}, {"127.0.0.1", "lo", true}};
    const std::vector<LocalAddress> one = {{"10.0.0.5", "eth0", false}};
    // One adapter and loopback, as on most hosts: loopback is no adapter, so index 1 does not pick it.
    const std::vector<LocalAddress> one_and_lo = {{"10.0.0.5", "eth0", false}, {"127.0.0.1", "lo", true}};
    const std::vector<LocalAddress> only_lo = {{"127.0.0.1", "lo", true}};
    struct Case {
        const std::vector<LocalAddress>* list;
        std::uint8_t index;
        std::string discovery;
        std::string address;
        std::string interface;
        bool fell_back;
    };
    const std::vector<LocalAddress> none;
    const Case cases[] = {
        {&two, 0, "255.255.255.255", "192.168.10.2", "pcA", false},
        {&two, 1, "255.255.255.255", "192.168.20.2", "pcB", false},
        {&two, 2, "255.255.255.255", "192.168.10.2", "pcA", true},  // loopback is not the third choice
        {&one_and_lo, 1, "255.255.255.255", "10.0.0.5", "eth0", false},
        {&one_and_lo, 0, "255.255.255.255", "10.0.0.5", "eth0", false},
        {&only_lo, 0, "255.255.255.255", "", "", false},
        {&one_and_lo, 1, "127.255.255.255", "127.0.0.1", "lo", false},
        {&two, 3, "255.255.255.255", "192.168.10.2", "pcA", true},
        {&two, 255, "192.168.20.255", "192.168.10.2", "pcA", true},
        {&one, 7, "255.255.255.255", "10.0.0.5", "eth0", false},  // one address: the index is ignored
        {&none, 1, "255.255.255.255", "", "", false},
        {&two, 1, "127.255.255.255", "127.0.0.1", "lo", false},  // loopback demo stays on loopback
        {&one, 0, "127.255.255.255", "127.0.0.1", "lo", false},
    };
    for (const auto& c : cases) {
        const auto choice = choose_bind_address(*c.list, c.index, c.discovery);
        EXPECT_EQ(choice.address, c.address) << int(c.index) << " " << c.discovery;
        EXPECT_EQ(choice.interface, c.interface) << int(c.index) << " " << c.discovery;
        EXPECT_EQ(choice.fell_back, c.fell_back) << int(c.index) << " " << c.discovery;
        if (c.fell_back) {
            EXPECT_NE(choice.note.find("beyond"), std::string::npos) << choice.note;
        }
    }
}

TEST(LocalAddresses, AdaptersBeforeLoopback) {
    const auto ordered = order_adapters_first({{"127.0.0.1", "lo", true},
                                               {"10.0.0.5", "eth0", false},
                                               {"127.0.0.2", "lo", true},
                                               {"10.1.0.5", "eth1", false}});
    ASSERT_EQ(ordered.size(), 4u);
    EXPECT_EQ(ordered[0].address, "10.0.0.5");
    EXPECT_EQ(ordered[1].address, "10.1.0.5");
    EXPECT_EQ(ordered[2].address, "127.0.0.1");
    EXPECT_EQ(ordered[3].address, "127.0.0.2");
}

TEST(LocalAddresses, HostNamesAreNeverLookedUpElsewhere) {
    EXPECT_EQ(GetLocalAddress("192.168.1.7"), "192.168.1.7");
    EXPECT_EQ(GetLocalAddress("printer.example.com"), kNotObtained);
    EXPECT_EQ(GetLocalAddress(""), kNotObtained);
    const auto list = GetLocalAddressList();
    if (!list.empty()) {
        EXPECT_EQ(GetLocalAddress(GetLocalHostName()), list.front());
    }
}

TEST(CardTable, DuplicateAddressIsReportedAndBothKept) {
    CardTable t;
    t.append("S1");
    EXPECT_FALSE(t.record("S1", "10.0.0.100"));
    t.append("S2");
    const auto dup = t.record("S2", "10.0.0.100");
    ASSERT_TRUE(dup);
    EXPECT_EQ(dup->known_id, "S1");
    EXPECT_EQ(dup->new_id, "S2");
    EXPECT_EQ(dup->address, "10.0.0.100");
    EXPECT_EQ(t.entries().size(), 2u);
    EXPECT_EQ(t.address_of("S2"), "10.0.0.100");
    // A card already in the table is not entered twice.
    EXPECT_FALSE(t.record("S1", "10.0.0.101"));
    EXPECT_EQ(t.entries().size(), 2u);
}

TEST(CardTable, TextsAreKeptAsTwentyByteFields) {
    CardTable t;
    const std::string long_id = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    t.append(long_id);
    t.record(long_id, "10.0.0.1");
    EXPECT_EQ(t.entries().at(0).card_id, long_id.substr(0, 20));
    EXPECT_EQ(t.address_of(long_id), "10.0.0.1");  // looked up by its first 20 bytes
}

TEST(CardTable, ListGrowsPastTheHundredEntryTable) {
    CardTable t;
    for (int i = 0; i < 105; ++i) {
        const std::string id = "S" + std::to_string(i);
        t.append(id);
        t.record(id, "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250));
    }
    EXPECT_EQ(t.list().size(), 105u);
    EXPECT_EQ(t.entries().size(), 100u);
    EXPECT_EQ(t.address_of("S99"), "10.0.0.99");
    EXPECT_FALSE(t.address_of("S100"));
}

}  // namespace
}  // namespace cardlink
