// Simulated cards answering real sockets on loopback (127.41.0.x), as Vantor and Kelvra reach them.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "common/card_info.h"
#include "simulator/sim.h"
#include "tests/simulator/sim_client.h"
#include "tests/support/declared_pictures.h"
#include "tests/support/sim_cards.h"

namespace {

using namespace simtest;
using frame::CheckForm;

const std::string kPlainId = "S730-413-05862";
const std::string kComplId = "A901-200-00001";
const std::string kLoopBroadcast = "127.255.255.255";

// The simulator through the tests' one fixture (a failed start is a test failure); only the tests of
// starting itself call sim::Simulator::start.
support::SimCards start(sim::SimulatorConfig config) {
    support::SimCards cards;
    static_cast<void>(cards.start(std::move(config)));
    return cards;
}

sim::CardConfig card(const std::string& id, const std::string& address) {
    sim::CardConfig c;
    c.id = id;
    c.address = address;
    return c;
}

card_info::CardInfo info_over_tcp(const std::string& address, const std::string& id) {
    TcpClient t(address);
    t.send(frame::encode_fixed({frame::CMD_GET_CARD_INFO, id, 0, Bytes(4, 0)}));  // Kelvra's request
    const auto a = t.receive_frame(2s);
    if (!a || (*a)[3] != frame::ANS_CARD_INFO) return {};
    return card_info::decode_card_info(frame::decode(*a)->data);
}

class ThreeCards : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::SimulatorConfig c;
        c.cards = {card(kPlainId, "127.41.0.2"), card(kComplId, "127.41.0.3"),
                   card("S730-413-00003", "127.41.0.4")};
        c.cards[1].software_version = 0x00080814;
        sim_ = start(std::move(c));
        ASSERT_TRUE(sim_.running());
    }
    support::SimCards sim_;
};

TEST_F(ThreeCards, VantorDiscoveryIsAnsweredTwiceByEveryCardFromItsOwnAddress) {
    UdpClient u;
    const Bytes plain =
        frame::encode_exact({frame::CMD_DISCOVER, "Broadcast!", 0, mask_text_field()}, CheckForm::PlainSum);
    const Bytes compl_ =
        frame::encode_exact({frame::CMD_DISCOVER, "Broadcast!", 0, mask_text_field()}, CheckForm::Complement);
    ASSERT_TRUE(u.send_to(kLoopBroadcast, frame::kDiscoveryPort, plain));
    ASSERT_TRUE(u.send_to(kLoopBroadcast, frame::kDiscoveryPort, compl_));
    const auto answers = u.drain(500ms);
    ASSERT_EQ(answers.size(), 6u);
    std::map<std::string, int> per_address;
    for (const auto& a : answers) {
        const auto f = frame::decode(a.bytes);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->command, frame::ANS_DISCOVER);
        EXPECT_EQ(a.port, frame::kDiscoveryPort);
        // The sender address is the card's own, and the answer names it in its data too.
        EXPECT_EQ(answer_text(a.bytes), a.from);
        const std::string expected_id = a.from == "127.41.0.2"   ? kPlainId
                                        : a.from == "127.41.0.3" ? kComplId
                                                                 : "S730-413-00003";
        EXPECT_EQ(f->card_id, expected_id);
        EXPECT_TRUE(frame::verify_check_byte(a.bytes, frame::check_form_for_id(expected_id)));
        ++per_address[a.from];
    }
    EXPECT_EQ(per_address,
              (std::map<std::string, int>{{"127.41.0.2", 2}, {"127.41.0.3", 2}, {"127.41.0.4", 2}}));
    const auto j = sim_->journal();
    ASSERT_EQ(j.size(), 6u);
    for (const auto& e : j) {
        EXPECT_TRUE(e.accepted);
        EXPECT_EQ(e.datagram_size, 61u);
        EXPECT_EQ(e.local_address, kLoopBroadcast);
    }
    EXPECT_EQ(j[0].check_form, CheckForm::PlainSum);
    EXPECT_EQ(j.back().check_form, CheckForm::Complement);
}

TEST_F(ThreeCards, KelvraDiscoveryAndUnicastDiscovery) {
    UdpClient u;
    ASSERT_TRUE(u.send_to(kLoopBroadcast, frame::kDiscoveryPort,
                          kelvra_frame(frame::CMD_DISCOVER, "Broadcast!", {})));
    EXPECT_EQ(u.drain(400ms).size(), 3u);
    // Sent to one card's address, only that card answers.
    ASSERT_TRUE(
        u.send_to("127.41.0.3", frame::kDiscoveryPort, kelvra_frame(frame::CMD_DISCOVER, "Broadcast!", {})));
    const auto one = u.drain(300ms);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].from, "127.41.0.3");
}

