// Fleet work against ledcard-sim on real sockets: the search and the parallel information reads, the
// plan file, a staged upgrade of many cards with faults and its resume, and a commit refused because
// the cards changed. Timing figures are lowered so that a run of 64 cards takes a moment.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <mutex>
#include <set>

#include "cardlink/card_exchange.h"
#include "common/frame.h"
#include "common/screen_control.h"
#include "fleet/commit.h"
#include "fleet/digest.h"
#include "fleet/inventory.h"
#include "fleet/plan.h"
#include "screenconfig/screen_params.h"
#include "tests/support/netns.h"
#include "tests/support/sim_cards.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace fleet {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(Sha256, KnownDigests) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // Two blocks, the padding in the second.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    };
    for (const auto& [text, digest] : cases) {
        Sha256 s;
        s.add(text);
        EXPECT_EQ(s.hex(), digest) << '"' << text << '"';
    }
}

TEST(Versions, TextAndWord) {
    EXPECT_EQ(version_text(0x00090120), "V9.120");
    EXPECT_EQ(version_text(0x0008FFFF), "V8.FFFF");
    const std::pair<std::string, std::optional<std::uint32_t>> cases[] = {
        {"V9.120", 0x00090120},  {"9.120", 0x00090120},      {"v8.ffff", 0x0008FFFF},
        {"V9", std::nullopt},    {"V.1", std::nullopt},      {"V1.", std::nullopt},
        {"V1.2x", std::nullopt}, {"V12345.1", std::nullopt}, {"", std::nullopt},
    };
    for (const auto& [text, word] : cases) EXPECT_EQ(parse_version(text), word) << text;
}

Plan sample_plan() {
    Plan p;
    p.action = ActionKind::Upgrade;
    p.firmware = "/srv/fw";
    p.firmware_digest = std::string(64, 'a');
    p.firmware_bytes = 8000;
    p.target_version = "V9.200";
    p.parallel = 8;
    p.cards.push_back({{"S730-413-00001", "127.1.0.1", 0x00090120, 0x00020001, std::string(64, 'b')},
                       {{"software_version", "V9.120", "V9.200"}}});
    p.left_out.push_back({"S730-413-00002", "127.1.0.2", "no answer to the information request"});
    return p;
}

TEST(PlanFile, SameBytesAfterARoundTripWithSortedKeys) {
    const std::string text = plan_to_json(sample_plan());
    std::string error;
    const auto back = plan_from_json(text, error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(plan_to_json(*back), text);
    EXPECT_LT(text.find("\"action\""), text.find("\"cards\""));
    EXPECT_LT(text.find("\"firmware\""), text.find("\"format\""));
    EXPECT_NE(text.find("\n    \"action\": \"upgrade\""), std::string::npos) << text;
}

TEST(PlanFile, RefusesWhatIsNotAPlanOfThisFormat) {
    const std::string good = plan_to_json(sample_plan());
    const auto edited = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        const auto at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? t : t.replace(at, from.size(), to);
    };
    const std::string cases[] = {
        "not json",
        "[]",
        edited("\"format\": 1", "\"format\": 2"),
        edited("\"upgrade\"", "\"profile\""),
        edited("\"parallel\": 8", "\"parallel\": 0"),
        edited("\"software_version\": \"V9.120\"", "\"software_version\": \"nine\""),
        edited("\"firmware_digest\"", "\"firmware_sum\""),
    };
    for (const auto& text : cases) {
        std::string error;
        EXPECT_FALSE(plan_from_json(text, error)) << text;
        EXPECT_FALSE(error.empty());
    }
}

CardReading read_one(std::string id, std::uint32_t sw, std::uint32_t scan) {
    CardReading r;
    r.card = {std::move(id), "127.1.0.1"};
    r.status = ReadStatus::Read;
    r.info.software_version = sw;
    const std::size_t at = static_cast<std::size_t>(screenconfig::ParamsField::scanCode) - 8;
    r.info.screen_params[at] = static_cast<std::uint8_t>(scan);
    return r;
}

