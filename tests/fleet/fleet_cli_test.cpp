// `vantor-cli fleet` as a program against ledcard-sim cards found by the loopback broadcast: the
// inventory in its three forms, a ".hcp" plan and its commit, the resume, and the refusal of a plan
// whose card changed. The upgrade's many-card behaviour is tested on the module (fleet_test.cpp).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "cardlink/card_exchange.h"
#include "common/frame.h"
#include "common/screen_control.h"
#include "screenconfig/record_files.h"
#include "tests/support/netns.h"
#include "tests/support/sim_cards.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace {

using nlohmann::json;

struct Result {
    int exit_code = -1;
    std::string out;
    std::string err;
};

Result vantor(const std::string& args, const support::TempDir& dir) {
    const auto err_file = dir.path() / "stderr";
    const std::string command = std::string(VANTOR_CLI) + " " + args + " 2>" + err_file.string();
    Result r;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = support::read_text(err_file);
    return r;
}

json parsed(const Result& r) {
    const json j = json::parse(r.out, nullptr, false);
    EXPECT_FALSE(j.is_discarded()) << r.out << r.err;
    return j;
}

class FleetCli : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!support::private_broadcast_ready()) GTEST_SKIP() << "needs a private network namespace";
        auto config = support::SimCards::config(5, "127.9.0.1");
        config.discovery_socket = true;
        config.cards[1].software_version = 0x00080814;
        ASSERT_TRUE(sim.start(config));
    }
    const std::string search = " --address 127.255.255.255 --timeout 300";
    support::SimCards sim;
    support::TempDir dir;
};

