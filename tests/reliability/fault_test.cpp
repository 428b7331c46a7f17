// One table of faults, each tried with every client that reads a card's answer: Vantor's card exchange
// (a status command), Kelvra's GetIOState and GetCardInfoByTcp. A fault comes from the card (the
// simulator's switches) or from the line between (the TCP proxy). Each client gives its documented
// result within its bound (an upper bound; nothing here waits a fixed time), the caller's buffer is
// left as it was when no usable answer came, and once the fault is gone the same card works again.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "cardlink/card_exchange.h"
#include "common/card_info.h"
#include "common/frame.h"
#include "kelvra/kelvra.h"
#include "library/protocol/card_commands.h"
#include "library/protocol/timeouts.h"
#include "simulator/sim.h"
#include "tests/kelvra_protocol/recorder.h"
#include "tests/support/messages.h"
#include "tests/support/tcp_proxy.h"
#include "tests/support/sim_cards.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using cardlink::ExchangeError;

constexpr const char* kCardAddress = "127.42.0.81";
constexpr const char* kProxyAddress = "127.42.0.80";
// What a bound may overrun by on a loaded machine (sanitizers, two cores shared by several runs).
constexpr auto kMargin = 1500ms;

// The bounds the clients run with: lowered from the defaults so the table runs in seconds.
cardlink::ExchangeTimeouts vantor_timeouts() {
    cardlink::ExchangeTimeouts t;
    t.connect = 1000ms;
    t.send = 1000ms;
    t.receive = 1500ms;
    return t;
}
kelvra::Timeouts kelvra_timeouts() {
    kelvra::Timeouts t;
    t.connect = 1000ms;
    t.send = 1000ms;
    t.answer = 1500ms;
    return t;
}

// A screen-control block the card answers with a status (output-enable polarity).
Bytes status_block() {
    Bytes block(408, 0);
    block[0] = 6;
    block[8] = 1;
    return block;
}

struct Scenario {
    const char* name;
    sim::Faults card;
    support::ProxyFaults line;
    ExchangeError vantor;  // the exchange's result
    bool kelvra_answers;   // GetIOState answered and GetCardInfoByTcp filled the buffer
};

sim::Faults malformed(sim::Malformed m) {
    sim::Faults f;
    f.malformed = m;
    return f;
}

std::vector<Scenario> scenarios() {
    sim::Faults error;
    error.answer_error = true;
    sim::Faults silent;
    silent.silent = true;
    support::ProxyFaults trickle;
    trickle.trickle_bytes_per_second = 1;
    support::ProxyFaults late;
    late.latency = 300ms;
    support::ProxyFaults hold;
    hold.hold_open = true;
    support::ProxyFaults cut;
    cut.close_after_bytes = 10;
    support::ProxyFaults reset;
    reset.reset = true;
    return {
        {"no fault", {}, {}, ExchangeError::None, true},
        {"answers late, within the bound", {}, late, ExchangeError::None, true},
        // "Error!" is a status answer's text: the information and line answers carry none.
        {"answers Error!", error, {}, ExchangeError::AnswerRejected, true},
        {"never answers", silent, {}, ExchangeError::NoAnswer, false},
        {"answers garbage", malformed(sim::Malformed::Garbage), {}, ExchangeError::AnswerRejected, false},
        {"answers another command's frame",
         malformed(sim::Malformed::OtherCommand),
         {},
         ExchangeError::AnswerRejected,
         false},
        {"answers without lead-in",
         malformed(sim::Malformed::NoLeadIn),
         {},
         ExchangeError::AnswerRejected,
         false},
        {"answers less than a header",
         malformed(sim::Malformed::Short),
         {},
         ExchangeError::AnswerRejected,
         false},
        {"trickles its answer, a byte a second", {}, trickle, ExchangeError::AnswerRejected, false},
        {"holds the connection open, says nothing", {}, hold, ExchangeError::NoAnswer, false},
        {"line closes mid-request", {}, cut, ExchangeError::NoAnswer, false},
        {"line reset when the card answers", {}, reset, ExchangeError::NoAnswer, false},
    };
}

