// Display windows and the live display end to end against ledcard-sim cards on 127.44.0.x: what each
// export sends (read back from the card's journal), the card file names, the effect list and its
// gate, the flashing window, and what the card's screen shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <thread>

#include "common/display_blocks.h"
#include "common/file_header.h"
#include "common/frame.h"
#include "kelvra/kelvra.h"
#include "library/imaging/bmp.h"
#include "library/imaging/codecs.h"
#include "library/programme/live_state.h"
#include "library/protocol/library_state.h"
#include "library/protocol/timeouts.h"
#include "simulator/sim.h"
#include "tests/support/declared_pictures.h"
#include "tests/support/netns.h"
#include "tests/support/temp_dir.h"
#include "tests/support/sim_cards.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

[[maybe_unused]] auto* const kNet =
    ::testing::AddGlobalTestEnvironment(new support::PrivateNetworkEnvironment);

constexpr const char* kFirst = "127.44.0.1";

std::uint32_t u32(const Bytes& b, std::size_t at) {
    return frame::get_u32le(b.data() + at);
}
std::string text_at(const Bytes& b, std::size_t at) {
    return std::string(reinterpret_cast<const char*>(b.data() + at));
}

Bytes solid(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    Bytes rgb;
    for (int i = 0; i < w * h; ++i) rgb.insert(rgb.end(), {r, g, b});
    return rgb;
}

// One file as the card received it: the header's fields and the data joined.
struct SentFile {
    file_header::FileHeader header;
    Bytes data;
    std::uint64_t last_ms = 0;  // when its last piece arrived
};

class Display : public ::testing::Test {
  protected:
    void SetUp() override {
        kelvra::reset_library_state();
        kelvra::live::reset_live_state();
        sim::SimulatorConfig config = support::SimCards::config(2, kFirst);
        config.storage_root = cards_dir_.path();
        ASSERT_TRUE(sim_.start(config));
        bmp_ = local_
                   .write("pics/red.bmp", kelvra::imaging::encode_bmp(
                                              kelvra::imaging::rgb_bitmap(16, 8, solid(16, 8, 255, 0, 0))))
                   .string();
        jpg_ = local_
                   .write("pics/blue.jpg", *kelvra::imaging::encode_jpeg(
                                               kelvra::imaging::rgb_bitmap(16, 8, solid(16, 8, 0, 0, 255))))
                   .string();
    }
    void TearDown() override { EXPECT_TRUE(kelvra::wait_for_jobs(60s)); }

    const char* id(std::size_t i = 0) const { return sim_.id(i).c_str(); }
    const char* ip(std::size_t i = 0) const { return sim_.ip(i).c_str(); }

    std::vector<sim::JournalEntry> since(std::uint64_t from, std::size_t card = 0) const {
        std::vector<sim::JournalEntry> out;
        for (auto& e : sim_->journal())
            if (e.seq >= from && e.card == sim_.id(card)) out.push_back(std::move(e));
        return out;
    }
    // Waits for the `n`-th frame (from 1) with `command` since `from`.
    bool wait_frames(std::uint8_t command, std::size_t n, std::uint64_t from, std::size_t card = 0) const {
        return sim_->wait_for(
            [&](const std::vector<sim::JournalEntry>& j) {
                return static_cast<std::size_t>(std::count_if(j.begin(), j.end(), [&](const auto& e) {
                           return e.seq >= from && e.command == command && e.card == sim_.id(card);
                       })) >= n;
            },
            15s);
    }
    std::vector<SentFile> files_since(std::uint64_t from, std::size_t card = 0) const {
        std::vector<SentFile> out;
        for (const auto& e : since(from, card)) {
            if (e.command == frame::CMD_FILE_HEADER) {
                out.push_back({*file_header::decode(e.data), {}, e.ms});
            } else if (e.command == frame::CMD_FILE_DATA && !out.empty()) {
                out.back().data.insert(out.back().data.end(), e.data.begin(), e.data.end());
                out.back().last_ms = e.ms;
            }
        }
        return out;
    }
    std::vector<sim::JournalEntry> commands_since(std::uint8_t command, std::uint64_t from,
                                                  std::size_t card = 0) const {
        std::vector<sim::JournalEntry> out;
        for (auto& e : since(from, card))
            if (e.command == command) out.push_back(std::move(e));
        return out;
    }
    // Waits until the card's screen shows `rgb` at (x, y), each channel within `tolerance` (a JPEG's
    // colours are near, not exact).
    bool screen_shows(std::uint32_t x, std::uint32_t y, std::uint32_t rgb, int tolerance = 0,
                      std::size_t card = 0) const {
        return sim_->wait_for(
            [&](const auto&) {
                const auto s = sim_.state(card);
                if (!s || !s->screen_picture) return false;
                const std::uint32_t v = s->screen_picture->at(x, y);
                for (int shift : {0, 8, 16}) {
                    if (std::abs(static_cast<int>((v >> shift) & 0xFF) -
                                 static_cast<int>((rgb >> shift) & 0xFF)) > tolerance)
                        return false;
                }
                return true;
            },
            10s);
    }