TEST_F(ThreeCards, CardInformationOverUdpAndTcp) {
    UdpClient u;
    ASSERT_TRUE(u.send_to("127.41.0.3", frame::kDiscoveryPort,
                          vantor_frame(frame::CMD_GET_CARD_INFO, kComplId, mask_text_field())));
    const auto a = u.receive(2s);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->from, "127.41.0.3");
    EXPECT_EQ(a->bytes.size(), 1088u + 29u);
    EXPECT_TRUE(frame::verify_check_byte(a->bytes, CheckForm::Complement));
    const auto info = card_info::decode_card_info(frame::decode(a->bytes)->data);
    EXPECT_EQ(info.card_id, kComplId);
    EXPECT_EQ(info.ip_address, "127.41.0.3");
    EXPECT_EQ(info.subnet_mask, "255.255.255.0");
    EXPECT_EQ(info.gateway, "127.41.0.1");
    EXPECT_EQ(info.software_version, 0x00080814u);
    EXPECT_EQ(info.hardware_version, sim::kDefaultHardwareVersion);

    EXPECT_EQ(info_over_tcp("127.41.0.2", kPlainId).card_id, kPlainId);

    TcpClient t("127.41.0.2");
    t.send(frame::encode_fixed({frame::CMD_GET_CARD_MORE_INFO, kPlainId, 0, Bytes(4, 0)}));
    const auto more = t.receive_frame(2s);
    ASSERT_TRUE(more);
    EXPECT_EQ((*more)[3], frame::ANS_CARD_MORE_INFO);
    EXPECT_EQ(frame::decode(*more)->length, 160u);
    EXPECT_EQ(card_info::decode_card_more_info(frame::decode(*more)->data).ip_address, "127.41.0.2");

    // Connected UDP to the command port (Kelvra's iProtoType 2): the answer comes from port 31298.
    UdpClient c;
    c.send_to("127.41.0.4", frame::kCommandPort,
              kelvra_frame(frame::CMD_SET_IO, "S730-413-00003", words({3, 1}, 8)));
    c.send_to("127.41.0.4", frame::kCommandPort,
              kelvra_frame(frame::CMD_GET_IO, "S730-413-00003", words({3}, 4)));
    const auto io = c.receive(2s);
    ASSERT_TRUE(io);
    EXPECT_EQ(io->port, frame::kCommandPort);
    const auto f = frame::decode(io->bytes);
    EXPECT_EQ(f->command, frame::ANS_GET_IO);
    ASSERT_EQ(f->data.size(), 16u);
    EXPECT_EQ(frame::get_u32le(f->data.data()), 3u);
    EXPECT_EQ(frame::get_u32le(f->data.data() + 4), 1u);
    EXPECT_EQ(frame::get_u32le(f->data.data() + 8), 8u);
}

TEST_F(ThreeCards, StatusCommandsOverTcp) {
    struct Case {
        std::uint8_t command;
        Bytes payload;
        std::uint8_t answer;
    };
    const Case cases[] = {
        {frame::CMD_SAVE_VALUE, Bytes(4, 0), frame::ANS_STATUS_SAVE_VALUE},
        {frame::CMD_SCREEN_CONTROL, words({7, 0, 6}), frame::ANS_SCREEN_CONTROL},
        {frame::CMD_SCREEN_CONTROL, words({5, 0, 10016, 14, 0}), frame::ANS_SCREEN_CONTROL},
        {frame::CMD_UPGRADE_START, words({4096}, 4), frame::ANS_UPGRADE_START},
        {frame::CMD_UPGRADE_BEGIN, words({4}, 4), frame::ANS_UPGRADE_BEGIN},
    };
    for (const auto& id : {kPlainId, kComplId}) {
        const std::string address = id == kPlainId ? "127.41.0.2" : "127.41.0.3";
        for (const auto& c : cases) {
            TcpClient t(address);
            ASSERT_TRUE(t.connected());
            const Bytes wire = vantor_frame(c.command, id, c.payload);
            if (c.payload.size() == 408) {
                EXPECT_EQ(wire.size(), 437u);
            }
            t.send(wire);
            const auto a = t.receive_frame(2s);
            ASSERT_TRUE(a) << int(c.command);
            EXPECT_EQ((*a)[3], c.answer);
            EXPECT_EQ(answer_text(*a), "Success!");
            EXPECT_TRUE(frame::verify_check_byte(*a, frame::check_form_for_id(id)));
        }
        // Brightness goes unanswered, and the information block reports the settings.
        TcpClient t(address);
        t.send(vantor_frame(frame::CMD_SCREEN_CONTROL, id, words({2, 0, 5})));
        EXPECT_FALSE(t.receive_frame(300ms));
        const auto info = info_over_tcp(address, id);
        EXPECT_EQ(info.brightness, 5u);
        EXPECT_EQ(info.scan_clock_code, 6u);
        EXPECT_EQ(info.gray_value, 10016u);
        const auto st = sim_->state(id);
        ASSERT_TRUE(st);
        EXPECT_EQ(st->save_values, 1u);
        EXPECT_TRUE(st->upgrade_running);
        EXPECT_EQ(st->upgrade_announced, 4u);
    }
}

