// Discovery end to end: the CardLink controller in the test's namespace ("the computer"), simulated cards
// in namespaces of their own joined by veth pairs ("the LANs"). Broadcasts to 255.255.255.255 never
// leave these namespaces.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QString>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "cardlink/card_link.h"
#include "common/card_info.h"
#include "common/frame.h"
#include "common/screen_control.h"
#include "platform/registry_store.h"
#include "simulator/sim.h"
#include "tests/cardlink/fixture.h"
#include "tests/support/qt/pump.h"
#include "tests/support/wait.h"

namespace cardlink {
namespace {

using namespace std::chrono_literals;
using cardlink_test::LanNamespace;
using Bytes = std::vector<std::uint8_t>;

int g_lan_counter = 0;  // interface names are new for every LAN, so a vanishing pair never clashes

struct Lan {
    std::unique_ptr<LanNamespace> ns = std::make_unique<LanNamespace>();
    std::unique_ptr<sim::Simulator> cards;
    std::string pc_if;

    // `subnet` like "192.168.10": the computer is .2, the cards .100 on.
    Lan(const std::string& subnet, std::size_t addresses) {
        ++g_lan_counter;
        pc_if = "pc" + std::to_string(g_lan_counter);
        std::vector<std::string> cidrs = {subnet + ".1/24"};
        for (std::size_t i = 0; i < addresses; ++i)
            cidrs.push_back(subnet + "." + std::to_string(100 + i) + "/24");
        ns->connect(pc_if, subnet + ".2/24", "lan" + std::to_string(g_lan_counter), cidrs);
    }
    ~Lan() {
        if (cards) ns->run([&] { cards.reset(); });
        // Deleting our end takes the pair down at once; a dying namespace would take its time.
        std::system(("ip link del " + pc_if).c_str());
    }
    void start(sim::SimulatorConfig config) {
        std::string error;
        ns->run([&] {
            auto started = sim::Simulator::start(std::move(config));
            error = started.error;
            cards = std::move(started.simulator);
        });
        ASSERT_TRUE(cards) << error;
    }
    std::size_t received(std::string_view card, std::uint8_t command) const {
        std::size_t n = 0;
        for (const auto& e : cards->journal()) n += (e.card == card && e.command == command) ? 1 : 0;
        return n;
    }
};

std::vector<sim::CardConfig> Cards(std::size_t count, const std::string& first_address,
                                   const std::string& prefix) {
    auto cards = sim::make_cards(count, first_address, sim::IdFamily::Mixed);
    for (std::size_t i = 0; i < cards.size(); ++i) cards[i].id = prefix + std::to_string(10000 + i);
    return cards;
}

// What the controller told the window.
struct Observed {
    std::vector<std::string> listed;
    std::vector<std::string> selected;
    std::vector<std::pair<std::string, bool>> info;  // card id, shown
    std::vector<std::string> warnings;

    explicit Observed(CardLink& link) {
        QObject::connect(&link, &CardLink::cardListed,
                         [this](const QString& id, int) { listed.push_back(id.toStdString()); });
        QObject::connect(&link, &CardLink::cardSelected, [this](const QString& id, const QString&, int) {
            selected.push_back(id.toStdString());
        });
        QObject::connect(&link, &CardLink::cardInfoArrived,
                         [this](const QString& id, const QString&, bool shown) {
                             info.emplace_back(id.toStdString(), shown);
                         });
        QObject::connect(&link, &CardLink::duplicateWarning,
                         [this](const QString& text) { warnings.push_back(text.toStdString()); });
    }
};

void Configure(int net_card_index, const std::string& own_link = "", const std::string& discovery = "") {
    registry::write_value("quelmora", "net_card_index", static_cast<std::uint32_t>(net_card_index));
    cardlink_test::WriteDefaultIni("Default_NetCard_Link=" + own_link + "\nDiscovery_Address=" + discovery +
                                   "\n");
}

sim::SimulatorConfig Config(std::vector<sim::CardConfig> cards, bool duplicates = false) {
    sim::SimulatorConfig c;
    c.cards = std::move(cards);
    c.allow_duplicate_addresses = duplicates;
    return c;
}

// One datagram read with the time the kernel stamped on it (SO_TIMESTAMP).
struct Stamped {
    Bytes bytes;
    std::string from;
    bool stamped = false;
    std::chrono::microseconds at{0};  // since the epoch
};

Stamped ReadStamped(int fd) {
    Stamped out;
    out.bytes.resize(4096);
    sockaddr_in from{};
    iovec iov{out.bytes.data(), out.bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timeval))] = {};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd, &msg, 0);
    out.bytes.resize(static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    const cmsghdr* c = CMSG_FIRSTHDR(&msg);
    if (c != nullptr && c->cmsg_type == SCM_TIMESTAMP) {
        timeval stamp{};
        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
        out.stamped = true;
        out.at = std::chrono::seconds(stamp.tv_sec) + std::chrono::microseconds(stamp.tv_usec);
    }
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    out.from = text;
    return out;
}

