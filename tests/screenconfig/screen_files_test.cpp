// The main window's ".hcp" and parameter-send operations on a WorkingSet, with the messages they show.
// The parameter send runs against ledcard-sim.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "recording_card.h"
#include "sim_card.h"
#include "screenconfig/card_blocks.h"
#include "screenconfig/screen_files.h"
#include "test_files.h"

using namespace screenconfig;
using testing_support::RecordingMessages;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

namespace {

const cardlink::CardTarget kNoCard{"A123-456-78901", "127.0.0.62"};  // nothing listens there
const cardlink::ExchangeTimeouts kQuick{std::chrono::milliseconds(2000), std::chrono::milliseconds(2000),
                                        std::chrono::milliseconds(2000)};

class Operations : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = testing_support::fresh_test_dir("screenconfig_ops");
        testing_support::use_key_language(dir_ / "lang");
    }
    static void write(const fs::path& p, const Bytes& b) { testing_support::write_file(p, b); }
    static Bytes read(const fs::path& p) { return testing_support::read_file(p); }
    static ScreenParams sample_record() {
        ScreenParams p;
        for (std::size_t i = 0; i < 68; ++i) p.bytes()[i] = static_cast<std::uint8_t>(0x30 + i);
        p.seal();
        return p;
    }
    static Bytes bytes_of(const ScreenParams& p) { return Bytes(p.bytes().begin(), p.bytes().end()); }
    OpenChooser pick(const fs::path& p) {
        return [this, p]() -> std::optional<fs::path> {
            ++dialogs_;
            return p;
        };
    }
    SaveChooser pick_save(const fs::path& p) {
        return [this, p](const std::string& title) -> std::optional<fs::path> {
            ++dialogs_;
            titles_.push_back(title);
            return p;
        };
    }
    fs::path dir_;
    int dialogs_ = 0;
    Texts titles_;
    RecordingMessages messages_;
};

}  // namespace

TEST_F(Operations, LoadNeedsACardAndAChosenFile) {
    WorkingSet ws;
    LoadResult r = load_hcp_file(ws, false, pick(dir_ / "x.hcp"));
    EXPECT_FALSE(r.chosen);
    EXPECT_EQ(dialogs_, 0);
    EXPECT_EQ(messages_.texts(), Texts{"IDS_MESSAGE_HAVE_NO_LINKED_CARD"});

    messages_.clear();
    r = load_hcp_file(ws, true, [] { return std::optional<fs::path>{}; });
    EXPECT_FALSE(r.chosen);
    EXPECT_EQ(ws.source, ParamSource::None);
    EXPECT_TRUE(messages_.texts().empty());
}

TEST_F(Operations, LoadOutcomes) {
    const ScreenParams good = sample_record();
    Bytes bad_sum = bytes_of(good);
    bad_sum[40] ^= 0x04;
    Bytes longer = bytes_of(good);
    longer.insert(longer.end(), 20, 0x99);
    write(dir_ / "good.hcp", bytes_of(good));
    write(dir_ / "bad.hcp", bad_sum);
    write(dir_ / "long.hcp", longer);
    write(dir_ / "short.hcp", Bytes(30, 0x11));

    struct Case {
        const char* name;
        Texts shown;
        Bytes record_after;  // the working record afterwards
        bool loaded;         // a record was taken (path and source set)
        bool unchecked;      // it failed its check: sent only with the user's consent
    } cases[] = {
        {"good.hcp", {}, bytes_of(good), true, false},
        {"long.hcp", {}, bytes_of(good), true, false},
        {"bad.hcp", {"IDS_MESSAGE_DUDO_ERROR_FILE"}, bad_sum, true, true},  // kept as read
        // Too short to be a record: said so, not a checksum error; the old record stays.
        {"short.hcp", {"IDS_MESSAGE_HCP_TOO_SHORT"}, Bytes(72, 0xAA), false, false},
        {"missing.hcp", {"IDS_MESSAGE_DUDO_ERROR_FILE"}, Bytes(72, 0xAA), false, false},
    };
    for (const auto& c : cases) {
        messages_.clear();
        WorkingSet ws;
        std::fill(ws.params.bytes().begin(), ws.params.bytes().end(), 0xAA);
        const LoadResult r = load_hcp_file(ws, true, pick(dir_ / c.name));
        EXPECT_TRUE(r.chosen) << c.name;
        EXPECT_EQ(r.loaded, c.loaded) << c.name;
        EXPECT_EQ(r.title, c.loaded ? c.name : "") << c.name;
        EXPECT_EQ(ws.hcp_path, c.loaded ? dir_ / c.name : fs::path()) << c.name;
        EXPECT_EQ(ws.source, c.loaded ? ParamSource::File : ParamSource::None) << c.name;
        EXPECT_EQ(ws.has_record(), c.loaded) << c.name;
        EXPECT_EQ(ws.unchecked, c.unchecked) << c.name;
        EXPECT_EQ(messages_.texts(), c.shown) << c.name;
        EXPECT_EQ(bytes_of(ws.params), c.record_after) << c.name;
    }
}

