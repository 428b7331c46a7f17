// Both command lines against one table: the same options given to `kelvra` and `vantor-cli` give the
// exit codes and JSON objects docs/command-line.md promises, including for a card whose identifier
// is not UTF-8.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "screenconfig/screen_params.h"
#include "simulator/sim.h"
#include "tests/support/netns.h"
#include "tests/support/temp_dir.h"
#include "tests/support/sim_cards.h"

namespace {

struct Outcome {
    int exit_code = -1;
    std::string out;
    std::string err;
};

Outcome invoke(const std::string& program, const std::string& args) {
    support::TempDir dir;
    const auto err_file = dir.path() / "stderr";
    const std::string command = program + " " + args + " 2>" + err_file.string();
    Outcome r;
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

struct Tool {
    const char* name;
    std::string program;
    std::string card_command;  // a command that talks to one card, with what it needs
};

// The keys every JSON object carries (docs/command-line.md, "JSON").
void expect_common_keys(const nlohmann::json& j, const std::string& command, int exit_code) {
    ASSERT_TRUE(j.is_object());
    EXPECT_EQ(j.value("command", ""), command);
    EXPECT_EQ(j.value("ok", !exit_code), exit_code == 0);
    EXPECT_EQ(j.value("exit_code", -1), exit_code);
    if (exit_code != 0) {
        EXPECT_TRUE(j["error"].is_string());
        EXPECT_TRUE(j["message"].is_string());
    } else {
        EXPECT_FALSE(j.contains("error"));
    }
}

// The card object: string "id" and "address" always.
void expect_card(const nlohmann::json& card) {
    ASSERT_TRUE(card.is_object()) << card;
    EXPECT_TRUE(card["id"].is_string()) << card;
    EXPECT_TRUE(card["address"].is_string()) << card;
}

class CommandLineConvention : public ::testing::Test {
  protected:
    static constexpr const char* kPlainId = "S730-413-00071";
    static constexpr const char* kOddId = "S730-\xff\xfe-00072";  // not UTF-8
    static constexpr const char* kOddIdPrinted = "S730-\xef\xbf\xbd\xef\xbf\xbd-00072";

    void SetUp() override {
        REQUIRE_PRIVATE_NETNS();
        sim::SimulatorConfig config;
        for (const auto& [id, address] : {std::pair{kPlainId, "127.0.9.1"}, std::pair{kOddId, "127.0.9.2"}}) {
            sim::CardConfig card;
            card.id = id;
            card.address = address;
            config.cards.push_back(card);
        }
        config.storage_root = storage_.path();
        ASSERT_TRUE(sim_.start(config));

        screenconfig::ScreenParams params;
        params.set(screenconfig::ParamsField::magic, screenconfig::kLedMarker);
        params.set(screenconfig::ParamsField::endMarker, screenconfig::kEndMarker);
        params.seal();
        const auto hcp = work_.write("p.hcp", support::Bytes(params.bytes().begin(), params.bytes().end()));
        tools_ = {{"kelvra", KELVRA_CLI, "reset"}, {"vantor-cli", VANTOR_CLI, "send-hcp " + hcp.string()}};
    }

    support::TempDir storage_;
    support::TempDir work_;
    support::SimCards sim_;  // with the discovery socket: the tools search
    std::vector<Tool> tools_;
};

TEST_F(CommandLineConvention, SameOptionsSameExitCodesAndJson) {
    struct Case {
        std::string args;  // "CARD" stands for the tool's card command
        int exit_code;
        const char* error;  // the JSON "error" name; null: no JSON (usage errors print none)
    };
    const std::vector<Case> cases = {
        {"discover --json --address 127.255.255.255 --timeout 800", 0, ""},
        {"discover --json --address=127.0.9.250 --timeout=300", 4, "no_card"},
        {"discover --json --address 999.1.1.1", 2, nullptr},
        {"discover --json --address ''", 2, nullptr},
        {"discover --json --address=", 2, nullptr},
        {"discover --json --address 8.8.8.8x", 2, nullptr},
        {"discover --json --address not-an-ip", 2, nullptr},
        {"discover --json --timeout 4294967295", 2, nullptr},
        {"discover --json --timeout 0", 2, nullptr},
        {"discover --json --colour red", 2, nullptr},
        {"CARD --json --card S730-413-00071 --address 127.0.9.1", 0, ""},
        {"CARD --json --card=S730-413-00071 --address=127.0.9.1", 0, ""},
        {"CARD --json --card S730-413-00099 --address 127.0.9.250", 4, "no_connection"},
        {"CARD --json --card S730-413-00071 --address 999.1.1.1", 2, nullptr},
        {"CARD --json --card S730-413-00071 --address not-an-ip", 2, nullptr},
        {"CARD --json --card 12345678901234567 --address 127.0.9.1", 2, nullptr},
        {"frobnicate", 2, nullptr},
        {"", 2, nullptr},
    };
    for (const Tool& tool : tools_) {
        for (const Case& c : cases) {
            std::string args = c.args;
            if (args.rfind("CARD", 0) == 0) args = tool.card_command + args.substr(4);
            SCOPED_TRACE(std::string(tool.name) + " " + args);
            const Outcome r = invoke(tool.program, args);
            EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
            if (c.error == nullptr) {
                EXPECT_TRUE(r.out.empty()) << r.out;
                EXPECT_FALSE(r.err.empty()) << "a usage error says what is wrong";
                continue;
            }
            ASSERT_TRUE(nlohmann::json::accept(r.out)) << r.out;
            const auto j = nlohmann::json::parse(r.out);
            const std::string command = args.substr(0, args.find(' '));
            expect_common_keys(j, command, c.exit_code);
            if (c.exit_code != 0) {
                EXPECT_EQ(j["error"], c.error);
            }
            if (command == "discover") {
                EXPECT_TRUE(j["discovery_address"].is_string());
                EXPECT_TRUE(j["timeout_ms"].is_number_unsigned());
                ASSERT_TRUE(j["cards"].is_array());
                for (const auto& card : j["cards"]) expect_card(card);
                if (c.exit_code == 0) {
                    std::vector<std::string> ids;
                    for (const auto& card : j["cards"]) ids.push_back(card["id"]);
                    EXPECT_EQ(ids.size(), 2u) << r.out;
                    // The card whose id is not UTF-8: each stray byte became U+FFFD.
                    EXPECT_NE(std::find(ids.begin(), ids.end(), kOddIdPrinted), ids.end()) << r.out;
                    EXPECT_NE(std::find(ids.begin(), ids.end(), kPlainId), ids.end()) << r.out;
                }
            } else {
                expect_card(j["card"]);
                EXPECT_EQ(j["card"]["address"],
                          args.find("127.0.9.1") != std::string::npos ? "127.0.9.1" : "127.0.9.250");
            }
        }
        // -V and COMMAND --help, as help2man reads them.
        const Outcome version = invoke(tool.program, "-V");
        EXPECT_EQ(version.exit_code, 0);
        EXPECT_EQ(version.out.rfind(std::string(tool.name) + " ", 0), 0u) << version.out;
        const Outcome help = invoke(tool.program, "discover --help");
        EXPECT_EQ(help.exit_code, 0);
        EXPECT_NE(help.out.find("Usage:"), std::string::npos) << help.out;
        EXPECT_NE(help.out.find("--timeout"), std::string::npos) << help.out;
        EXPECT_NE(help.out.find("-h, --help"), std::string::npos) << help.out;
    }
}

// --trace prints the frames both ways, in hex, on standard error; standard output keeps only the JSON.
TEST_F(CommandLineConvention, TraceShowsEveryFrameInHex) {
    for (const Tool& tool : tools_) {
        SCOPED_TRACE(tool.name);
        const Outcome r = invoke(
            tool.program, tool.card_command + " --json --trace --card S730-413-00071 --address 127.0.9.1");
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_TRUE(nlohmann::json::accept(r.out)) << r.out;
        EXPECT_NE(r.err.find(std::string(tool.name) + ": sent "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(" bytes: 7e 7e 7e "), std::string::npos) << r.err;
    }
    const Outcome discover =
        invoke(tools_[1].program, "discover --json --trace --address 127.255.255.255 --timeout 500");
    EXPECT_NE(discover.err.find("vantor-cli: received "), std::string::npos) << discover.err;
}

// kelvra info reads the whole information block; a card id that is not UTF-8 still gives valid JSON,
// and the table shows it as sent.
TEST_F(CommandLineConvention, InfoOfACardWhoseIdIsNotUtf8) {
    const Outcome r = invoke(KELVRA_CLI, "info --json --address 127.0.9.2");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    ASSERT_TRUE(nlohmann::json::accept(r.out)) << r.out;
    const auto j = nlohmann::json::parse(r.out);
    expect_common_keys(j, "info", 0);
    EXPECT_EQ(j["card"]["id"], kOddIdPrinted);
    EXPECT_TRUE(j["card"]["software_version"].is_string());
    EXPECT_TRUE(j["card"]["screen_width"].is_number_unsigned());
}

}  // namespace
