// The `kelvra` command line end to end: every subcommand run as a program against simulated cards on
// 127.0.5.x inside a private network namespace, checked by what the cards took and what it printed.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "common/frame.h"
#include "simulator/sim.h"
#include "tests/support/netns.h"
#include "tests/support/temp_dir.h"
#include "tests/support/sim_cards.h"

namespace {

using namespace std::chrono_literals;

struct Outcome {
    int exit_code = -1;
    std::string out;
    std::string err;
    nlohmann::json json() const { return nlohmann::json::parse(out, nullptr, false); }
};

// Runs `kelvra ARGS` (arguments already quoted for the shell) and collects its output.
Outcome kelvra(const std::string& args, const std::string& env = "") {
    support::TempDir dir;
    const auto err_file = dir.path() / "stderr";
    const std::string command = env + " " + KELVRA_CLI + " " + args + " 2>" + err_file.string();
    Outcome run;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return run;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) run.out.append(buf, n);
    const int status = pclose(p);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = support::read_text(err_file);
    return run;
}

std::string quoted(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
}

class KelvraCli : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETNS();
        sim::SimulatorConfig config;
        config.cards = sim::make_cards(3, "127.0.5.1");
        config.cards[1].software_version = 0x000A0003;
        config.storage_root = storage_.path();
        ASSERT_TRUE(sim_.start(config));
        cards_ = config.cards;
    }

    // The card options for card i over `transport`.
    std::string card(std::size_t i, const char* transport = "tcp") const {
        return "--card " + cards_[i].id + " --address " + cards_[i].address + " --transport " + transport;
    }

    // Waits (bounded) until card i holds `count` complete files.
    std::vector<sim::StoredFile> stored(std::size_t i, std::size_t count) const {
        sim_->wait_for(
            [&](const auto&) {
                const auto files = sim_->stored_files(cards_[i].id);
                return files.size() == count &&
                       std::all_of(files.begin(), files.end(), [](const auto& f) { return f.complete; });
            },
            5s);
        return sim_->stored_files(cards_[i].id);
    }

    support::TempDir storage_;
    support::TempDir work_;
    support::SimCards sim_;  // with the discovery socket: the command line searches
    std::vector<sim::CardConfig> cards_;
};

TEST_F(KelvraCli, DiscoverListsEveryCardAsJsonAndAsATable) {
    const Outcome json = kelvra("discover --json");
    ASSERT_EQ(json.exit_code, 0) << json.err;
    const auto found = json.json();
    ASSERT_TRUE(found.is_object()) << json.out;
    EXPECT_EQ(found["discovery_address"], "255.255.255.255");
    std::map<std::string, std::string> listed;
    for (const auto& c : found["cards"]) listed[c["id"]] = c["address"];
    ASSERT_EQ(listed.size(), cards_.size()) << json.out;
    for (const auto& c : cards_) EXPECT_EQ(listed[c.id], c.address);
    const Outcome table = kelvra("discover");
    ASSERT_EQ(table.exit_code, 0) << table.err;
    EXPECT_EQ(table.out.rfind("CARD ID", 0), 0u) << table.out;
    for (const auto& c : cards_)
        EXPECT_NE(table.out.find(c.id + "  " + c.address), std::string::npos) << table.out;
}

TEST_F(KelvraCli, DiscoverWithoutCardsSaysSoAndFails) {
    sim_->stop();
    const Outcome run = kelvra("discover --json --timeout 300");
    EXPECT_EQ(run.exit_code, 4);
    EXPECT_EQ(run.json()["cards"], nlohmann::json::array());
    EXPECT_EQ(run.json()["error"], "no_card");
}

