// The send machinery end to end on loopback: iProtoType rules, piece splitting and pacing, the
// status codes, the file transfer gate and the answer buffer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <numeric>

#include "common/frame.h"
#include "kelvra/kelvra.h"
#include "library/protocol/library_state.h"
#include "library/protocol/transport.h"
#include "tests/kelvra_protocol/fast_timeouts.h"
#include "tests/kelvra_protocol/peer.h"
#include "tests/kelvra_protocol/recorder.h"
#include "tests/support/wait.h"

namespace {

using namespace std::chrono_literals;
using kelvra::CardAddress;
using kelvra::CommandBlock;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kCardIp = "127.42.0.21";
constexpr const char* kAbsentIp = "127.42.0.22";  // nothing listens here

Bytes pattern(std::size_t n, std::uint8_t seed = 1) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 13 + i / 251);
    return b;
}

class Transport : public ::testing::Test {
  protected:
    void SetUp() override { recorder::reset(); }
    void TearDown() override { EXPECT_TRUE(kelvra::wait_for_jobs(30s)); }
    kelvra::ScopedTimeouts fast_{test::fast_timeouts()};
};

TEST_F(Transport, InvalidProtoTypeIsRefusedAndSendsNothing) {
    peer::Peer tcp(peer::Peer::Kind::Tcp, kCardIp);
    peer::Peer udp(peer::Peer::Kind::Udp, kCardIp);
    for (int pt : {0, 6, 100, 106, -1}) {
        SCOPED_TRACE(pt);
        CommandBlock b = CommandBlock::make(frame::CMD_RESET_CARD, "S730-413-00001", 0);
        EXPECT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::proto_type_of(pt), kCardIp), nullptr, &b),
                  31);
        EXPECT_EQ(ResetCard("S730-413-00001", kCardIp, pt), 31);
    }
    // Nothing goes out: no connection, frame or report within 200 ms.
    EXPECT_TRUE(support::stays_false(
        [&] { return tcp.connections() > 0 || !udp.frames().empty() || !recorder::all().empty(); }, 200ms));
    EXPECT_EQ(tcp.connections(), 0u);
    EXPECT_TRUE(udp.frames().empty());
    EXPECT_TRUE(recorder::all().empty());
}

TEST_F(Transport, NoMainBlockGives32) {
    EXPECT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::ProtoType::TcpHere, kCardIp), nullptr, nullptr),
              32);
}

TEST_F(Transport, ProtoTypes104And105AreAcceptedButRunNothing) {
    peer::Peer tcp(peer::Peer::Kind::Tcp, kCardIp);
    for (int pt : {104, 105}) {
        CommandBlock b = CommandBlock::make(frame::CMD_RESET_CARD, "S730-413-00001", 0);
        EXPECT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::proto_type_of(pt), kCardIp), nullptr, &b), 0);
    }
    EXPECT_TRUE(support::stays_false([&] { return tcp.connections() > 0; }, 200ms));
    EXPECT_EQ(tcp.connections(), 0u);
    EXPECT_EQ(kelvra::jobs_running(), 0u);
}

TEST_F(Transport, BroadcastTypesRenameTheCallersBlocks) {
    // A serial broadcast on a port that does not exist: the renaming happens before the job starts.
    setenv("KELVRA_COM1", "/nonexistent/kelvra-port", 1);
    CommandBlock main = CommandBlock::make(frame::CMD_RESET_CARD, "S730-413-00001", 0);
    CommandBlock lead = CommandBlock::make(frame::CMD_RESET_CARD, "S730-413-00002", 0);
    EXPECT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::ProtoType::SerialBroadcast, "255.255.0.0"),
                                  nullptr, &main, &lead),
              0);
    EXPECT_EQ(main.card_id, "Broadcast!");
    EXPECT_EQ(lead.card_id, "Broadcast!");
    ASSERT_TRUE(kelvra::wait_for_jobs(10s));
    EXPECT_EQ(recorder::shown(), std::vector<std::string>{"com open failed"});
    unsetenv("KELVRA_COM1");
}

struct SplitCase {
    std::size_t length;
    std::vector<std::size_t> pieces;
};

class Splitting : public Transport, public ::testing::WithParamInterface<std::tuple<SplitCase, int>> {};

