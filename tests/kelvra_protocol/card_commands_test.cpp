// Every card command export of Part "card commands" end to end over loopback: the frame each one puts
// on the wire, the answers the reading exports decode, and the pure decoders.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>

#include "common/frame.h"
#include "kelvra/kelvra.h"
#include "library/protocol/library_state.h"
#include "tests/kelvra_protocol/fast_timeouts.h"
#include "tests/kelvra_protocol/peer.h"
#include "tests/kelvra_protocol/recorder.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kId = "S730-413-05862";
constexpr const char* kIp = "127.42.0.31";

Bytes le_words(std::initializer_list<std::uint32_t> ws, std::size_t size) {
    Bytes b(size, 0);
    std::size_t at = 0;
    for (auto w : ws) {
        for (int k = 0; k < 4; ++k) b[at++] = static_cast<std::uint8_t>(w >> (8 * k));
    }
    return b;
}

class CardCommands : public ::testing::Test {
  protected:
    void SetUp() override { recorder::reset(); }
    void TearDown() override { EXPECT_TRUE(kelvra::wait_for_jobs(30s)); }
    kelvra::ScopedTimeouts fast_{test::fast_timeouts()};
};

struct CommandCase {
    const char* name;
    std::function<int(int pt)> call;
    std::uint8_t command;
    Bytes data;
};

TEST_F(CardCommands, EachExportSendsItsFrame) {
    const std::vector<CommandCase> cases = {
        {"SelectProgramPlay", [](int pt) { return SelectProgramPlay(kId, kIp, pt, 5); }, 0x97,
         le_words({5}, 4)},
        {"ResetCard", [](int pt) { return ResetCard(kId, kIp, pt); }, 0x8B, {}},
        {"AdjustClock", [](int pt) { return AdjustClock(kId, kIp, 2026, 12, 10, 4, 11, 22, 33, pt); }, 0x83,
         le_words({2026, 12, 10, 4, 11, 22, 33}, 28)},
        {"SetLedScreenLight", [](int pt) { return SetLedScreenLight(kId, kIp, 7, pt); }, 0x84,
         le_words({2, 7, 7}, 12)},
        {"TestLedModule",
         [](int pt) { return TestLedModule(kId, kIp, 10, 20, 30, 0x11, 0x22, 0x33, 40, 50, pt); }, 0x84,
         le_words({1, 8, 10, 20, 30, 0x332211, 40, 50}, 408)},
        {"StopTest", [](int pt) { return StopTest(kId, kIp, pt); }, 0x84, le_words({1, 241}, 408)},
        {"SetIOState on", [](int pt) { return SetIOState(kId, kIp, pt, 99, 3, 5); }, 0x8D,
         le_words({3, 1}, 8)},
        {"SetIOState off", [](int pt) { return SetIOState(kId, kIp, pt, 99, 3, -1); }, 0x8D,
         le_words({3, 0}, 8)},
        {"QuitInsertModel", [](int pt) { return QuitInsertModel(kId, kIp, pt); }, 0x91,
         le_words({8, 4}, 448)},
    };
    for (int pt : {1, 2, 101, 102}) {
        peer::Peer card(pt % 100 == 1 ? peer::Peer::Kind::Tcp : peer::Peer::Kind::Udp, kIp);
        std::size_t n = 0;
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " iProtoType " + std::to_string(pt));
            EXPECT_EQ(c.call(pt), 0);
            ASSERT_TRUE(card.wait_frames(++n, 5s));
            const auto f = card.frames().back();
            EXPECT_EQ(f.command, c.command);
            EXPECT_EQ(f.card_id, kId);
            EXPECT_EQ(f.parameter, 0u);
            EXPECT_EQ(f.data, c.data);
            EXPECT_TRUE(f.check_ok);
        }
        ASSERT_TRUE(kelvra::wait_for_jobs(10s));
    }
}

TEST_F(CardCommands, SendFailuresAreResults) {
    EXPECT_EQ(SelectProgramPlay(kId, kIp, 0, 1), 31);
    EXPECT_EQ(StopTest(kId, "127.42.0.32", 101), 60);  // nobody listens there
    EXPECT_EQ(QuitInsertModel("S730-413-05862-ABCDEFG", kIp, 101), -2);
    EXPECT_EQ(QuitInsertModel(kId, "127.000.000.031x", 101), -1);
    const auto shown = recorder::shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], "序列号为:S730-413-05862-ABCDEFG\r\nIP地址为:127.42.0.31\r\n协议为101");
    EXPECT_EQ(shown[1], "-2");
}

// A card that answers 0x8E with the words w0..w3 it is given.
Bytes io_answer(std::initializer_list<std::uint32_t> ws, std::size_t keep = SIZE_MAX) {
    Bytes a = peer::answer(0xCE, kId, le_words(ws, 16));
    if (keep < a.size()) a.resize(keep);
    return a;
}

