// The image transfer on real sockets: the frames a card receives, the bytes it stores, and every
// failure message in order.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "recording_card.h"
#include "screenconfig/image_transfer.h"
#include "screenconfig/le_bytes.h"
#include "screenconfig/record_files.h"
#include "test_files.h"

using namespace screenconfig;
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

TEST_F(Transfer, SendsHeaderDataFramesAndApply) {
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
    EXPECT_EQ(load_le32(&frames[0].data[4]), 2'097'588u);
    EXPECT_EQ(load_le32(&frames[0].data[8]), 0u);
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

TEST_F(Transfer, CardClosingMidTransferGivesSendErrorThenShortAndNoApply) {
    RecordingCard::Options opts;
    opts.close_after_data_frames = 100;
    RecordingCard card(opts);
    ASSERT_TRUE(card.bound());
    EXPECT_EQ(run(kCard), TransferOutcome::SendFailed);
    EXPECT_EQ(observer_.messages, (Texts{"_SendFileThread Send error!", "error 001"}));
    EXPECT_EQ(observer_.events, (Texts{"open 1024", "close"}));
    EXPECT_LT(observer_.steps, 1025);
    ASSERT_TRUE(card.wait_for_closed_connections(1));
    for (const auto& f : card.frames()) EXPECT_NE(f.command, 0x84);
}

TEST_F(Transfer, Failures) {
    // Nobody at the address.
    EXPECT_EQ(run({kCard.card_id, "127.0.0.62"}), TransferOutcome::NoConnection);
    EXPECT_EQ(observer_.messages, Texts{"IDS_MESSAGE_CARD_LINK_ERROR"});
    EXPECT_TRUE(observer_.events.empty());

    RecordingCard card;
    ASSERT_TRUE(card.bound());

    // A "temp.sys" of the wrong size, or none: reported, and the card gets nothing.
    for (const std::uintmax_t size :
         {std::uintmax_t{2'097'587}, std::uintmax_t{2'097'589}, std::uintmax_t{0}}) {
        fs::resize_file(temp_sys_path(dir_), size);
        observer_ = Observer{};
        EXPECT_EQ(run(kCard), TransferOutcome::FileUnusable) << size;
        EXPECT_EQ(observer_.messages, Texts{"error 001"});
    }
    fs::remove(temp_sys_path(dir_));
    observer_ = Observer{};
    EXPECT_EQ(run(kCard), TransferOutcome::FileUnusable);
    EXPECT_EQ(observer_.messages, Texts{"error 001"});
    EXPECT_EQ(card.connections(), 0);
}

TEST_F(Transfer, EmptiedCardListSendsNoApply) {
    RecordingCard card;
    ASSERT_TRUE(card.bound());
    EXPECT_EQ(run(kCard, false), TransferOutcome::NoCard);
    EXPECT_EQ(observer_.messages, Texts{"IDS_MESSAGE_HAVE_NO_LINKED_CARD"});
    ASSERT_TRUE(card.wait_for_closed_connections(1));
    const auto frames = card.frames();
    ASSERT_EQ(frames.size(), 1026u);
    EXPECT_EQ(frames.back().command, 0x02);
}