// The kernel turns arrival stamps on a moment after the first socket asks for them; until then it
// stamps a datagram when it is read. Probes go to `listener` (at `ip`) until one carries a stamp from
// before the listener was seen readable: from then on stamps are arrival times.
bool StampsOnArrival(int listener, const std::string& ip) {
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(frame::kDiscoveryPort);
    ::inet_pton(AF_INET, ip.c_str(), &to.sin_addr);
    const bool on = support::wait_until(
        [&] {
            ::sendto(probe, "probe", 5, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
            pollfd p{listener, POLLIN, 0};
            if (::poll(&p, 1, 1000) != 1) return false;
            const auto readable = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::system_clock::now().time_since_epoch());
            const Stamped s = ReadStamped(listener);
            return s.stamped && s.at <= readable;
        },
        5s);
    ::close(probe);
    return on;
}

TEST(Discovery, TwoDatagramsFiftyMillisecondsApart) {
    REQUIRE_PRIVATE_NETWORK();
    Lan lan("192.168.10", 0);
    // A listener on the LAN in place of cards: it sees exactly what went on the wire.
    int listener = -1;
    lan.ns->run([&] {
        listener = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(frame::kDiscoveryPort);
        ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        const int on = 1;  // stamps each datagram as it arrives
        ::setsockopt(listener, SOL_SOCKET, SO_TIMESTAMP, &on, sizeof on);
    });
    ASSERT_TRUE(StampsOnArrival(listener, "192.168.10.1"));
    Configure(0);
    support::RecordingMessages messages;
    CardLink link;
    ASSERT_TRUE(link.open());
    EXPECT_EQ(link.socket().binding().interface, lan.pc_if);
    link.DiscoverCards();

    // Arrival times from the kernel: both datagrams are queued before this thread looks.
    std::vector<Stamped> got;
    for (int i = 0; i < 2; ++i) {
        pollfd p{listener, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 2000), 1) << "datagram " << i;
        got.push_back(ReadStamped(listener));
        ASSERT_TRUE(got.back().stamped);
        EXPECT_EQ(got.back().from, "192.168.10.2");
    }
    ::close(listener);
    ASSERT_EQ(got[0].bytes.size(), 61u);
    ASSERT_EQ(got[1].bytes.size(), 61u);
    EXPECT_EQ(got[0].bytes[3], frame::CMD_DISCOVER);
    EXPECT_EQ(got[0].bytes.back(), 0x1A);
    EXPECT_EQ(got[1].bytes.back(), 0xE5);
    EXPECT_GE(got[1].at - got[0].at, 50ms);
    EXPECT_TRUE(messages.all().empty());
}