    support::TempDir local_;
    support::TempDir cards_dir_;
    support::SimCards sim_;
    std::string bmp_, jpg_;
};

TEST_F(Display, PicturesAreNamedByTheCounterAndTaggedByWhatIsSent) {
    ASSERT_EQ(CreateWnd(3, id(), ip(), 101, 0, 0, 0, 64, 32, 0, 0, 0), 0);
    const std::string png = local_.write("pics/a.PNG", "not a card picture").string();
    auto from = sim_->journal_end();
    EXPECT_EQ(AddPicToWnd(3, png.c_str(), id(), ip(), 101, 1, 0, 0, 0, 0, 10, 0, 0), 13);   // takes Pic0
    const std::string jpg = local_.write("bmp/a.jpg", support::read_bytes(jpg_)).string();  // folder "bmp"
    EXPECT_EQ(AddPicToWnd(3, jpg.c_str(), id(), ip(), 101, 1, 2, 3, 4, 5, 6, 7, 1), 0);
    EXPECT_EQ(AddPicToWnd(3, bmp_.c_str(), id(), ip(), 101, 1, 0, 0, 0, 0, 10, 0, 1), 0);
    // The sends are done; the card may still be reading them.
    ASSERT_TRUE(wait_frames(frame::CMD_WINDOW, 2, from));

    const auto files = files_since(from);
    ASSERT_EQ(files.size(), 2u) << "the PNG sends nothing";
    EXPECT_EQ(files[0].header.file_name, "Pic1.jpg");
    EXPECT_EQ(files[0].header.folder, "3");
    EXPECT_EQ(files[0].header.file_type, 4u);
    EXPECT_EQ(files[0].data, support::read_bytes(jpg)) << "a JPEG goes as it is";
    EXPECT_EQ(files[1].header.file_name, "Pic2.gif");
    EXPECT_EQ(files[1].header.folder, "3");
    ASSERT_GE(files[1].data.size(), 6u);
    EXPECT_EQ(std::string(files[1].data.begin(), files[1].data.begin() + 4), "GIF8")
        << "the BMP became a GIF";

    const auto windows = commands_since(frame::CMD_WINDOW, from);
    ASSERT_EQ(windows.size(), 2u);
    const auto first = display::decode_window_command(windows[0].data);
    ASSERT_TRUE(first && first->item);
    EXPECT_EQ(windows[0].data.size(), 300u);
    EXPECT_EQ(first->window, 3u);
    EXPECT_EQ(first->item->tag, "jpg");
    EXPECT_EQ(first->item->card_name, "Pic1.jpg");
    EXPECT_EQ(first->item->numbers, (std::array<std::uint32_t, 7>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(text_at(windows[0].data, 12 + 80), "") << "the first name field stays empty";
    const auto second = display::decode_window_command(windows[1].data);
    ASSERT_TRUE(second && second->item);
    EXPECT_EQ(second->item->tag, "gif");
    EXPECT_EQ(second->item->card_name, "Pic2.gif");
    // The card stored the GIF in the window's folder and shows it.
    EXPECT_TRUE(screen_shows(2, 2, 0xFF0000));
}

TEST_F(Display, TheNamingCounterWrapsAfter1000) {
    kelvra::live::NameCounter counter;
    for (std::uint32_t i = 0; i <= 1000; ++i) ASSERT_EQ(counter.take(), i);
    EXPECT_EQ(counter.take(), 0u) << "the 1002nd name is Pic0 again";
}

TEST_F(Display, VideosMustBeAvi) {
    const std::string avi = local_.write("clips/clip.AVI", support::pattern(2500)).string();
    const std::string mp4 = local_.write("clips/clip.mp4", support::pattern(100)).string();
    const auto from = sim_->journal_end();
    EXPECT_EQ(AddVideoToWnd(1, mp4.c_str(), id(), ip(), 101, 0), -1);
    EXPECT_TRUE(commands_since(frame::CMD_FILE_HEADER, from).empty());
    ASSERT_EQ(AddVideoToWnd(1, avi.c_str(), id(), ip(), 101, 0), 0);
    ASSERT_TRUE(wait_frames(frame::CMD_WINDOW, 1, from));
    const auto files = files_since(from);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].header.file_name, "clip.AVI");
    EXPECT_EQ(files[0].header.folder, "1");
    EXPECT_EQ(files[0].data, support::pattern(2500));
    const auto windows = commands_since(frame::CMD_WINDOW, from);
    ASSERT_EQ(windows.size(), 1u);
    const auto item = display::decode_window_command(windows[0].data)->item;
    EXPECT_EQ(item->tag, "vod");
    EXPECT_EQ(item->card_name, "clip.AVI");
    EXPECT_EQ(item->numbers, (std::array<std::uint32_t, 7>{}));
}

