// A TCP connection to a card's command port that stays open for a run of frames (the image transfer
// sends 1,027 frames over one connection; a one-shot exchange would not do).
// Threading: one CardStream belongs to one thread at a time. Connect and send are bounded by the
// time-outs given, so a worker never hangs on a vanished card.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace screenconfig {

struct StreamTimeouts {
    std::chrono::milliseconds connect{3000};
    std::chrono::milliseconds send{5000};  // a send that makes no progress for this long fails
};

class CardStream {
  public:
    CardStream() = default;
    CardStream(const CardStream&) = delete;
    CardStream& operator=(const CardStream&) = delete;
    CardStream(CardStream&& other) noexcept;
    CardStream& operator=(CardStream&& other) noexcept;
    ~CardStream();

    // Connects to `address` (dotted decimal) on `port`. False on a bad address, a refusal or a time-out.
    bool open(const std::string& address, std::uint16_t port, const StreamTimeouts& timeouts = {});
    bool is_open() const { return fd_ >= 0; }

    // Sends every byte or fails (peer closed or reset, time-out). Never raises SIGPIPE.
    bool send_all(std::span<const std::uint8_t> bytes);

    // Waits until the card's TCP has acknowledged every byte sent, the connection breaks or `timeout`
    // passes. True only for the first. A send only hands bytes to the kernel, so this is how a sender
    // learns whether they arrived.
    bool wait_delivered(std::chrono::milliseconds timeout);

    // True when the card has closed or reset the connection (it may have discarded what it had not yet
    // read). Does not consume any data the card sent.
    bool peer_closed();

    void close();

  private:
    int fd_ = -1;
    StreamTimeouts timeouts_;
};

}  // namespace screenconfig