TEST_P(Splitting, PiecesOf2000WithTheSameHeader) {
    const auto& [c, pt] = GetParam();
    peer::Peer card(pt == 101 ? peer::Peer::Kind::Tcp : peer::Peer::Kind::Udp, kCardIp);
    const Bytes data = pattern(c.length);
    CommandBlock b = CommandBlock::make(frame::CMD_WINDOW, "S730-413-00001", 77, data);
    // When the sender handed each piece to its socket, from the frame trace: the pacing shows there,
    // whenever the receiving end happens to read.
    static std::mutex sent_mutex;
    static std::vector<std::chrono::steady_clock::time_point> sent;
    {
        std::lock_guard lock(sent_mutex);
        sent.clear();
    }
    KelvraSetTraceHandler(
        [](int direction, const unsigned char*, size_t, void*) {
            if (direction != 0) return;  // sent frames only
            std::lock_guard lock(sent_mutex);
            sent.push_back(std::chrono::steady_clock::now());
        },
        nullptr);
    const auto called = std::chrono::steady_clock::now();
    ASSERT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::proto_type_of(pt), kCardIp), nullptr, &b), 0);
    ASSERT_TRUE(card.wait_frames(c.pieces.size(), 5s));
    ASSERT_TRUE(kelvra::wait_for_jobs(10s));
    KelvraSetTraceHandler(nullptr, nullptr);
    // No piece beyond those: none arrives after the job's end either.
    EXPECT_TRUE(support::stays_false([&] { return card.frames().size() > c.pieces.size(); }, 50ms));
    const auto frames = card.frames();
    ASSERT_EQ(frames.size(), c.pieces.size());
    Bytes joined;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames[i].data.size(), c.pieces[i]);
        EXPECT_EQ(frames[i].command, frame::CMD_WINDOW);
        EXPECT_EQ(frames[i].card_id, "S730-413-00001");
        EXPECT_EQ(frames[i].parameter, 77u);
        EXPECT_TRUE(frames[i].check_ok);
        EXPECT_EQ(frames[i].trailing_zeros, 3u);  // stream form
        joined.insert(joined.end(), frames[i].data.begin(), frames[i].data.end());
    }
    EXPECT_EQ(joined, data);
    // Paced, not sent in one burst: the sender keeps one piece per 10 ms from the job's start, so the
    // last piece leaves at least (pieces - 1) x 10 ms after the call, however late its thread runs.
    {
        std::lock_guard lock(sent_mutex);
        ASSERT_EQ(sent.size(), c.pieces.size());
        EXPECT_GE(sent.back() - called, static_cast<int>(c.pieces.size() - 1) * 10ms);
    }
    // A live-window block reports 4098 with the card's IP.
    EXPECT_EQ(recorder::all(), (std::vector<recorder::Event>{{4098, kCardIp, true}}));
}

INSTANTIATE_TEST_SUITE_P(Lengths, Splitting,
                         ::testing::Combine(::testing::Values(SplitCase{0, {0}}, SplitCase{2000, {2000, 0}},
                                                              SplitCase{2001, {2000, 1}},
                                                              SplitCase{4500, {2000, 2000, 500}}),
                                            ::testing::Values(101, 102)));

TEST_F(Transport, LeadingMainTrailingGoOutInOrderOnOneConnection) {
    peer::Peer card(peer::Peer::Kind::Tcp, kCardIp);
    CommandBlock lead = CommandBlock::make(frame::CMD_FILE_HEADER, "S1", 0, pattern(212));
    CommandBlock main = CommandBlock::make(frame::CMD_SELECT_PROGRAM, "S1", 0, pattern(4));
    CommandBlock trail = CommandBlock::make(frame::CMD_RESET_CARD, "S1", 0);
    ASSERT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::ProtoType::TcpHere, kCardIp), nullptr, &main,
                                  &lead, &trail),
              0);
    ASSERT_TRUE(card.wait_frames(3));
    const auto f = card.frames();
    EXPECT_EQ(f[0].command, frame::CMD_FILE_HEADER);
    EXPECT_EQ(f[1].command, frame::CMD_SELECT_PROGRAM);
    EXPECT_EQ(f[2].command, frame::CMD_RESET_CARD);
    EXPECT_EQ(card.connections(), 1u);
}