// A search sent to one card's address finds that card only; --trace shows the search and the answer.
TEST_F(KelvraCli, DiscoverAtOneAddressWithATrace) {
    const Outcome run = kelvra("discover --json --trace --timeout 500 --address " + cards_[1].address);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    ASSERT_EQ(run.json()["cards"].size(), 1u) << run.out;
    EXPECT_EQ(run.json()["cards"][0]["id"], cards_[1].id);
    EXPECT_NE(run.err.find("kelvra: sent 32 bytes: 7e 7e 7e 90"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("kelvra: received "), std::string::npos) << run.err;
}

TEST_F(KelvraCli, InfoReadsTheCardAndLearnsItsIdWhenNoneIsGiven) {
    const Outcome run = kelvra("info --json --address " + cards_[1].address);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const auto found = run.json()["card"];
    EXPECT_EQ(found["id"], cards_[1].id) << run.out;
    EXPECT_EQ(found["address"], "127.0.5.2");
    EXPECT_EQ(found["software_version"], "VA.3");
    EXPECT_EQ(found["screen_width"], 128);
    EXPECT_TRUE(found.contains("mac_address")) << "the extended block: " << run.out;

    const Outcome table = kelvra("info " + card(0));
    ASSERT_EQ(table.exit_code, 0) << table.err;
    EXPECT_NE(table.out.find("card id           " + cards_[0].id + "\n"), std::string::npos) << table.out;
}

TEST_F(KelvraCli, NoCardAtTheAddressIsAClearFailure) {
    const Outcome learn = kelvra("info --address 127.0.5.99");
    EXPECT_EQ(learn.exit_code, 4);
    EXPECT_NE(learn.err.find("no card answered at 127.0.5.99"), std::string::npos) << learn.err;
    const Outcome reset = kelvra("reset --card S730-413-99999 --address 127.0.5.99 --json");
    EXPECT_EQ(reset.exit_code, 4);
    EXPECT_EQ(reset.json()["error"], "no_connection");
    EXPECT_NE(reset.err.find("cannot be reached"), std::string::npos) << reset.err;
}

// Commands that expect no answer, over both network transports: the card takes each.
TEST_F(KelvraCli, CommandsReachTheCardOverTcpAndUdp) {
    for (const char* transport : {"tcp", "udp"}) {
        SCOPED_TRACE(transport);
        const auto from = sim_->journal_end();
        Outcome run = kelvra("reset " + card(0, transport));
        ASSERT_EQ(run.exit_code, 0) << run.err;
        EXPECT_TRUE(sim_->wait_for_frame(cards_[0].id, frame::CMD_RESET_CARD, 3s, from));

        run = kelvra("brightness 6 " + card(0, transport));
        ASSERT_EQ(run.exit_code, 0) << run.err;
        auto f = sim_->wait_for_frame(cards_[0].id, frame::CMD_SCREEN_CONTROL, 3s, from);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->data, (support::Bytes{2, 0, 0, 0, 6, 0, 0, 0, 6, 0, 0, 0}));

        run = kelvra("clock 2026 12 10 23 59 58 4 " + card(0, transport));
        ASSERT_EQ(run.exit_code, 0) << run.err;
        f = sim_->wait_for_frame(cards_[0].id, frame::CMD_SET_CLOCK, 3s, from);
        ASSERT_TRUE(f);
        ASSERT_EQ(f->data.size(), 28u);
        EXPECT_EQ(f->data[0] | f->data[1] << 8, 2026);
        EXPECT_EQ(f->data[24], 4);
    }
    const auto state = sim_->state(cards_[0].id);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->resets, 2u);
}

TEST_F(KelvraCli, ClockWithoutValuesSendsTheTimeNow) {
    const Outcome run = kelvra("clock " + card(2));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const auto f = sim_->wait_for_frame(cards_[2].id, frame::CMD_SET_CLOCK, 3s);
    ASSERT_TRUE(f);
    const int year = f->data[0] | f->data[1] << 8;
    EXPECT_GE(year, 2024);
    EXPECT_LE(f->data[4], 12);  // month
}

TEST_F(KelvraCli, IoSetThenGetShowsTheLine) {
    Outcome run = kelvra("io set 3 on " + card(1));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    ASSERT_TRUE(sim_->wait_for_frame(cards_[1].id, frame::CMD_SET_IO, 3s));
    run = kelvra("io get 3 " + card(1, "udp"));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("line 3: on\noutput lines: 0x00000008\n"), std::string::npos) << run.out;
    run = kelvra("io get 4 --json " + card(1));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.json()["line"], 4) << run.out;
    EXPECT_EQ(run.json()["on"], false);
    EXPECT_EQ(run.json()["output_lines"], 8);
}

TEST_F(KelvraCli, IoGetFromASilentCardFails) {
    sim::Faults silent;
    silent.silent = true;
    sim_->set_faults(cards_[0].id, silent);
    const Outcome run = kelvra("io get 1 " + card(0));
    EXPECT_EQ(run.exit_code, 4) << "a silent card is no answer, not a refusal";
    EXPECT_NE(run.err.find("did not answer"), std::string::npos) << run.err;
}

TEST_F(KelvraCli, SendFileStoresAByteIdenticalCopy) {
    const auto file = work_.path() / "show.bin";
    const auto bytes = support::pattern(12'345, 7);  // seven pieces, the last one short
    support::write_file(file, bytes);
    const Outcome run =
        kelvra("send-file " + quoted(file) + " --name clip.bin --folder 'Program\\Area0' " + card(0));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("as Program\\Area0\\clip.bin"), std::string::npos) << run.out;
    const auto stored = this->stored(0, 1);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].card_path, "Program\\Area0\\clip.bin");
    EXPECT_TRUE(stored[0].complete);
    EXPECT_EQ(support::read_bytes(stored[0].local_path), bytes);
}

TEST_F(KelvraCli, SendFileOverUdpAndErrorsAboutTheLocalFile) {
    const auto file = work_.path() / "small.txt";
    support::write_file(file, std::string_view("hello card"));
    Outcome run = kelvra("send-file " + quoted(file) + " " + card(2, "udp"));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const auto stored = this->stored(2, 1);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(support::read_text(stored[0].local_path), "hello card");

    run = kelvra("send-file " + quoted(work_.path() / "missing.bin") + " " + card(2));
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_NE(run.err.find("is not a readable file"), std::string::npos) << run.err;
    run = kelvra("send-file " + quoted(file) + " --name " + std::string(100, 'n') + " " + card(2));
    EXPECT_EQ(run.exit_code, 5);
    EXPECT_NE(run.err.find("longer than 99 bytes"), std::string::npos) << run.err;
}

