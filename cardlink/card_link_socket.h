// CardLinkSocket: the program's one long-lived UDP endpoint towards the control cards. It sends the
// discovery broadcasts and card-information requests (frames in the exact form, n + 29 bytes) to the
// cards' port 31296 and receives every UDP answer.
//
// The socket is non-blocking; a QSocketNotifier turns "datagram waiting" into the readyRead signal on the
// owner's event loop, so no thread of its own is needed and nothing here blocks except the 50 ms pause
// between the two discovery broadcasts of SendTextCommand's broadcast mode.
//
// The socket is tied to the adapter of the bound address with SO_BINDTODEVICE: broadcasts leave on that
// adapter whatever the routing table prefers, and datagrams that reach the machine through another
// adapter are not heard, so only the chosen network's cards are listed.
//
// Every failure is shown at once with platform::show_message (caption "ERROR") and emitted as
// errorShown.
// Threading: main (owner's) thread only.
#pragma once

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cardlink/local_addresses.h"

class QSocketNotifier;

namespace cardlink {

inline constexpr std::size_t kReceiveBufferSize = 2048;
inline constexpr std::string_view kDefaultDiscoveryAddress = "255.255.255.255";
inline constexpr std::string_view kErrorCaption = "ERROR";

enum class SocketEvent { Read, Write, Close };

struct SocketOptions {
    std::string discovery_address = std::string(kDefaultDiscoveryAddress);
    std::uint8_t net_card_index = 0;
    std::vector<LocalAddress> addresses;  // the local address list to choose from
    int receive_buffer_bytes = 1 << 20;   // room for a burst of answers from many cards
};

class CardLinkSocket : public QObject {
    Q_OBJECT
  public:
    explicit CardLinkSocket(QObject* parent = nullptr);
    ~CardLinkSocket() override;

    // (Re)creates the endpoint: net_card_index from the registry, the discovery address given, the
    // machine's address list. 1 on success, 0 on failure (shown).
    int Initsocket(std::string_view discovery_address = kDefaultDiscoveryAddress);
    int Initsocket(const SocketOptions& options);
    // Stops event delivery and closes the socket.
    void CloseSocket();

    // One datagram to the discovery address, port 31296: bytes sent or -1.
    int Broadcast(std::span<const std::uint8_t> bytes);
    // One datagram to `address`, port 31296: bytes sent or -1.
    int SendTo(std::string_view address, std::span<const std::uint8_t> bytes);

    // On a read event of this endpoint's own socket: one datagram, at most 2048 bytes (longer ones are
    // cut), into `buffer` (zero-filled first). Sets `sender` to the sender's address and, unless it is
    // this machine's own first address, the last peer address. 0 for other sockets and events and when
    // nothing is waiting.
    int ReceiveFrom(int socket, SocketEvent event, std::span<std::uint8_t, kReceiveBufferSize> buffer,
                    std::string* sender = nullptr);

    // ToCard: a frame with `card_id` (its check-byte form) and `text` NUL-terminated in a data field of
    // `length` bytes, sent to `address`; the result of SendTo, or 0 for an empty id. Broadcast: the frame
    // with id "Broadcast!", plain sum, broadcast; 50 ms later the complemented form; result 0. Other
    // modes send nothing: 0.
    enum class TextMode : int { ToCard = 0, Broadcast = 1 };
    int SendTextCommand(std::uint8_t command, std::size_t length, std::string_view text, TextMode mode,
                        std::string_view card_id, std::string_view address);

    bool isOpen() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }
    const std::string& lastPeerAddress() const { return last_peer_; }
    const BindChoice& binding() const { return binding_; }
    const std::string& discoveryAddress() const { return discovery_address_; }
    // The port the endpoint is bound to (0 when closed).
    std::uint16_t localPort() const;

  signals:
    // A datagram is waiting on the endpoint (the socket descriptor is passed for ReceiveFrom).
    void readyRead(int socket);
    // A message box was shown with this text.
    void errorShown(const QString& text);

  private:
    void showError(const char* text);

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::string last_peer_;
    std::string discovery_address_ = std::string(kDefaultDiscoveryAddress);
    BindChoice binding_;
};

// The frame that SendTextCommand sends: `text` NUL-terminated in a zero-filled data field of `length`
// bytes (a text that does not fit is cut so its NUL still does), exact form.
std::vector<std::uint8_t> BuildTextFrame(std::uint8_t command, std::size_t length, std::string_view text,
                                         std::string_view card_id, bool complemented_check);

}  // namespace cardlink
