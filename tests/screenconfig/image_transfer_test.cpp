// The image transfer on real sockets: the frames exactly as they leave (a recording listener), and
// against ledcard-sim the file the card stores, the apply, and every failure message in order.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <atomic>
#include <mutex>
#include <thread>

#include "recording_card.h"
#include "sim_card.h"
#include "screenconfig/image_transfer.h"
#include "common/bytes.h"
#include "screenconfig/record_files.h"
#include "test_files.h"

using namespace screenconfig;
using bytes::get_u32le;
using testing_support::RecordingCard;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

namespace {

const cardlink::CardTarget kCard{"A123-456-78901", "127.0.0.61"};

class Observer final : public TransferObserver {
  public:
    void progress_opened(int steps) override { events.push_back("open " + std::to_string(steps)); }
    void progress_step() override { ++steps; }
    void progress_closed() override { events.push_back("close"); }
    void message(const std::string& text) override { messages.push_back(text); }
    Texts events;
    Texts messages;
    int steps = 0;
};

class Transfer : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = testing_support::fresh_test_dir("screenconfig_transfer");
        testing_support::use_key_language(dir_ / "lang");
        build_blank(image_);
        // Something other than the identity, so a misplaced block would show.
        image_.set(ConfigField::rotation, 2);
        image_.set_entry(0, 0, 0xCAFEF00D);
        finish(image_);
        ASSERT_EQ(write_temp_sys(image_, temp_sys_path(dir_)), WriteStatus::Ok);
        settings_.apply_wait = std::chrono::milliseconds(0);
        settings_.close_wait = std::chrono::milliseconds(0);
        settings_.timeouts.send = std::chrono::milliseconds(2000);
    }
    TransferOutcome run(const cardlink::CardTarget& target, bool cards = true) {
        return send_image(
            target, temp_sys_path(dir_), [cards] { return cards; }, observer_, settings_);
    }
    fs::path dir_;
    ScreenConfig image_;
    TransferSettings settings_;
    Observer observer_;
};

Bytes concat_data(const std::vector<testing_support::ReceivedFrame>& frames) {
    Bytes all;
    for (const auto& f : frames)
        if (f.command == 0x02) all.insert(all.end(), f.data.begin(), f.data.end());
    return all;
}

}  // namespace

TEST_F(Transfer, WireFramesHeaderDataAndApply) {
    RecordingCard card;
    ASSERT_TRUE(card.bound());
    EXPECT_EQ(run(kCard), TransferOutcome::Applied);
    ASSERT_TRUE(card.wait_for_closed_connections(1));
    EXPECT_EQ(card.connections(), 1);

    const auto frames = card.frames();
    ASSERT_EQ(frames.size(), 1 + 1025 + 1u);
    EXPECT_EQ(frames[0].command, 0x01);
    EXPECT_EQ(frames[0].wire_size, 241u);
    EXPECT_EQ(frames[0].data[0], 3);
    EXPECT_EQ(get_u32le(&frames[0].data[4]), 2'097'588u);
    EXPECT_EQ(get_u32le(&frames[0].data[8]), 0u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&frames[0].data[112]), "Config.sys");
    for (std::size_t i = 1; i <= 1024; ++i) {
        ASSERT_EQ(frames[i].command, 0x02) << i;
        ASSERT_EQ(frames[i].wire_size, 2048u + 29) << i;
        ASSERT_EQ(frames[i].card_id, kCard.card_id);
    }
    EXPECT_EQ(frames[1025].command, 0x02);
    EXPECT_EQ(frames[1025].data.size(), 436u);
    EXPECT_EQ(frames[1026].command, 0x84);
    EXPECT_EQ(frames[1026].wire_size, 437u);
    Bytes apply(408, 0);
    apply[0] = 23;
    EXPECT_EQ(frames[1026].data, apply);

    EXPECT_EQ(concat_data(frames), Bytes(image_.bytes().begin(), image_.bytes().end()));
    EXPECT_EQ(observer_.events, (Texts{"open 1024", "close"}));
    EXPECT_EQ(observer_.steps, 1025);
    EXPECT_EQ(observer_.messages, Texts{"IDS_MESSAGE_SET_SUCCESS"});
}