TEST(MakePlan, SelectionTargetAndModuleChanges) {
    std::vector<CardReading> readings = {read_one("A", 0x00090120, 8), read_one("B", 0x00090200, 16),
                                         read_one("C", 0x00080814, 8)};
    readings.push_back({{"D", "127.1.0.4"}, ReadStatus::NoAnswer, {}, {}});

    Plan upgrade;
    upgrade.target_version = "V9.200";
    Selection below{{}, 0x00090200};
    auto plan = make_plan(upgrade, below, readings);
    ASSERT_EQ(plan.cards.size(), 2u);
    EXPECT_EQ(plan.cards[0].card.id, "A");
    EXPECT_EQ(plan.cards[1].card.id, "C");
    EXPECT_EQ(plan.cards[1].changes.at(0).from, "V8.814");
    EXPECT_EQ(plan.cards[1].changes.at(0).to, "V9.200");
    ASSERT_EQ(plan.left_out.size(), 2u);
    EXPECT_EQ(plan.left_out[1].reason, "no answer to the information request");

    // Listed cards only, and one listed card that never answered.
    plan = make_plan(upgrade, Selection{{"C", "Z"}, {}}, readings);
    ASSERT_EQ(plan.cards.size(), 1u);
    EXPECT_EQ(plan.left_out.back().id, "Z");
    EXPECT_EQ(plan.left_out.back().reason, "did not answer the search");

    // A record with scan code 16: A and C change, B has it already.
    Plan hcp;
    hcp.action = ActionKind::SendHcp;
    screenconfig::ScreenParams record;
    record.set(screenconfig::ParamsField::scanCode, 16);
    for (const std::uint8_t b : record.bytes()) {
        static constexpr char kHex[] = "0123456789abcdef";
        hcp.hcp_record += kHex[b >> 4];
        hcp.hcp_record += kHex[b & 15];
    }
    plan = make_plan(hcp, {}, readings);
    ASSERT_EQ(plan.cards.size(), 2u);
    ASSERT_EQ(plan.cards[0].changes.size(), 1u);
    EXPECT_EQ(plan.cards[0].changes[0].what, "scan_code");
    EXPECT_EQ(plan.cards[0].changes[0].from, "8");
    EXPECT_EQ(plan.cards[0].changes[0].to, "16");
    EXPECT_EQ(plan.left_out[0].reason, "already has these module parameters");
}

// Records every observer call; checks that calls never overlap.
class Recorder final : public CommitObserver {
  public:
    void card_started(const std::string& id) override {
        enter([&] { started.push_back(id); });
    }
    void card_progress(const std::string&, std::uint64_t, std::uint64_t) override {
        enter([&] { ++progress; });
    }
    void card_finished(const CardReport& r) override {
        enter([&] { finished.push_back(r); });
    }
    std::vector<std::string> started;
    std::vector<CardReport> finished;
    std::size_t progress = 0;
    bool overlapped = false;

  private:
    template <class F>
    void enter(F f) {
        if (!busy_.try_lock()) {
            overlapped = true;
            return;
        }
        f();
        busy_.unlock();
    }
    std::mutex busy_;
};

CommitSettings quick() {
    CommitSettings s;
    s.read.answer = 1500ms;
    s.upgrade.after_header = 0ms;
    s.upgrade.after_file = 20ms;
    s.upgrade.before_close = 0ms;
    s.upgrade.answer = 1500ms;
    return s;
}

// A firmware of two small files: three data frames in the kernel file, one in the application file.
void write_firmware(const fs::path& base) {
    support::write_file(base / "Kernel" / "kernel.bin", std::string(5000, 'k'));
    support::write_file(base / "Application" / "app.bin", std::string(1000, 'a'));
}

class FleetOnSim : public ::testing::Test {
  protected:
    std::vector<CardReading> read_all(std::size_t parallel = 8) {
        std::vector<FoundCard> found;
        for (std::size_t i = 0; i < sim.count(); ++i) found.push_back({sim.id(i), sim.ip(i)});
        ReadSettings s;
        s.parallel = parallel;
        s.answer = 1500ms;
        return read_cards(found, s);
    }
    Plan upgrade_plan(const fs::path& firmware, std::size_t parallel) {
        Plan p;
        p.action = ActionKind::Upgrade;
        p.firmware = firmware.string();
        p.firmware_digest = firmware_digest(p.firmware);
        p.parallel = parallel;
        return make_plan(p, {}, read_all());
    }
    support::SimCards sim;
    support::TempDir dir;
};

TEST_F(FleetOnSim, SearchAndReadListEveryCardAndTheOneThatDoesNotAnswer) {
    REQUIRE_PRIVATE_NETNS();
    auto config = support::SimCards::config(12, "127.3.0.1");
    config.discovery_socket = true;
    config.cards[3].software_version = 0x00080814;
    config.cards[7].faults.silent = true;
    config.cards[7].faults.only_command = frame::CMD_GET_CARD_INFO;
    ASSERT_TRUE(sim.start(config));

    const auto found = discover("127.255.255.255", 600ms);
    ASSERT_TRUE(found.socket_opened);
    std::set<std::string> ids;
    for (const auto& c : found.cards) ids.insert(c.id);
    EXPECT_EQ(ids.size(), found.cards.size()) << "each card once";
    ASSERT_EQ(ids.size(), 12u);

    ReadSettings s;
    s.parallel = 4;
    s.answer = 800ms;
    const auto readings = read_cards(found.cards, s);
    for (const auto& r : readings) {
        const bool silent = r.card.id == sim.id(7);
        EXPECT_EQ(r.status, silent ? ReadStatus::NoAnswer : ReadStatus::Read) << r.card.id;
        if (silent) continue;
        EXPECT_EQ(r.info.card_id, r.card.id);
        EXPECT_EQ(r.info.software_version,
                  r.card.id == sim.id(3) ? 0x00080814u : sim::kDefaultSoftwareVersion);
        EXPECT_EQ(r.info.screen_width, 128u);
    }
}