TEST_F(KelvraCli, SendFolderKeepsTheTreeFromTheBaseFolder) {
    const auto root = work_.path() / "show" / "Program";
    support::write_file(root / "Config", std::string_view("screen"));
    support::write_file(root / "Area0" / "list", support::pattern(4100, 3));
    const Outcome run = kelvra("send-folder " + quoted(work_.path() / "show") + " --base Program " + card(1));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("sent 2 files (4106 bytes)"), std::string::npos) << run.out;
    std::map<std::string, support::Bytes> got;
    for (const auto& s : stored(1, 2)) got[s.card_path] = support::read_bytes(s.local_path);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got["Program\\Area0\\list"], support::pattern(4100, 3));
    EXPECT_EQ(got["Program\\Config"], support::Bytes({'s', 'c', 'r', 'e', 'e', 'n'}));

    const Outcome dotted =
        kelvra("send-folder " + quoted(work_.path() / "a.b") + " --base Program " + card(1));
    EXPECT_EQ(dotted.exit_code, 3);
}

TEST_F(KelvraCli, UpgradeSendsTheFirmwareWhenTheCardAgrees) {
    const auto package = work_.path() / "firmware";
    support::write_file(package / "Application" / "version.txt", std::string_view("V9.200\n"));
    support::write_file(package / "Application" / "app.bin", support::pattern(3000, 5));
    const Outcome run = kelvra("upgrade " + quoted(package / "Application") + " " + card(0));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.err.find("the card agreed to the upgrade"), std::string::npos) << run.err;
    EXPECT_TRUE(
        sim_->wait_for([&](const auto&) { return sim_->state(cards_[0].id)->upgrades_finished == 1; }, 5s));
    EXPECT_EQ(sim_->state(cards_[0].id)->info.software_version, 0x00090200u);
}

TEST_F(KelvraCli, UpgradeRefusedByTheCardSendsNothingMore) {
    sim::Faults refuse;
    refuse.answer_error = true;
    sim_->set_faults(cards_[2].id, refuse);
    const auto package = work_.path() / "Application";
    support::write_file(package / "app.bin", support::pattern(100, 1));
    const Outcome run = kelvra("upgrade " + quoted(package) + " " + card(2));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("refused the upgrade"), std::string::npos) << run.err;
    EXPECT_TRUE(sim_->stored_files(cards_[2].id).empty());
    EXPECT_EQ(sim_->state(cards_[2].id)->upgrades_finished, 0u);
}

TEST_F(KelvraCli, ShowPictureSendsThePictureToShowAtOnce) {
    const Outcome run = kelvra(
        "show-picture " + quoted(std::filesystem::path(TEST_SOURCE_DIR) / "tests/data/bmpsuite/g/rgb24.bmp") +
        " " + card(1));
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const auto stored = this->stored(1, 1);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].file_type, 5u);
    EXPECT_EQ(stored[0].card_path.rfind("Pic", 0), 0u) << stored[0].card_path;
    EXPECT_EQ(support::read_text(stored[0].local_path).substr(0, 2), "BM");

    const auto text = work_.path() / "notes.txt";
    support::write_file(text, std::string_view("not a picture"));
    const Outcome refused = kelvra("show-picture " + quoted(text) + " " + card(1));
    EXPECT_EQ(refused.exit_code, 3);
    EXPECT_NE(refused.err.find("is not a BMP, JPEG or GIF picture"), std::string::npos) << refused.err;
}

// Over a serial line the frame goes to the port that KELVRA_COM<n> names: here a pseudo-terminal.
TEST_F(KelvraCli, SerialCommandsGoToThePort) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    // The port by COM number (the device that KELVRA_COM<n> names), then by its path.
    for (const std::string& port : {std::string("2"), std::string(name)}) {
        SCOPED_TRACE(port);
        const Outcome run = kelvra("reset --card " + cards_[0].id + " --transport serial --port=" + port,
                                   std::string("KELVRA_COM2=") + name);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        unsigned char buf[64] = {};
        const ssize_t n = read(master, buf, sizeof buf);
        ASSERT_EQ(n, 32) << "a frame without data in the stream form";
        EXPECT_EQ(buf[3], frame::CMD_RESET_CARD);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf + 4)), cards_[0].id);
    }
    close(slave);
    close(master);

    const Outcome no_port =
        kelvra("reset --card " + cards_[0].id + " --transport serial --port /nonexistent/tty");
    EXPECT_EQ(no_port.exit_code, 4);
    EXPECT_NE(no_port.err.find("com open failed"), std::string::npos) << no_port.err;
}

TEST(KelvraCliUsage, MistakesExitWithTwoAndSayWhat) {
    const Outcome run = kelvra("brightness 9 --address 127.0.0.1");
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("VALUE"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());
    const Outcome help = kelvra("--help");
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("send-folder"), std::string::npos);
    const Outcome command_help = kelvra("send-folder --help");
    EXPECT_EQ(command_help.exit_code, 0);
    EXPECT_NE(command_help.out.find("--base"), std::string::npos) << command_help.out;
}

}  // namespace