TEST_F(Transfer, SimulatedCardStoresTheImageAndAppliesIt) {
    testing_support::SimCard card(dir_);
    ASSERT_TRUE(card.running()) << card.error();
    EXPECT_EQ(run(card.target()), TransferOutcome::Applied);
    EXPECT_EQ(observer_.messages, Texts{"IDS_MESSAGE_SET_SUCCESS"});
    ASSERT_TRUE(card.sim().wait_for_frame(card.target().card_id, 0x84, std::chrono::seconds(10)));
    const auto stored = card.sim().stored_files(card.target().card_id);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].card_path, "Config.sys");
    EXPECT_TRUE(stored[0].complete);
    EXPECT_EQ(testing_support::read_file(stored[0].local_path),
              testing_support::read_file(temp_sys_path(dir_)));
    EXPECT_EQ(card.state().config_applied, 1u);
    EXPECT_TRUE(card.state().config_valid);
}

// A slow card: the steps follow what it has taken, not what the socket buffers swallowed at once.
TEST_F(Transfer, ProgressCountsWhatTheCardHasTaken) {
    sim::Faults faults;
    faults.read_rate = 2'000'000;  // about a second for the image
    testing_support::SimCard card(dir_, "A901-200-00001", faults);
    ASSERT_TRUE(card.running()) << card.error();
    class Counting final : public TransferObserver {
      public:
        void progress_opened(int) override {}
        void progress_step() override { ++steps; }
        void progress_closed() override { closed = true; }
        void message(const std::string&) override {}
        std::atomic<int> steps{0};
        std::atomic<bool> closed{false};
    } counting;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        send_image(
            card.target(), temp_sys_path(dir_), [] { return true; }, counting, settings_);
        done = true;
    });
    auto received = [&]() -> std::uint64_t {
        const auto files = card.sim().stored_files(card.target().card_id);
        return files.empty() ? 0 : files[0].received;
    };
    ASSERT_TRUE(
        card.sim().wait_for([&](const auto&) { return received() >= 400'000; }, std::chrono::seconds(10)));
    const int steps = counting.steps;
    const std::uint64_t taken = received();
    // What the card has read, plus what its TCP holds for it unread (the receive buffer).
    EXPECT_LE(static_cast<std::uint64_t>(steps) * kDataFrameSize, taken + 512'000) << steps << " / " << taken;
    EXPECT_FALSE(counting.closed);
    worker.join();
    EXPECT_EQ(counting.steps, 1025);
    EXPECT_TRUE(counting.closed);
}

TEST_F(Transfer, CardClosingMidTransferGivesSendErrorThenShortAndNoApply) {
    // Early, or after the last data frame: socket buffers take the whole image at once, so the hang-up
    // must be noticed even when every send returned. The local image is never touched.
    const auto image = testing_support::read_file(temp_sys_path(dir_));
    for (const int close_after : {100, 1025}) {
        sim::Faults faults;
        faults.close_after_data_frames = close_after;
        testing_support::SimCard card(dir_, "S730-413-05862", faults);
        ASSERT_TRUE(card.running()) << card.error();
        observer_ = Observer{};
        EXPECT_EQ(run(card.target()), TransferOutcome::SendFailed) << close_after;
        EXPECT_EQ(observer_.messages, (Texts{"_SendFileThread Send error!", "error 001"})) << close_after;
        EXPECT_EQ(observer_.events, (Texts{"open 1024", "close"}));
        EXPECT_EQ(card.state().config_applied, 0u);
        for (const auto& e : card.sim().journal()) EXPECT_NE(e.command, 0x84);
        EXPECT_EQ(testing_support::read_file(temp_sys_path(dir_)), image);
    }
}

TEST_F(Transfer, Failures) {
    // Nobody at the address.
    EXPECT_EQ(run({kCard.card_id, "127.0.0.62"}), TransferOutcome::NoConnection);
    EXPECT_EQ(observer_.messages, Texts{"IDS_MESSAGE_CARD_LINK_ERROR"});
    EXPECT_TRUE(observer_.events.empty());

    testing_support::SimCard card(dir_);
    ASSERT_TRUE(card.running()) << card.error();

    // A "temp.sys" of the wrong size, or none: reported, and the card gets nothing.
    for (const std::uintmax_t size :
         {std::uintmax_t{2'097'587}, std::uintmax_t{2'097'589}, std::uintmax_t{0}}) {
        fs::resize_file(temp_sys_path(dir_), size);
        observer_ = Observer{};
        EXPECT_EQ(run(card.target()), TransferOutcome::FileUnusable) << size;
        EXPECT_EQ(observer_.messages, Texts{"error 001"});
    }
    fs::remove(temp_sys_path(dir_));
    observer_ = Observer{};
    EXPECT_EQ(run(card.target()), TransferOutcome::FileUnusable);
    EXPECT_EQ(observer_.messages, Texts{"error 001"});
    EXPECT_TRUE(card.sim().journal().empty());
}

TEST_F(Transfer, EmptiedCardListSendsNoApply) {
    testing_support::SimCard card(dir_);
    ASSERT_TRUE(card.running()) << card.error();
    EXPECT_EQ(run(card.target(), false), TransferOutcome::NoCard);
    EXPECT_EQ(observer_.messages, Texts{"IDS_MESSAGE_HAVE_NO_LINKED_CARD"});
    ASSERT_TRUE(card.sim().wait_for([](const auto& journal) { return journal.size() == 1026; },
                                    std::chrono::seconds(10)));
    EXPECT_EQ(card.sim().journal().back().command, 0x02);
    EXPECT_EQ(card.state().config_applied, 0u);
}

// A card that takes the image more slowly than the sender's buffers empty: 200,000 bytes per second,
// about 10.5 s for the image. The wait for the card follows its progress, so it gets the whole image
// and its apply frame, with the program's own time-outs.
TEST_F(Transfer, SlowCardGetsTheWholeImageAndTheApply) {
    sim::Faults slow;
    slow.read_rate = 200'000;
    testing_support::SimCard card(dir_, "A901-200-00001", slow);
    ASSERT_TRUE(card.running()) << card.error();
    settings_.timeouts = platform::TcpTimeouts{};
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(run(card.target()), TransferOutcome::Applied);
    EXPECT_GT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(8)) << "the card was not slow";
    EXPECT_EQ(observer_.messages, Texts{"IDS_MESSAGE_SET_SUCCESS"});
    ASSERT_TRUE(card.sim().wait_for_frame(card.target().card_id, 0x84, std::chrono::seconds(10)));
    EXPECT_EQ(card.state().config_applied, 1u);
    EXPECT_TRUE(card.state().config_valid);
}

// A card that stops reading part-way: the transfer gives up once the card has taken nothing for the
// send bound, says so as a short transfer, and never applies.
TEST_F(Transfer, CardThatStopsReadingFailsWithinTheBound) {
    sim::Faults stalled;
    stalled.stop_reading_after = 600'000;
    testing_support::SimCard card(dir_, "A901-200-00001", stalled);
    ASSERT_TRUE(card.running()) << card.error();
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(run(card.target()), TransferOutcome::SendFailed);
    // The send bound (2 s here) once, plus the time the card took the first 600,000 bytes.
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(8));
    EXPECT_EQ(observer_.messages, (Texts{"_SendFileThread Send error!", "error 001"}));
    EXPECT_EQ(card.state().config_applied, 0u);
    for (const auto& e : card.sim().journal()) EXPECT_NE(e.command, 0x84);
}