TEST_F(Display, WindowOperationsReachTheCardAsTheirBlocks) {
    const auto from = sim_->journal_end();
    ASSERT_EQ(CreateWnd(2, id(), ip(), 1, 0x99, 8, 4, 32, 16, 5, 6, 1), 0);
    ASSERT_EQ(LockOrUnlockWnd(2, id(), ip(), 0, 1, 1), 0);
    ASSERT_EQ(DelPicInWnd(2, "Pic9.jpg", id(), ip(), 1), 0);
    ASSERT_EQ(DestroyWnd(2, id(), ip(), 1), 0);
    ASSERT_EQ(CreateMuliAreaWindow(1, 2, 3, 4, 5, 6, id(), ip(), 0x77, 1), 0);
    ASSERT_EQ(InsertListToArea(9, 0, id(), ip(), 0x78, 1, 0), 0);
    ASSERT_TRUE(kelvra::wait_for_jobs(20s));
    ASSERT_TRUE(wait_frames(frame::CMD_WINDOW, 6, from));
    auto windows = commands_since(frame::CMD_WINDOW, from);
    // Asynchronous jobs race each other: order them by operation.
    std::map<std::uint32_t, sim::JournalEntry> by_op;
    for (auto& w : windows) by_op[u32(w.data, 0)] = w;
    ASSERT_EQ(by_op.size(), 6u);
    EXPECT_EQ(by_op[2].data, display::create_window(2, 5, {8, 4, 32, 16}, 6, true));
    EXPECT_EQ(by_op[2].parameter, 0x99u);
    EXPECT_EQ(by_op[6].data.size(), 448u);
    EXPECT_TRUE(std::all_of(by_op[6].data.begin() + 16, by_op[6].data.end(), [](auto b) { return b == 0; }))
        << "a lock block is all zero after offset 16";
    EXPECT_EQ(by_op[6].parameter, 0u);
    EXPECT_EQ(by_op[4].data, *display::delete_picture(2, "Pic9.jpg"));
    EXPECT_EQ(by_op[7].data, display::destroy_window(2));
    EXPECT_EQ(by_op[16].data, display::create_multi_area({1, 2, 3, 4}, 5, 6));
    EXPECT_EQ(by_op[16].parameter, 0x77u);
    EXPECT_EQ(by_op[17].data, display::insert_list(9));
    EXPECT_EQ(by_op[17].parameter, 0x78u);
}

