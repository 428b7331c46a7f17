// The simulator's pure parts: stream reassembly, card paths, configuration, journal lines and what a
// card does with a frame (no sockets).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>
#include <functional>

#include "simulator/card_model.h"
#include "simulator/card_storage.h"
#include "simulator/config.h"
#include "simulator/journal.h"
#include "simulator/pictures.h"
#include "simulator/stream_reassembler.h"
#include "tests/simulator/sim_client.h"
#include "tests/support/declared_pictures.h"

namespace {

using namespace simtest;
using frame::CheckForm;

Bytes exact(std::uint8_t cmd, const std::string& id, Bytes data, CheckForm form = CheckForm::PlainSum) {
    return frame::encode_exact({cmd, id, 0, std::move(data)}, form);
}

// ---- stream reassembly ----

TEST(StreamReassembler, MixedFormsInAnyChunkingGiveTheSameFrames) {
    const Bytes a = exact(frame::CMD_SAVE_VALUE, "S1", Bytes(4, 0));
    const Bytes b = exact(frame::CMD_SCREEN_CONTROL, "S1", Bytes(408, 7));
    const Bytes c = exact(frame::CMD_GET_CARD_INFO, "S1", Bytes(4, 0));
    const Bytes d = exact(frame::CMD_FILE_DATA, "S1", Bytes(2048, 0x7E));  // data full of lead-in bytes
    Bytes wire = a;                                                        // exact
    const Bytes b_stream = frame::encode_stream({frame::CMD_SCREEN_CONTROL, "S1", 0, Bytes(408, 7)});
    wire.insert(wire.end(), b_stream.begin(), b_stream.end());  // stream: 3 zero bytes after it
    const Bytes c_fixed = frame::encode_fixed({frame::CMD_GET_CARD_INFO, "S1", 0, Bytes(4, 0)});
    wire.insert(wire.end(), c_fixed.begin(), c_fixed.end());  // fixed: padded to 2080
    wire.insert(wire.end(), d.begin(), d.end());
    for (const std::size_t chunk :
         {std::size_t{1}, std::size_t{3}, std::size_t{29}, std::size_t{1000}, wire.size()}) {
        sim::StreamReassembler r;
        std::vector<Bytes> got;
        for (std::size_t i = 0; i < wire.size(); i += chunk) {
            r.feed(std::span(wire).subspan(i, std::min(chunk, wire.size() - i)));
            while (auto f = r.next()) got.push_back(*f);
        }
        ASSERT_EQ(got.size(), 4u) << "chunk " << chunk;
        EXPECT_EQ(got[0], a);
        EXPECT_EQ(got[1], b);
        EXPECT_EQ(got[2], c);
        EXPECT_EQ(got[3], d);
        EXPECT_EQ(r.junk_bytes(), 0u);
        EXPECT_EQ(r.pending(), 0u);
    }
}

TEST(StreamReassembler, SkipsJunkAndUntrustworthyLengths) {
    const Bytes good = exact(frame::CMD_SAVE_VALUE, "S1", Bytes(4, 0));
    Bytes bogus = good;
    bogus[24] = bogus[25] = bogus[26] = bogus[27] = 0xFF;
    Bytes wire = {0x41, 0x42, 0x7E, 0x43};  // junk, including a lone lead-in byte
    wire.insert(wire.end(), bogus.begin(), bogus.end());
    wire.insert(wire.end(), good.begin(), good.end());
    sim::StreamReassembler r;
    r.feed(wire);
    auto f = r.next();
    ASSERT_TRUE(f);
    EXPECT_EQ(*f, good);
    EXPECT_EQ(r.rejected_lengths(), 1u);
    EXPECT_GT(r.junk_bytes(), 4u);
    EXPECT_FALSE(r.next());
}

TEST(StreamReassembler, WaitsForTheWholeFrame) {
    const Bytes f = exact(frame::CMD_SAVE_SETTINGS, "S1", Bytes(524, 1));
    sim::StreamReassembler r;
    r.feed(std::span(f).first(f.size() - 1));
    EXPECT_FALSE(r.next());
    EXPECT_EQ(r.pending(), f.size() - 1);
    r.feed(std::span(f).last(1));
    EXPECT_EQ(r.next(), f);
}

// ---- card paths ----

TEST(CardPaths, ResolveInsideTheCardFolderOnly) {
    const std::filesystem::path root = "/srv/card";
    struct Case {
        const char* card_path;
        const char* expected;  // nullptr: refused
    };
    const Case cases[] = {
        {"Config.sys", "/srv/card/Config.sys"},
        {"\\a\\b.bin", "/srv/card/a/b.bin"},
        {"1\\Pic1.bmp", "/srv/card/1/Pic1.bmp"},
        {"a\\.\\b", "/srv/card/a/b"},
        {"a\\\\b", "/srv/card/a/b"},
        {"..\\x", nullptr},
        {"a\\..\\..\\x", nullptr},
        {"a/../b", nullptr},
        {"..", nullptr},
        {"C:\\Windows\\x", nullptr},
        {"a\\b:stream", nullptr},
        {"\\\\server\\share\\x", nullptr},
        {"/etc/passwd", nullptr},
        {"", nullptr},
        {"\\", nullptr},
        {"a\\b\nc", nullptr},
    };
    for (const auto& c : cases) {
        const auto got = sim::resolve_card_path(root, c.card_path);
        if (c.expected)
            EXPECT_EQ(got, std::filesystem::path(c.expected)) << c.card_path;
        else
            EXPECT_FALSE(got) << c.card_path << " -> " << got->string();
    }
}

TEST(CardPaths, HeaderNamesTheFile) {
    struct Case {
        const char* folder;
        const char* name;
        const char* path;
    };
    const Case cases[] = {
        {"", "Config.sys", "Config.sys"},           {"1", "Pic1.bmp", "1\\Pic1.bmp"},
        {"\\a\\b.bin", "b.bin", "\\a\\b.bin"},  // upgrade header: the folder already ends with the name
        {"Prog\\sub", "x.jpg", "Prog\\sub\\x.jpg"}, {"dir", "", ""},
    };
    for (const auto& c : cases) {
        sim::FileHeader h;
        h.folder = c.folder;
        h.file_name = c.name;
        EXPECT_EQ(sim::card_path_of(h), c.path) << c.folder << " | " << c.name;
    }
}

TEST(CardPaths, FileHeaderRecord) {
    const Bytes h = file_header_record(3, 2097588, "", "Config.sys");
    const auto d = file_header::decode(h);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->file_type, 3u);
    EXPECT_EQ(d->file_length, 2097588u);
    EXPECT_EQ(d->file_name, "Config.sys");
    EXPECT_FALSE(file_header::decode(std::span(h).first(211)));
    Bytes full_names(212, 'x');  // texts without NUL stop at their field's end
    const auto f = file_header::decode(full_names);
    EXPECT_EQ(f->folder.size(), 100u);
    EXPECT_EQ(f->file_name.size(), 100u);
}

