// vantor-cli profile as a script runs it: the library in a folder of the test's own ($XDG_DATA_HOME),
// damaged files listed and never applied, the archive, and the apply to simulated cards on loopback
// (found by a search inside the test's private network namespace), each card's result in the JSON.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/frame.h"
#include "profile_fixture.h"
#include "profiles/profile_library.h"
#include "screenconfig/record_files.h"
#include "tests/support/netns.h"
#include "tests/support/sim_cards.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace profiles;

struct CliRun {
    int code = -1;
    std::string out;
    QJsonObject json() const { return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object(); }
};

// Runs vantor-cli with `arguments` (test-made words), its library in `data` ($XDG_DATA_HOME).
CliRun cli(const std::filesystem::path& data, const std::string& arguments) {
    CliRun run;
    const std::string command =
        "XDG_DATA_HOME='" + data.string() + "' " + std::string(VANTOR_CLI) + " " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> buffer;
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The screen parameters each card took, from the journal: the block's bytes 12..63.
std::map<std::string, std::vector<std::vector<std::uint8_t>>> params_taken(const support::SimCards& cards) {
    std::map<std::string, std::vector<std::vector<std::uint8_t>>> taken;
    for (const auto& e : cards.frames(frame::CMD_SCREEN_CONTROL))
        if (e.data.size() == 408) taken[e.card].emplace_back(e.data.begin() + 12, e.data.begin() + 64);
    return taken;
}

struct CliLibrary : ::testing::Test {
    support::TempDir dir;
    std::filesystem::path folder() const { return dir / "vantor" / "profiles"; }
    void SetUp() override {
        ProfileLibrary library(folder());
        ASSERT_TRUE(library.save(profiles_test::sample_profile("32x16 1/8"), false).ok());
        std::string bad = serialise_profile(profiles_test::sample_profile("bad"));
        bad.replace(bad.find("08000000"), 8, "09000000");
        support::write_file(folder() / "bad.vmp", bad);
    }
};

TEST_F(CliLibrary, ListsShowsAndNeverAppliesADamagedProfile) {
    const CliRun list = cli(dir.path(), "profile list --json");
    ASSERT_EQ(list.code, 0) << list.out;
    const QJsonArray profiles = list.json()["profiles"].toArray();
    ASSERT_EQ(profiles.size(), 2);
    EXPECT_EQ(profiles[0].toObject()["name"].toString(), QStringLiteral("32x16 1/8"));
    EXPECT_FALSE(profiles[0].toObject()["damaged"].toBool());
    EXPECT_EQ(profiles[0].toObject()["colour_order"].toString(), QStringLiteral("GRB"));
    EXPECT_EQ(profiles[1].toObject()["name"].toString(), QStringLiteral("bad.vmp"));
    EXPECT_TRUE(profiles[1].toObject()["damaged"].toBool());
    EXPECT_EQ(profiles[1].toObject()["error"].toString(), QStringLiteral("bad_word_sum"));

    const CliRun show = cli(dir.path(), "profile show '32x16 1/8' --json");
    ASSERT_EQ(show.code, 0);
    EXPECT_EQ(show.json()["profile"].toObject()["scan"].toString(), QStringLiteral("1/8"));
    EXPECT_EQ(show.json()["profile"].toObject()["record"].toString().size(), 144);
    EXPECT_NE(cli(dir.path(), "profile show '32x16 1/8'").out.find("data polarity: negative"),
              std::string::npos);

    auto config = support::SimCards::config(1, "127.42.31.1");
    support::SimCards cards;
    ASSERT_TRUE(cards.start(config));
    const CliRun damaged = cli(dir.path(), "profile apply bad.vmp --address " + cards.ip() + " --json");
    EXPECT_EQ(damaged.code, 3);
    EXPECT_EQ(damaged.json()["error"].toString(), QStringLiteral("damaged"));
    const CliRun missing = cli(dir.path(), "profile apply nothing --address " + cards.ip() + " --json");
    EXPECT_EQ(missing.code, 3);
    EXPECT_EQ(missing.json()["error"].toString(), QStringLiteral("not_found"));
    EXPECT_TRUE(cards.frames(frame::CMD_SCREEN_CONTROL).empty());

    EXPECT_EQ(cli(dir.path(), "profile apply '32x16 1/8'").code, 2);  // no card given
    EXPECT_EQ(cli(dir.path(), "profile apply '32x16 1/8' --address 127.0.0.1 --card A --card B").code, 2);
}

TEST_F(CliLibrary, CarriesProfilesInFilesAndArchives) {
    ASSERT_EQ(cli(dir.path(), "profile export '32x16 1/8' " + dir.text("one.vmp")).code, 0);
    EXPECT_EQ(cli(dir.path(), "profile export bad.vmp " + dir.text("bad-out.vmp")).code, 3);
    const CliRun all = cli(dir.path(), "profile export-all " + dir.text("all.tar") + " --json");
    ASSERT_EQ(all.code, 0) << all.out;
    EXPECT_EQ(all.json()["exported"].toInt(), 1);
    EXPECT_EQ(all.json()["skipped"].toArray().size(), 1);

    support::TempDir other;
    const CliRun imported = cli(other.path(), "profile import-all " + dir.text("all.tar") + " --json");
    ASSERT_EQ(imported.code, 0) << imported.out;
    EXPECT_EQ(imported.json()["profiles"].toArray()[0].toObject()["name"].toString(),
              QStringLiteral("32x16 1/8"));
    EXPECT_EQ(cli(other.path(), "profile import " + dir.text("one.vmp")).code, 3);  // exists
    const CliRun replaced = cli(other.path(), "profile import " + dir.text("one.vmp") + " --replace --json");
    EXPECT_EQ(replaced.code, 0);
    EXPECT_EQ(replaced.json()["profile"].toString(), QStringLiteral("32x16 1/8"));
    EXPECT_EQ(
        cli(other.path(), "profile import " + (folder() / "bad.vmp").string() + " --json").json()["error"],
        QStringLiteral("not_a_profile"));
    EXPECT_EQ(cli(other.path(), "profile import-all " + dir.text("one.vmp")).code, 3);
}

TEST_F(CliLibrary, AppliesToSixteenCardsAndNamesEachCardsResult) {
    auto config = support::SimCards::config(16, "127.42.31.1");
    config.cards[3].faults.silent = true;
    config.cards[12].faults.answer_error = true;
    support::SimCards cards;
    ASSERT_TRUE(cards.start(config));
    std::string arguments = "profile apply '32x16 1/8' --json";
    for (std::size_t i = 0; i < cards.count(); ++i)
        arguments += " --address " + cards.ip(i) + " --card " + cards.id(i);
    const CliRun run = cli(dir.path(), arguments);
    EXPECT_EQ(run.code, 1) << run.out;  // a card refused
    EXPECT_EQ(run.json()["error"].toString(), QStringLiteral("refused"));
    const QJsonArray results = run.json()["cards"].toArray();
    ASSERT_EQ(results.size(), 16);
    const auto record = profiles_test::sample_profile().record;
    const std::vector<std::uint8_t> expected(record.bytes().begin() + 8, record.bytes().begin() + 60);
    const auto taken = params_taken(cards);
    for (std::size_t i = 0; i < cards.count(); ++i) {
        const QJsonObject r = results[static_cast<int>(i)].toObject();
        EXPECT_EQ(r["id"].toString().toStdString(), cards.id(i));
        EXPECT_EQ(r["result"].toString().toStdString(), i == 3 ? "no_answer" : i == 12 ? "refused" : "done");
        ASSERT_EQ(taken.count(cards.id(i)), 1u) << cards.id(i);
        EXPECT_EQ(taken.at(cards.id(i)), std::vector<std::vector<std::uint8_t>>{expected}) << cards.id(i);
    }
    // Only the silent card: no answer, status 4.
    config.cards[12].faults.answer_error = false;
    support::SimCards again;
    cards.stop();
    ASSERT_TRUE(again.start(config));
    EXPECT_EQ(
        cli(dir.path(), "profile apply '32x16 1/8' --address " + again.ip(3) + " --json").json()["error"],
        QStringLiteral("no_answer"));
    EXPECT_EQ(cli(dir.path(), "profile apply '32x16 1/8' --address " + again.ip(0)).code, 0);
}

TEST_F(CliLibrary, AppliesToEveryCardASearchFinds) {
    REQUIRE_PRIVATE_NETNS();
    auto config = support::SimCards::config(3, "127.42.31.1");
    config.discovery_socket = true;
    config.cards[1].faults.silent = true;
    config.cards[1].faults.only_command = frame::CMD_SCREEN_CONTROL;  // found, but says nothing to the record
    support::SimCards cards;
    ASSERT_TRUE(cards.start(config));
    const CliRun run =
        cli(dir.path(), "profile apply '32x16 1/8' --all --address 127.255.255.255 --timeout 1000 --json");
    EXPECT_EQ(run.code, 4) << run.out;
    const QJsonArray results = run.json()["cards"].toArray();
    ASSERT_EQ(results.size(), 3);
    std::map<std::string, std::string> by_id;
    for (const auto& r : results)
        by_id[r.toObject()["id"].toString().toStdString()] = r.toObject()["result"].toString().toStdString();
    EXPECT_EQ(by_id[cards.id(0)], "done");
    EXPECT_EQ(by_id[cards.id(1)], "no_answer");
    EXPECT_EQ(by_id[cards.id(2)], "done");
    cards.stop();
    EXPECT_EQ(cli(dir.path(), "profile apply '32x16 1/8' --all --address 127.255.255.255 --timeout 300").code,
              4);
}

// A profile made from a ".hcp" file, applied to a second card, gives it the screen parameters the file
// gave the first.
TEST_F(CliLibrary, AProfileOfAnHcpFileGivesTheSecondCardTheFirstCardsParameters) {
    auto record = profiles_test::sample_record(4);
    ASSERT_EQ(screenconfig::save_hcp(dir / "module.hcp", record), screenconfig::WriteStatus::Ok);
    const auto loaded = screenconfig::load_hcp(dir / "module.hcp");
    ASSERT_EQ(loaded.status, screenconfig::LoadStatus::Ok);
    Profile from_file = make_profile(loaded.record, proposed_name(64, 32, loaded.record));
    ProfileLibrary library(folder());
    ASSERT_TRUE(library.save(from_file, false).ok());

    auto config = support::SimCards::config(2, "127.42.31.1");
    support::SimCards cards;
    ASSERT_TRUE(cards.start(config));
    ASSERT_EQ(cli(dir.path(), "send-hcp " + dir.text("module.hcp") + " --address " + cards.ip(0) +
                                  " --card " + cards.id(0))
                  .code,
              0);
    ASSERT_EQ(
        cli(dir.path(), "profile apply '64x32 1/8' --address " + cards.ip(1) + " --card " + cards.id(1)).code,
        0);
    const auto taken = params_taken(cards);
    ASSERT_EQ(taken.at(cards.id(0)).size(), 1u);
    EXPECT_EQ(taken.at(cards.id(1)), taken.at(cards.id(0)));
    const auto first = cards.frames(frame::CMD_SCREEN_CONTROL);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].data, first[1].data);  // the whole block, not only the record's part
}

}  // namespace