TEST_F(CardCommands, GetIOStateDecodesTheAnswerWords) {
    struct Case {
        const char* name;
        int pt;
        std::optional<Bytes> reply;
        int result;
        std::int32_t first, second;  // -7: left untouched
    };
    const std::vector<Case> cases = {
        {"answer over TCP", 1, io_answer({9, 1, 2, 3}), 1, 3, 2},
        {"already synchronous", 101, io_answer({9, 0, 20, 30}), 0, 30, 20},
        {"answer over UDP", 2, io_answer({9, 4, 5, 6}), 4, 6, 5},
        {"short answer", 1, io_answer({9, 4, 5, 6}, 40), 18, -7, -7},
        {"no answer (card hangs up)", 1, Bytes{}, 18, -7, -7},
        {"broadcast", 3, std::nullopt, 11, -7, -7},
        {"broadcast, synchronous", 103, std::nullopt, 11, -7, -7},
        {"bad transport", 7, std::nullopt, 31, -7, -7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        peer::Peer card(c.pt % 100 == 2 ? peer::Peer::Kind::Udp : peer::Peer::Kind::Tcp, kIp,
                        [&](const peer::Frame& f) -> std::optional<Bytes> {
                            EXPECT_EQ(f.data, le_words({12}, 4));
                            return c.reply;
                        });
        std::int32_t first = -7, second = -7;
        EXPECT_EQ(GetIOState(kId, kIp, c.pt, 0, 12, &first, &second), c.result);
        EXPECT_EQ(first, c.first);
        EXPECT_EQ(second, c.second);
        EXPECT_FALSE(kelvra::has_answer()) << "the answer buffer is freed after reading";
    }
}

TEST_F(CardCommands, GetIOStateNeverReadsAnEarlierAnswer) {
    const Bytes stale = io_answer({1, 2, 3, 4});
    kelvra::store_answer(stale.data(), stale.size());
    std::int32_t first = 0, second = 0;
    EXPECT_EQ(GetIOState(kId, kIp, 4, 0, 1, &first, &second), 18);  // serial: runs nothing
}

Bytes info_block(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i);
    return b;
}

Bytes damaged(Bytes frame) {
    frame.back() ^= 0x01;  // the check byte
    return frame;
}

TEST_F(CardCommands, CardInformationRequests) {
    struct Case {
        const char* name;
        bool more;
        std::optional<Bytes> reply;
        Bytes expected;  // the result buffer afterwards
    };
    const Bytes before(1088, 0xEE);
    const Bytes info = info_block(1088, 3);
    const Bytes more = info_block(160, 9);
    const Bytes info_answer = peer::answer(0xC2, kId, info);
    Bytes more_expected = before;
    std::copy(more.begin(), more.end(), more_expected.begin());
    const std::vector<Case> cases = {
        {"information", false, peer::answer(0xC2, kId, info), info},
        {"another answer leaves the buffer", false, peer::answer(0xC4, kId, info), before},
        // An answer is used only whole, with a right check byte: the data bytes of a cut answer are not
        // copied.
        {"truncated answer leaves the buffer", false, Bytes(info_answer.begin(), info_answer.begin() + 128),
         before},
        {"wrong check byte leaves the buffer", false, damaged(info_answer), before},
        {"header only", false, Bytes(info_answer.begin(), info_answer.begin() + 20), before},
        {"no answer", false, Bytes{}, before},
        {"extended block", true, peer::answer(0xDA, kId, more), more_expected},
        {"extended, wrong answer", true, peer::answer(0xC2, kId, info), before},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<peer::Frame> seen;
        peer::Peer card(peer::Peer::Kind::Tcp, kIp, [&](const peer::Frame&) { return c.reply; });
        Bytes out = before;
        EXPECT_EQ(
            c.more ? GetCardMoreInfoByTcp(kId, kIp, out.data()) : GetCardInfoByTcp(kId, kIp, out.data()), 0);
        EXPECT_EQ(out, c.expected);
        const auto frames = card.frames();
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].command, c.more ? 0x9A : 0x82);
        EXPECT_EQ(frames[0].data, Bytes(4, 0));
        EXPECT_EQ(frames[0].card_id, kId);
        EXPECT_EQ(frames[0].trailing_zeros, 2080u - 33u);  // the fixed 2080-byte form
    }
}

TEST_F(CardCommands, CardInformationFromAnAbsentCardReturnsQuickly) {
    Bytes out(1088, 0xEE);
    EXPECT_EQ(GetCardInfoByTcp(kId, "127.42.0.33", out.data()), 0);
    EXPECT_EQ(out, Bytes(1088, 0xEE));
}

TEST_F(CardCommands, ConnectedCardTableGrowsOncePerCard) {
    peer::Peer card(peer::Peer::Kind::Tcp, kIp);
    EXPECT_EQ(ConnectCardSuccessOrFaile(kIp), 1);
    EXPECT_EQ(ConnectCardSuccessOrFaile(kIp), 1);
    EXPECT_EQ(kelvra::connected_card_count(), 1u);
    EXPECT_NE(kelvra::connected_card_gate(kIp), nullptr);
    EXPECT_EQ(ConnectCardSuccessOrFaile("127.42.0.34"), 0);
    EXPECT_EQ(ConnectCardSuccessOrFaile("not an address"), 0);
    EXPECT_EQ(kelvra::connected_card_count(), 1u);
    EXPECT_EQ(kelvra::connected_card_gate("127.42.0.34"), nullptr);
}

