// File, folder and firmware transfers end to end against ledcard-sim cards on 127.43.0.x: what the
// card stores, the frames its journal shows, the file transfer gate, and the failures' results,
// status codes and messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "common/frame.h"
#include "kelvra/kelvra.h"
#include "library/protocol/library_state.h"
#include "library/protocol/timeouts.h"
#include "simulator/sim.h"
#include "tests/kelvra_protocol/recorder.h"
#include "tests/support/netns.h"
#include "tests/support/temp_dir.h"
#include "tests/support/sim_cards.h"
#include "tests/support/wait.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

[[maybe_unused]] auto* const kNet =
    ::testing::AddGlobalTestEnvironment(new support::PrivateNetworkEnvironment);

constexpr const char* kFirst = "127.43.0.1";
constexpr const char* kNobody = "127.43.0.99";  // no card listens here

std::uint32_t u32(const Bytes& b, std::size_t at) {
    return frame::get_u32le(b.data() + at);
}
std::string text_at(const Bytes& b, std::size_t at) {
    return std::string(reinterpret_cast<const char*>(b.data() + at));  // the fields are NUL-terminated
}
bool is_file_frame(const sim::JournalEntry& e) {
    return e.command == frame::CMD_FILE_HEADER || e.command == frame::CMD_FILE_DATA;
}

class Transfers : public ::testing::Test {
  protected:
    void SetUp() override {
        recorder::reset();
        ASSERT_TRUE(sim_.start(support::SimCards::config(2, kFirst)));
    }
    void TearDown() override { EXPECT_TRUE(kelvra::wait_for_jobs(60s)); }

    const std::string& id(std::size_t i = 0) const { return sim_.id(i); }
    const std::string& ip(std::size_t i = 0) const { return sim_.ip(i); }

    std::vector<sim::JournalEntry> since(std::uint64_t from) const { return sim_.since(from); }
    std::optional<sim::StoredFile> stored(std::size_t card, const std::string& card_path) const {
        for (auto& f : sim_->stored_files(id(card)))
            if (f.card_path == card_path) return f;
        return std::nullopt;
    }
    // Waits until the card holds every one of `paths` whole.
    bool stored_whole(std::size_t card, const std::vector<std::string>& paths) const {
        return sim_->wait_for(
            [&](const auto&) {
                for (const auto& p : paths) {
                    const auto f = stored(card, p);
                    if (!f || !f->complete) return false;
                }
                return true;
            },
            10s);
    }

    support::TempDir local_;
    support::SimCards sim_;
};