TEST_F(FleetCli, InventoryAsJsonCsvAndTable) {
    sim::Faults silent;
    silent.silent = true;
    silent.only_command = frame::CMD_GET_CARD_INFO;
    ASSERT_TRUE(sim->set_faults(sim.id(4), silent));
    Result r = vantor("fleet inventory --json --parallel 2" + search, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const json j = parsed(r);
    EXPECT_EQ(j.value("command", ""), "fleet inventory");
    EXPECT_EQ(j.value("cards_found", 0), 5);
    EXPECT_EQ(j.value("cards_unread", 0), 1);
    ASSERT_EQ(j["cards"].size(), 5u);
    for (const auto& card : j["cards"]) {
        const std::string id = card["id"];
        if (id == sim.id(4)) {
            EXPECT_EQ(card["status"], "no_answer");
            EXPECT_FALSE(card.contains("software_version"));
            continue;
        }
        EXPECT_EQ(card["status"], "read");
        EXPECT_EQ(card["software_version"], id == sim.id(1) ? "V8.814" : "V9.120");
        EXPECT_EQ(card["hardware_version"], "V2.1");
        EXPECT_EQ(card["screen_width"], 128);
        EXPECT_TRUE(card["module"].contains("scan_code"));
        EXPECT_EQ(card["settings_digest"].get<std::string>().size(), 64u);
    }
    EXPECT_NE(r.err.find("1 of 5 cards answered the search but not the information request"),
              std::string::npos);
    ASSERT_TRUE(sim->set_faults(sim.id(4), {}));

    r = vantor("fleet inventory --csv" + search, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line.rfind("id,address,status,hardware_version,software_version,", 0), 0u) << line;
    int rows = 0;
    while (std::getline(lines, line)) ++rows;
    EXPECT_EQ(rows, 5);

    r = vantor("fleet inventory" + search, dir);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.rfind("IDENTIFIER", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(sim.id(4) + " "), std::string::npos);
    EXPECT_NE(r.out.find("V8.814"), std::string::npos);

    EXPECT_EQ(vantor("fleet inventory --csv --json" + search, dir).exit_code, 2);
    EXPECT_EQ(vantor("fleet inventory --parallel 0" + search, dir).exit_code, 2);
    EXPECT_EQ(vantor("fleet inventory --json --address 127.9.9.250 --timeout 200", dir).exit_code, 4);
}

TEST_F(FleetCli, HcpPlanCommitAndResume) {
    screenconfig::ScreenParams record;
    record.set(screenconfig::ParamsField::scanCode, 16);
    const auto hcp = dir / "module.hcp";
    ASSERT_EQ(screenconfig::save_hcp(hcp, record), screenconfig::WriteStatus::Ok);
    const auto plan_file = (dir / "plan.json").string();

    // Only the cards below V9.120: the one at V8.814.
    Result r = vantor(
        "fleet plan send-hcp " + hcp.string() + " --plan " + plan_file + " --below V9.120 --json" + search,
        dir);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    json j = parsed(r);
    ASSERT_EQ(j["cards"].size(), 1u);
    EXPECT_EQ(j["cards"][0]["id"], sim.id(1));
    EXPECT_EQ(j["cards"][0]["changes"][0]["what"], "scan_code");
    EXPECT_EQ(j["cards"][0]["changes"][0]["to"], "16");
    EXPECT_EQ(j["left_out"].size(), 4u);
    EXPECT_EQ(j["left_out"][0]["reason"], "software version V9.120 is not below V9.120");
    const std::string plan_text = support::read_text(plan_file);
    EXPECT_EQ(parsed({0, plan_text, ""})["action"], "send-hcp");

    // Every card.
    r = vantor("fleet plan send-hcp " + hcp.string() + " --plan " + plan_file + " --parallel 2" + search,
               dir);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("scan_code 0 -> 16"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("5 cards planned, 0 left out"), std::string::npos) << r.out;

    r = vantor("fleet commit --json " + plan_file, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    j = parsed(r);
    EXPECT_EQ(j["summary"]["done"], 5);
    // Progress went to standard error as JSON lines (not a terminal).
    EXPECT_NE(r.err.find("{\"cards\":5,\"event\":\"finished\""), std::string::npos) << r.err;
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(sim.state(i)->last_screen_control.count(1), 1u) << i;

    const std::uint64_t mark = sim->journal_end();
    r = vantor("fleet commit --json " + plan_file, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(parsed(r)["summary"]["done_before"], 5);
    EXPECT_TRUE(sim.frames(frame::CMD_SCREEN_CONTROL, mark).empty());

    // A new plan finds the record on every card that took it.
    r = vantor("fleet plan send-hcp " + hcp.string() + " --plan " + plan_file + " --json" + search, dir);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    j = parsed(r);
    EXPECT_TRUE(j["cards"].empty());
    EXPECT_EQ(j["left_out"][0]["reason"], "already has these module parameters");
}

TEST_F(FleetCli, CommitRefusesAPlanWhoseCardChangedAndBadPlanFiles) {
    support::write_file(dir / "fw" / "Kernel" / "k.bin", std::string(100, 'k'));
    const auto plan_file = (dir / "plan.json").string();
    ASSERT_EQ(vantor("fleet plan upgrade " + (dir / "fw").string() + " --plan " + plan_file + " --cards " +
                         sim.id(0) + "," + sim.id(2) + search,
                     dir)
                  .exit_code,
              0);
    std::vector<std::uint8_t> block(screen_control::kSize, 0);
    block[0] = 2;
    block[8] = 5;
    // The card does not answer a brightness change: its information shows it.
    ASSERT_TRUE(
        cardlink::ExchangeCommand({sim.id(2), sim.ip(2)}, frame::CMD_SCREEN_CONTROL, block, false).ok());
    ASSERT_TRUE(support::wait_until([&] { return sim.state(2)->info.brightness == 5u; }));
    const Result r = vantor("fleet commit --json " + plan_file, dir);
    EXPECT_EQ(r.exit_code, 5) << r.err;
    const json j = parsed(r);
    EXPECT_EQ(j["error"], "plan_outdated");
    ASSERT_EQ(j["changed"].size(), 1u);
    EXPECT_EQ(j["changed"][0]["id"], sim.id(2));
    EXPECT_TRUE(sim.frames(frame::CMD_UPGRADE_START).empty());

    support::write_file(dir / "bad.json", std::string("{\"format\": 1}"));
    EXPECT_EQ(parsed(vantor("fleet commit --json " + (dir / "bad.json").string(), dir))["error"],
              "not_a_plan");
    EXPECT_EQ(vantor("fleet commit " + (dir / "absent.json").string(), dir).exit_code, 3);
    EXPECT_EQ(vantor("fleet plan upgrade " + (dir / "none").string() + " --plan " + plan_file + search, dir)
                  .exit_code,
              3);
    EXPECT_EQ(vantor("fleet plan upgrade " + (dir / "fw").string() + " --plan x --below nine" + search, dir)
                  .exit_code,
              2);
}

}  // namespace
