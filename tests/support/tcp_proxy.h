// A user-space TCP proxy that stands between a client and a card and misbehaves on request: it delays
// the card's answers, trickles them, swallows them while holding the connection open, cuts a connection
// after a number of bytes, or resets it. Tests point the client at the proxy's address and the proxy at
// a simulated card.
//
// Threading: one thread of its own moves the bytes; set_faults and the counters may be called from any
// thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace support {

struct ProxyFaults {
    std::chrono::milliseconds latency{0};  // each piece of the card's answer leaves this much later
    int trickle_bytes_per_second = 0;      // > 0: the card's answer leaves one byte at a time
    bool hold_open = false;                // the card's answers are dropped; the connection stays open
    long close_after_bytes = -1;           // both sides close once this many client bytes went through
    bool reset = false;                    // the client's connection is reset when the card answers

    bool operator==(const ProxyFaults&) const = default;
};

class TcpProxy {
  public:
    // Listens on `listen_ip`:`port` and forwards every connection to `target_ip`:`port`.
    TcpProxy(const std::string& listen_ip, const std::string& target_ip, std::uint16_t port);
    ~TcpProxy();
    TcpProxy(const TcpProxy&) = delete;
    TcpProxy& operator=(const TcpProxy&) = delete;

    bool listening() const { return listener_ >= 0; }
    void set_faults(const ProxyFaults& faults);
    int connections() const { return connections_; }  // accepted so far

  private:
    void run();
    ProxyFaults faults() const;

    std::string target_ip_;
    std::uint16_t port_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    mutable std::mutex mutex_;
    ProxyFaults faults_;
    std::atomic<int> connections_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace support
