// The card command exports end to end against ledcard-sim cards on 127.42.0.x: what each export does
// to a card, what the reading exports bring back, the wire pieces in the card's journal, and answers
// that the card's fault switches damage.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "common/card_info.h"
#include "common/frame.h"
#include "kelvra/kelvra.h"
#include "library/protocol/library_state.h"
#include "library/protocol/transport.h"
#include "simulator/sim.h"
#include "tests/kelvra_protocol/fast_timeouts.h"
#include "tests/kelvra_protocol/recorder.h"
#include "tests/support/wait.h"
#include "tests/support/sim_cards.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class SimCards : public ::testing::Test {
  protected:
    kelvra::ScopedTimeouts fast_{test::fast_timeouts()};
    static constexpr const char* kFirst = "127.42.0.41";

    void SetUp() override {
        recorder::reset();
        ASSERT_TRUE(sim_.start(support::SimCards::config(2, kFirst)));  // no broadcasts here
        id_ = sim_.id(0);
        ip_ = sim_.ip(0);
    }
    void TearDown() override { EXPECT_TRUE(kelvra::wait_for_jobs(30s)); }

    sim::CardState state() const { return *sim_->state(id_); }
    // Waits for the card to have taken a frame with `command` since `from`.
    bool took(std::uint8_t command, std::uint64_t from) const {
        return sim_->wait_for_frame(id_, command, 5s, from).has_value();
    }

    support::SimCards sim_;
    std::string id_, ip_;
};

TEST_F(SimCards, CommandExportsReachTheCard) {
    for (int pt : {1, 2, 101, 102}) {
        SCOPED_TRACE("iProtoType " + std::to_string(pt));
        const char* id = id_.c_str();
        const char* ip = ip_.c_str();
        auto from = sim_->journal_end();

        ASSERT_EQ(SelectProgramPlay(id, ip, pt, 3 + pt), 0);
        ASSERT_TRUE(took(frame::CMD_SELECT_PROGRAM, from));
        EXPECT_EQ(state().info.programme, static_cast<std::uint32_t>(3 + pt));

        ASSERT_EQ(AdjustClock(id, ip, 2026, 12, 10, 4, 11, 22, pt, pt), 0);
        ASSERT_TRUE(took(frame::CMD_SET_CLOCK, from));
        EXPECT_EQ(state().info.clock,
                  (std::array<std::uint32_t, 7>{2026, 12, 10, 4, 11, 22, static_cast<std::uint32_t>(pt)}));

        const auto resets = state().resets;
        ASSERT_EQ(ResetCard(id, ip, pt), 0);
        ASSERT_TRUE(took(frame::CMD_RESET_CARD, from));
        EXPECT_EQ(state().resets, resets + 1);

        ASSERT_EQ(SetLedScreenLight(id, ip, 6, pt), 0);
        ASSERT_TRUE(took(frame::CMD_SCREEN_CONTROL, from));
        EXPECT_EQ(state().info.brightness, 6u);

        from = sim_->journal_end();
        ASSERT_EQ(TestLedModule(id, ip, 1, 2, 3, 0xFF, 0, 0x80, 4, 5, pt), 0);
        ASSERT_TRUE(took(frame::CMD_SCREEN_CONTROL, from));
        auto words = state().last_screen_control.at(1);
        ASSERT_GE(words.size(), 8u);
        EXPECT_EQ(std::vector<std::uint32_t>(words.begin(), words.begin() + 8),
                  (std::vector<std::uint32_t>{1, 8, 1, 2, 3, 0x8000FF, 4, 5}));

        from = sim_->journal_end();
        ASSERT_EQ(StopTest(id, ip, pt), 0);
        ASSERT_TRUE(took(frame::CMD_SCREEN_CONTROL, from));
        words = state().last_screen_control.at(1);
        EXPECT_EQ(words[1], 241u);

        ASSERT_EQ(SetIOState(id, ip, pt, 0, 5, 1), 0);
        ASSERT_TRUE(took(frame::CMD_SET_IO, from));
        EXPECT_EQ(state().info.output_lines, 1u << 5);
        std::int32_t first = -1, second = -1;
        EXPECT_EQ(GetIOState(id, ip, pt, 0, 5, &first, &second), 1);  // w1: line 5 is on
        EXPECT_EQ(second, 1 << 5);                                    // w2: all output lines
        EXPECT_EQ(first, 0);                                          // w3: input lines
        ASSERT_EQ(SetIOState(id, ip, pt, 0, 5, 0), 0);
        ASSERT_TRUE(took(frame::CMD_SET_IO, sim_->journal_end() - 1));
        EXPECT_TRUE(support::wait_until([&] { return state().info.output_lines == 0; }));

        const auto windows = state().window_commands;
        ASSERT_EQ(QuitInsertModel(id, ip, pt), 0);
        ASSERT_TRUE(took(frame::CMD_WINDOW, from));
        EXPECT_EQ(state().window_commands, windows + 1);
        ASSERT_TRUE(kelvra::wait_for_jobs(10s));
    }
    // Every frame Kelvra sent carried the plain sum and a lead-in.
    for (const auto& e : sim_->journal()) {
        EXPECT_TRUE(e.lead_in_ok);
        EXPECT_EQ(e.check_form, frame::CheckForm::PlainSum);
        EXPECT_EQ(e.id, id_);
    }
}