// ---- configuration ----

TEST(SimConfig, CardSpecsAndOptions) {
    const auto p =
        sim::parse_args({"--card", "S730-413-05862@127.0.0.2,sw=0x80814,hw=2,delay=50,malformed=short",
                         "--card", "A901@127.0.0.2,error=1,fault-command=0x84,form=stream,close-after=3",
                         "--allow-duplicates", "--journal", "-"});
    ASSERT_EQ(p.error, "");
    ASSERT_EQ(p.config.cards.size(), 2u);
    const auto& a = p.config.cards[0];
    EXPECT_EQ(a.id, "S730-413-05862");
    EXPECT_EQ(a.address, "127.0.0.2");
    EXPECT_EQ(a.software_version, 0x80814u);
    EXPECT_EQ(a.hardware_version, 2u);
    EXPECT_EQ(a.faults.delay_ms, 50);
    EXPECT_EQ(a.faults.malformed, sim::Malformed::Short);
    const auto& b = p.config.cards[1];
    EXPECT_TRUE(b.faults.answer_error);
    EXPECT_EQ(b.faults.only_command, 0x84);
    EXPECT_EQ(b.faults.close_after_data_frames, 3);
    EXPECT_EQ(b.answer_form, sim::WireForm::Stream);
    EXPECT_TRUE(p.config.allow_duplicate_addresses);
    EXPECT_EQ(p.config.journal_file, "/dev/stdout");
}