TEST_F(Display, RefusedArgumentsSendNothing) {
    const auto from = sim_->journal_end();
    EXPECT_EQ(DestroyWnd(1, id(), ip(), 0), 31);
    EXPECT_EQ(DelPicInWnd(1, std::string(100, 'n').c_str(), id(), ip(), 1), 20);
    EXPECT_EQ(AddPicToWnd(1, local_.text("pics/none.jpg").c_str(), id(), ip(), 1, 1, 0, 0, 0, 0, 1, 0, 0),
              17);
    const std::string broken = local_.write("pics/broken.bmp", "BM but nothing more").string();
    EXPECT_EQ(AddPicToWnd(1, broken.c_str(), id(), ip(), 1, 1, 0, 0, 0, 0, 1, 0, 1), 17)
        << "a BMP that cannot be converted is never sent as a \".gif\"";
    EXPECT_EQ(ShowPicture(id(), ip(), 1, 0, local_.text("pics/none.bmp").c_str()), 1);
    EXPECT_EQ(ShowPicture(id(), ip(), 1, 0, local_.write("pics/x.png", "png").c_str()), 13);
    ASSERT_TRUE(kelvra::wait_for_jobs(10s));
    EXPECT_TRUE(since(from).empty());
}

TEST_F(Display, ShowPictureShowsItAtOnce) {
    const auto from = sim_->journal_end();
    ASSERT_EQ(ShowPicture(id(), ip(), 101, 0x42, jpg_.c_str()), 0);
    EXPECT_TRUE(screen_shows(3, 3, 0x0000FF, 8)) << "shown once the whole file is there";
    const auto files = files_since(from);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].header.file_type, 5u);
    EXPECT_EQ(files[0].header.folder, "");
    EXPECT_EQ(files[0].header.file_name, "Pic0.jpg");
    for (const auto& e : since(from)) EXPECT_EQ(e.parameter, 0x42u);
}

TEST_F(Display, EffectListOfThreePicturesIs988BytesAndEmptiesTheList) {
    EXPECT_EQ(ShowPicStunt(1, 0, 0, 64, 32, 0, id(), ip(), 0, 101, 1), 15) << "no picture added yet";
    for (const auto& path : {jpg_, bmp_, jpg_})
        ASSERT_EQ(AddPicAndStunt(id(), ip(), 101, 0, path.c_str(), 1, 2, 3, 4, 5, 6, 7, 0), 0);
    const auto from = sim_->journal_end();
    ASSERT_EQ(ShowPicStunt(1, 0, 0, 64, 32, 0, id(), ip(), 0, 101, 1), 0);
    ASSERT_TRUE(wait_frames(frame::CMD_WINDOW, 1, from));
    const auto files = files_since(from);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].header.file_type, 7u);
    EXPECT_EQ(files[0].header.file_name, "Config.sys");
    const Bytes& record = files[0].data;
    ASSERT_EQ(record.size(), 988u);
    EXPECT_EQ(u32(record, 92), 0x55AA55AAu);
    EXPECT_EQ(u32(record, 104), 64u);
    EXPECT_EQ(u32(record, 108), 32u);
    EXPECT_EQ(text_at(record, 112 + 180), "Pic0.jpg");
    EXPECT_EQ(text_at(record, 400 + 180), "Pic1.bmp");
    EXPECT_EQ(text_at(record, 688 + 180), "Pic2.jpg");
    EXPECT_EQ(text_at(record, 976), "END");
    EXPECT_EQ(u32(record, 984), bytes::word_sum(std::span<const std::uint8_t>(record).first(984)));
    const auto start = commands_since(frame::CMD_WINDOW, from);
    ASSERT_EQ(start.size(), 1u);
    EXPECT_EQ(start[0].data, display::stunt_start());
    EXPECT_TRUE(start[0].accepted) << start[0].note;
    // The card plays the first picture in the rectangle.
    EXPECT_TRUE(screen_shows(1, 1, 0x0000FF, 8));

    const auto after = sim_->journal_end();
    EXPECT_EQ(ShowPicStunt(1, 0, 0, 64, 32, 0, id(), ip(), 0, 101, 1), 15) << "the list was emptied";
    EXPECT_TRUE(since(after).empty());
    ASSERT_EQ(ExitPicStunt(id(), ip(), 101, 0), 0);
    ASSERT_TRUE(wait_frames(frame::CMD_EXIT_STUNT, 1, after));
    EXPECT_TRUE(screen_shows(1, 1, 0));
}