// A client that opens connections and keeps them: beyond the bound each new one is closed at once and
// noted, and the connections already open still work.
TEST_F(ThreeCards, ConnectionsBeyondTheBoundAreClosedAtOnce) {
    // Both ends live in this process: twice the bound in descriptors.
    rlimit files{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    if (files.rlim_cur < 4 * sim::kMaxTcpConnections) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 4 * sim::kMaxTcpConnections);
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &files), 0);
    }
    std::vector<std::unique_ptr<TcpClient>> open;
    for (std::size_t i = 0; i < sim::kMaxTcpConnections; ++i) {
        open.push_back(std::make_unique<TcpClient>("127.41.0.2"));
        ASSERT_TRUE(open.back()->connected()) << i;
    }
    TcpClient extra("127.41.0.2");
    ASSERT_TRUE(extra.connected());  // the kernel accepts it; the simulator closes it
    EXPECT_TRUE(extra.closed_by_peer(5s));
    EXPECT_TRUE(sim_->wait_for(
        [](const auto& journal) {
            return std::any_of(journal.begin(), journal.end(), [](const sim::JournalEntry& e) {
                return e.note.starts_with("connection refused");
            });
        },
        5s));
    ASSERT_TRUE(
        open.front()->send(frame::encode_fixed({frame::CMD_GET_CARD_INFO, kPlainId, 0, Bytes(4, 0)})));
    EXPECT_TRUE(open.front()->receive_frame(5s));
}

TEST_F(ThreeCards, WaitPredicateMayReadCardState) {
    TcpClient t("127.41.0.2");
    t.send(vantor_frame(frame::CMD_SAVE_VALUE, kPlainId, Bytes(4, 0)));
    EXPECT_TRUE(sim_->wait_for([&](const auto&) { return sim_->state(kPlainId)->save_values == 1; }, 5s));
}

TEST_F(ThreeCards, CheckByteIsCheckedAndJournaled) {
    const auto from = sim_->journal_end();
    TcpClient t("127.41.0.3");
    Bytes bad = vantor_frame(frame::CMD_SAVE_VALUE, kComplId, Bytes(4, 0));
    bad.back() ^= 0x01;
    t.send(bad);
    EXPECT_FALSE(t.receive_frame(300ms));
    auto e = sim_->wait_for_frame(kComplId, frame::CMD_SAVE_VALUE, 1s, from);
    ASSERT_TRUE(e);
    EXPECT_FALSE(e->accepted);
    EXPECT_FALSE(e->check_form);
    EXPECT_EQ(e->note, "check byte wrong");
    EXPECT_EQ(e->transport, sim::Transport::Tcp);

    // Kelvra's plain sum to a complement-family card is taken, and the journal says which form it was.
    t.send(kelvra_frame(frame::CMD_SAVE_VALUE, kComplId, Bytes(4, 0)));
    EXPECT_TRUE(t.receive_frame(2s));
    e = sim_->wait_for_frame(kComplId, frame::CMD_SAVE_VALUE, 1s, e->seq + 1);
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->accepted);
    EXPECT_EQ(e->check_form, CheckForm::PlainSum);

    // The complement to a plain-family card under its own id is not.
    TcpClient p("127.41.0.2");
    p.send(frame::encode_exact({frame::CMD_SAVE_VALUE, kPlainId, 0, Bytes(4, 0)}, CheckForm::Complement));
    EXPECT_FALSE(p.receive_frame(300ms));
    EXPECT_EQ(sim_->state(kPlainId)->save_values, 0u);
}

TEST_F(ThreeCards, TcpFramesSplitOrCoalescedInAllForms) {
    TcpClient t("127.41.0.2");
    Bytes three = vantor_frame(frame::CMD_SAVE_VALUE, kPlainId, Bytes(4, 0));
    const Bytes stream = kelvra_frame(frame::CMD_SCREEN_CONTROL, kPlainId, words({6, 0, 1}));
    const Bytes fixed = frame::encode_fixed({frame::CMD_GET_CARD_INFO, kPlainId, 0, Bytes(4, 0)});
    three.insert(three.end(), stream.begin(), stream.end());
    three.insert(three.end(), fixed.begin(), fixed.end());
    t.send(three);
    std::vector<std::uint8_t> codes;
    for (int i = 0; i < 3; ++i)
        if (auto a = t.receive_frame(2s)) codes.push_back((*a)[3]);
    EXPECT_EQ(codes, (std::vector<std::uint8_t>{frame::ANS_STATUS_SAVE_VALUE, frame::ANS_SCREEN_CONTROL,
                                                frame::ANS_CARD_INFO}));

    const Bytes one = vantor_frame(frame::CMD_SCREEN_CONTROL, kPlainId, words({11, 0, 1}));
    for (const auto b : one) {  // one byte per segment, each on the card's side before the next
        t.send({b});
        ASSERT_TRUE(t.wait_delivered(2s));
    }
    const auto a = t.receive_frame(2s);
    ASSERT_TRUE(a);
    EXPECT_EQ((*a)[3], frame::ANS_SCREEN_CONTROL);
    EXPECT_EQ(sim_->state(kPlainId)->info.data_polarity, 1u);

    // Half a frame, then the program goes away.
    {
        TcpClient half("127.41.0.2");
        half.send(Bytes(one.begin(), one.begin() + 100));
    }
    EXPECT_TRUE(sim_->wait_for(
        [](const auto& j) {
            return j.back().note == "100 bytes left unread at close" && j.back().command == 0;
        },
        2s));
}