TEST_F(Transfers, FileArrivesWholeUnderItsCardPath) {
    struct Case {
        int proto_type;
        std::size_t size;
        const char* card_name;    // "" or null: the local name
        const char* card_folder;  // null: none
        std::uint32_t file_type;
        std::string card_path;
        std::vector<std::uint32_t> pieces;
    };
    const std::vector<Case> cases = {
        {1, 4001, "", nullptr, 7, "clip.bin", {2000, 2000, 1}},
        {2, 2000, "shown.bmp", "Program\\Area0", 5, "Program\\Area0\\shown.bmp", {2000, 0}},
        {101, 0, nullptr, "", 4, "clip.bin", {0}},
        {102, 6500, "Config.sys", "Jpeg", 3, "Jpeg\\Config.sys", {2000, 2000, 2000, 500}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("iProtoType " + std::to_string(c.proto_type) + ", " + std::to_string(c.size) + " bytes");
        recorder::reset();
        const Bytes content = support::pattern(c.size, c.proto_type);
        const auto local = local_.write("files/clip.bin", content);
        const std::uint32_t parameter = 0x11223300u + static_cast<std::uint32_t>(c.proto_type);
        const auto from = sim_->journal_end();

        ASSERT_EQ(SendFileToCard(id().c_str(), ip().c_str(), c.proto_type, parameter, local.c_str(),
                                 c.card_name, c.card_folder, c.file_type),
                  0);
        ASSERT_TRUE(kelvra::wait_for_jobs(30s));
        ASSERT_TRUE(stored_whole(0, {c.card_path}));
        EXPECT_EQ(support::read_bytes(stored(0, c.card_path)->local_path), content);

        const auto frames = since(from);
        ASSERT_FALSE(frames.empty());
        const auto& header = frames.front();
        ASSERT_EQ(header.command, frame::CMD_FILE_HEADER);
        ASSERT_EQ(header.data.size(), 212u);
        EXPECT_EQ(u32(header.data, 0), c.file_type);
        EXPECT_EQ(u32(header.data, 4), c.size);
        EXPECT_EQ(u32(header.data, 8), 0u);
        EXPECT_EQ(text_at(header.data, 12), c.card_folder != nullptr ? c.card_folder : "");
        EXPECT_EQ(text_at(header.data, 112),
                  c.card_name != nullptr && *c.card_name ? c.card_name : "clip.bin");

        std::vector<std::uint32_t> pieces;
        for (const auto& e : frames) {
            EXPECT_EQ(e.parameter, parameter) << "every packet carries the parameter";
            EXPECT_EQ(e.id, id());
            EXPECT_EQ(e.transport, c.proto_type % 100 == 1 ? sim::Transport::Tcp : sim::Transport::Udp);
            if (e.command == frame::CMD_FILE_DATA) pieces.push_back(e.length);
        }
        EXPECT_EQ(pieces, c.pieces);
        // 402 comes from the gate, which only asynchronous sends take.
        EXPECT_EQ(recorder::codes(),
                  c.proto_type < 100 ? std::vector<std::uint32_t>{402} : std::vector<std::uint32_t>{});
    }
}

TEST_F(Transfers, FolderTreeArrivesWholeOverTcp) {
    const std::map<std::string, Bytes> tree = {
        {"Program/Config.sys", support::pattern(100, 1)},
        {"Program/Area0/Config.sys", support::pattern(3000, 2)},
        {"Program/Area0/Jpeg/a.jpg", support::pattern(4500, 3)},
        {"Program/Area0/Jpeg/empty.jpg", {}},
        {"Program/Area1/b.gif", support::pattern(2000, 4)},
    };
    for (const auto& [path, bytes] : tree) local_.write("show/" + path, bytes);
    const std::string folder = (local_.path() / "show/Program").string();
    auto card_path = [](std::string p) {
        std::replace(p.begin(), p.end(), '/', '\\');
        return p;
    };
    std::vector<std::string> card_paths;
    for (const auto& [path, bytes] : tree) card_paths.push_back(card_path(path));

    const auto from = sim_->journal_end();
    // iProtoType 2 is only passed on to the sub-folders: every file goes over TCP.
    EXPECT_EQ(SendFolderToCard(id().c_str(), ip().c_str(), 2, 77, folder.c_str(), "Program"), 0);
    ASSERT_TRUE(stored_whole(0, card_paths));
    for (const auto& [path, bytes] : tree)
        EXPECT_EQ(support::read_bytes(stored(0, card_path(path))->local_path), bytes) << path;

    std::vector<std::string> headers;
    for (const auto& e : since(from)) {
        ASSERT_TRUE(is_file_frame(e)) << int(e.command);
        EXPECT_EQ(e.transport, sim::Transport::Tcp);
        EXPECT_EQ(e.parameter, 77u);
        if (e.command != frame::CMD_FILE_HEADER) continue;
        EXPECT_EQ(u32(e.data, 0), 4u) << "folder transfers send type 4";
        headers.push_back(text_at(e.data, 12) + "\\" + text_at(e.data, 112));
    }
    EXPECT_EQ(headers, card_paths) << "one file after the other, in name order";
    EXPECT_EQ(recorder::codes(), std::vector<std::uint32_t>{}) << "synchronous sends take no gate";
}

TEST_F(Transfers, FolderTransferGoesOnPastWhatItCannotSend) {
    local_.write("show/Program/a.bin", support::pattern(10, 1));
    local_.write("show/Program/v1.5/hidden.bin", support::pattern(10, 2));
    local_.write("show/Program/z.bin", support::pattern(10, 3));
    const std::string folder = (local_.path() / "show/Program").string();

    EXPECT_EQ(SendFolderToCard(id().c_str(), ip().c_str(), 1, 0, folder.c_str(), "Program"), 2);
    ASSERT_TRUE(stored_whole(0, {"Program\\a.bin", "Program\\z.bin"}));
    EXPECT_FALSE(stored(0, "Program\\v1.5\\hidden.bin"));

    // No card at all: every file fails, each reported with the card's IP.
    recorder::reset();
    EXPECT_EQ(SendFolderToCard(id().c_str(), kNobody, 1, 0, folder.c_str(), "Program"), 2);
    EXPECT_EQ(recorder::all(), (std::vector<recorder::Event>{{101, kNobody, true}, {101, kNobody, true}}));
}

// Asynchronous sends from several threads to two cards: the gate lets one file through at a time, so
// the cards' journal shows each file's header and data together, never mixed with another file's.
// A file whose card name would not fit is left out (result 2), not cut; the others arrive.
TEST_F(Transfers, FolderTransferLeavesOutANameTooLongForTheCard) {
    const std::string long_name(100, 'L');
    local_.write("long/Show/" + long_name, support::pattern(10, 1));
    local_.write("long/Show/" + std::string(99, 'L'), support::pattern(20, 2));
    local_.write("long/Show/b.bin", support::pattern(30, 3));
    const std::string folder = (local_.path() / "long/Show").string();
    EXPECT_EQ(SendFolderToCard(id().c_str(), ip().c_str(), 1, 0, folder.c_str(), "Show"), 2);
    EXPECT_TRUE(stored_whole(0, {"Show\\" + std::string(99, 'L'), "Show\\b.bin"}));
    for (const auto& f : sim_->stored_files(id())) EXPECT_EQ(f.card_path.find(long_name), std::string::npos);
}

TEST_F(Transfers, GateSendsOneFileAtATime) {
    constexpr int kFiles = 4;
    std::vector<std::filesystem::path> paths;
    for (int i = 0; i < kFiles; ++i)
        paths.push_back(local_.write("many/f" + std::to_string(i), support::pattern(9000, 10 + i)));
    const auto from = sim_->journal_end();
    std::vector<std::thread> callers;
    std::vector<int> results(kFiles, -1);
    for (int i = 0; i < kFiles; ++i) {
        callers.emplace_back([&, i] {
            results[i] = SendFileToCard(id(i % 2).c_str(), ip(i % 2).c_str(), 1,
                                        static_cast<std::uint32_t>(i), paths[i].c_str(), "", "many", 4);
        });
    }
    for (auto& t : callers) t.join();
    EXPECT_EQ(results, std::vector<int>(kFiles, 0));
    ASSERT_TRUE(kelvra::wait_for_jobs(60s));
    for (int i = 0; i < kFiles; ++i) ASSERT_TRUE(stored_whole(i % 2, {"many\\f" + std::to_string(i)}));

    // Runs of frames from one connection: each must be one whole file (a header and 5 data pieces).
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> runs;
    for (const auto& e : since(from)) {
        if (!is_file_frame(e)) continue;
        if (runs.empty() || runs.back().first != e.peer) runs.push_back({e.peer, {}});
        runs.back().second.push_back(e.command);
    }
    const std::vector<std::uint8_t> whole = {1, 2, 2, 2, 2, 2};
    ASSERT_EQ(runs.size(), static_cast<std::size_t>(kFiles));
    for (const auto& [peer, commands] : runs) EXPECT_EQ(commands, whole) << peer;
    EXPECT_EQ(recorder::codes(), std::vector<std::uint32_t>(kFiles, 402));
    EXPECT_EQ(kelvra::file_transfer_gate().active(), 0u);
}

TEST_F(Transfers, FailuresGiveTheirCodesAndFreeTheGate) {
    const auto file = local_.write("fail/big.bin", support::pattern(40000, 5));
    const std::string card_id = id();

    // No card at the address: asynchronous sends report 101, synchronous ones also return 60.
    EXPECT_EQ(SendFileToCard(card_id.c_str(), kNobody, 1, 0, file.c_str(), "", nullptr, 4), 0);
    ASSERT_TRUE(kelvra::wait_for_jobs(30s));
    EXPECT_EQ(SendFileToCard(card_id.c_str(), kNobody, 101, 0, file.c_str(), "", nullptr, 4), 60);
    EXPECT_EQ(recorder::all(), (std::vector<recorder::Event>{{101, kNobody, true}, {101, kNobody, true}}));

    // The card closes the connection after two data pieces: the send fails with 51, no 402.
    sim::Faults closing;
    closing.close_after_data_frames = 2;
    ASSERT_TRUE(sim_->set_faults(card_id, closing));
    for (int pt : {1, 101}) {
        SCOPED_TRACE(pt);
        recorder::reset();
        const int result = SendFileToCard(card_id.c_str(), ip().c_str(), pt, 0, file.c_str(), "", nullptr, 4);
        EXPECT_EQ(result, pt == 1 ? 0 : 51);
        ASSERT_TRUE(kelvra::wait_for_jobs(30s));
        EXPECT_EQ(recorder::all(), (std::vector<recorder::Event>{{51, card_id, true}}));
        const auto f = stored(0, "big.bin");
        ASSERT_TRUE(f);
        EXPECT_FALSE(f->complete);
    }

    // Every failure gave the gate back: the next transfer goes through.
    ASSERT_TRUE(sim_->set_faults(card_id, {}));
    recorder::reset();
    EXPECT_EQ(SendFileToCard(card_id.c_str(), ip().c_str(), 1, 0, file.c_str(), "", nullptr, 4), 0);
    ASSERT_TRUE(kelvra::wait_for_jobs(30s));
    EXPECT_TRUE(stored_whole(0, {"big.bin"}));
    EXPECT_EQ(recorder::codes(), std::vector<std::uint32_t>{402});
}

class Upgrade : public Transfers {
  protected:
    void SetUp() override {
        Transfers::SetUp();
        local_.write("fw/Upgrade/Kernel.fyx", support::pattern(3000, 1));
        local_.write("fw/Upgrade/app/App.sys", support::pattern(2500, 2));  // 5500 bytes: 5 KiB
        folder_ = (local_.path() / "fw/Upgrade").string();
        // The card answers at once; only the silent and absent cases wait out the answer bound.
        kelvra::Timeouts t;
        t.answer = 1000ms;
        t.connect = 1000ms;
        t.upgrade_answer_pause = 300ms;
        t.upgrade_finish_pause = 50ms;
        timeouts_.emplace(t);
    }
    std::vector<std::uint8_t> commands_since(std::uint64_t from) const {
        std::vector<std::uint8_t> out;
        for (const auto& e : since(from))
            if (e.command != 0) out.push_back(e.command);
        return out;
    }
    std::string folder_;
    std::optional<kelvra::ScopedTimeouts> timeouts_;
};

TEST_F(Upgrade, AnnounceConsentFilesFinish) {
    const auto from = sim_->journal_end();
    ASSERT_EQ(UpgradeProgram(id().c_str(), ip().c_str(), 0, 0x55, folder_.c_str(), "Upgrade"), 0);
    ASSERT_TRUE(kelvra::wait_for_jobs(60s));

    const auto frames = since(from);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front().command, frame::CMD_UPGRADE_BEGIN);
    EXPECT_EQ(frames.front().data, (Bytes{5, 0, 0, 0})) << "the size in KiB";
    EXPECT_EQ(commands_since(from),
              (std::vector<std::uint8_t>{0x81, 0x01, 0x02, 0x02, 0x01, 0x02, 0x02, 0x94}));
    const auto s = *sim_->state(id());
    EXPECT_EQ(s.upgrade_announced, 5u);
    EXPECT_EQ(s.upgrades_finished, 1u);
    EXPECT_TRUE(stored_whole(0, {"Upgrade\\Kernel.fyx", "Upgrade\\app\\App.sys"}));
    for (const auto& e : frames) {
        if (!is_file_frame(e)) continue;
        EXPECT_EQ(e.parameter, 0x55u);
    }
    EXPECT_EQ(recorder::shown(), std::vector<std::string>{"command type 193,answer Success!"});
}

