// A profile applied to simulated cards on loopback: each card's result is named as it happened, and
// the cards that took it hold the profile's record.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "common/frame.h"
#include "common/screen_control.h"
#include "profile_fixture.h"
#include "profiles/profile_apply.h"
#include "tests/support/sim_cards.h"

namespace {

using namespace std::chrono_literals;
using namespace profiles;

// The screen parameters a card took: the record's bytes 8..59 at the block's bytes 12..63.
std::vector<std::uint8_t> params_in(const sim::JournalEntry& e) {
    return {e.data.begin() + 12, e.data.begin() + 64};
}

TEST(ProfileApply, SixteenCardsOneSilentOneRefusingEachGetTheirOwnResult) {
    auto config = support::SimCards::config(16, "127.42.31.1");
    config.cards[5].faults.silent = true;
    config.cards[9].faults.answer_error = true;
    support::SimCards cards;
    ASSERT_TRUE(cards.start(config));

    const Profile profile = profiles_test::sample_profile();
    cardlink::ExchangeTimeouts timeouts;
    timeouts.receive = 400ms;
    std::vector<std::future<ApplyOutcome>> running;
    for (std::size_t i = 0; i < cards.count(); ++i)
        running.push_back(std::async(std::launch::async, [&, i] {
            return apply_to_card(profile, {cards.id(i), cards.ip(i)}, timeouts);
        }));
    // A card whose address nobody serves: no connection, nothing sent.
    EXPECT_EQ(apply_to_card(profile, {"S730-413-09999", "127.42.31.200"}, timeouts),
              ApplyOutcome::NoConnection);

    const std::vector<std::uint8_t> expected(profile.record.bytes().begin() + 8,
                                             profile.record.bytes().begin() + 60);
    for (std::size_t i = 0; i < cards.count(); ++i) {
        const ApplyOutcome outcome = running[i].get();
        const ApplyOutcome want = i == 5   ? ApplyOutcome::NoAnswer
                                  : i == 9 ? ApplyOutcome::Refused
                                           : ApplyOutcome::Done;
        EXPECT_EQ(outcome_name(outcome), outcome_name(want)) << cards.id(i);
        std::vector<sim::JournalEntry> taken;
        for (auto& e : cards.frames(frame::CMD_SCREEN_CONTROL))
            if (e.card == cards.id(i)) taken.push_back(std::move(e));
        ASSERT_EQ(taken.size(), 1u) << cards.id(i);
        EXPECT_EQ(taken[0].data.size(), screen_control::kSize);
        EXPECT_EQ(params_in(taken[0]), expected) << cards.id(i);
    }
}

}  // namespace