Bytes config_image() {
    constexpr std::size_t kSize = 2'097'588;
    Bytes image(kSize, 0);
    std::memcpy(image.data(), "LED", 4);
    for (std::size_t i = 0; i < 524288; ++i)
        frame::put_u32le(image.data() + 420 + 4 * i, static_cast<std::uint32_t>(i));
    std::uint32_t sum = 0;
    for (std::size_t off = 0; off + 4 < kSize; off += 4) sum += frame::get_u32le(image.data() + off);
    frame::put_u32le(image.data() + kSize - 4, sum);
    return image;
}

TEST_F(ThreeCards, ConfigurationImageTransferAsVantorSendsIt) {
    const Bytes image = config_image();
    TcpClient t("127.41.0.3");
    const Bytes header =
        vantor_frame(frame::CMD_FILE_HEADER, kComplId, file_header_record(3, image.size(), "", "Config.sys"));
    EXPECT_EQ(header.size(), 241u);
    ASSERT_TRUE(t.send(header));
    int frames = 0;
    for (std::size_t off = 0; off < image.size(); off += 2048, ++frames)
        ASSERT_TRUE(t.send(
            vantor_frame(frame::CMD_FILE_DATA, kComplId,
                         Bytes(image.begin() + off, image.begin() + std::min(off + 2048, image.size())))));
    EXPECT_EQ(frames, 1025);
    t.send(vantor_frame(frame::CMD_SCREEN_CONTROL, kComplId, words({23})));
    ASSERT_TRUE(sim_->wait_for(
        [](const auto& j) { return !j.empty() && j.back().command == frame::CMD_SCREEN_CONTROL; }, 10s));
    const auto files = sim_->stored_files(kComplId);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].complete);
    EXPECT_EQ(files[0].local_path, sim_->card_folder(kComplId) / "Config.sys");
    std::ifstream in(files[0].local_path, std::ios::binary);
    EXPECT_TRUE(Bytes(std::istreambuf_iterator<char>(in), {}) == image);
    const auto st = sim_->state(kComplId);
    EXPECT_EQ(st->config_applied, 1u);
    EXPECT_TRUE(st->config_valid);
}

TEST_F(ThreeCards, KelvraFileOverUdpInPieces) {
    // SendFileToCard over a connected UDP socket: a 244-byte header packet, then 2000-byte pieces and,
    // for a length that is a multiple of 2000, a last piece of no data.
    Bytes content(4000);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i * 7);
    UdpClient u;
    const Bytes header =
        kelvra_frame(frame::CMD_FILE_HEADER, kComplId, file_header_record(4, 4000, "1", "Pic0.bmp"));
    EXPECT_EQ(header.size(), 244u);
    u.send_to("127.41.0.3", frame::kCommandPort, header);
    for (std::size_t off = 0; off <= content.size(); off += 2000)
        u.send_to("127.41.0.3", frame::kCommandPort,
                  kelvra_frame(
                      frame::CMD_FILE_DATA, kComplId,
                      Bytes(content.begin() + off, content.begin() + std::min(off + 2000, content.size()))));
    ASSERT_TRUE(sim_->wait_for([](const auto& j) { return j.size() >= 4; }, 2s));
    const auto files = sim_->stored_files(kComplId);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].complete);
    EXPECT_EQ(files[0].card_path, "1\\Pic0.bmp");
    std::ifstream in(sim_->card_folder(kComplId) / "1" / "Pic0.bmp", std::ios::binary);
    EXPECT_TRUE(Bytes(std::istreambuf_iterator<char>(in), {}) == content);
    for (const auto& e : sim_->journal()) EXPECT_EQ(e.check_form, CheckForm::PlainSum);
}