TEST_F(Display, EffectListsAreKeptPerCard) {
    ASSERT_EQ(AddPicAndStunt(id(0), ip(0), 101, 0, jpg_.c_str(), 1, 0, 0, 0, 0, 1, 0, 0), 0);
    EXPECT_EQ(ShowPicStunt(0, 0, 0, 0, 0, 0, id(1), ip(1), 0, 101, 1), 15) << "card 1 added nothing";
    EXPECT_EQ(ShowPicStunt(0, 0, 0, 0, 0, 1, id(0), ip(0), 0, 101, 1), 0);
}

TEST_F(Display, ImmediateModeRefusesABusyCardAndWaitingModeFollowsThePictures) {
    ASSERT_EQ(ConnectCardSuccessOrFaile(ip()), 1);  // the card gets its own gate
    sim::Faults slow;
    slow.read_rate = 20000;  // bytes per second: a 60 kB picture takes about 3 s
    ASSERT_TRUE(sim_->set_faults(id(), slow));
    const std::string big =
        local_
            .write("pics/big.bmp", kelvra::imaging::encode_bmp(kelvra::imaging::rgb_bitmap(
                                       160, 120, support::pattern(160 * 120 * 3))))
            .string();
    const auto from = sim_->journal_end();
    ASSERT_EQ(AddPicAndStunt(id(), ip(), 1, 0, big.c_str(), 1, 0, 0, 0, 0, 1, 0, 0), 0);
    EXPECT_EQ(ShowPicStunt(0, 0, 0, 0, 0, 0, id(), ip(), 0, 1, 1), 16) << "a transfer holds the card's gate";
    const auto waited_from = std::chrono::steady_clock::now();
    EXPECT_EQ(ShowPicStunt(0, 0, 0, 0, 0, 0, id(), ip(), 0, 1, 0), 0);
    EXPECT_GT(std::chrono::steady_clock::now() - waited_from, 500ms) << "it waited for the picture";
    ASSERT_TRUE(kelvra::wait_for_jobs(60s));
    ASSERT_TRUE(wait_frames(frame::CMD_WINDOW, 1, from));
    const auto files = files_since(from);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].header.file_name, "Pic0.bmp");
    EXPECT_EQ(files[1].header.file_name, "Config.sys") << "the list follows its picture";
}