class Faults : public ::testing::Test {
  protected:
    void SetUp() override {
        recorder::reset();
        sim::SimulatorConfig config;
        sim::CardConfig card;
        card.id = "S730-413-05862";
        card.address = kCardAddress;
        config.cards.push_back(card);
        config.discovery_socket = false;
        ASSERT_TRUE(sim_.start(config));
        id_ = card.id;
    }
    void TearDown() override { EXPECT_TRUE(kelvra::wait_for_jobs(30s)); }

    support::SimCards sim_;
    std::string id_;
};

// Runs `call`, checks that it took less than `bound`, and returns its value.
template <typename F>
auto within(std::chrono::milliseconds bound, F call) {
    const auto begin = Clock::now();
    auto r = call();
    EXPECT_LT(Clock::now() - begin, bound + kMargin);
    return r;
}

TEST_F(Faults, EachClientGivesItsResultWithinItsBoundAndWorksOnceTheFaultIsGone) {
    support::TcpProxy proxy(kProxyAddress, kCardAddress, frame::kCommandPort);
    ASSERT_TRUE(proxy.listening());
    const kelvra::ScopedTimeouts lowered(kelvra_timeouts());
    const auto vt = vantor_timeouts();
    const auto kt = kelvra_timeouts();
    const cardlink::CardTarget card{id_, kProxyAddress};

    for (const auto& s : scenarios()) {
        SCOPED_TRACE(s.name);
        ASSERT_TRUE(sim_->set_faults(id_, s.card));
        proxy.set_faults(s.line);

        const auto exchange = within(vt.connect + vt.send + vt.receive, [&] {
            return cardlink::ExchangeCommand(card, frame::CMD_SCREEN_CONTROL, status_block(), true, vt);
        });
        EXPECT_EQ(exchange.error, s.vantor);

        std::int32_t first = -7, second = -7;
        const int io = within(kt.connect + kt.answer, [&] {
            return GetIOState(id_.c_str(), kProxyAddress, 1, 0, 2, &first, &second);
        });
        if (s.kelvra_answers) {
            EXPECT_NE(io, kelvra::kGetIoNoAnswer);
        } else {
            EXPECT_EQ(io, kelvra::kGetIoNoAnswer);
            EXPECT_EQ(first, -7);
            EXPECT_EQ(second, -7);
        }

        Bytes info(card_info::kBlockSize, 0xEE);
        EXPECT_EQ(within(kt.connect + kt.answer,
                         [&] { return GetCardInfoByTcp(id_.c_str(), kProxyAddress, info.data()); }),
                  0);
        if (s.kelvra_answers) {
            EXPECT_EQ(card_info::decode_card_info(info).card_id, id_);
        } else {
            EXPECT_EQ(info, Bytes(card_info::kBlockSize, 0xEE)) << "no usable answer leaves the buffer alone";
        }

        // The fault is gone: the same card, through the same proxy, answers every client again.
        ASSERT_TRUE(sim_->set_faults(id_, {}));
        proxy.set_faults({});
        EXPECT_TRUE(
            cardlink::ExchangeCommand(card, frame::CMD_SCREEN_CONTROL, status_block(), true, vt).ok());
        EXPECT_NE(GetIOState(id_.c_str(), kProxyAddress, 1, 0, 2, &first, &second), kelvra::kGetIoNoAnswer);
        Bytes again(card_info::kBlockSize, 0);
        GetCardInfoByTcp(id_.c_str(), kProxyAddress, again.data());
        EXPECT_EQ(card_info::decode_card_info(again).card_id, id_);
    }
    EXPECT_GT(proxy.connections(), 0);
}

// What the user is shown for each failing kind of answer: the command's own short code, once.
TEST_F(Faults, VantorShowsTheCommandsCodeOnceForEveryFailedAnswer) {
    const auto vt = vantor_timeouts();
    const cardlink::CardTarget card{id_, kCardAddress};
    for (const auto& s : scenarios()) {
        if (s.line != support::ProxyFaults{} || s.vantor == ExchangeError::None) continue;
        SCOPED_TRACE(s.name);
        ASSERT_TRUE(sim_->set_faults(id_, s.card));
        support::RecordingMessages messages;
        EXPECT_EQ(cardlink::exchange_and_report(card, frame::CMD_SCREEN_CONTROL, status_block(), "error RP",
                                                true, vt),
                  -1);
        EXPECT_EQ(messages.texts(), std::vector<std::string>{"error RP"});
    }
}

}  // namespace