TEST(SimConfig, GeneratedCardsCrossAnOctet) {
    const auto p = sim::parse_args({"--cards", "3", "--first-address", "10.200.0.254", "--family", "mixed"});
    ASSERT_EQ(p.error, "");
    ASSERT_EQ(p.config.cards.size(), 3u);
    EXPECT_EQ(p.config.cards[0].id, "S730-413-00001");
    EXPECT_EQ(p.config.cards[1].id, "A901-200-00002");
    EXPECT_EQ(p.config.cards[2].address, "10.200.1.0");
    EXPECT_EQ(frame::check_form_for_id(p.config.cards[1].id), CheckForm::Complement);
}

TEST(SimConfig, Errors) {
    struct Case {
        std::vector<std::string> args;
        const char* error_part;
    };
    const Case cases[] = {
        {{}, "no cards"},
        {{"--card", "S1"}, "ID@ADDRESS"},
        {{"--card", "S1@127.0.0.2,delay=abc"}, "bad value for delay"},
        {{"--card", "S1@127.0.0.2,colour=red"}, "unknown card option"},
        {{"--card", "S1@127.0.0.2,malformed=odd"}, "malformed"},
        {{"--cards", "0"}, "bad card count"},
        {{"--cards", "2", "--family", "odd"}, "bad family"},
        {{"--bogus"}, "unknown option"},
        {{"--journal"}, "needs a value"},
        {{"--config", "/nonexistent/sim.conf"}, "cannot read"},
    };
    for (const auto& c : cases) {
        const auto p = sim::parse_args(c.args);
        EXPECT_NE(p.error.find(c.error_part), std::string::npos) << p.error;
    }
    EXPECT_TRUE(sim::parse_args({"--help"}).help);
}

TEST(SimConfig, ConfigFileLines) {
    sim::SimulatorConfig c;
    EXPECT_EQ(sim::parse_config_text("# cards of the test bench\n"
                                     "card S730-413-05862 127.0.0.2 sw=0x70930 silent=1\n"
                                     "cards 2 127.0.0.10 complement   # two more\n"
                                     "allow-duplicates\n"
                                     "storage /tmp/cards\n",
                                     c),
              "");
    ASSERT_EQ(c.cards.size(), 3u);
    EXPECT_TRUE(c.cards[0].faults.silent);
    EXPECT_EQ(c.cards[0].software_version, 0x70930u);
    EXPECT_EQ(c.cards[2].id, "A901-200-00002");
    EXPECT_EQ(c.cards[2].address, "127.0.0.11");
    EXPECT_TRUE(c.allow_duplicate_addresses);
    EXPECT_EQ(c.storage_root, "/tmp/cards");
    sim::SimulatorConfig d;
    EXPECT_EQ(sim::parse_config_text("card S1 127.0.0.2\nfrobnicate\n", d), "line 2: cannot read this line");
}

// ---- journal lines ----

TEST(SimJournal, JsonLine) {
    sim::JournalEntry e;
    e.seq = 4;
    e.transport = sim::Transport::Tcp;
    e.local_port = 31298;
    e.local_address = "127.0.0.2";
    e.peer = "127.0.0.1:5000";
    e.card = "S1";
    e.command = 0x84;
    e.id = "a\"b\\\x01";
    e.length = 2;
    e.data = {0x0A, 0xFF};
    e.lead_in_ok = true;
    e.check_form = CheckForm::Complement;
    e.accepted = true;
    EXPECT_EQ(
        sim::to_json_line(e),
        R"({"seq":4,"ms":0,"transport":"tcp","port":31298,"local":"127.0.0.2","peer":"127.0.0.1:5000",)"
        R"("card":"S1","command":132,"id":"a\"b\\\u0001","parameter":0,"length":2,"data":"0aff","size":0,)"
        R"("lead_in":true,"check":"complement","accepted":true,"note":""})");
}

// ---- what a card does with a frame ----

class CardModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/sim-units-XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern));
        root_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    sim::CardModel card(const std::string& id, sim::Faults faults = {}) {
        sim::CardConfig c;
        c.id = id;
        c.address = "127.0.0.2";
        c.faults = faults;
        std::filesystem::create_directories(root_ / id);
        return sim::CardModel(c, root_ / id, std::chrono::steady_clock::now());
    }

    // Runs one frame through the card the way the simulator does.
    sim::HandleResult send(sim::CardModel& m, std::uint8_t cmd, Bytes data) {
        const Bytes wire = exact(cmd, m.id(), std::move(data), frame::check_form_for_id(m.id()));
        return m.handle(*frame::decode(wire), slot_, 0);
    }

    std::filesystem::path root_;
    std::optional<sim::IncomingFile> slot_;
};

TEST_F(CardModelTest, CheckByteRule) {
    struct Case {
        const char* card;
        const char* frame_id;
        CheckForm sent;
        bool accepted;
    };
    const Case cases[] = {
        {"S730-413-05862", "S730-413-05862", CheckForm::PlainSum, true},
        {"S730-413-05862", "S730-413-05862", CheckForm::Complement, false},  // other family's form
        {"S730-413-05862", "Broadcast!", CheckForm::Complement, true},       // Vantor's second broadcast
        {"A901-200-00001", "A901-200-00001", CheckForm::Complement, true},
        {"A901-200-00001", "A901-200-00001", CheckForm::PlainSum, true},  // Kelvra sends the plain sum
        {"A901-200-00001", "S730-413-05862", CheckForm::PlainSum, true},  // Vantor's address mode
        {"S730-413-05862", "A901-200-00001", CheckForm::Complement, true},
    };
    for (const auto& c : cases) {
        auto m = card(c.card);
        const Bytes wire = exact(frame::CMD_GET_CARD_INFO, c.frame_id, Bytes(32, 0), c.sent);
        const auto r = m.check(wire, c.frame_id);
        EXPECT_EQ(r.accepted, c.accepted) << c.card << " " << c.frame_id;
        EXPECT_EQ(r.matched, c.sent);
        Bytes bad = wire;
        bad[40] ^= 1;
        EXPECT_FALSE(m.check(bad, c.frame_id).accepted);
        EXPECT_FALSE(m.check(bad, c.frame_id).matched);
    }
}

TEST_F(CardModelTest, StatusAnswersCarryNulTerminatedText) {
    auto m = card("A901-200-00001");
    const auto r = send(m, frame::CMD_SAVE_VALUE, Bytes(4, 0));
    ASSERT_TRUE(r.answer);
    const auto& a = *r.answer;
    ASSERT_EQ(a.size(), 29u + 9u);
    EXPECT_EQ(a[3], frame::ANS_STATUS_SAVE_VALUE);
    EXPECT_EQ(std::string(a.begin() + 4, a.begin() + 18), "A901-200-00001");
    EXPECT_EQ(Bytes(a.begin() + 24, a.begin() + 37),
              (Bytes{9, 0, 0, 0, 'S', 'u', 'c', 'c', 'e', 's', 's', '!', 0}));
    EXPECT_TRUE(frame::verify_check_byte(a, CheckForm::Complement));  // the card's family form
    EXPECT_EQ(m.state().save_values, 1u);
}