TEST_F(Operations, ARecordThatFailedItsCheckIsSentOnlyWhenTheUserAgrees) {
    Bytes bad_sum = bytes_of(sample_record());
    bad_sum[40] ^= 0x04;
    write(dir_ / "bad.hcp", bad_sum);
    WorkingSet ws;
    ASSERT_TRUE(load_hcp_file(ws, true, pick(dir_ / "bad.hcp")).loaded);
    messages_.clear();
    messages_.set_reply(platform::MessageReply::No);
    EXPECT_FALSE(confirm_send(ws));
    EXPECT_EQ(messages_.texts(), Texts{"IDS_MESSAGE_HCP_SEND_UNCHECKED"});
    EXPECT_EQ(messages_.all().back().buttons, platform::MessageButtons::YesNoDefaultNo);  // Enter: No
    messages_.set_reply(platform::MessageReply::Yes);
    EXPECT_TRUE(confirm_send(ws));

    // A sound record is sent without a question.
    write(dir_ / "good.hcp", bytes_of(sample_record()));
    ASSERT_TRUE(load_hcp_file(ws, true, pick(dir_ / "good.hcp")).loaded);
    messages_.clear();
    EXPECT_TRUE(confirm_send(ws));
    EXPECT_TRUE(messages_.texts().empty());
}

TEST_F(Operations, ARefusedFileAfterAGoodOneLeavesNothingToSend) {
    write(dir_ / "good.hcp", bytes_of(sample_record()));
    write(dir_ / "short.hcp", Bytes(30, 0x11));
    for (const char* refused : {"short.hcp", "missing.hcp"}) {
        WorkingSet ws;
        ASSERT_TRUE(load_hcp_file(ws, true, pick(dir_ / "good.hcp")).loaded);
        const LoadResult r = load_hcp_file(ws, true, pick(dir_ / refused));
        EXPECT_FALSE(r.loaded) << refused;
        EXPECT_TRUE(r.title.empty()) << refused;
        // The good file's record does not stay behind to be sent under the refused file's name.
        EXPECT_FALSE(ws.has_record()) << refused;
        EXPECT_TRUE(ws.hcp_path.empty()) << refused;
        EXPECT_EQ(bytes_of(ws.params), Bytes(72, 0)) << refused;
    }
    // The wizard's parameters are not a loaded file: a refused file leaves them.
    WorkingSet ws;
    ws.params = sample_record();
    ws.wizard_finished();
    load_hcp_file(ws, true, pick(dir_ / "short.hcp"));
    EXPECT_EQ(ws.source, ParamSource::Wizard);
    EXPECT_EQ(bytes_of(ws.params), bytes_of(sample_record()));
}

TEST_F(Operations, SaveClearsTheChangedFlagOnlyWhenWritten) {
    WorkingSet ws;
    ws.params = sample_record();
    ws.params.bytes()[9] ^= 0x10;  // stale sum: the save must compute a fresh one
    ws.changed = true;

    EXPECT_FALSE(save_hcp_file(ws, false, pick_save(dir_ / "p.hcp")));  // no card: nothing asked
    EXPECT_EQ(dialogs_, 0);

    write(dir_ / "p.hcp", Bytes(80, 0x5A));
    ASSERT_TRUE(save_hcp_file(ws, true, pick_save(dir_ / "p.hcp")));
    EXPECT_EQ(titles_, Texts{"保存屏体参数"});
    EXPECT_FALSE(ws.changed);
    EXPECT_EQ(ws.hcp_path, dir_ / "p.hcp");
    const Bytes on_disk = read(dir_ / "p.hcp");
    ASSERT_EQ(on_disk.size(), 80u);
    ScreenParams back(std::span<const std::uint8_t, 72>(on_disk.data(), 72));
    EXPECT_TRUE(back.sum_matches());
    EXPECT_EQ(back, ws.params);

    ws.changed = true;
    EXPECT_FALSE(save_hcp_file(ws, true, pick_save(dir_ / "nowhere" / "p.hcp")));
    EXPECT_TRUE(ws.changed) << "a failed save is not reported as saved";
    ASSERT_EQ(messages_.captions().size(), 1u);
    EXPECT_EQ(messages_.captions()[0], "ERROR");
}

