// The exchange service against ledcard-sim: jobs run off the owner's thread, one at a time and in order,
// and their reports come back through the event loop on the owner's thread.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <memory>
#include <thread>
#include <vector>

#include "cardlink/exchange_service.h"
#include "common/frame.h"
#include "common/screen_control.h"
#include "simulator/sim.h"
#include "tests/cardlink/fixture.h"
#include "tests/support/qt/pump.h"
#include "tests/support/sim_cards.h"

namespace cardlink {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> oe_block(std::uint8_t polarity) {
    std::vector<std::uint8_t> block(screen_control::kSize, 0);
    block[0] = 6;
    block[8] = polarity;
    return block;
}

class ExchangeServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!cardlink_test::PrivateNetwork()) GTEST_SKIP() << "needs a private network namespace (root)";
        sim::SimulatorConfig config = support::SimCards::config(2, "127.0.0.2");
        config.cards[1].faults.silent = true;
        cards_ = config.cards;
        ASSERT_TRUE(sim_.start(config));
        ExchangeTimeouts quick;
        quick.receive = 300ms;
        service_.setTimeouts(quick);
    }
    CardTarget target(std::size_t i) const { return {cards_[i].id, cards_[i].address}; }

    std::vector<sim::CardConfig> cards_;
    support::SimCards sim_;
    ExchangeService service_;
};

TEST_F(ExchangeServiceTest, ReportsComeBackInOrderOnTheOwnersThread) {
    std::vector<bool> busy_changes;
    QObject::connect(&service_, &ExchangeService::busyChanged, [&](bool b) { busy_changes.push_back(b); });
    std::vector<std::pair<int, ExchangeError>> reports;
    std::vector<bool> on_owner;
    QObject context;
    const auto owner = QThread::currentThread();
    // The silent card first: the answered ones behind it wait for it and keep their order.
    const std::size_t order[] = {1, 0, 0, 1, 0};
    for (int i = 0; i < 5; ++i) {
        service_.submitCommand(target(order[i]), frame::CMD_SCREEN_CONTROL,
                               oe_block(static_cast<std::uint8_t>(i % 2)), true, &context,
                               [&, i](const ExchangeResult& r) {
                                   reports.emplace_back(i, r.error);
                                   on_owner.push_back(QThread::currentThread() == owner);
                               });
    }
    EXPECT_TRUE(service_.busy());
    EXPECT_TRUE(reports.empty()) << "submit never waits for the card";
    ASSERT_TRUE(support::pump_until([&] { return !service_.busy(); }, 10s));
    ASSERT_EQ(reports.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(reports[static_cast<std::size_t>(i)].first, i);
        EXPECT_EQ(reports[static_cast<std::size_t>(i)].second,
                  order[i] == 1 ? ExchangeError::NoAnswer : ExchangeError::None);
        EXPECT_TRUE(on_owner[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(busy_changes, (std::vector<bool>{true, false}));
    // The card took the commands in the order they were given.
    const auto journal = sim_->journal();
    std::vector<std::uint8_t> polarities;
    for (const auto& e : journal)
        if (e.card == cards_[0].id && e.command == frame::CMD_SCREEN_CONTROL) polarities.push_back(e.data[8]);
    EXPECT_EQ(polarities, (std::vector<std::uint8_t>{1, 0, 0}));
}

TEST_F(ExchangeServiceTest, AReportWhoseContextIsGoneIsDropped) {
    bool called = false;
    auto context = std::make_unique<QObject>();
    service_.submitCommand(target(0), frame::CMD_SCREEN_CONTROL, oe_block(1), true, context.get(),
                           [&](const ExchangeResult&) { called = true; });
    context.reset();
    ASSERT_TRUE(support::pump_until([&] { return !service_.busy(); }, 5s));
    EXPECT_FALSE(called);
}

TEST_F(ExchangeServiceTest, DestroyedWhileBusyEndsTheRunningJobAndDropsTheRest) {
    auto service = std::make_unique<ExchangeService>();
    int reports = 0;
    QObject context;
    for (int i = 0; i < 3; ++i)
        service->submitCommand(target(1), frame::CMD_SCREEN_CONTROL, oe_block(0), true, &context,
                               [&](const ExchangeResult&) { ++reports; });
    const auto begin = std::chrono::steady_clock::now();
    service.reset();  // waits for the first (bounded by its time-out), never runs the other two
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5s);
    support::pump_for(100ms);
    EXPECT_EQ(reports, 0);
}

}  // namespace
}  // namespace cardlink