TEST_F(FleetOnSim, StagedUpgradeReportsTheFailedCardsAndASecondRunDoesOnlyThose) {
    auto config = support::SimCards::config(64, "127.4.0.1");
    ASSERT_TRUE(sim.start(config));
    const std::set<std::string> cut = {sim.id(9), sim.id(40)};
    const std::string refusing = sim.id(23);
    sim::Faults hang_up;
    hang_up.close_after_data_frames = 2;  // in the middle of the kernel file
    for (const auto& id : cut) ASSERT_TRUE(sim->set_faults(id, hang_up));
    sim::Faults refuse;
    refuse.answer_error = true;
    refuse.only_command = frame::CMD_UPGRADE_START;
    ASSERT_TRUE(sim->set_faults(refusing, refuse));
    // A slow card is still done: its answers leave late, within the wait for them.
    sim::Faults slow;
    slow.delay_ms = 300;
    ASSERT_TRUE(sim->set_faults(sim.id(50), slow));

    write_firmware(dir / "fw");
    const Plan plan = upgrade_plan(dir / "fw", 8);
    ASSERT_EQ(plan.cards.size(), 64u);
    const std::string text = plan_to_json(plan);
    const fs::path state = state_file_of(dir / "plan.json");
    Recorder first;
    const auto result = commit(plan, text, state, first, quick());
    ASSERT_EQ(result.status, CommitStatus::Ran);
    EXPECT_FALSE(first.overlapped);
    EXPECT_GT(first.progress, 0u);
    ASSERT_EQ(result.reports.size(), 64u);
    std::set<std::string> failed;
    for (const auto& r : result.reports) {
        if (r.outcome == Outcome::Done) {
            EXPECT_EQ(r.sent, 6000u) << r.id;
            continue;
        }
        failed.insert(r.id);
        if (cut.count(r.id) != 0) {
            EXPECT_EQ(r.outcome, Outcome::ConnectionLost) << r.id;
            // What the card's TCP took before it hung up: it may have taken bytes it never read.
            EXPECT_LE(r.sent, r.total);
            EXPECT_EQ(r.total, 6000u);
            EXPECT_FALSE(r.file.empty());
        } else {
            EXPECT_EQ(r.outcome, Outcome::Refused) << r.id;
            EXPECT_EQ(r.sent, 0u);
        }
    }
    EXPECT_EQ(failed, (std::set<std::string>{sim.id(9), sim.id(40), refusing}));
    EXPECT_EQ(first.finished.size(), 64u);

    // The others took both files whole and the end command; the failed ones never got the end.
    std::map<std::string, int> ends;
    for (const auto& e : sim.frames(frame::CMD_UPGRADE_END)) ++ends[e.card];
    for (std::size_t i = 0; i < sim.count(); ++i) {
        const bool ok = failed.count(sim.id(i)) == 0;
        EXPECT_EQ(ends[sim.id(i)], ok ? 1 : 0) << sim.id(i);
        EXPECT_EQ(sim.state(i)->upgrades_finished, ok ? 1u : 0u) << sim.id(i);
        if (!ok) continue;
        const auto files = sim->stored_files(sim.id(i));
        EXPECT_EQ(std::count_if(files.begin(), files.end(), [](const auto& f) { return f.complete; }), 2)
            << sim.id(i);
    }

    EXPECT_EQ(result.reports[50].outcome, Outcome::Done);

    // The cards are mended; the same plan again works on the three failed cards only.
    for (const auto& id : failed) ASSERT_TRUE(sim->set_faults(id, {}));
    const std::uint64_t mark = sim->journal_end();
    Recorder second;
    const auto again = commit(plan, text, state, second, quick());
    ASSERT_EQ(again.status, CommitStatus::Ran);
    std::set<std::string> started;
    for (const auto& e : sim.frames(frame::CMD_UPGRADE_START, mark)) started.insert(e.card);
    EXPECT_EQ(started, failed);
    EXPECT_EQ(std::set<std::string>(second.started.begin(), second.started.end()), failed);
    for (const auto& r : again.reports)
        EXPECT_EQ(r.outcome, failed.count(r.id) != 0 ? Outcome::Done : Outcome::DoneBefore) << r.id;
}

