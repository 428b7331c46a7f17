#include "cli/search.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <unistd.h>

#include <map>

#include "cardlink/card_link.h"
#include "cardlink/local_addresses.h"
#include "platform/registry_store.h"

namespace cli {

SearchResult search_cards(const std::string& address, std::uint32_t timeout_ms) {
    SearchResult result;
    cardlink::CardLink link;
    cardlink::CardLinkSettings settings;
    settings.discovery_address = address;
    cardlink::SocketOptions options;
    options.discovery_address = address;
    options.addresses = cardlink::enumerate_local_addresses();
    // The adapter chosen in the desktop program's "多网卡选择" is this program's too.
    options.net_card_index = registry::read_value("quelmora", "net_card_index");
    if (!link.open(settings, options)) return result;
    result.socket_opened = true;

    std::map<std::string, FoundCard> found;
    std::vector<std::string> order;
    // A card's id as it sent it: the card table's bytes, not the signal's text, which holds U+FFFD
    // where the id is not UTF-8 and would find no address.
    QObject::connect(&link, &cardlink::CardLink::cardListed, &link, [&](const QString&, int index) {
        const auto& list = link.table().list();
        if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return;
        const std::string card = list[static_cast<std::size_t>(index)];
        order.push_back(card);
        // The card's address is entered just after it is listed: ask for its information then.
        QTimer::singleShot(0, &link, [&link, &found, card] {
            const auto where = link.table().address_of(card);
            found[card].address = where.value_or("");
            if (where) link.RequestCardInfo(card, *where);
        });
    });
    QObject::connect(&link, &cardlink::CardLink::cardInfoArrived, &link,
                     [&](const QString& id, const QString& from, bool) {
                         for (auto& [card, entry] : found) {
                             if (QString::fromStdString(card) != id) continue;
                             entry.address = from.toStdString();
                             entry.info = card_info::decode_card_info(link.cardInfo());
                         }
                     });
    link.DiscoverCards();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeout_ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ::usleep(5000);
    }
    link.close();
    for (const std::string& id : order) {
        FoundCard card = found[id];
        card.id = id;
        result.cards.push_back(std::move(card));
    }
    return result;
}

}  // namespace cli