// Without the card's consent nothing follows the announcement; a folder transfer that leaves a file
// out, or a card that vanishes mid-file, ends the upgrade without 0x94, within the bounds of its
// steps. The next upgrade of the same card goes through.
TEST_F(Upgrade, StopsWithoutConsentOrWithFilesMissing) {
    struct Case {
        const char* name;
        sim::Faults faults;
        bool absent_card;
        bool dotted_folder;
        std::vector<std::uint8_t> commands;
        std::vector<std::string> shown;
    };
    sim::Faults refuse, silent, vanishing;
    refuse.answer_error = true;
    silent.silent = true;
    vanishing.close_after_data_frames = 1;  // each file's connection drops after its first piece
    const std::vector<Case> cases = {
        {"refused", refuse, false, false, {0x81}, {"command type 193,answer Error!"}},
        {"silent", silent, false, false, {0x81}, {"NOt Receive aswer"}},
        {"no card", {}, true, false, {}, {"NOt Receive aswer"}},
        {"file left out",
         {},
         false,
         true,
         {0x81, 0x01, 0x02, 0x02, 0x01, 0x02, 0x02},
         {"command type 193,answer Success!", "Upgrade stopped: files not sent"}},
        {"card vanishes mid-file",
         vanishing,
         false,
         false,
         {0x81, 0x01, 0x02, 0x01, 0x02},
         {"command type 193,answer Success!", "Upgrade stopped: files not sent"}},
    };
    const auto t = kelvra::timeouts();
    const auto bound = t.connect + t.answer + t.upgrade_answer_pause + 2 * (t.connect + t.send) + 2s;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        recorder::reset();
        ASSERT_TRUE(sim_->set_faults(id(), c.faults));
        if (c.dotted_folder) local_.write("fw/Upgrade/v1.1/x.bin", support::pattern(10, 3));
        const auto from = sim_->journal_end();
        const std::string card_ip = c.absent_card ? kNobody : ip();
        const auto begin = std::chrono::steady_clock::now();
        ASSERT_EQ(UpgradeProgram(id().c_str(), card_ip.c_str(), 0, 0, folder_.c_str(), "Upgrade"), 0);
        ASSERT_TRUE(kelvra::wait_for_jobs(60s));
        EXPECT_LT(std::chrono::steady_clock::now() - begin, bound);
        EXPECT_EQ(commands_since(from), c.commands);
        EXPECT_EQ(recorder::shown(), c.shown);
        EXPECT_EQ(sim_->state(id())->upgrades_finished, 0u);
        EXPECT_EQ(sim_->state(id())->info.software_version, sim::kDefaultSoftwareVersion);
        std::filesystem::remove_all(local_.path() / "fw/Upgrade/v1.1");
    }
    recorder::reset();
    ASSERT_TRUE(sim_->set_faults(id(), {}));
    ASSERT_EQ(UpgradeProgram(id().c_str(), ip().c_str(), 0, 0, folder_.c_str(), "Upgrade"), 0);
    ASSERT_TRUE(kelvra::wait_for_jobs(60s));
    EXPECT_EQ(sim_->state(id())->upgrades_finished, 1u);
    EXPECT_TRUE(stored_whole(0, {"Upgrade\\Kernel.fyx", "Upgrade\\app\\App.sys"}));
}