TEST_F(ThreeCards, RefusesCardPathsOutsideItsFolder) {
    TcpClient t("127.41.0.2");
    t.send(
        kelvra_frame(frame::CMD_FILE_HEADER, kPlainId, file_header_record(4, 3, "..\\..\\..", "escape.txt")));
    t.send(kelvra_frame(frame::CMD_FILE_DATA, kPlainId, Bytes{'b', 'a', 'd'}));
    ASSERT_TRUE(sim_->wait_for([](const auto& j) { return j.size() >= 2; }, 2s));
    const auto j = sim_->journal();
    EXPECT_EQ(j[0].note, "refused card path");
    EXPECT_FALSE(j[1].accepted);
    EXPECT_TRUE(sim_->stored_files(kPlainId).empty());
    const auto folder = sim_->card_folder(kPlainId);
    EXPECT_FALSE(std::filesystem::exists(folder.parent_path().parent_path() / "escape.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder.parent_path() / "escape.txt"));
}

TEST_F(ThreeCards, FaultsSetWhileRunning) {
    sim::Faults f;
    f.close_after_data_frames = 2;
    ASSERT_TRUE(sim_->set_faults(kPlainId, f));
    {
        TcpClient t("127.41.0.2");
        t.send(
            vantor_frame(frame::CMD_FILE_HEADER, kPlainId, file_header_record(4, 5 * 2048, "", "big.bin")));
        for (int i = 0; i < 5; ++i) t.send(vantor_frame(frame::CMD_FILE_DATA, kPlainId, Bytes(2048, 1)));
        EXPECT_TRUE(t.closed_by_peer(2s));
        ASSERT_TRUE(sim_->wait_for(
            [](const auto& j) { return j.back().note.find("file cut short at close") != std::string::npos; },
            2s));
        const auto files = sim_->stored_files(kPlainId);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_FALSE(files[0].complete);
        EXPECT_EQ(files[0].received, 2u * 2048u);
    }
    struct Case {
        sim::Faults faults;
        std::function<void(std::optional<Bytes>)> expect;
    };
    sim::Faults error, silent, short_, no_lead, bogus;
    error.answer_error = true;
    silent.silent = true;
    short_.malformed = sim::Malformed::Short;
    no_lead.malformed = sim::Malformed::NoLeadIn;
    bogus.malformed = sim::Malformed::BogusLength;
    const Case cases[] = {
        {error,
         [](auto a) {
             ASSERT_TRUE(a);
             EXPECT_EQ(answer_text(*a), "Error!");
         }},
        {silent, [](auto a) { EXPECT_FALSE(a); }},
        {short_,
         [](auto a) {
             ASSERT_TRUE(a);
             EXPECT_EQ(a->size(), 20u);
         }},
        {no_lead,
         [](auto a) {
             ASSERT_TRUE(a);
             const auto f = frame::decode(*a);
             ASSERT_TRUE(f);
             EXPECT_FALSE(f->lead_in_ok);
         }},
        {bogus,
         [](auto a) {
             ASSERT_TRUE(a);
             const auto f = frame::decode(*a);
             ASSERT_TRUE(f);
             EXPECT_EQ(f->length, 0xFFFFFFFFu);
         }},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(sim_->set_faults(kComplId, c.faults));
        TcpClient t("127.41.0.3");
        t.send(vantor_frame(frame::CMD_SAVE_VALUE, kComplId, Bytes(4, 0)));
        c.expect(t.receive_frame(400ms));
    }
    // A late answer is not there early, but arrives.
    sim::Faults late;
    late.delay_ms = 600;
    ASSERT_TRUE(sim_->set_faults(kComplId, late));
    TcpClient t("127.41.0.3");
    t.send(vantor_frame(frame::CMD_SAVE_VALUE, kComplId, Bytes(4, 0)));
    EXPECT_FALSE(t.receive_frame(150ms));
    const auto a = t.receive_frame(5s);
    ASSERT_TRUE(a);
    EXPECT_EQ(answer_text(*a), "Success!");
    EXPECT_EQ(sim_->state(kComplId)->faults, late);
    EXPECT_FALSE(sim_->set_faults("no such card", late));
}

TEST_F(ThreeCards, SaveSettingsMovesTheCardToItsNewAddress) {
    auto info = info_over_tcp("127.41.0.4", "S730-413-00003");
    info.ip_address = "127.41.0.99";
    info.screen_width = 640;
    const auto settings = card_info::encode_settings_block(info);
    {
        TcpClient t("127.41.0.4");
        const Bytes wire =
            vantor_frame(frame::CMD_SAVE_SETTINGS, "S730-413-00003", Bytes(settings.begin(), settings.end()));
        EXPECT_EQ(wire.size(), 553u);
        t.send(wire);
        const auto a = t.receive_frame(2s);
        ASSERT_TRUE(a);
        EXPECT_EQ((*a)[3], frame::ANS_SAVE_SETTINGS);
        EXPECT_EQ(answer_text(*a), "Success!");
    }
    EXPECT_EQ(sim_->state("S730-413-00003")->bound_address, "127.41.0.99");
    EXPECT_FALSE(TcpClient("127.41.0.4").connected());
    const auto moved = info_over_tcp("127.41.0.99", "S730-413-00003");
    EXPECT_EQ(moved.ip_address, "127.41.0.99");
    EXPECT_EQ(moved.screen_width, 640u);
    UdpClient u;
    u.send_to(kLoopBroadcast, frame::kDiscoveryPort, kelvra_frame(frame::CMD_DISCOVER, "Broadcast!", {}));
    std::set<std::string> from;
    for (const auto& d : u.drain(400ms)) from.insert(d.from);
    EXPECT_EQ(from, (std::set<std::string>{"127.41.0.2", "127.41.0.3", "127.41.0.99"}));

    // The restore-IP broadcast names an address this machine does not have: the card takes it but
    // stays reachable where it is, and the journal says why.
    Bytes restore(408, 0);
    const char target[] = "192.0.2.10";
    std::memcpy(restore.data(), target, sizeof target);
    u.send_to(kLoopBroadcast, frame::kDiscoveryPort,
              frame::encode_exact({frame::CMD_RESTORE_IP, "Broadcast!", 0, restore}, CheckForm::PlainSum));
    ASSERT_TRUE(sim_->wait_for([](const auto& j) { return j.back().command == frame::CMD_RESTORE_IP; }, 2s));
    const auto st = sim_->state(kPlainId);
    EXPECT_EQ(st->info.ip_address, "192.0.2.10");
    EXPECT_EQ(st->bound_address, "127.41.0.2");
    EXPECT_NE(sim_->journal().back().note.find("cannot move to 192.0.2.10"), std::string::npos);
}

TEST(SimDuplicates, TwoIdsAtOneAddressShareItsSockets) {
    sim::SimulatorConfig c;
    c.cards = {card(kPlainId, "127.41.0.20"), card(kComplId, "127.41.0.20")};
    // The refusal is the simulator's own start's.
    auto refused = sim::Simulator::start(c);
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.error.find("two cards at 127.41.0.20"), std::string::npos);
    c.allow_duplicate_addresses = true;
    auto s = start(c);
    ASSERT_TRUE(s.running());
    UdpClient u;
    u.send_to(kLoopBroadcast, frame::kDiscoveryPort, kelvra_frame(frame::CMD_DISCOVER, "Broadcast!", {}));
    std::set<std::string> ids;
    for (const auto& d : u.drain(400ms)) {
        EXPECT_EQ(d.from, "127.41.0.20");
        ids.insert(frame::decode(d.bytes)->card_id);
    }
    EXPECT_EQ(ids, (std::set<std::string>{kPlainId, kComplId}));
    // On TCP the frame's id picks the card; an unknown id goes to the first card at the address.
    TcpClient t("127.41.0.20");
    t.send(vantor_frame(frame::CMD_SAVE_VALUE, kComplId, Bytes(4, 0)));
    ASSERT_TRUE(t.receive_frame(2s));
    t.send(vantor_frame(frame::CMD_SAVE_VALUE, "Broadcast!", Bytes(4, 0)));
    ASSERT_TRUE(t.receive_frame(2s));
    EXPECT_EQ(s->state(kComplId)->save_values, 1u);
    EXPECT_EQ(s->state(kPlainId)->save_values, 1u);
}

TEST(SimStart, RefusesBadConfigurations) {
    struct Case {
        std::vector<sim::CardConfig> cards;
        const char* error_part;
    };
    const Case cases[] = {
        {{}, "no cards"},
        {{card(kPlainId, "127.41.0.300")}, "bad address"},
        {{card(kPlainId, "127.41.0.30"), card(kPlainId, "127.41.0.31")}, "given twice"},
        {{card("", "127.41.0.30")}, "bad card id"},
        {{card(kPlainId, "192.0.2.1")}, "bind 192.0.2.1"},  // not an address of this machine
    };
    // Started by hand: the refusals of the simulator's own start are under test.
    for (const auto& c : cases) {
        sim::SimulatorConfig config;
        config.cards = c.cards;
        const auto r = sim::Simulator::start(config);
        EXPECT_FALSE(r);
        EXPECT_NE(r.error.find(c.error_part), std::string::npos) << r.error;
    }
    // The same address bound twice by two simulators: the second is refused.
    sim::SimulatorConfig config;
    config.cards = {card(kPlainId, "127.41.0.32")};
    auto first = start(config);
    config.cards[0].id = kComplId;
    EXPECT_FALSE(sim::Simulator::start(config));
}

// The executable: config file, journal file, clean stop on SIGTERM.
TEST(SimExecutable, RunsFromAConfigFileAndStopsCleanly) {
    char dir_pattern[] = "/tmp/sim-exe-XXXXXX";
    ASSERT_TRUE(::mkdtemp(dir_pattern));
    const std::filesystem::path dir = dir_pattern;
    {
        std::ofstream conf(dir / "cards.conf");
        conf << "card " << kComplId << " 127.41.0.40 sw=0x80814\n"
             << "journal " << (dir / "journal.jsonl").string() << "\n";
    }
    int err_pipe[2];
    ASSERT_EQ(::pipe(err_pipe), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(err_pipe[1], 2);
        ::execl(LEDCARD_SIM_PATH, LEDCARD_SIM_PATH, "--config", (dir / "cards.conf").c_str(), "--storage",
                (dir / "cards").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(err_pipe[1]);
    std::string err;
    char buf[256];
    while (err.find("ready") == std::string::npos) {
        const ssize_t n = ::read(err_pipe[0], buf, sizeof buf);
        if (n <= 0) break;
        err.append(buf, static_cast<std::size_t>(n));
    }
    ASSERT_NE(err.find("1 cards ready"), std::string::npos) << err;
    UdpClient u;
    u.send_to("127.41.0.40", frame::kDiscoveryPort,
              vantor_frame(frame::CMD_GET_CARD_INFO, kComplId, mask_text_field()));
    const auto a = u.receive(3s);
    ASSERT_TRUE(a);
    EXPECT_EQ(card_info::decode_card_info(frame::decode(a->bytes)->data).software_version, 0x80814u);
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ::close(err_pipe[0]);
    std::ifstream j(dir / "journal.jsonl");
    std::string line;
    ASSERT_TRUE(std::getline(j, line));
    EXPECT_NE(line.find("\"command\":130"), std::string::npos) << line;
    EXPECT_NE(line.find("\"card\":\"" + kComplId + "\""), std::string::npos);
    EXPECT_NE(line.find("\"check\":\"complement\""), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "cards" / kComplId));
    std::filesystem::remove_all(dir);
}

}  // namespace

namespace {

TEST(SimExecutable, HelpAndBadArguments) {
    struct Case {
        const char* args;
        int status;
        const char* output_part;
    };
    const Case cases[] = {
        {"--help", 0, "fault-command=CODE"},
        {"--card S1", 2, "card needs ID@ADDRESS"},
        {"", 2, "no cards"},
        {"--card S1@127.41.0.300", 1, "bad address"},
    };
    for (const auto& c : cases) {
        const std::string out = "/tmp/sim-exe-out-" + std::to_string(::getpid());
        const std::string cmd = std::string(LEDCARD_SIM_PATH) + " " + c.args + " >" + out + " 2>&1";
        const int status = std::system(cmd.c_str());
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.status) << c.args;
        std::ifstream in(out);
        const std::string text(std::istreambuf_iterator<char>(in), {});
        EXPECT_NE(text.find(c.output_part), std::string::npos) << text;
        std::filesystem::remove(out);
    }
}

// The journal in memory keeps the newest entries only, within its bounds, while seq keeps counting and
// waiting by seq still works.
TEST(JournalMemory, KeepsTheNewestEntriesWithinItsBounds) {
    sim::SimulatorConfig c;
    c.cards = {card(kPlainId, "127.41.0.20")};
    c.journal_memory_entries = 40;
    c.journal_memory_bytes = 20000;
    auto s = start(std::move(c));
    ASSERT_TRUE(s.running());
    UdpClient u;
    constexpr int kFrames = 300;
    ASSERT_TRUE(u.send_to("127.41.0.20", frame::kCommandPort,
                          kelvra_frame(frame::CMD_FILE_HEADER, kPlainId,
                                       file_header_record(4, kFrames * 1000, "", "big.bin"))));
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_TRUE(u.send_to(
            "127.41.0.20", frame::kCommandPort,
            kelvra_frame(frame::CMD_FILE_DATA, kPlainId, Bytes(1000, static_cast<std::uint8_t>(i)))));
        if (i % 50 == 49) {
            // Paced, so the card's socket buffer never drops a datagram.
            ASSERT_TRUE(s->wait_for(
                [&](const auto&) { return s->journal_end() == static_cast<std::uint64_t>(i) + 2; }, 5s));
        }
    }
    ASSERT_TRUE(s->wait_for([&](const auto&) { return s->journal_end() == kFrames + 1u; }, 5s));
    const auto j = s->journal();
    ASSERT_FALSE(j.empty());
    EXPECT_LE(j.size(), 40u);
    std::size_t bytes = 0;
    for (const auto& e : j) bytes += e.data.size();
    EXPECT_LE(bytes, 20000u);
    EXPECT_EQ(j.back().seq, static_cast<std::uint64_t>(kFrames));
    EXPECT_EQ(j.back().data, Bytes(1000, static_cast<std::uint8_t>(kFrames - 1)));
    for (std::size_t i = 1; i < j.size(); ++i) EXPECT_EQ(j[i].seq, j[i - 1].seq + 1);
    const auto last = s->wait_for_frame(kPlainId, frame::CMD_FILE_DATA, 1s, kFrames);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->seq, static_cast<std::uint64_t>(kFrames));
    // The file itself arrived whole.
    const auto files = s->stored_files(kPlainId);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].complete);
    EXPECT_EQ(files[0].received, kFrames * 1000u);
}