TEST_F(Transport, LiveWindowWithATrailingBlockEnds) {
    // The trailing block after a live-window command goes out once; the job does not loop on it.
    peer::Peer card(peer::Peer::Kind::Tcp, kCardIp);
    CommandBlock main = CommandBlock::make(frame::CMD_WINDOW, "S1", 0, pattern(448));
    CommandBlock trail = CommandBlock::make(frame::CMD_SELECT_PROGRAM, "S1", 0, pattern(4));
    ASSERT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::ProtoType::Tcp, kCardIp),
                                  &kelvra::file_transfer_gate(), &main, nullptr, &trail),
              0);
    ASSERT_TRUE(kelvra::wait_for_jobs(10s));
    ASSERT_TRUE(card.wait_frames(2));
    EXPECT_TRUE(support::stays_false([&] { return card.frames().size() > 2; }, 100ms))
        << "sent once, not looped";
    const auto f = card.frames();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[1].command, frame::CMD_SELECT_PROGRAM);
    EXPECT_EQ(recorder::all(), (std::vector<recorder::Event>{{4098, kCardIp, true}}));
    EXPECT_EQ(kelvra::file_transfer_gate().active(), 0u) << "the gate is given back when the job ends";
}

TEST_F(Transport, UnreachableCardReports101AndSynchronousResult60) {
    CommandBlock b = CommandBlock::make(frame::CMD_RESET_CARD, "S1", 0);
    EXPECT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::ProtoType::TcpHere, kAbsentIp), nullptr, &b), 60);
    EXPECT_EQ(recorder::all(), (std::vector<recorder::Event>{{101, kAbsentIp, true}}));
}

TEST_F(Transport, AsynchronousFailureReachesOnlyTheCallback) {
    CommandBlock b = CommandBlock::make(frame::CMD_RESET_CARD, "S1", 0);
    EXPECT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::ProtoType::Tcp, kAbsentIp), nullptr, &b), 0);
    ASSERT_TRUE(kelvra::wait_for_jobs(10s));
    EXPECT_EQ(recorder::codes(), std::vector<std::uint32_t>{101});
}

TEST_F(Transport, SendToACardThatHungUpReports51) {
    // The card drops the connection at the first frame; a long block then fails part-way.
    peer::Peer card(peer::Peer::Kind::Tcp, kCardIp, [](const peer::Frame&) { return Bytes{}; });
    CommandBlock b = CommandBlock::make(frame::CMD_FILE_DATA, "S9", 0, pattern(2000 * 40));
    EXPECT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::ProtoType::TcpHere, kCardIp), nullptr, &b), 51);
    EXPECT_EQ(recorder::all(), (std::vector<recorder::Event>{{51, "S9", true}}));
}

TEST_F(Transport, FileTransfersThroughTheGateRunOneAtATime) {
    peer::Peer card(peer::Peer::Kind::Tcp, kCardIp);
    kelvra::TransferGate& gate = kelvra::file_transfer_gate();
    gate.set_limit(1);
    constexpr std::size_t kPieces = 4;
    for (std::uint32_t param : {1u, 2u, 3u}) {
        CommandBlock data =
            CommandBlock::make(frame::CMD_FILE_DATA, "S1", param, pattern(2000 * (kPieces - 1) + 5));
        CommandBlock header = CommandBlock::make(frame::CMD_FILE_HEADER, "S1", param, pattern(212));
        ASSERT_EQ(
            kelvra::SendCommand(CardAddress::make(kelvra::ProtoType::Tcp, kCardIp), &gate, &data, &header),
            0);
    }
    ASSERT_TRUE(kelvra::wait_for_jobs(30s));
    ASSERT_TRUE(card.wait_frames(3 * (kPieces + 1)));
    const auto frames = card.frames();
    // Each transfer's header and pieces arrive together, never mixed with another's.
    for (std::size_t t = 0; t < 3; ++t) {
        const std::uint32_t param = frames[t * (kPieces + 1)].parameter;
        EXPECT_EQ(frames[t * (kPieces + 1)].command, frame::CMD_FILE_HEADER);
        for (std::size_t i = 0; i <= kPieces; ++i) EXPECT_EQ(frames[t * (kPieces + 1) + i].parameter, param);
    }
    EXPECT_EQ(recorder::codes(), (std::vector<std::uint32_t>{402, 402, 402}));
    EXPECT_EQ(gate.active(), 0u);
}