TEST_F(CardModelTest, ScreenControlSubCommands) {
    struct Case {
        Bytes payload;
        bool answered;
        std::function<std::uint32_t(const card_info::CardInfo&)> field;
        std::uint32_t expected;
    };
    const auto f32 = [](float v) { return std::bit_cast<std::uint32_t>(v); };
    const auto param = [](std::size_t off) {
        return [off](const card_info::CardInfo& i) { return frame::get_u32le(i.screen_params.data() + off); };
    };
    const Case cases[] = {
        {words({2, 0, 5}), false, [](auto& i) { return i.brightness; }, 5},
        {words({2, 7, 7}, 12), false, [](auto& i) { return i.brightness; }, 7},  // Kelvra's 12-byte form
        {words({3, 0, f32(1.0f), f32(2.0f), f32(0.5f)}), false, [&](auto& i) { return f32(i.gamma_green); },
         f32(2.0f)},
        {words({5, 0, 10016, 14, 0}), true, [](auto& i) { return i.gray_value; }, 10016},
        {words({5, 0, 10016, 14, 0}), true, [](auto& i) { return i.gray_refresh_code; }, 14},
        {words({6, 0, 1}), true, [](auto& i) { return i.oe_polarity; }, 1},
        {words({7, 0, 6}), true, [](auto& i) { return i.scan_clock_code; }, 6},
        {words({8, 0, 1}), true, [](auto& i) { return i.duty_cycle; }, 1},
        {words({11, 0, 1}), true, [](auto& i) { return i.data_polarity; }, 1},
        {words({19, 0, 0xFFFE}), true, [](auto& i) { return i.horizontal_shift; }, 0xFFFE},
        {words({1, 7, 7, 3, 2}), true, param(0), 3},  // screen parameters: hubType first
        {words({1, 7, 7, 3, 2}), true, param(4), 2},
        {words({24, 0, 4}), true, param(0), 4},
        {words({21, 0, 0x89ABCDEF, 0x012345}), true, param(36), 0x89ABCDEF},
        {words({21, 0, 0x89ABCDEF, 0x012345}), true, param(40), 0x012345},
        {words({1, 7, 5, 10, 3, 1}), false, [](auto& i) { return i.brightness; }, 8},  // traced point
        {words({1, 2, 200, 15}), false, [](auto& i) { return i.brightness; }, 8},      // grid test
        {words({1, 241}), false, [](auto& i) { return i.brightness; }, 8},             // stop test
        {words({23}), false, [](auto& i) { return i.brightness; }, 8},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        auto m = card("S730-413-05862");
        const auto r = send(m, frame::CMD_SCREEN_CONTROL, cases[k].payload);
        EXPECT_EQ(r.answer.has_value(), cases[k].answered) << "case " << k;
        if (r.answer) {
            EXPECT_EQ((*r.answer)[3], frame::ANS_SCREEN_CONTROL);
            EXPECT_EQ(answer_text(*r.answer), "Success!");
        }
        EXPECT_EQ(cases[k].field(m.state().info), cases[k].expected) << "case " << k;
    }
}

TEST_F(CardModelTest, FactoryRestoreKeepsNetworkSettings) {
    auto m = card("S730-413-05862");
    send(m, frame::CMD_SCREEN_CONTROL, words({2, 0, 3}));
    send(m, frame::CMD_SCREEN_CONTROL, words({4}));
    EXPECT_EQ(m.state().info.brightness, 8u);
    EXPECT_EQ(m.state().info.ip_address, "127.0.0.2");
    EXPECT_EQ(m.state().factory_restores, 1u);
}

TEST_F(CardModelTest, SaveSettingsTakesAddressAndSize) {
    auto m = card("S730-413-05862");
    auto info = m.state().info;
    info.ip_address = "127.0.0.77";
    info.screen_width = 512;
    const auto settings = card_info::encode_settings_block(info);
    const auto r = send(m, frame::CMD_SAVE_SETTINGS, Bytes(settings.begin(), settings.end()));
    EXPECT_EQ(answer_text(*r.answer), "Success!");
    EXPECT_EQ(m.state().info.ip_address, "127.0.0.77");
    EXPECT_EQ(m.state().info.screen_width, 512u);
    // An address that is not one is refused and answered with "Error!".
    info.ip_address = "300.1.1.1";
    const auto bad = card_info::encode_settings_block(info);
    EXPECT_EQ(answer_text(*send(m, frame::CMD_SAVE_SETTINGS, Bytes(bad.begin(), bad.end())).answer),
              "Error!");
    EXPECT_EQ(m.state().info.ip_address, "127.0.0.77");
    EXPECT_EQ(answer_text(*send(m, frame::CMD_SAVE_SETTINGS, Bytes(100, 0)).answer), "Error!");
}