// ---- peers that cost nothing: hostile pictures, clients that never read, idle connections ----

void raise_descriptor_limit(rlim_t wanted) {
    rlimit files{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    if (files.rlim_cur < wanted) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, wanted);
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &files), 0);
    }
}

bool journal_has(const sim::Simulator& s, const std::string& note_part, std::size_t count = 1,
                 std::chrono::milliseconds timeout = 10s) {
    return s.wait_for(
        [&](const auto& journal) {
            return static_cast<std::size_t>(std::count_if(journal.begin(), journal.end(), [&](const auto& e) {
                       return e.note.find(note_part) != std::string::npos;
                   })) >= count;
        },
        timeout);
}

// A connection that sends requests as fast as it can and never reads an answer; its receive buffer
// is small, so the card's answers pile up at the card.
class NonReader {
  public:
    explicit NonReader(const std::string& address) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int small = 4096;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(frame::kCommandPort);
        ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
        connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
    }
    ~NonReader() { ::close(fd_); }
    NonReader(const NonReader&) = delete;
    NonReader& operator=(const NonReader&) = delete;
    // Sends `n` requests for the card's information (about 1 KB of answer each), stopping early when
    // the card closes the connection.
    void flood(const std::string& id, int n) {
        const Bytes request = vantor_frame(frame::CMD_GET_CARD_INFO, id, mask_text_field());
        for (int i = 0; i < n; ++i)
            if (::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) <= 0) return;
    }
    bool connected() const { return connected_; }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

