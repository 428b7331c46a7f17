#include "cardlink/card_link.h"

#include <algorithm>

#include "common/frame.h"
#include "platform/localisation.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "platform/registry_store.h"

namespace cardlink {
namespace {

constexpr std::size_t kDiscoveryTextLength = 32;
constexpr std::string_view kDiscoveryText = "255.0.0.0";
constexpr int kMaxDatagramsPerEvent = 64;  // keeps the window responsive during a burst of answers

QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

CardLinkSettings ReadCardLinkSettings() {
    const auto file = paths::settings_folder() / "default.ini";
    CardLinkSettings s;
    s.own_link_address = ini::get_string(file, kSettingsSection, kOwnLinkKey, "", 1000);
    s.discovery_address =
        ini::get_string(file, kSettingsSection, kDiscoveryAddressKey, kDefaultDiscoveryAddress, 1000);
    if (s.discovery_address.empty()) s.discovery_address = std::string(kDefaultDiscoveryAddress);
    return s;
}

std::string DuplicateWarningText(const DuplicateAddress& d) {
    return localisation::lookup("IDS_MESSAGE_SAME_IP_IN_NET") + "[" + d.known_id + "]\r\n[" + d.new_id +
           "]\r\n[" + d.address + "]";
}

CardLink::CardLink(QObject* parent) : QObject(parent) {
    connect(&socket_, &CardLinkSocket::readyRead, this, &CardLink::onReadyRead);
    connect(&socket_, &CardLinkSocket::errorShown, this, &CardLink::linkError);
    connect(&timer_, &QTimer::timeout, this, &CardLink::DiscoverCards);
}

CardLink::~CardLink() = default;

bool CardLink::open() {
    const auto settings = ReadCardLinkSettings();
    SocketOptions options;
    options.discovery_address = settings.discovery_address;
    options.net_card_index = registry::read_value("quelmora", "net_card_index");
    options.addresses = enumerate_local_addresses();
    return open(settings, options);
}

bool CardLink::open(const CardLinkSettings& settings, const SocketOptions& socket_options) {
    own_link_ =
        settings.own_link_address.empty() ? GetLocalAddress(GetLocalHostName()) : settings.own_link_address;
    return socket_.Initsocket(socket_options) == 1;
}

void CardLink::close() {
    stopDiscovery();
    socket_.CloseSocket();
}

void CardLink::startDiscovery(std::chrono::milliseconds interval) {
    DiscoverCards();
    timer_.start(interval);
}

void CardLink::stopDiscovery() {
    timer_.stop();
}

void CardLink::DiscoverCards() {
    socket_.SendTextCommand(frame::CMD_DISCOVER, kDiscoveryTextLength, kDiscoveryText,
                            CardLinkSocket::TextMode::Broadcast, frame::kBroadcastId, "");
}

int CardLink::RequestCardInfo(std::string_view card_id, std::string_view address) {
    return socket_.SendTextCommand(frame::CMD_GET_CARD_INFO, kDiscoveryTextLength, kDiscoveryText,
                                   CardLinkSocket::TextMode::ToCard, card_id, address);
}

void CardLink::onReadyRead(int socket) {
    std::array<std::uint8_t, kReceiveBufferSize> buffer{};
    std::string sender;
    for (int i = 0; i < kMaxDatagramsPerEvent; ++i) {
        const int n = socket_.ReceiveFrom(socket, SocketEvent::Read, buffer, &sender);
        if (n <= 0) return;
        OnCardAnswer(sender, std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)),
                     LinkKind::Udp);
    }
}

void CardLink::OnCardAnswer(std::string_view sender_address, std::span<const std::uint8_t> datagram,
                            LinkKind link_kind) {
    const auto answer = frame::decode(datagram);
    if (!answer) return;                                 // not even a header
    if (answer->card_id == frame::kBroadcastId) return;  // our own broadcast came back
    if (link_kind == LinkKind::Udp && !answer->lead_in_ok) return;

    if (answer->command == frame::ANS_DISCOVER) {
        if (sender_address == own_link_) return;
        const std::string id = field_text(answer->card_id);
        if (id.empty() || table_.listed(id)) return;  // an id-less answer cannot be addressed
        const bool first = table_.list().empty();
        const std::size_t index = table_.append(id);
        emit cardListed(qs(id), static_cast<int>(index));
        if (first) {
            selected_ = {id, std::string(sender_address)};
            RequestCardInfo(id, sender_address);
            emit cardSelected(qs(id), qs(sender_address), static_cast<int>(index));
        }
        RecordCard(id, sender_address);
        return;
    }
    if (answer->command == frame::ANS_CARD_INFO) {
        info_.fill(0);
        info_address_.clear();
        // The block is read as far as the datagram goes, whatever its length field says.
        if (datagram.size() > frame::kDataOffset) {
            const auto data = datagram.subspan(frame::kDataOffset);
            std::copy_n(data.begin(), std::min(data.size(), info_.size()), info_.begin());
        }
        info_address_ = std::string(sender_address);
        info_card_id_ = field_text(answer->card_id);
        const bool shown = table_.list().empty() || info_card_id_ == selected_.card_id;
        emit cardInfoArrived(qs(info_card_id_), qs(info_address_), shown);
    }
}

void CardLink::RecordCard(std::string_view card_id, std::string_view address) {
    const auto duplicate = table_.record(card_id, address);
    if (!duplicate || duplicate_on_screen_) return;
    // The flag covers the time the window takes to come up: a slot that shows it and runs the event
    // loop meanwhile does not get a second warning.
    duplicate_on_screen_ = true;
    emit duplicateWarning(qs(DuplicateWarningText(*duplicate)));
    duplicate_on_screen_ = false;
}

void CardLink::selectCard(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= table_.list().size()) return;
    const std::string id = table_.list()[static_cast<std::size_t>(index)];
    selected_ = {};
    const auto address = table_.address_of(id);
    if (address) {
        selected_.address = *address;
        RequestCardInfo(id, *address);
    }
    selected_.card_id = id;
}

void CardLink::clearAndSearch() {
    clearCards();
    DiscoverCards();
}

void CardLink::clearCards() {
    selected_ = {};
    table_.clear();
    info_.fill(0);
    info_address_.clear();
    info_card_id_.clear();
}

int CardLink::checkAddress(std::string_view address) {
    return RequestCardInfo(kCheckCardId, address);
}

CardTarget CardLink::target() const {
    if (override_) return *override_;
    return selected_;
}

ExchangeResult CardLink::exchange(std::uint8_t command, std::span<const std::uint8_t> payload,
                                  bool read_answer, const ExchangeTimeouts& timeouts) const {
    if (!override_ && table_.list().empty()) return {ExchangeError::NoConnection, {}};
    return ExchangeCommand(target(), command, payload, read_answer, timeouts);
}

int CardLink::exchangeAndReport(std::uint8_t command, std::span<const std::uint8_t> payload,
                                std::string_view failure_text, bool read_answer,
                                const ExchangeTimeouts& timeouts) const {
    if (!override_ && table_.list().empty()) return -1;  // the window's handlers send nothing then
    const auto result = ExchangeCommand(target(), command, payload, read_answer, timeouts);
    report_exchange_failure(result, failure_text);
    return result.ok() ? 0 : -1;
}

}  // namespace cardlink
