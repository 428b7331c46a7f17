// Vantor's handling of what arrives on its UDP endpoint (CardLink::OnCardAnswer): discovery answers,
// card information blocks and anything else a host on the LAN sends. The input is several datagrams,
// each a sender byte, a length byte and that many bytes. The card link runs without a window and
// without a socket (its information requests fail and are counted, nothing is sent).
#include <QCoreApplication>
#include <QObject>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <span>
#include <string>

#include "cardlink/card_link.h"
#include "platform/message_service.h"
#include "fuzz/require.h"

namespace {

class QuietMessages : public platform::MessageService {
  public:
    platform::MessageReply show(const std::string&, const std::string&, platform::MessageIcon,
                                platform::MessageButtons) override {
        return platform::MessageReply::Ok;
    }
};

QuietMessages g_messages;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    platform::install_message_service(&g_messages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cardlink::CardLink link;
    int listed = 0;
    int info = 0;
    QObject::connect(&link, &cardlink::CardLink::cardListed, [&](const QString&, int index) {
        FUZZ_REQUIRE(index == listed);
        ++listed;
    });
    QObject::connect(&link, &cardlink::CardLink::cardInfoArrived,
                     [&](const QString&, const QString&, bool) { ++info; });

    std::size_t at = 0;
    while (at + 2 <= size) {
        // Eight senders, so that two ids at one address (the duplicate warning) come up.
        const std::string sender = "127.0.0." + std::to_string(data[at] % 8 + 1);
        const auto kind = data[at] & 0x80 ? cardlink::LinkKind::Other : cardlink::LinkKind::Udp;
        const std::size_t n = data[at + 1] & 0x80 ? (data[at + 1] & 0x7F) * 16u : data[at + 1];
        at += 2;
        const std::size_t take = std::min(n, size - at);
        link.OnCardAnswer(sender, std::span<const std::uint8_t>(data + at, take), kind);
        at += take;
    }

    const auto& cards = link.cards();
    FUZZ_REQUIRE(cards.size() == static_cast<std::size_t>(listed));
    FUZZ_REQUIRE(std::set<std::string>(cards.begin(), cards.end()).size() == cards.size());
    FUZZ_REQUIRE(link.table().entries().size() <= cardlink::kMaxTableEntries);
    for (const auto& id : cards) FUZZ_REQUIRE(!id.empty() && id.size() <= cardlink::kTableTextSize);
    if (info == 0) FUZZ_REQUIRE(link.cardInfoAddress().empty());
    for (std::size_t i = 0; i < cards.size(); ++i) link.selectCard(static_cast<int>(i));
    return 0;
}