TEST(Discovery, ListsEachCardOnceAndAsksTheFirstForItsInformation) {
    REQUIRE_PRIVATE_NETWORK();
    Lan lan("192.168.10", 3);
    auto cards = Cards(3, "192.168.10.100", "S730-413-");
    lan.start(Config(cards));
    Configure(0);
    support::RecordingMessages messages;
    CardLink link;
    Observed seen(link);
    ASSERT_TRUE(link.open());
    link.startDiscovery();
    ASSERT_TRUE(support::pump_until([&] { return link.cards().size() == 3 && !seen.info.empty(); }, 3s));
    // Another cycle: every card answers again, nothing is listed twice.
    link.DiscoverCards();
    ASSERT_TRUE(support::pump_until([&] { return lan.received(cards[2].id, frame::CMD_DISCOVER) >= 2; }, 3s));
    support::pump_for(300ms);

    EXPECT_EQ(std::set<std::string>(seen.listed.begin(), seen.listed.end()).size(), seen.listed.size());
    EXPECT_EQ(seen.listed.size(), 3u);
    const std::string first = seen.listed.at(0);
    EXPECT_EQ(seen.selected, std::vector<std::string>{first});
    EXPECT_EQ(link.selectedCardId(), first);
    EXPECT_EQ(link.selectedAddress(), link.table().address_of(first).value_or("?"));

    // Only the first card was asked for its information, once, with a 61-byte 0x82 request.
    std::size_t requests = 0;
    for (const auto& e : lan.cards->journal()) {
        if (e.command != frame::CMD_GET_CARD_INFO) continue;
        ++requests;
        EXPECT_EQ(e.card, first);
        EXPECT_EQ(e.datagram_size, 61u);
        EXPECT_EQ(e.local_address, link.selectedAddress());
        EXPECT_TRUE(e.accepted) << e.note;
    }
    EXPECT_EQ(requests, 1u);
    ASSERT_EQ(seen.info.size(), 1u);
    EXPECT_EQ(seen.info[0], std::make_pair(first, true));
    const auto info = card_info::decode_card_info(link.cardInfo());
    EXPECT_EQ(info.card_id, first);
    EXPECT_EQ(link.cardInfoAddress(), link.selectedAddress());
    EXPECT_TRUE(seen.warnings.empty());
    EXPECT_TRUE(messages.all().empty());

    // Picking another card asks that one; its block is shown.
    const std::string other = seen.listed.at(2);
    link.selectCard(2);
    ASSERT_TRUE(support::pump_until([&] { return seen.info.size() == 2; }, 3s));
    EXPECT_EQ(seen.info[1], std::make_pair(other, true));
    EXPECT_EQ(card_info::decode_card_info(link.cardInfo()).card_id, other);
    EXPECT_EQ(link.target().card_id, other);
    EXPECT_EQ(link.target().address, link.table().address_of(other).value_or("?"));

    // "检测" at another card's address: its block is stored but not shown, the selection stays.
    const std::string middle = seen.listed.at(1);
    link.checkAddress(link.table().address_of(middle).value_or("?"));
    ASSERT_TRUE(support::pump_until([&] { return seen.info.size() == 3; }, 3s));
    EXPECT_EQ(seen.info[2], std::make_pair(middle, false));
    EXPECT_EQ(link.cardInfoCardId(), middle);
    EXPECT_EQ(link.selectedCardId(), other);
}

TEST(Discovery, NoExchangeWhileNoCardIsListed) {
    support::RecordingMessages messages;
    CardLink link;
    const Bytes block(screen_control::kSize, 0);
    EXPECT_EQ(link.exchange(frame::CMD_SCREEN_CONTROL, block).error, ExchangeError::NoConnection);
    EXPECT_EQ(link.exchangeAndReport(frame::CMD_SCREEN_CONTROL, block, "error RP"), -1);
    EXPECT_TRUE(messages.all().empty());
}

TEST(Discovery, OwnLinkAddressAndMalformedAnswersAreNeverListed) {
    REQUIRE_PRIVATE_NETWORK();
    Lan lan("192.168.10", 4);
    auto cards = Cards(4, "192.168.10.100", "S730-413-");
    cards[2].faults.malformed = sim::Malformed::Short;
    cards[2].faults.only_command = frame::CMD_DISCOVER;
    cards[3].faults.malformed = sim::Malformed::NoLeadIn;
    cards[3].faults.only_command = frame::CMD_DISCOVER;
    lan.start(Config(cards));
    Configure(0, "192.168.10.101");  // the second card answers from the own link address
    CardLink link;
    ASSERT_TRUE(link.open());
    EXPECT_EQ(link.ownLinkAddress(), "192.168.10.101");
    link.startDiscovery(200ms);
    ASSERT_TRUE(support::pump_until([&] { return lan.received(cards[3].id, frame::CMD_DISCOVER) >= 4; }, 5s));
    support::pump_for(300ms);
    EXPECT_EQ(link.cards(), std::vector<std::string>{cards[0].id});
}