TEST_F(CardCommands, LoadCardInforReadsTheCardTable) {
    kelvra::card_table_add("S730-413-00001", "127.42.0.2");
    kelvra::card_table_add("A901-200-00002", "127.42.0.3");
    char id[20], ip[20];
    EXPECT_EQ(LoadCardInfor(id, ip, 0), 0);
    EXPECT_EQ(LoadCardInfor(id, ip, 2), 1);
    EXPECT_STREQ(id, "A901-200-00002");
    EXPECT_STREQ(ip, "127.42.0.3");
    EXPECT_EQ(LoadCardInfor(id, ip, 3), 2);
    ASSERT_TRUE(kelvra::discovery_try_begin());
    EXPECT_EQ(LoadCardInfor(id, ip, 1), -1);
    EXPECT_STREQ(id, "S730-413-00001");
    EXPECT_EQ(LoadCardInfor(id, ip, 3), -2);
    EXPECT_EQ(LoopCheck(), 1) << "a second discovery while one runs";
    EXPECT_EQ(BroadcastCheckCard(1), 1);
    kelvra::discovery_end();
    EXPECT_EQ(LoadCardInfor(nullptr, nullptr, 1), 1);
}

TEST_F(CardCommands, BroadcastCheckCardRefusesUnknownKinds) {
    for (int kind : {0, 3, -1}) EXPECT_EQ(BroadcastCheckCard(kind), 31);
    EXPECT_FALSE(kelvra::discovery_busy());
}

TEST_F(CardCommands, ProcRevMsgDecodesStatusAnswers) {
    struct Case {
        const char* lead;
        std::uint8_t command;
        const char* text;
        std::uint32_t length;
        int mode1, mode3;
    };
    const std::vector<Case> cases = {
        {"~~~", 0x41, "Error!", 6, 41, 41},   {"~~~", 0x42, "Error!", 6, 42, 42},
        {"~~~", 0xD1, "Error!", 6, 43, 43},   {"~~~", 0x42, "Success!", 8, -1, 0},
        {"~~~", 0x41, "Success!", 8, -1, -1}, {"~~~", 0x42, "Error!!", 7, -1, -1},
        {"~~~", 0x42, "Error!", 5, -1, -1},   {"~~~", 0x42, "Error!", 200, 42, 42},
        {"~~!", 0x41, "Error!", 6, -1, -1},   {"~~~", 0x90, "Error!", 6, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " " + std::to_string(c.command));
        KelvraRevMsg m{};
        std::memcpy(m.lead_in, c.lead, 3);
        m.command = c.command;
        m.length = c.length;
        m.text = c.text;
        EXPECT_EQ(ProcRevMsg(&m, 0, 1), c.mode1);
        EXPECT_EQ(ProcRevMsg(&m, 0, 3), c.mode3);
        EXPECT_EQ(ProcRevMsg(&m, 0, 2), -1);
    }
    EXPECT_EQ(ProcRevMsg(nullptr, 0, 1), -1);
}

TEST_F(CardCommands, NetReceiveDataInfoPro) {
    EXPECT_EQ(NetReceiveDataInfoPro("Success!"), 0);
    for (const char* t : {"Error!", "Success", "Success!!", "", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(NetReceiveDataInfoPro(t), 1);
    }
}

TEST_F(CardCommands, SetComParamChecksInOrderAndStoresTheSettings) {
    struct Case {
        int port, baud, data, parity, stop, result;
    };
    const std::vector<Case> refused = {{0, 9600, 8, 0, 0, 1},   {31, 9600, 8, 0, 0, 1}, {1, 99, 8, 0, 0, 2},
                                       {1, 115201, 8, 0, 0, 2}, {1, 9600, 3, 0, 0, 3},  {1, 9600, 9, 0, 0, 3},
                                       {1, 9600, 8, 5, 0, 4},   {1, 9600, 8, -1, 0, 4}, {1, 9600, 8, 0, 3, 5},
                                       {31, 99, 3, 5, 3, 1},    {2, 99, 3, 5, 3, 2}};
    for (const auto& c : refused) {
        EXPECT_EQ(SetComParam(c.port, c.baud, c.data, c.parity, c.stop), c.result);
        EXPECT_EQ(kelvra::serial_settings().port, 1);
        EXPECT_EQ(kelvra::serial_settings().line, "9600,0,8,0");
    }
    const std::vector<std::pair<int, const char*>> parities = {
        {0, "19200,N,7,2"}, {1, "19200,O,7,2"}, {2, "19200,E,7,2"}, {3, "19200,M,7,2"}, {4, "19200,S,7,2"}};
    for (const auto& [parity, text] : parities) {
        EXPECT_EQ(SetComParam(30, 19200, 7, parity, 2), 0);
        EXPECT_EQ(kelvra::serial_settings().port, 30);
        EXPECT_EQ(kelvra::serial_settings().line, text);
    }
}

}  // namespace