TEST_F(Display, WaitingModeGivesUpAfterItsBound) {
    ASSERT_EQ(ConnectCardSuccessOrFaile(ip()), 1);
    sim::Faults stuck;
    stuck.stop_reading_after = 3000;  // the picture's transfer hangs until the send bound
    ASSERT_TRUE(sim_->set_faults(id(), stuck));
    kelvra::Timeouts t = kelvra::timeouts();
    t.card_busy_wait = 300ms;
    t.send = 3s;
    const kelvra::ScopedTimeouts fast(t);
    Bytes big_jpeg = support::jpeg_declaring(64, 64);  // a small picture in a file of 50 KB
    const Bytes filler = support::pattern(50000);
    big_jpeg.insert(big_jpeg.end(), filler.begin(), filler.end());
    const std::string big = local_.write("pics/big.jpg", big_jpeg).string();
    ASSERT_EQ(AddPicAndStunt(id(), ip(), 1, 0, big.c_str(), 1, 0, 0, 0, 0, 1, 0, 0), 0);
    EXPECT_EQ(ShowPicStunt(0, 0, 0, 0, 0, 0, id(), ip(), 0, 1, 0), 16);
    ASSERT_TRUE(kelvra::wait_for_jobs(30s));
}

TEST_F(Display, FlashingWindowFollowsItsPictureAfter400ms) {
    ASSERT_EQ(CreateWindowRegin(1, 2, 30, 20, 5), 1);
    ASSERT_EQ(CreateWindowRegin(40, 10, 8, 8, 6), 2);
    const auto from = sim_->journal_end();
    ASSERT_EQ(RealTimeInsertGlintWindow(id(), ip(), 0x31, 1, jpg_.c_str(), 0x99), 0);
    ASSERT_TRUE(wait_frames(frame::CMD_GLINT_WINDOW, 1, from));
    const auto files = files_since(from);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].header.file_type, 6u);
    const auto glints = commands_since(frame::CMD_GLINT_WINDOW, from);
    ASSERT_EQ(glints.size(), 1u);
    const Bytes& block = glints[0].data;
    ASSERT_EQ(block.size(), 1532u);
    EXPECT_EQ(u32(block, 40), 6u);
    EXPECT_EQ(text_at(block, 144), files[0].header.file_name);
    EXPECT_EQ(u32(block, 244), 2u);
    EXPECT_EQ(u32(block, 248), 0x99u);
    EXPECT_EQ(u32(block, 252), 1u);
    EXPECT_EQ(u32(block, 268), 5u);
    EXPECT_EQ(u32(block, 272), 40u);
    EXPECT_EQ(u32(block, 288), 6u);
    EXPECT_EQ(glints[0].parameter, 0x31u);
    EXPECT_GE(glints[0].ms - files[0].last_ms, 400u) << "400 ms after the picture's last byte";
    EXPECT_EQ(CreateWindowRegin(0, 0, 1, 1, 0), 1) << "the regions were taken";
    EXPECT_TRUE(screen_shows(41, 11, 0x0000FF, 8));
}

TEST_F(Display, FailedFlashingWindowKeepsItsRegions) {
    ASSERT_EQ(CreateWindowRegin(1, 1, 1, 1, 1), 1);
    EXPECT_EQ(RealTimeInsertGlintWindow(id(), "127.44.0.99", 0, 101, jpg_.c_str(), 0), 60) << "no card there";
    EXPECT_EQ(CreateWindowRegin(2, 2, 2, 2, 2), 2);
}

TEST_F(Display, TheSixtyFifthRegionIsRefused) {
    for (int i = 1; i <= 64; ++i) ASSERT_EQ(CreateWindowRegin(i, 0, 1, 1, 0), i);
    EXPECT_EQ(CreateWindowRegin(65, 0, 1, 1, 0), -1);
    EXPECT_EQ(kelvra::live::live_state().regions.size(), 64u);
}