TEST_F(CardModelTest, Faults) {
    struct Case {
        sim::Faults faults;
        std::uint8_t command;
        std::function<void(const sim::HandleResult&)> expect;
    };
    sim::Faults error;
    error.answer_error = true;
    sim::Faults silent;
    silent.silent = true;
    sim::Faults late;
    late.delay_ms = 250;
    sim::Faults short_;
    short_.malformed = sim::Malformed::Short;
    sim::Faults no_lead;
    no_lead.malformed = sim::Malformed::NoLeadIn;
    sim::Faults bogus;
    bogus.malformed = sim::Malformed::BogusLength;
    sim::Faults garbage;
    garbage.malformed = sim::Malformed::Garbage;
    sim::Faults other;
    other.malformed = sim::Malformed::OtherCommand;
    sim::Faults only_other = error;
    only_other.only_command = frame::CMD_UPGRADE_START;
    const Case cases[] = {
        {error, frame::CMD_SAVE_VALUE, [](auto& r) { EXPECT_EQ(answer_text(*r.answer), "Error!"); }},
        {silent, frame::CMD_GET_CARD_INFO, [](auto& r) { EXPECT_FALSE(r.answer); }},
        {late, frame::CMD_SAVE_VALUE, [](auto& r) { EXPECT_EQ(r.delay_ms, 250); }},
        {short_, frame::CMD_GET_CARD_INFO, [](auto& r) { EXPECT_EQ(r.answer->size(), 20u); }},
        {no_lead, frame::CMD_SAVE_VALUE, [](auto& r) { EXPECT_FALSE(frame::decode(*r.answer)->lead_in_ok); }},
        {bogus, frame::CMD_SAVE_VALUE,
         [](auto& r) { EXPECT_EQ(frame::decode(*r.answer)->length, 0xFFFFFFFFu); }},
        {garbage, frame::CMD_GET_CARD_INFO,
         [](auto& r) {
             EXPECT_EQ(r.answer->size(), frame::kHeaderSize + card_info::kBlockSize + 1);
             EXPECT_EQ(std::count(r.answer->begin(), r.answer->end(), 0x7E), 0);
         }},
        {other, frame::CMD_SAVE_VALUE,
         [](auto& r) {
             const auto a = frame::decode_checked(*r.answer);
             ASSERT_TRUE(a);
             EXPECT_EQ(a->command, frame::ANS_CARD_INFO);
         }},
        {other, frame::CMD_GET_CARD_INFO,
         [](auto& r) {
             const auto a = frame::decode_checked(*r.answer);
             ASSERT_TRUE(a);
             EXPECT_EQ(a->command, frame::ANS_DISCOVER);
         }},
        {only_other, frame::CMD_SAVE_VALUE, [](auto& r) { EXPECT_EQ(answer_text(*r.answer), "Success!"); }},
        {only_other, frame::CMD_UPGRADE_START, [](auto& r) { EXPECT_EQ(answer_text(*r.answer), "Error!"); }},
    };
    for (const auto& c : cases) {
        auto m = card("S730-413-05862", c.faults);
        const Bytes payload = c.command == frame::CMD_GET_CARD_INFO ? Bytes(32, 0) : Bytes(4, 0);
        c.expect(send(m, c.command, payload));
    }
    // A refused upgrade start does not begin an upgrade.
    auto m = card("S730-413-05862", error);
    send(m, frame::CMD_UPGRADE_START, words({4096}, 4));
    EXPECT_FALSE(m.state().upgrade_running);
}

TEST_F(CardModelTest, StoresFilesAndRefusesEscapes) {
    auto m = card("A901-200-00001");
    send(m, frame::CMD_FILE_HEADER, file_header_record(4, 5, "Prog\\sub", "a.txt"));
    send(m, frame::CMD_FILE_DATA, Bytes{'h', 'e'});
    send(m, frame::CMD_FILE_DATA, Bytes{'l', 'l', 'o', '!', '!'});  // two bytes beyond the length
    ASSERT_EQ(m.stored_files().size(), 1u);
    const auto f = m.stored_files()[0];
    EXPECT_TRUE(f.complete);
    EXPECT_EQ(f.received, 5u);
    EXPECT_EQ(f.local_path, root_ / "A901-200-00001" / "Prog" / "sub" / "a.txt");
    std::ifstream in(f.local_path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "hello");

    const auto refused = send(m, frame::CMD_FILE_HEADER, file_header_record(4, 3, "..\\..", "evil.txt"));
    EXPECT_FALSE(refused.accepted);
    EXPECT_EQ(refused.note, "refused card path");
    EXPECT_FALSE(send(m, frame::CMD_FILE_DATA, Bytes{'x', 'y', 'z'}).accepted);
    EXPECT_FALSE(std::filesystem::exists(root_.parent_path() / "evil.txt"));
    EXPECT_EQ(m.stored_files().size(), 1u);

    // A file of no bytes is complete with its header; the empty data frame after it changes nothing.
    send(m, frame::CMD_FILE_HEADER, file_header_record(4, 0, "", "empty.bin"));
    send(m, frame::CMD_FILE_DATA, Bytes{});
    ASSERT_EQ(m.stored_files().size(), 2u);
    EXPECT_TRUE(m.stored_files()[1].complete);
    EXPECT_EQ(std::filesystem::file_size(m.stored_files()[1].local_path), 0u);
}