// Eight clients that send and never read hold up nobody: a normal client's twenty exchanges all come
// back well within what one blocked answer used to cost, and a client whose unread answers pass the
// bound is closed with a note.
TEST(SimCrowd, ClientsThatNeverReadHoldUpNoOne) {
    sim::SimulatorConfig c;
    c.cards = {card(kPlainId, "127.41.1.2")};
    c.discovery_socket = false;
    c.connection_output_bytes = 64 * 1024;
    auto s = start(std::move(c));
    ASSERT_TRUE(s.running());
    std::vector<std::unique_ptr<NonReader>> blockers;
    for (int i = 0; i < 8; ++i) {
        blockers.push_back(std::make_unique<NonReader>("127.41.1.2"));
        ASSERT_TRUE(blockers.back()->connected());
        blockers.back()->flood(kPlainId, 2000);
    }
    TcpClient normal("127.41.1.2");
    ASSERT_TRUE(normal.connected());
    const auto began = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(normal.send(vantor_frame(frame::CMD_GET_CARD_INFO, kPlainId, mask_text_field())));
        const auto answer = normal.receive_frame(5s);
        ASSERT_TRUE(answer) << "exchange " << i;
        EXPECT_EQ((*answer)[3], frame::ANS_CARD_INFO);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - began, 4s) << "twenty exchanges held up by the non-readers";
    EXPECT_TRUE(journal_has(*s, "answers not read", 8)) << "every non-reader passed the bound and was closed";
}

