// Firmware upgrade against ledcard-sim: the package walk, the frames the card receives, what is refused
// before anything is sent, a refused or unanswered start and a card that vanishes mid-upgrade. Qt-free:
// also built in the ThreadSanitizer build.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <thread>
#include <mutex>

#include "cardlink/firmware_upgrade.h"
#include "common/file_header.h"
#include "common/frame.h"
#include "simulator/card_model.h"
#include "simulator/sim.h"
#include "tests/cardlink/fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/sim_cards.h"

namespace cardlink {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

void write_file(const fs::path& path, std::size_t size, char fill = 'x') {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(size, fill);
}

class Recorder final : public UpgradeObserver {
  public:
    void upgrade_started(std::uint64_t t) override {
        std::lock_guard lock(mu);
        total = t;
    }
    void upgrade_progress(std::uint64_t s) override {
        std::lock_guard lock(mu);
        progress.push_back(s);
    }
    std::mutex mu;
    std::uint64_t total = 0;
    std::vector<std::uint64_t> progress;
};

TEST(UpgradePackage, KernelThenApplicationInNameOrderWithCardFolderTexts) {
    support::TempDir base;
    write_file(base / "Kernel" / "b" / "z.bin", 1);
    write_file(base / "Kernel" / "a.bin", 1);
    write_file(base / "application" / "app.bin", 1);
    write_file(base / "Other" / "skip.bin", 1);
    write_file(base / "top.sys", 1);
    const auto files = list_upgrade_files(base.path());
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].card_folder, "\\a.bin");
    EXPECT_EQ(files[0].kind, UpgradeKind::Kernel);
    EXPECT_EQ(files[1].card_folder, "\\b\\z.bin");
    EXPECT_EQ(files[1].name, "z.bin");
    EXPECT_EQ(files[2].card_folder, "\\app.bin");
    EXPECT_EQ(files[2].kind, UpgradeKind::Application);
    EXPECT_EQ(GetFolderSize(base / "Kernel"), 2u);
    EXPECT_EQ(GetFolderSize(base / "missing"), 0u);
}

TEST(UpgradePackage, HeaderAnnouncesKindSizeAndBlocks) {
    const struct {
        std::uint32_t size;
        std::uint32_t blocks;
    } cases[] = {{0, 0}, {1, 1}, {2048, 1}, {4096, 2}, {4097, 3}};
    for (const auto& c : cases) {
        const UpgradeFile f{"x", "\\a\\b.bin", "b.bin", UpgradeKind::Application};
        const auto bytes = upgrade_file_header(f, c.size);
        ASSERT_EQ(bytes.size(), 212u);
        EXPECT_EQ(bytes[0], 2);
        EXPECT_EQ(bytes[1] | bytes[2] | bytes[3], 0);
        const auto h = file_header::decode(bytes);
        ASSERT_TRUE(h);
        EXPECT_EQ(h->file_length, c.size);
        EXPECT_EQ(h->blocks, c.blocks) << c.size;
        EXPECT_EQ(h->folder, "\\a\\b.bin");
        EXPECT_EQ(h->file_name, "b.bin");
    }
}

TEST(UpgradePackage, VersionFileTextReadsAsTheCardShowsVersions) {
    EXPECT_EQ(sim::parse_version_text("V9.121"), 0x00090121u);
    EXPECT_EQ(sim::parse_version_text("VA.1\r\n"), 0x000A0001u);
    EXPECT_EQ(sim::parse_version_text("9"), std::nullopt);
    EXPECT_EQ(sim::parse_version_text("V1.10000"), std::nullopt);
    EXPECT_EQ(sim::parse_version_text("Vx.1"), std::nullopt);
}

class UpgradeAgainstCard : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        card_ = sim::make_cards(1, "127.0.0.2")[0];
    }
    void start() {
        sim::SimulatorConfig config;
        config.cards = {card_};
        config.discovery_socket = false;
        config.storage_root = storage_.path();
        ASSERT_TRUE(sim_.start(config));
    }
    std::vector<sim::JournalEntry> frames(std::uint8_t command) const { return sim_.frames(command); }
    static UpgradeSettings quick() {
        UpgradeSettings s;
        s.after_header = 1ms;
        s.after_file = 1ms;
        s.before_close = 1ms;
        s.timeouts.send = 1000ms;
        s.answer = 1000ms;
        return s;
    }

    sim::CardConfig card_;
    support::TempDir storage_;
    support::TempDir package_;
    support::SimCards sim_;
    Recorder recorder_;
};