// Two callers on two threads fill the library-wide lists at once: every name is handed out once, and
// each card's effect list holds exactly its own caller's pictures.
TEST_F(Display, TwoCallersOnTwoThreadsKeepTheListsWhole) {
    constexpr int kEach = 12;
    std::vector<int> failures(2, 0);
    std::vector<std::thread> callers;
    for (std::size_t c = 0; c < 2; ++c) {
        callers.emplace_back([&, c] {
            for (int i = 0; i < kEach; ++i) {
                if (AddPicAndStunt(id(c), ip(c), 101, 0, jpg_.c_str(), 1, 0, 0, 0, 0, 1, 0, 0) != 0)
                    ++failures[c];
                if (CreateWindowRegin(static_cast<uint32_t>(c), static_cast<uint32_t>(i), 1, 1, 0) <= 0)
                    ++failures[c];
            }
        });
    }
    for (auto& t : callers) t.join();
    EXPECT_EQ(failures, (std::vector<int>{0, 0}));
    EXPECT_EQ(kelvra::live::live_state().regions.size(), 2u * kEach);
    std::set<std::string> names;
    for (std::size_t c = 0; c < 2; ++c) {
        const auto from = sim_->journal_end();
        ASSERT_EQ(ShowPicStunt(0, 0, 0, 0, 0, 0, id(c), ip(c), 0, 101, 1), 0);
        ASSERT_TRUE(wait_frames(frame::CMD_WINDOW, 1, from, c));
        const auto files = files_since(from, c);
        ASSERT_EQ(files.size(), 1u);
        const auto list = display::decode_stunt_list(files[0].data);
        ASSERT_TRUE(list);
        EXPECT_EQ(list->items.size(), static_cast<std::size_t>(kEach));
        for (const auto& item : list->items) names.insert(item.card_name);
    }
    EXPECT_EQ(names.size(), 2u * kEach) << "no name was handed out twice";
}

// Pictures over the size cap are refused by their declared size with 21, over every transport that
// carries a file, and nothing reaches the card; one just under the cap is sent.
TEST_F(Display, PicturesOverTheSizeCapSendNothing) {
    const auto bomb = local_.write("over/bomb.bmp", support::rle8_bmp(32768, 8192)).string();
    const auto jpeg = local_.write("over/big.jpg", support::jpeg_declaring(32768, 32768)).string();
    const auto gif = local_.write("over/big.gif", support::gif_declaring(65535, 65535)).string();
    const auto wide = local_.write("over/wide.gif", support::gif_declaring(16385, 1)).string();
    const std::uint64_t from = sim_->journal_end();
    for (const auto& path : {bomb, jpeg, gif, wide}) {
        SCOPED_TRACE(path);
        for (const int gif_switch : {0, 1})
            EXPECT_EQ(AddPicToWnd(1, path.c_str(), id(), ip(), 101, 1, 0, 0, 0, 0, 5, 0, gif_switch),
                      KELVRA_PICTURE_TOO_LARGE);
        EXPECT_EQ(ShowPicture(id(), ip(), 101, 0, path.c_str()), KELVRA_PICTURE_TOO_LARGE);
        EXPECT_EQ(AddPicAndStunt(id(), ip(), 101, 0, path.c_str(), 1, 0, 0, 0, 0, 5, 0, 1),
                  KELVRA_PICTURE_TOO_LARGE);
        EXPECT_EQ(RealTimeInsertGlintWindow(id(), ip(), 0, 101, path.c_str(), 1), KELVRA_PICTURE_TOO_LARGE);
    }
    EXPECT_EQ(ShowPicStunt(0, 0, 0, 0, 0, 0, id(), ip(), 0, 101, 1), 15) << "nothing was listed";
    // Under the cap: sent as it is (the card is the one to judge its pixels).
    const auto under = local_.write("under/big.gif", support::gif_declaring(1448, 1448)).string();
    ASSERT_EQ(ShowPicture(id(), ip(), 101, 0, under.c_str()), 0);
    ASSERT_TRUE(wait_frames(frame::CMD_FILE_HEADER, 1, from));
    const auto files = files_since(from);
    ASSERT_EQ(files.size(), 1u) << "only the picture under the cap reached the card";
    EXPECT_EQ(files[0].data, support::gif_declaring(1448, 1448));
}

}  // namespace