TEST_F(CardModelTest, UpgradeFilesLandBelowTheirFirmwareFolder) {
    auto m = card("S730-413-05862");
    send(m, frame::CMD_UPGRADE_START, words({3}, 4));
    send(m, frame::CMD_FILE_HEADER, file_header_record(1, 3, "\\a\\b.bin", "b.bin"));
    send(m, frame::CMD_FILE_DATA, Bytes{1, 2, 3});
    send(m, frame::CMD_UPGRADE_END, {});
    ASSERT_EQ(m.stored_files().size(), 1u);
    EXPECT_EQ(m.stored_files()[0].local_path, root_ / "S730-413-05862" / "Kernel" / "a" / "b.bin");
    EXPECT_EQ(m.state().upgrades_finished, 1u);
    EXPECT_EQ(m.state().upgrade_announced, 3u);
}

// The card paths refused outside an upgrade are refused during one too: an upgrade's files do not pass
// as sub-folders of the firmware folder.
TEST_F(CardModelTest, UpgradeFilesWithRefusedPathsAreRefused) {
    auto m = card("S730-413-05862");
    send(m, frame::CMD_UPGRADE_START, words({3}, 4));
    for (const std::string folder :
         {"\\\\server\\share\\b.bin", "C:\\fw\\b.bin", "/etc/b.bin", "\\..\\..\\b.bin"}) {
        SCOPED_TRACE(folder);
        for (const std::uint32_t kind : {1u, 2u}) {
            const auto r = send(m, frame::CMD_FILE_HEADER, file_header_record(kind, 3, folder, "b.bin"));
            EXPECT_FALSE(r.accepted);
            EXPECT_EQ(r.note, "refused card path");
            EXPECT_FALSE(send(m, frame::CMD_FILE_DATA, Bytes{1, 2, 3}).accepted);
        }
    }
    EXPECT_TRUE(m.stored_files().empty());
    send(m, frame::CMD_FILE_HEADER, file_header_record(2, 3, "\\app\\b.bin", "b.bin"));
    send(m, frame::CMD_FILE_DATA, Bytes{1, 2, 3});
    ASSERT_EQ(m.stored_files().size(), 1u);
    EXPECT_EQ(m.stored_files()[0].local_path, root_ / "S730-413-05862" / "Application" / "app" / "b.bin");
}

TEST_F(CardModelTest, AppliedConfigurationImageIsChecked) {
    constexpr std::size_t kSize = 2'097'588;
    Bytes image(kSize, 0);
    std::memcpy(image.data(), "LED", 4);
    frame::put_u32le(image.data() + 420, 12345);
    std::uint32_t sum = 0;
    for (std::size_t off = 0; off + 4 < kSize; off += 4) sum += frame::get_u32le(image.data() + off);
    frame::put_u32le(image.data() + kSize - 4, sum);
    for (const bool damaged : {false, true}) {
        auto m = card(damaged ? "S2" : "S1");
        Bytes img = image;
        if (damaged) img[1000] ^= 1;
        send(m, frame::CMD_FILE_HEADER, file_header_record(3, kSize, "", "Config.sys"));
        for (std::size_t off = 0; off < kSize; off += 2048)
            send(m, frame::CMD_FILE_DATA,
                 Bytes(img.begin() + off, img.begin() + std::min(off + 2048, kSize)));
        send(m, frame::CMD_SCREEN_CONTROL, words({23}));
        EXPECT_EQ(m.state().config_applied, 1u);
        EXPECT_EQ(m.state().config_valid, !damaged);
    }
}