TEST(Discovery, TwoIdsAtOneAddressWarnOnceAndStayListed) {
    REQUIRE_PRIVATE_NETWORK();
    Lan lan("192.168.10", 2);
    auto cards = Cards(3, "192.168.10.100", "S730-413-");
    cards[1].address = "192.168.10.100";  // shares the first card's address
    cards[2].address = "192.168.10.101";
    lan.start(Config(cards, true));
    Configure(0);
    CardLink link;
    Observed seen(link);
    ASSERT_TRUE(link.open());
    link.startDiscovery(200ms);
    ASSERT_TRUE(support::pump_until([&] { return link.cards().size() == 3; }, 3s));
    support::pump_for(600ms);  // several more cycles
    EXPECT_EQ(link.cards().size(), 3u);
    ASSERT_EQ(seen.warnings.size(), 1u);
    const auto& w = seen.warnings[0];
    EXPECT_EQ(w.rfind("same address:[", 0), 0u) << w;
    EXPECT_NE(w.find("]\r\n["), std::string::npos);
    EXPECT_NE(w.find(cards[0].id), std::string::npos);
    EXPECT_NE(w.find(cards[1].id), std::string::npos);
    EXPECT_NE(w.find("[192.168.10.100]"), std::string::npos);
}

TEST(Discovery, PastAHundredCardsTheListGrowsButNotTheTable) {
    REQUIRE_PRIVATE_NETWORK();
    Lan lan("192.168.10", 105);
    lan.start(Config(Cards(105, "192.168.10.100", "S730-413-")));
    Configure(0);
    CardLink link;
    ASSERT_TRUE(link.open());
    link.startDiscovery(500ms);
    ASSERT_TRUE(support::pump_until([&] { return link.cards().size() == 105; }, 10s)) << link.cards().size();
    EXPECT_EQ(link.table().entries().size(), 100u);
    // A card beyond the table has no address: selecting it sends nothing.
    const auto before = lan.cards->journal_end();
    link.selectCard(104);
    support::pump_for(300ms);
    for (const auto& e : lan.cards->journal()) {
        if (e.seq >= before) {
            EXPECT_NE(e.command, frame::CMD_GET_CARD_INFO);
        }
    }
    EXPECT_EQ(link.selectedCardId(), link.cards()[104]);
    EXPECT_TRUE(link.selectedAddress().empty());
}