TEST_F(SimCards, CardInformationComesBack) {
    for (auto form : {sim::WireForm::Exact, sim::WireForm::Stream, sim::WireForm::Fixed}) {
        sim::SimulatorConfig config = support::SimCards::config(1, "127.42.0.45");
        config.cards[0].answer_form = form;
        support::SimCards card;
        ASSERT_TRUE(card.start(config));
        const auto& c = config.cards[0];
        Bytes info(1088, 0xEE);
        EXPECT_EQ(GetCardInfoByTcp(c.id.c_str(), c.address.c_str(), info.data()), 0);
        const auto decoded = card_info::decode_card_info(info);
        EXPECT_EQ(decoded, card->state(c.id)->info);
        EXPECT_EQ(decoded.software_version, sim::kDefaultSoftwareVersion);
        EXPECT_EQ(decoded.hardware_version, sim::kDefaultHardwareVersion);
        Bytes more(160, 0xEE);
        EXPECT_EQ(GetCardMoreInfoByTcp(c.id.c_str(), c.address.c_str(), more.data()), 0);
        const auto m = card_info::decode_card_more_info(more);
        EXPECT_EQ(m.card_id, c.id);
        EXPECT_EQ(m.ip_address, c.address);
    }
}

TEST_F(SimCards, ConnectionCheckFillsTheConnectedCardTable) {
    EXPECT_EQ(ConnectCardSuccessOrFaile(ip_.c_str()), 1);
    EXPECT_EQ(ConnectCardSuccessOrFaile("127.42.0.42"), 1);  // the second card
    EXPECT_EQ(ConnectCardSuccessOrFaile(ip_.c_str()), 1);
    EXPECT_EQ(ConnectCardSuccessOrFaile("127.42.0.49"), 0);
    EXPECT_EQ(kelvra::connected_card_count(), 2u);
}

Bytes file_header(std::uint32_t length, const char* name) {
    Bytes h(212, 0);
    h[0] = 4;
    for (int k = 0; k < 4; ++k) h[4 + k] = static_cast<std::uint8_t>(length >> (8 * k));
    std::memcpy(h.data() + 112, name, std::strlen(name));
    return h;
}

TEST_F(SimCards, FileDataArrivesInPiecesOf2000) {
    struct Case {
        std::size_t length;
        std::vector<std::uint32_t> pieces;
    };
    const std::vector<Case> cases = {{0, {0}}, {2000, {2000, 0}}, {2001, {2000, 1}}, {4001, {2000, 2000, 1}}};
    kelvra::TransferGate& gate = kelvra::file_transfer_gate();
    gate.set_limit(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        const auto from = sim_->journal_end();
        Bytes data(c.length);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 251);
        const std::string name = "piece" + std::to_string(c.length) + ".bin";
        auto header =
            kelvra::CommandBlock::make(frame::CMD_FILE_HEADER, id_, 0, file_header(c.length, name.c_str()));
        auto main = kelvra::CommandBlock::make(frame::CMD_FILE_DATA, id_, 0, data);
        ASSERT_EQ(kelvra::SendCommand(kelvra::CardAddress::make(kelvra::ProtoType::Tcp, ip_), &gate, &main,
                                      &header),
                  0);
        ASSERT_TRUE(kelvra::wait_for_jobs(20s));
        std::vector<std::uint32_t> lengths;
        Bytes joined;
        for (const auto& e : sim_->journal()) {
            if (e.seq < from || e.command != frame::CMD_FILE_DATA) continue;
            lengths.push_back(e.length);
            joined.insert(joined.end(), e.data.begin(), e.data.end());
        }
        EXPECT_EQ(lengths, c.pieces);
        EXPECT_EQ(joined, data);
        bool stored = false;
        for (const auto& f : sim_->stored_files(id_)) {
            if (f.card_path.find(name) != std::string::npos) stored = f.complete && f.received == c.length;
        }
        EXPECT_TRUE(stored);
    }
    EXPECT_EQ(recorder::codes(), std::vector<std::uint32_t>(cases.size(), 402));
}

TEST_F(SimCards, DamagedAnswersNeverPassForGoodOnes) {
    struct Case {
        const char* name;
        sim::Faults faults;
        bool info_copied;  // GetCardInfoByTcp fills the buffer
        int io_result;     // GetIOState's result
    };
    auto faults = [](sim::Malformed m, bool silent = false) {
        sim::Faults f;
        f.malformed = m;
        f.silent = silent;
        return f;
    };
    const std::vector<Case> cases = {
        {"short", faults(sim::Malformed::Short), false, 18},
        {"silent", faults(sim::Malformed::None, true), false, 18},
        // A frame whose length field is bogus is no answer: nothing of it is copied.
        {"bogus length", faults(sim::Malformed::BogusLength), false, 18},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(sim_->set_faults(id_, c.faults));
        ASSERT_EQ(SetIOState(id_.c_str(), ip_.c_str(), 101, 0, 2, 1), 0);
        Bytes info(1088, 0xEE);
        EXPECT_EQ(GetCardInfoByTcp(id_.c_str(), ip_.c_str(), info.data()), 0);
        if (c.info_copied) {
            EXPECT_EQ(card_info::decode_card_info(info).card_id, id_);
        } else {
            EXPECT_EQ(info, Bytes(1088, 0xEE));
        }
        std::int32_t first = -7, second = -7;
        EXPECT_EQ(GetIOState(id_.c_str(), ip_.c_str(), 101, 0, 2, &first, &second), c.io_result);
        if (c.io_result == 18) {
            EXPECT_EQ(first, -7);
            EXPECT_EQ(second, -7);
        } else {
            EXPECT_EQ(second, 1 << 2);
        }
    }
}

}  // namespace
