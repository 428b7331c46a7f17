// Kelvra's named results: every name of <kelvra/results.h> has a text of its own, and a C program that
// knows the results only by name gets the one it expects from each export, against a simulated card.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "common/frame.h"
#include "kelvra/kelvra.h"
#include "simulator/sim.h"
#include "tests/support/netns.h"
#include "tests/support/temp_dir.h"

namespace {

// The enumerators of `enum <name> { ... }` in results.h: name and number (a value given by the name of
// an enumerator written before it takes that one's number).
std::map<std::string, long> enumerators(const std::string& enum_name) {
    std::ifstream in(std::string(TEST_SOURCE_DIR) + "/include/kelvra/results.h");
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = std::regex_replace(all.str(), std::regex(R"(/\*[\s\S]*?\*/)"), "");
    const std::regex enum_re(R"(enum (\w+)\s*\{([^}]*)\})");
    const std::regex item(R"(([A-Z_0-9]+)\s*=\s*(-?[0-9]+|[A-Z_0-9]+))");
    std::map<std::string, long> every, out;
    bool found = false;
    for (std::sregex_iterator e(text.begin(), text.end(), enum_re), end; e != end; ++e) {
        const std::string items = (*e)[2];
        for (std::sregex_iterator it(items.begin(), items.end(), item); it != end; ++it) {
            const std::string value = (*it)[2];
            const long number =
                std::isdigit(static_cast<unsigned char>(value.back())) ? std::stol(value) : every.at(value);
            every[(*it)[1]] = number;
            if ((*e)[1] == enum_name) out[(*it)[1]] = number;
        }
        found = found || (*e)[1] == enum_name;
    }
    EXPECT_TRUE(found) << "no enum " << enum_name << " in results.h";
    return out;
}

TEST(KelvraResultText, EveryNamedResultHasATextOfItsOwn) {
    const auto results = enumerators("KelvraResult");
    ASSERT_GE(results.size(), 20u);
    EXPECT_EQ(results.at("KELVRA_OK"), 0);
    EXPECT_EQ(results.at("KELVRA_BAD_PROTO_TYPE"), 31);
    EXPECT_EQ(results.at("KELVRA_OUT_OF_MEMORY"), 34);
    EXPECT_EQ(results.at("KELVRA_NO_CONNECTION"), 60);
    const std::string unknown = "unknown Kelvra result";
    std::set<std::string> texts;
    std::set<long> numbers;
    for (const auto& [name, number] : results) {
        const char* t = KelvraResultText(static_cast<int>(number));
        ASSERT_NE(t, nullptr) << name;
        EXPECT_STRNE(t, "") << name;
        EXPECT_NE(t, unknown) << name;
        EXPECT_TRUE(texts.insert(t).second) << name << " shares its text \"" << t << "\"";
        EXPECT_TRUE(numbers.insert(number).second) << name << " shares its number " << number;
    }
    // Numbers without a KelvraResult name, among them the export-specific ones, which repeat.
    for (const auto& [name, number] : enumerators("KelvraExportResult")) {
        EXPECT_FALSE(numbers.count(number)) << name;
        EXPECT_EQ(KelvraResultText(static_cast<int>(number)), unknown) << name;
    }
    for (int code : {-2, 3, 12, 33, 99, 101, 4098, INT_MIN, INT_MAX})
        EXPECT_EQ(KelvraResultText(code), unknown) << code;
}

TEST(KelvraResultText, StatusNamesTakeTheNumbersOfTheSendFailures) {
    const auto results = enumerators("KelvraResult");
    const auto status = enumerators("KelvraStatus");
    EXPECT_EQ(status.at("KELVRA_STATUS_TCP_SEND_FAILED"), results.at("KELVRA_TCP_SEND_FAILED"));
    EXPECT_EQ(KELVRA_STATUS_TCP_SEND_FAILED, 51);
    EXPECT_EQ(KELVRA_STATUS_WINDOW_SENT, 4098);
    std::set<long> numbers;
    for (const auto& [name, number] : status) EXPECT_TRUE(numbers.insert(number).second) << name;
}

TEST(KelvraCResults, ACallerThatKnowsOnlyTheNamesGetsEachOne) {
    REQUIRE_PRIVATE_NETNS();
    sim::SimulatorConfig config;
    config.cards = sim::make_cards(1, "127.0.4.1");
    auto started = sim::Simulator::start(config);
    ASSERT_TRUE(started) << started.error;
    support::TempDir folder;
    const std::string command = std::string("env -u DISPLAY ") + C_RESULTS + " " + config.cards[0].id +
                                " 127.0.4.1 127.0.4.9 " + folder.path().string() + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string output;
    char line[512];
    while (std::fgets(line, sizeof line, p) != nullptr) output += line;
    const int status = pclose(p);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_EQ(output, "");
    // The one file that was to arrive did.
    EXPECT_TRUE(
        started.simulator->wait_for_frame(config.cards[0].id, frame::CMD_FILE_DATA, std::chrono::seconds(5)));
}

}  // namespace