TEST(Discovery, OnlyTheChosenAdaptersCardsAreListed) {
    REQUIRE_PRIVATE_NETWORK();
    Lan a("192.168.10", 3);
    Lan b("192.168.20", 2);
    a.start(Config(Cards(3, "192.168.10.100", "S730-410-")));
    b.start(Config(Cards(2, "192.168.20.100", "S730-420-")));
    // The routing table prefers the second adapter: only the tie to the chosen one keeps the
    // broadcast off it.
    cardlink_test::Shell("ip route add default dev " + b.pc_if);

    struct Case {
        int index;
        Lan* wanted;
        Lan* other;
        std::string prefix;
    };
    for (const Case& c : {Case{0, &a, &b, "S730-410-"}, Case{1, &b, &a, "S730-420-"}}) {
        const auto other_before = c.other->cards->journal_end();
        Configure(c.index);
        CardLink link;
        ASSERT_TRUE(link.open());
        EXPECT_EQ(link.socket().binding().interface, c.wanted->pc_if);
        // A card of the other LAN that routes an answer to our address on this one: the host would take
        // it in on the wrong adapter (weak host model); the link must not hear it.
        const std::string own = c.index == 0 ? "192.168.10.2" : "192.168.20.2";
        const std::string stray_from = c.index == 0 ? "192.168.20.100" : "192.168.10.100";
        const std::string via = c.index == 0 ? "192.168.20.2" : "192.168.10.2";
        c.other->ns->shell("ip route replace " + own + "/32 via " + via);
        c.other->ns->run([&] {
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            ::inet_pton(AF_INET, stray_from.c_str(), &a.sin_addr);
            ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
            frame::Packet p{frame::ANS_DISCOVER, "S730-499-00001", 0, {}};
            const Bytes answer = frame::encode_exact(p);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(link.socket().localPort());
            ::inet_pton(AF_INET, own.c_str(), &to.sin_addr);
            EXPECT_EQ(
                ::sendto(fd, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
                static_cast<ssize_t>(answer.size()));
            ::close(fd);
        });
        link.startDiscovery(300ms);
        const std::size_t count = c.wanted->cards->card_ids().size();
        ASSERT_TRUE(support::pump_until([&] { return link.cards().size() >= count; }, 3s)) << c.index;
        support::pump_for(700ms);
        EXPECT_EQ(link.cards().size(), count) << c.index;
        for (const auto& id : link.cards()) EXPECT_EQ(id.rfind(c.prefix, 0), 0u) << id;
        for (const auto& e : c.other->cards->journal()) {
            if (e.seq >= other_before) ADD_FAILURE() << "the other LAN heard " << int(e.command);
        }
    }
}

TEST(Discovery, IndexBeyondTheAddressListFallsBackToTheFirst) {
    REQUIRE_PRIVATE_NETWORK();
    Lan a("192.168.10", 1);
    Lan b("192.168.20", 1);
    Configure(9);
    CardLink link;
    ASSERT_TRUE(link.open());
    EXPECT_EQ(link.socket().binding().interface, a.pc_if);
    EXPECT_TRUE(link.socket().binding().fell_back);
}

TEST(Endpoint, FailuresAreShownWithTheErrorCaption) {
    REQUIRE_PRIVATE_NETWORK();
    support::RecordingMessages messages;
    CardLinkSocket endpoint;
    std::vector<std::string> emitted;
    QObject::connect(&endpoint, &CardLinkSocket::errorShown,
                     [&](const QString& t) { emitted.push_back(t.toStdString()); });
    const Bytes frame_bytes =
        BuildTextFrame(frame::CMD_DISCOVER, 32, "255.0.0.0", frame::kBroadcastId, false);
    EXPECT_EQ(endpoint.Broadcast(frame_bytes), -1);
    EXPECT_EQ(endpoint.SendTo("127.0.0.1", frame_bytes), -1);
    SocketOptions options;
    options.discovery_address = "127.255.255.255";
    options.addresses = enumerate_local_addresses();
    ASSERT_EQ(endpoint.Initsocket(options), 1);
    EXPECT_EQ(endpoint.SendTo("127.0.0.300", frame_bytes), -1);
    EXPECT_EQ(endpoint.SendTo("127.0.0.2", {}), -1);
    // Mode 0 without a card id and unknown modes send nothing.
    EXPECT_EQ(endpoint.SendTextCommand(frame::CMD_GET_CARD_INFO, 32, "255.0.0.0",
                                       CardLinkSocket::TextMode::ToCard, "", "127.0.0.2"),
              0);
    EXPECT_EQ(endpoint.SendTextCommand(frame::CMD_GET_CARD_INFO, 32, "255.0.0.0",
                                       static_cast<CardLinkSocket::TextMode>(2), "S1", "127.0.0.2"),
              0);
    EXPECT_EQ(endpoint.SendTextCommand(frame::CMD_GET_CARD_INFO, 32, "255.0.0.0",
                                       CardLinkSocket::TextMode::ToCard, "S1", "127.0.0.2"),
              61);

    // An address this machine does not have cannot be bound: the endpoint stays closed.
    SocketOptions foreign;
    foreign.addresses = {{"192.0.2.1", "nosuch0", false}};
    EXPECT_EQ(endpoint.Initsocket(foreign), 0);
    EXPECT_FALSE(endpoint.isOpen());
    EXPECT_EQ(endpoint.Broadcast(frame_bytes), -1);

    const std::vector<std::string> expected = {"please Call Initsocket() first!",
                                               "Please call initsocket() first",
                                               "Ip address error!",
                                               "Buffer pointer NULL!",
                                               "udp socket bind error!",
                                               "please Call Initsocket() first!"};
    EXPECT_EQ(messages.texts(), expected);
    EXPECT_EQ(emitted, expected);
    for (const auto& m : messages.all()) EXPECT_EQ(m.caption, "ERROR");
}

TEST(Endpoint, ReceiveCutsLongDatagramsAndKeepsTheLastPeer) {
    REQUIRE_PRIVATE_NETWORK();
    CardLinkSocket endpoint;
    SocketOptions options;
    options.discovery_address = "127.255.255.255";
    options.addresses = enumerate_local_addresses();
    ASSERT_EQ(endpoint.Initsocket(options), 1);
    int readies = 0;
    QObject::connect(&endpoint, &CardLinkSocket::readyRead, [&](int) { ++readies; });

    const int peer = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.9", &from.sin_addr);
    ASSERT_EQ(::bind(peer, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(endpoint.localPort());
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    const Bytes big(3000, 0x55);
    ::sendto(peer, big.data(), big.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ASSERT_TRUE(support::pump_until([&] { return readies > 0; }, 2s));

    std::array<std::uint8_t, kReceiveBufferSize> buffer{};
    std::string sender;
    // Other sockets' and other kinds of events are not this endpoint's business.
    EXPECT_EQ(endpoint.ReceiveFrom(endpoint.descriptor() + 100, SocketEvent::Read, buffer, &sender), 0);
    EXPECT_EQ(endpoint.ReceiveFrom(endpoint.descriptor(), SocketEvent::Write, buffer, &sender), 0);
    EXPECT_EQ(endpoint.ReceiveFrom(endpoint.descriptor(), SocketEvent::Read, buffer, &sender), 2048);
    EXPECT_EQ(sender, "127.0.0.9");
    EXPECT_EQ(endpoint.lastPeerAddress(), "127.0.0.9");
    EXPECT_EQ(endpoint.ReceiveFrom(endpoint.descriptor(), SocketEvent::Read, buffer, &sender),
              0);  // nothing left

    // A datagram from this machine's own first address (an echo) leaves the last peer as it was.
    const int self = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in own{};
    own.sin_family = AF_INET;
    ASSERT_EQ(GetLocalAddress(GetLocalHostName()), "127.0.0.1");
    ::inet_pton(AF_INET, "127.0.0.1", &own.sin_addr);
    ASSERT_EQ(::bind(self, reinterpret_cast<sockaddr*>(&own), sizeof own), 0);
    ::sendto(self, big.data(), 100, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ASSERT_TRUE(support::pump_until(
        [&] {
            return endpoint.ReceiveFrom(endpoint.descriptor(), SocketEvent::Read, buffer, &sender) == 100;
        },
        2s));
    EXPECT_EQ(sender, "127.0.0.1");
    EXPECT_EQ(endpoint.lastPeerAddress(), "127.0.0.9");
    ::close(self);
    ::close(peer);
}

}  // namespace
}  // namespace cardlink

namespace cardlink {
namespace {

TEST(Discovery, InformationAnswersAreReadAsFarAsTheyGo) {
    REQUIRE_PRIVATE_NETWORK();
    Lan lan("192.168.10", 1);
    auto cards = Cards(1, "192.168.10.100", "S730-413-");
    cards[0].faults.malformed = sim::Malformed::BogusLength;  // length field 0xFFFFFFFF
    cards[0].faults.only_command = frame::CMD_GET_CARD_INFO;
    lan.start(Config(cards));
    Configure(0);
    CardLink link;
    Observed seen(link);
    ASSERT_TRUE(link.open());
    link.startDiscovery();
    ASSERT_TRUE(support::pump_until([&] { return !seen.info.empty(); }, 3s));
    EXPECT_EQ(card_info::decode_card_info(link.cardInfo()).card_id, cards[0].id);

    // A cut-short answer (less than a header) is dropped: the block stays as it was.
    sim::Faults faults;
    faults.malformed = sim::Malformed::Short;
    faults.only_command = frame::CMD_GET_CARD_INFO;
    lan.cards->set_faults(cards[0].id, faults);
    const auto before = lan.cards->journal_end();
    link.selectCard(0);
    ASSERT_TRUE(lan.cards->wait_for_frame(cards[0].id, frame::CMD_GET_CARD_INFO, 2s, before));
    support::pump_for(300ms);
    EXPECT_EQ(seen.info.size(), 1u);
    EXPECT_EQ(card_info::decode_card_info(link.cardInfo()).card_id, cards[0].id);
}

TEST(Discovery, LoopbackDemoFindsCardsOnThisMachine) {
    REQUIRE_PRIVATE_NETWORK();
    sim::SimulatorConfig config;
    config.cards = Cards(3, "127.0.0.2", "S730-413-");
    auto started = sim::Simulator::start(config);
    ASSERT_TRUE(started) << started.error;
    Configure(0, "", "127.255.255.255");
    CardLink link;
    ASSERT_TRUE(link.open());
    EXPECT_EQ(link.socket().binding().address, "127.0.0.1");
    link.startDiscovery();
    ASSERT_TRUE(support::pump_until([&] { return link.cards().size() == 3; }, 3s)) << link.cards().size();
    EXPECT_EQ(link.table().address_of(config.cards[2].id), "127.0.0.4");
}

}  // namespace
}  // namespace cardlink