// Idle connections are closed after the idle time, so that peers that open the most connections and
// send nothing cannot lock the card out; a new client is then served.
TEST(SimCrowd, IdleConnectionsAreClosedAndNewClientsServed) {
    raise_descriptor_limit(4 * sim::kMaxTcpConnections);
    sim::SimulatorConfig c;
    c.cards = {card(kPlainId, "127.41.1.3")};
    c.discovery_socket = false;
    c.idle_timeout = 500ms;
    auto s = start(std::move(c));
    ASSERT_TRUE(s.running());
    std::vector<std::unique_ptr<TcpClient>> idle;
    for (std::size_t i = 0; i < sim::kMaxTcpConnections; ++i) {
        idle.push_back(std::make_unique<TcpClient>("127.41.1.3"));
        ASSERT_TRUE(idle.back()->connected()) << i;
    }
    ASSERT_TRUE(journal_has(*s, "idle for 500 ms", sim::kMaxTcpConnections));
    EXPECT_TRUE(idle.front()->closed_by_peer(5s));
    EXPECT_TRUE(idle.back()->closed_by_peer(5s));
    TcpClient fresh("127.41.1.3");
    ASSERT_TRUE(fresh.send(vantor_frame(frame::CMD_GET_CARD_INFO, kPlainId, mask_text_field())));
    const auto answer = fresh.receive_frame(5s);
    ASSERT_TRUE(answer);
    EXPECT_EQ((*answer)[3], frame::ANS_CARD_INFO);
}

// A picture that declares more than a card shows is refused with a journal note, and the card keeps
// serving: the GIF of 35 bytes declaring 65535 x 65535 and the JPEG declaring 32768 x 32768.
TEST(SimCrowd, HostilePicturesAreRefusedAndTheCardServesOn) {
    sim::SimulatorConfig c;
    c.cards = {card(kPlainId, "127.41.1.4")};
    c.discovery_socket = false;
    auto s = start(std::move(c));
    ASSERT_TRUE(s.running());
    const std::vector<std::pair<std::string, Bytes>> pictures = {
        {"Pic0.gif", support::gif_declaring(65535, 65535)},
        {"Pic1.jpg", support::jpeg_declaring(32768, 32768)},
        {"Pic2.bmp", support::rle8_bmp(32768, 8192)},
    };
    TcpClient t("127.41.1.4");
    for (const auto& [name, bytes] : pictures) {
        t.send(kelvra_frame(frame::CMD_FILE_HEADER, kPlainId,
                            file_header_record(5, static_cast<std::uint32_t>(bytes.size()), "", name)));
        t.send(kelvra_frame(frame::CMD_FILE_DATA, kPlainId, bytes));
        EXPECT_TRUE(journal_has(*s, "picture refused: " + name + " declares")) << name;
    }
    EXPECT_EQ(info_over_tcp("127.41.1.4", kPlainId).card_id, kPlainId);
    const auto st = s->state(kPlainId);
    ASSERT_TRUE(st);
    ASSERT_TRUE(st->screen_picture);
    EXPECT_EQ(st->screen_picture->at(0, 0), 0u) << "nothing of a refused picture is shown";
}

}  // namespace