TEST_F(FleetOnSim, StopOnFailureStartsNoFurtherCard) {
    ASSERT_TRUE(sim.start(support::SimCards::config(4, "127.5.0.1")));
    sim::Faults refuse;
    refuse.answer_error = true;
    refuse.only_command = frame::CMD_UPGRADE_START;
    ASSERT_TRUE(sim->set_faults(sim.id(0), refuse));
    write_firmware(dir / "fw");
    Plan plan = upgrade_plan(dir / "fw", 1);
    plan.stop_on_failure = true;
    Recorder observer;
    const auto result = commit(plan, plan_to_json(plan), dir / "plan.state", observer, quick());
    ASSERT_EQ(result.reports.size(), 4u);
    EXPECT_EQ(result.reports[0].outcome, Outcome::Refused);
    for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(result.reports[i].outcome, Outcome::NotStarted);
    EXPECT_TRUE(sim.frames(frame::CMD_FILE_HEADER).empty());
}

TEST_F(FleetOnSim, CommitRefusesAPlanWhoseCardsOrFirmwareChanged) {
    ASSERT_TRUE(sim.start(support::SimCards::config(4, "127.6.0.1")));
    write_firmware(dir / "fw");
    const Plan plan = upgrade_plan(dir / "fw", 4);
    const std::string text = plan_to_json(plan);

    // One card gets another brightness after the plan was made.
    std::vector<std::uint8_t> block(screen_control::kSize, 0);
    block[0] = 2;  // brightness
    block[8] = 3;
    // The card does not answer a brightness change: its information shows it.
    ASSERT_TRUE(
        cardlink::ExchangeCommand({sim.id(2), sim.ip(2)}, frame::CMD_SCREEN_CONTROL, block, false).ok());
    ASSERT_TRUE(support::wait_until([&] { return sim.state(2)->info.brightness == 3u; }));
    Recorder observer;
    auto result = commit(plan, text, dir / "plan.state", observer, quick());
    EXPECT_EQ(result.status, CommitStatus::CardsChanged);
    ASSERT_EQ(result.drift.size(), 1u);
    EXPECT_EQ(result.drift[0].id, sim.id(2));
    EXPECT_EQ(result.drift[0].what, "settings");
    EXPECT_TRUE(sim.frames(frame::CMD_UPGRADE_START).empty());
    EXPECT_FALSE(fs::exists(dir / "plan.state"));

    // A plan made now goes through; then the firmware is edited and the same plan is refused.
    const Plan fresh = upgrade_plan(dir / "fw", 4);
    support::write_file(dir / "fw" / "Application" / "app.bin", std::string(1000, 'b'));
    result = commit(fresh, plan_to_json(fresh), dir / "fresh.state", observer, quick());
    EXPECT_EQ(result.status, CommitStatus::SourceChanged);
    EXPECT_TRUE(sim.frames(frame::CMD_UPGRADE_START).empty());
}

TEST_F(FleetOnSim, ParameterSendToManyCardsAndTheCardThatDoesNotAnswer) {
    ASSERT_TRUE(sim.start(support::SimCards::config(6, "127.7.0.1")));
    sim::Faults silent;
    silent.silent = true;
    silent.only_command = frame::CMD_SCREEN_CONTROL;
    ASSERT_TRUE(sim->set_faults(sim.id(4), silent));
    screenconfig::ScreenParams record;
    record.set(screenconfig::ParamsField::scanCode, 16);
    record.set(screenconfig::ParamsField::hubType, 2);
    Plan plan;
    plan.action = ActionKind::SendHcp;
    for (const std::uint8_t b : record.bytes()) {
        static constexpr char kHex[] = "0123456789abcdef";
        plan.hcp_record += kHex[b >> 4];
        plan.hcp_record += kHex[b & 15];
    }
    plan.parallel = 3;
    plan = make_plan(plan, {}, read_all());
    ASSERT_EQ(plan.cards.size(), 6u);
    Recorder observer;
    CommitSettings s = quick();
    s.exchange.receive = 500ms;
    const auto result = commit(plan, plan_to_json(plan), dir / "plan.state", observer, s);
    ASSERT_EQ(result.status, CommitStatus::Ran);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(result.reports[i].outcome, i == 4 ? Outcome::NoAnswer : Outcome::Done) << i;
        if (i == 4) continue;
        std::map<std::string, std::uint32_t> fields;
        for (const auto& f : module_fields(sim.state(i)->info)) fields[f.name] = f.value;
        EXPECT_EQ(fields["scan_code"], 16u) << sim.id(i);
        EXPECT_EQ(fields["hub_type"], 2u) << sim.id(i);
    }
}

}  // namespace
}  // namespace fleet