// Each command reads the answer to its own request. GetIOState calls on another thread all through the
// upgrade (its pause included) get their own answers, and the upgrade gets its card's consent and
// finishes.
TEST_F(Upgrade, AConcurrentGetIOStateNeitherTakesNorGivesTheUpgradesAnswer) {
    ASSERT_EQ(SetIOState(id().c_str(), ip().c_str(), 101, 0, 3, 1), 0);
    ASSERT_TRUE(
        sim_->wait_for([&](const auto&) { return sim_->state(id())->info.output_lines == 1u << 3; }, 5s));
    std::atomic<bool> done{false};
    std::vector<std::pair<int, std::int32_t>> reads;
    std::thread reader([&] {
        while (!done) {
            std::int32_t first = -7, second = -7;
            const int r = GetIOState(id().c_str(), ip().c_str(), 101, 0, 3, &first, &second);
            reads.emplace_back(r, second);
            support::wait_until([&] { return done.load(); }, 5ms);  // the next read, or the end
        }
    });
    ASSERT_EQ(UpgradeProgram(id().c_str(), ip().c_str(), 0, 0, folder_.c_str(), "Upgrade"), 0);
    const bool finished = kelvra::wait_for_jobs(60s);
    done = true;
    reader.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(recorder::shown(), std::vector<std::string>{"command type 193,answer Success!"});
    EXPECT_EQ(sim_->state(id())->upgrades_finished, 1u);
    EXPECT_TRUE(stored_whole(0, {"Upgrade\\Kernel.fyx", "Upgrade\\app\\App.sys"}));
    ASSERT_GE(reads.size(), 5u) << "the reads overlapped the upgrade";
    for (const auto& [result, outputs] : reads) {
        EXPECT_EQ(result, 1) << "line 3's own state";
        EXPECT_EQ(outputs, 1 << 3);
    }
}

}  // namespace