TEST_F(Transport, AFailedTransferGivesTheGateBack) {
    peer::Peer dropper(peer::Peer::Kind::Tcp, kCardIp, [](const peer::Frame&) { return Bytes{}; });
    peer::Peer card(peer::Peer::Kind::Tcp, "127.42.0.23");
    kelvra::TransferGate& gate = kelvra::file_transfer_gate();
    gate.set_limit(1);
    CommandBlock first = CommandBlock::make(frame::CMD_FILE_DATA, "S1", 1, pattern(2000 * 40));
    ASSERT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::ProtoType::Tcp, kCardIp), &gate, &first), 0);
    ASSERT_TRUE(kelvra::wait_for_jobs(30s));
    EXPECT_EQ(recorder::codes(), std::vector<std::uint32_t>{51});
    CommandBlock second = CommandBlock::make(frame::CMD_FILE_DATA, "S1", 2, pattern(10));
    ASSERT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::ProtoType::Tcp, "127.42.0.23"), &gate, &second),
              0);
    ASSERT_TRUE(card.wait_frames(1, 5s)) << "the gate stayed taken after a failed transfer";
    ASSERT_TRUE(kelvra::wait_for_jobs(10s));
    EXPECT_EQ(recorder::codes(), (std::vector<std::uint32_t>{51, 402}));
}

TEST_F(Transport, PendingTransferCountFallsPerFileAndNeverBelowZero) {
    peer::Peer card(peer::Peer::Kind::Tcp, kCardIp);
    kelvra::pending_transfers_add(1);
    for (int i = 0; i < 2; ++i) {
        CommandBlock b = CommandBlock::make(frame::CMD_FILE_DATA, "S1", 0, pattern(3));
        ASSERT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::ProtoType::TcpHere, kCardIp), nullptr, &b),
                  0);
    }
    EXPECT_EQ(kelvra::pending_transfers(), 0u);
}

struct AnswerCase {
    const char* name;
    Bytes reply;       // what the card sends back to 0x8E
    std::size_t kept;  // bytes the answer buffer holds afterwards (0: no answer)
};

TEST_F(Transport, AnswerWaitKeepsWhatArrivedWithinTheBuffer) {
    const Bytes full = peer::answer(0xCE, "S1", pattern(16));
    Bytes huge = peer::answer(0xCE, "S1", pattern(12000));
    Bytes split = peer::answer(0xCE, "S1", pattern(3000));  // the stream delivers it in parts
    const std::vector<AnswerCase> cases = {
        {"complete", full, full.size()},
        {"short", Bytes(full.begin(), full.begin() + 9), 9},
        {"longer than the buffer", huge, kelvra::kAnswerBufferSize},
        {"in parts", split, split.size()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kelvra::free_answer();
        peer::Peer card(peer::Peer::Kind::Tcp, kCardIp, [&](const peer::Frame& f) -> std::optional<Bytes> {
            if (f.command == frame::CMD_GET_IO) return c.reply;
            return std::nullopt;
        });
        CommandBlock b = CommandBlock::make(frame::CMD_GET_IO, "S1", 0, pattern(4));
        ASSERT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::ProtoType::TcpHere, kCardIp), nullptr, &b),
                  0);
        const auto a = kelvra::take_answer();
        ASSERT_TRUE(a);
        EXPECT_EQ(a->received, c.kept);
        EXPECT_EQ(a->bytes.size(), kelvra::kAnswerBufferSize);
        EXPECT_TRUE(std::equal(a->bytes.begin(), a->bytes.begin() + c.kept, c.reply.begin()));
    }
}

TEST_F(Transport, NoAnswerReports61AndKeepsNothing) {
    // The card hangs up instead of answering.
    peer::Peer card(peer::Peer::Kind::Tcp, kCardIp, [](const peer::Frame&) { return Bytes{}; });
    CommandBlock b = CommandBlock::make(frame::CMD_GET_IO, "S1", 0, pattern(4));
    ASSERT_EQ(kelvra::SendCommand(CardAddress::make(kelvra::ProtoType::TcpHere, kCardIp), nullptr, &b), 0);
    EXPECT_FALSE(kelvra::has_answer());
    EXPECT_EQ(recorder::all(), (std::vector<recorder::Event>{{61, "", false}}));
}

}  // namespace