TEST_F(UpgradeAgainstCard, FilesGoOutInBlocksAndTheCardComesBackWithItsNewVersion) {
    start();
    write_file(package_ / "Kernel" / "k.bin", 4096, 'k');
    write_file(package_ / "Kernel" / "x" / "y.bin", 0);
    write_file(package_ / "Application" / "a.bin", 4097, 'a');
    fs::create_directories(package_ / "Application");
    std::ofstream(package_ / "Application" / "version.txt") << "V9.200\n";
    write_file(package_ / "Docs" / "readme.txt", 100);  // in neither folder: not sent, not announced
    const std::uint32_t total = 4096 + 0 + 4097 + 7;

    const auto r = run_upgrade(card_.address, package_.path(), recorder_, quick());
    EXPECT_EQ(r.outcome, UpgradeOutcome::Finished);
    EXPECT_EQ(r.total, static_cast<std::uint64_t>(total));
    EXPECT_EQ(r.sent, static_cast<std::uint64_t>(total));
    EXPECT_EQ(recorder_.total, static_cast<std::uint64_t>(total));
    ASSERT_FALSE(recorder_.progress.empty());
    EXPECT_EQ(recorder_.progress.back(), static_cast<std::uint64_t>(total));
    EXPECT_TRUE(std::is_sorted(recorder_.progress.begin(), recorder_.progress.end()));
    // Acknowledged is not yet read: the journal is whole once the card has read the end command.
    ASSERT_TRUE(sim_->wait_for_frame(card_.id, frame::CMD_UPGRADE_END, 2s));

    const auto start_frames = frames(frame::CMD_UPGRADE_START);
    ASSERT_EQ(start_frames.size(), 1u);
    EXPECT_EQ(start_frames[0].id, "Broadcast!");
    EXPECT_EQ(start_frames[0].data, (std::vector<std::uint8_t>{total & 0xFF, (total >> 8) & 0xFF, 0, 0}));
    // Kernel first (k.bin, then the folder x), then Application; each header announces its blocks.
    std::vector<std::pair<std::string, std::uint32_t>> headers;
    for (const auto& h : frames(frame::CMD_FILE_HEADER)) {
        const auto decoded = file_header::decode(h.data);
        ASSERT_TRUE(decoded);
        headers.emplace_back(decoded->folder, decoded->blocks);
        EXPECT_EQ(h.id, "Broadcast!");
    }
    EXPECT_EQ(headers, (std::vector<std::pair<std::string, std::uint32_t>>{
                           {"\\k.bin", 2}, {"\\x\\y.bin", 0}, {"\\a.bin", 3}, {"\\version.txt", 1}}));
    std::vector<std::size_t> sizes;
    for (const auto& d : frames(frame::CMD_FILE_DATA)) sizes.push_back(d.data.size());
    EXPECT_EQ(sizes, (std::vector<std::size_t>{2048, 2048, 2048, 2048, 1, 7}));
    EXPECT_EQ(frames(frame::CMD_UPGRADE_END).size(), 1u);
    ASSERT_TRUE(
        sim_->wait_for([&](const auto&) { return sim_->state(card_.id)->upgrades_finished == 1; }, 2s));
    EXPECT_EQ(sim_->state(card_.id)->info.software_version, 0x00090200u);
    std::ifstream stored(sim_->card_folder(card_.id) / "Application" / "a.bin", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stored), {}), std::string(4097, 'a'));
}

TEST_F(UpgradeAgainstCard, ARefusedStartSendsNoFileAndNoEnd) {
    card_.faults.answer_error = true;
    card_.faults.only_command = frame::CMD_UPGRADE_START;
    start();
    write_file(package_ / "Kernel" / "k.bin", 10);
    const auto r = run_upgrade(card_.address, package_.path(), recorder_, quick());
    EXPECT_EQ(r.outcome, UpgradeOutcome::Refused);
    EXPECT_EQ(frames(frame::CMD_UPGRADE_START).size(), 1u);
    EXPECT_TRUE(frames(frame::CMD_FILE_HEADER).empty());
    EXPECT_TRUE(frames(frame::CMD_UPGRADE_END).empty());
    EXPECT_EQ(sim_->state(card_.id)->info.software_version, card_.software_version);
}

TEST_F(UpgradeAgainstCard, ARefusedStartIsToldApartFromAnUnansweredOne) {
    card_.faults.silent = true;
    card_.faults.only_command = frame::CMD_UPGRADE_START;
    start();
    write_file(package_ / "Kernel" / "k.bin", 10);
    auto settings = quick();
    settings.answer = 300ms;
    const auto r = run_upgrade(card_.address, package_.path(), recorder_, settings);
    EXPECT_EQ(r.outcome, UpgradeOutcome::NoAnswer);
    EXPECT_EQ(frames(frame::CMD_UPGRADE_START).size(), 1u);
    EXPECT_TRUE(frames(frame::CMD_FILE_HEADER).empty());
    EXPECT_TRUE(frames(frame::CMD_UPGRADE_END).empty());
}

