// CardLink: the main window's card link controller. It owns the UDP endpoint, the card list and card
// address table, the selected card and the current card information block; it runs discovery (a cycle at
// start and every 5 s), handles the cards' answers and offers the command exchange with the selected card.
// GUI-free: the window connects to the signals, renders what they carry and forwards the user's choices
// (selectCard, clearAndSearch, checkAddress).
//
// Settings: "default.ini" (program folder), section DefaultParam: Default_NetCard_Link (the own link
// address; empty: this machine's first address) and Discovery_Address (default 255.255.255.255); the
// adapter index `net_card_index` under the registry key "quelmora".
//
// Threading: main thread only. Answers arrive through the endpoint's socket notifier on the event loop;
// the only blocking calls are the 50 ms pause of a discovery cycle and exchange(), bounded by its
// time-outs.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cardlink/card_exchange.h"
#include "cardlink/card_link_socket.h"
#include "cardlink/card_table.h"
#include "common/card_info.h"

namespace cardlink {

// Where an answer came from: the UDP endpoint checks the lead-in, other links do not.
enum class LinkKind { Udp, Other };
inline constexpr std::string_view kSettingsSection = "DefaultParam";
inline constexpr std::string_view kOwnLinkKey = "Default_NetCard_Link";
inline constexpr std::string_view kDiscoveryAddressKey = "Discovery_Address";
inline constexpr std::chrono::milliseconds kDiscoveryInterval{5000};

struct CardLinkSettings {
    std::string own_link_address;  // Default_NetCard_Link as read (may be empty)
    std::string discovery_address = std::string(kDefaultDiscoveryAddress);
};

// Reads the settings from "default.ini" in the program folder.
CardLinkSettings ReadCardLinkSettings();

// The duplicate-address warning: IDS_MESSAGE_SAME_IP_IN_NET, then "[known id]\r\n[new id]\r\n[address]".
std::string DuplicateWarningText(const DuplicateAddress& duplicate);

class CardLink : public QObject {
    Q_OBJECT
  public:
    explicit CardLink(QObject* parent = nullptr);
    ~CardLink() override;

    // Opens the endpoint (Initsocket) with the settings read now, and takes the own link address.
    bool open();
    bool open(const CardLinkSettings& settings, const SocketOptions& socket_options);
    void close();

    // One discovery cycle now and one on every tick of the discovery timer.
    void startDiscovery(std::chrono::milliseconds interval = kDiscoveryInterval);
    void stopDiscovery();

    // Two 0x90 broadcasts, 50 ms apart (plain-sum then complemented check byte).
    void DiscoverCards();
    // A unicast 0x82 request for the card's information block; bytes sent, -1 or 0 (empty id).
    int RequestCardInfo(std::string_view card_id, std::string_view address);
    // Handles one received datagram (what the endpoint received, at most 2048 bytes).
    void OnCardAnswer(std::string_view sender_address, std::span<const std::uint8_t> datagram,
                      LinkKind link_kind);
    // Enters a card in the address table; raises the duplicate warning when needed.
    void RecordCard(std::string_view card_id, std::string_view address);

    // The user picked list entry `index`: the card becomes the selected card and is asked for its
    // information. A card beyond the first 100 has no address entry: it is selected, nothing is sent.
    void selectCard(int index);
    // "手动检查": forgets every card and the information block, then searches again.
    void clearAndSearch();
    // Forgets every card, the selected card and the information block; the next search finds them again
    // (after "保存设置" a card may answer from a new address).
    void clearCards();
    // "检测": asks the card at `address` for its information block with the fixed check id.
    int checkAddress(std::string_view address);

    // In address mode ("指定IP地址的控制卡") commands go to this target instead of the selected card.
    void setTargetOverride(std::optional<CardTarget> target) { override_ = std::move(target); }

    // The card commands go to: the override, else the selected card (empty when none).
    CardTarget target() const;
    // One exchange with target(); nothing is sent (NoConnection) while the card list is empty and no
    // override is set. Shows nothing: see exchangeAndReport.
    ExchangeResult exchange(std::uint8_t command, std::span<const std::uint8_t> payload,
                            bool read_answer = true, const ExchangeTimeouts& timeouts = {}) const;
    // exchange() and the failure shown: IDS_MESSAGE_CARD_LINK_ERROR or `failure_text`. 0 or -1.
    int exchangeAndReport(std::uint8_t command, std::span<const std::uint8_t> payload,
                          std::string_view failure_text, bool read_answer = true,
                          const ExchangeTimeouts& timeouts = {}) const;

    const std::vector<std::string>& cards() const { return table_.list(); }
    const CardTable& table() const { return table_; }
    const std::string& selectedCardId() const { return selected_.card_id; }
    const std::string& selectedAddress() const { return selected_.address; }
    const std::array<std::uint8_t, card_info::kBlockSize>& cardInfo() const { return info_; }
    const std::string& cardInfoAddress() const { return info_address_; }
    const std::string& cardInfoCardId() const { return info_card_id_; }
    const std::string& ownLinkAddress() const { return own_link_; }
    CardLinkSocket& socket() { return socket_; }

  signals:
    // A card was added to the list at `index`.
    void cardListed(const QString& cardId, int index);
    // The first card found was selected automatically (the list should show it selected).
    void cardSelected(const QString& cardId, const QString& address, int index);
    // A card information block arrived; `shown` when it belongs to the selected card (or the list is
    // empty) and the window should fill its controls from cardInfo().
    void cardInfoArrived(const QString& cardId, const QString& address, bool shown);
    // The text for the message window (dialog 143): two ids at one address.
    void duplicateWarning(const QString& text);
    // A socket failure was shown to the user.
    void linkError(const QString& text);

  private:
    void onReadyRead(int socket);

    CardLinkSocket socket_;
    QTimer timer_;
    CardTable table_;
    CardTarget selected_;
    std::optional<CardTarget> override_;
    std::array<std::uint8_t, card_info::kBlockSize> info_{};
    std::string info_address_;
    std::string info_card_id_;
    std::string own_link_;
    bool duplicate_on_screen_ = false;
};

}  // namespace cardlink