// A card that is sent file after file keeps a bounded number of records: the newest ones, a file
// stored again counting as new.
TEST_F(CardModelTest, StoredFileRecordsAreBounded) {
    auto m = card("S730-413-05862");
    const std::size_t n = sim::kMaxStoredFileRecords + 3;
    for (std::size_t i = 0; i < n; ++i)
        send(m, frame::CMD_FILE_HEADER, file_header_record(4, 0, "", "f" + std::to_string(i)));
    auto files = m.stored_files();
    ASSERT_EQ(files.size(), sim::kMaxStoredFileRecords);
    EXPECT_EQ(files.front().card_path, "f3");
    EXPECT_EQ(files.back().card_path, "f" + std::to_string(n - 1));
    send(m, frame::CMD_FILE_HEADER, file_header_record(4, 2, "", "f3"));
    send(m, frame::CMD_FILE_DATA, Bytes{'o', 'k'});
    files = m.stored_files();
    ASSERT_EQ(files.size(), sim::kMaxStoredFileRecords);
    EXPECT_EQ(files.front().card_path, "f4");
    EXPECT_EQ(files.back().card_path, "f3");
    EXPECT_TRUE(files.back().complete);
    EXPECT_EQ(files.back().received, 2u);
}

// The card's picture reader: sizes just under and just over the cap, declared by a logical screen, an
// image descriptor, a JPEG frame or a run-length BMP of 1,080 bytes. Over the cap is refused for its
// size (nothing is allocated for it); under it decodes.
struct DeclaredCase {
    const char* name;
    Bytes file;
    bool fits;
};

class SimPictureCap : public testing::TestWithParam<DeclaredCase> {};

TEST_P(SimPictureCap, RefusedOverTheCapDecodedUnderIt) {
    const auto& c = GetParam();
    const auto d = sim::decode_picture(c.file);
    EXPECT_EQ(d.too_large, !c.fits) << d.why;
    EXPECT_EQ(d.bitmap.has_value(), c.fits) << d.why;
    if (!c.fits) {
        EXPECT_NE(d.why.find("more than a card shows"), std::string::npos) << d.why;
    }
    if (d.bitmap) {
        EXPECT_EQ(d.bitmap->rgb.size(), d.bitmap->pixel_count() * 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cap, SimPictureCap,
    testing::Values(DeclaredCase{"bmp_under", support::rle8_bmp(1448, 1448), true},
                    DeclaredCase{"bmp_over", support::rle8_bmp(1449, 1448), false},
                    DeclaredCase{"bmp_rle_bomb", support::rle8_bmp(32768, 8192), false},
                    DeclaredCase{"jpeg_under", support::jpeg_declaring(1448, 1448), true},
                    DeclaredCase{"jpeg_over", support::jpeg_declaring(1449, 1448), false},
                    DeclaredCase{"jpeg_32768", support::jpeg_declaring(32768, 32768), false},
                    DeclaredCase{"gif_under", support::gif_declaring(1448, 1448), true},
                    DeclaredCase{"gif_side_over", support::gif_declaring(16385, 1), false},
                    DeclaredCase{"gif_65535", support::gif_declaring(65535, 65535), false},
                    DeclaredCase{"gif_image_65535", support::gif_declaring(65535, 65535, true), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimPictures, SmallPicturesDecodeToTheirColours) {
    const auto gif = sim::decode_picture(support::gif_declaring(4, 2));
    ASSERT_TRUE(gif.bitmap);
    EXPECT_EQ(gif.bitmap->width, 4);
    EXPECT_EQ(gif.bitmap->height, 2);
    const auto bmp = sim::decode_picture(support::rle8_bmp(3, 2));
    ASSERT_TRUE(bmp.bitmap);
    EXPECT_EQ(bmp.bitmap->rgb[0], 255) << "colour 0 is red";
    EXPECT_FALSE(sim::decode_picture(Bytes{'P', 'N', 'G'}).bitmap);
    EXPECT_FALSE(sim::decode_picture(Bytes{'G', 'I', 'F', '8', '9', 'a'}).bitmap);
}

}  // namespace