TEST_F(UpgradeAgainstCard, ACardThatVanishesMidUpgradeEndsItThereWithoutTheEndCommand) {
    card_.faults.close_after_data_frames = 1;
    start();
    write_file(package_ / "Kernel" / "k.bin", 8192);
    write_file(package_ / "Application" / "a.bin", 10);
    auto settings = quick();
    settings.after_file = 200ms;  // the time a card has to show that it hung up
    const auto began = std::chrono::steady_clock::now();
    const auto r = run_upgrade(card_.address, package_.path(), recorder_, settings);
    EXPECT_LT(std::chrono::steady_clock::now() - began, 10s);
    EXPECT_EQ(r.outcome, UpgradeOutcome::ConnectionLost);
    EXPECT_EQ(r.file, "\\k.bin");
    EXPECT_EQ(r.total, 8192u + 10u);
    EXPECT_LT(r.sent, r.total);  // what the card's TCP acknowledged: never the whole package
    // The second file is not tried on a dead connection, and no end command claims a whole package.
    EXPECT_EQ(frames(frame::CMD_FILE_HEADER).size(), 1u);
    EXPECT_TRUE(frames(frame::CMD_UPGRADE_END).empty());
    EXPECT_EQ(sim_->state(card_.id)->upgrades_finished, 0u);
}

// What cannot make an upgrade is refused before the card hears of one.
TEST_F(UpgradeAgainstCard, AFolderWithoutAPackageIsRefusedBeforeAnythingIsSent) {
    start();
    const struct {
        const char* name;
        std::function<void(const fs::path&)> make;
        UpgradeOutcome outcome;
    } cases[] = {
        {"a lone firmware file", [](const fs::path& d) { write_file(d / "random.sys", 5000); },
         UpgradeOutcome::NothingToSend},
        {"a 0-byte file", [](const fs::path& d) { write_file(d / "empty.sys", 0); },
         UpgradeOutcome::NothingToSend},
        {"empty package folders",
         [](const fs::path& d) {
             write_file(d / "Kernel" / "k.bin", 0);
             fs::create_directories(d / "Application");
         },
         UpgradeOutcome::NothingToSend},
        {"files beside the package folders only",
         [](const fs::path& d) { write_file(d / "Docs" / "a.bin", 9); }, UpgradeOutcome::NothingToSend},
        {"a folder that does not exist", [](const fs::path&) {}, UpgradeOutcome::FolderMissing},
    };
    for (const auto& c : cases) {
        support::TempDir folder;
        const fs::path base = c.outcome == UpgradeOutcome::FolderMissing ? folder / "gone" : folder.path();
        c.make(base);
        const auto r = run_upgrade(card_.address, base, recorder_, quick());
        EXPECT_EQ(r.outcome, c.outcome) << c.name;
        EXPECT_EQ(r.sent, 0u) << c.name;
    }
    EXPECT_TRUE(sim_->journal().empty());  // not even a connection with a start command
}

TEST_F(UpgradeAgainstCard, AStopEndsTheWaitAtOnceAndSendsNoEnd) {
    start();
    write_file(package_ / "Kernel" / "k.bin", 10);
    write_file(package_ / "Kernel" / "l.bin", 10);
    std::atomic<bool> stop{false};
    auto settings = quick();
    settings.after_file = 10s;  // the program closes while the card stores the first file
    settings.stop = &stop;
    std::thread closer([&] {
        ASSERT_TRUE(sim_->wait_for_frame(card_.id, frame::CMD_FILE_DATA, 3s));
        stop = true;
    });
    const auto began = std::chrono::steady_clock::now();
    const auto r = run_upgrade(card_.address, package_.path(), recorder_, settings);
    closer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - began, 3s);
    EXPECT_EQ(r.outcome, UpgradeOutcome::Stopped);
    EXPECT_EQ(frames(frame::CMD_FILE_HEADER).size(), 1u);
    EXPECT_TRUE(frames(frame::CMD_UPGRADE_END).empty());
}

TEST_F(UpgradeAgainstCard, AnUnreachableCardGetsNothing) {
    write_file(package_ / "Kernel" / "k.bin", 10);
    const auto r = run_upgrade("127.0.0.3", package_.path(), recorder_, quick());
    EXPECT_EQ(r.outcome, UpgradeOutcome::NoConnection);
    EXPECT_EQ(r.sent, 0u);
}

}  // namespace
}  // namespace cardlink
