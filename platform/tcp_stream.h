// A TCP connection whose every step is bounded: the platform's own limits (a blocking connect to an
// absent host gives up after about two minutes, a vanished peer holds a send for a quarter of an hour)
// would freeze whoever waits, so connect, send and receive each take a time-out here.
// Threading: one TcpStream belongs to one thread at a time.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace platform {

struct TcpTimeouts {
    std::chrono::milliseconds connect{3000};
    std::chrono::milliseconds send{5000};  // a send that makes no progress for this long fails
};

class TcpStream {
  public:
    using Clock = std::chrono::steady_clock;

    TcpStream() = default;
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;
    TcpStream(TcpStream&& other) noexcept;
    TcpStream& operator=(TcpStream&& other) noexcept;
    ~TcpStream();

    // Connects to `address` (dotted decimal) on `port`. False on a bad address, a refusal or a time-out.
    bool open(const std::string& address, std::uint16_t port, const TcpTimeouts& timeouts = {});
    bool is_open() const { return fd_ >= 0; }

    // Sends every byte or fails (peer closed or reset, no progress within the send time-out). Never
    // raises SIGPIPE.
    bool send_all(std::span<const std::uint8_t> bytes);

    // One receive into `buffer`, waiting until `deadline` for data: the byte count, 0 when the peer
    // closed, -1 on a time-out or an error.
    long receive_some(std::span<std::uint8_t> buffer, Clock::time_point deadline);

    // Waits until the peer's TCP has acknowledged every byte sent (true), the connection breaks, or no
    // further byte has been acknowledged for `stall` (false). A send only hands bytes to the kernel, so
    // this is how a sender learns whether they arrived. The wait follows the peer's progress: a slow
    // reader that keeps taking bytes is waited for however long its share of the buffers takes.
    // `progress`, when given, hears each new count of bytes still unacknowledged.
    bool wait_delivered(std::chrono::milliseconds stall,
                        const std::function<void(std::size_t unacknowledged)>& progress = {});

    // Bytes sent that the peer's TCP has not acknowledged yet (0 when closed or unknown). What was sent
    // less this is what the peer has taken: the measure of a progress bar that shows what arrived.
    std::size_t unacknowledged() const;

    // True when the peer has closed or reset the connection. Consumes nothing the peer sent.
    bool peer_closed();

    void close();

  private:
    int fd_ = -1;
    TcpTimeouts timeouts_;
};

}  // namespace platform