TEST_F(Operations, ClosingAsksOnlyForUnsavedWizardParameters) {
    struct Case {
        ParamSource source;
        bool changed;
        bool asks;
    } cases[] = {{ParamSource::Wizard, true, true},
                 {ParamSource::Wizard, false, false},
                 {ParamSource::File, true, false},
                 {ParamSource::None, true, false}};
    for (const auto& c : cases) {
        messages_.clear();
        WorkingSet ws;
        ws.source = c.source;
        ws.changed = c.changed;
        dialogs_ = 0;
        messages_.set_reply(platform::MessageReply::Yes);
        on_close(ws, true, pick_save(dir_ / "close.hcp"));
        EXPECT_EQ(messages_.texts(), c.asks ? Texts{"IDS_MESSAGE_IS_SAVE_PARAM"} : Texts{});
        EXPECT_EQ(dialogs_, c.asks ? 1 : 0);
    }
    WorkingSet ws;
    ws.wizard_finished();
    ws.changed = true;
    messages_.set_reply(platform::MessageReply::No);
    dialogs_ = 0;
    on_close(ws, true, pick_save(dir_ / "close.hcp"));
    EXPECT_EQ(dialogs_, 0);
}

TEST_F(Operations, SelectingACardForgetsTheFile) {
    WorkingSet ws;
    ws.hcp_path = "/x.hcp";
    ws.source = ParamSource::File;
    ws.card_selected();
    EXPECT_TRUE(ws.hcp_path.empty());
    EXPECT_EQ(ws.source, ParamSource::None);
}

TEST_F(Operations, SendParametersCarriesRecordBytes8To59) {
    testing_support::SimCard card(dir_);
    ASSERT_TRUE(card.running()) << card.error();
    WorkingSet ws;
    ws.params = sample_record();
    EXPECT_EQ(send_params(ws, card.target(), kQuick), 1);
    EXPECT_EQ(messages_.texts(), Texts{"IDS_MESSAGE_DUDO_SEND_OVER_TIP"});
    const auto journal = card.sim().journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].command, 0x84);
    EXPECT_TRUE(journal[0].accepted);
    const Bytes& d = journal[0].data;
    ASSERT_EQ(d.size(), 408u);
    EXPECT_EQ(Bytes(d.begin(), d.begin() + 12), (Bytes{1, 0, 0, 0, 7, 0, 0, 0, 7, 0, 0, 0}));
    EXPECT_EQ(Bytes(d.begin() + 12, d.begin() + 64),
              Bytes(ws.params.bytes().begin() + 8, ws.params.bytes().begin() + 60));
    EXPECT_EQ(Bytes(d.begin() + 64, d.end()), Bytes(344, 0));
}

TEST_F(Operations, SendParametersFailures) {
    WorkingSet ws;
    EXPECT_EQ(send_params(ws, kNoCard, kQuick), 0);
    EXPECT_EQ(messages_.texts(), Texts{"IDS_MESSAGE_CARD_LINK_ERROR"});

    sim::Faults refusing;
    refusing.answer_error = true;
    testing_support::SimCard card(dir_, "S730-413-05862", refusing);
    ASSERT_TRUE(card.running()) << card.error();
    messages_.clear();
    EXPECT_EQ(send_params(ws, card.target(), kQuick), 0);
    EXPECT_EQ(messages_.texts(), (Texts{"IDS_MESSAGE_DUDO_SEND_OVER_TIP", "set error"}));

    messages_.clear();
    EXPECT_EQ(send_params_if_saved(ws, card.target(), kQuick), 0);  // no ".hcp" path yet: nothing sent
    EXPECT_TRUE(messages_.texts().empty());
    EXPECT_EQ(card.sim().journal().size(), 1u);
}

TEST_F(Operations, SaveAndSendSavesThenSends) {
    testing_support::SimCard card(dir_);
    ASSERT_TRUE(card.running()) << card.error();
    WorkingSet ws;
    ws.params = sample_record();
    ws.wizard_finished();
    ws.changed = true;
    EXPECT_EQ(save_and_send(ws, true, pick_save(dir_ / "wiz.hcp"), card.target(), kQuick), 1);
    EXPECT_EQ(titles_, Texts{"IDS_MESSAGE_DUDO_SAVE_AND_SEND_PARAM"});
    EXPECT_EQ(read(dir_ / "wiz.hcp"), bytes_of(ws.params));
    EXPECT_FALSE(ws.changed);
    EXPECT_EQ(card.sim().journal().size(), 1u);

    // Cancelled: no path, so nothing is sent.
    WorkingSet cancelled;
    cancelled.wizard_finished();
    EXPECT_EQ(save_and_send(
                  cancelled, true, [](const std::string&) { return std::optional<fs::path>{}; },
                  card.target(), kQuick),
              0);
    EXPECT_EQ(card.sim().journal().size(), 1u);
}
