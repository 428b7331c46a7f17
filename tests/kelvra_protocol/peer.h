// Small card stand-ins on real loopback sockets for the transport tests: a TCP listener and a UDP
// socket on a card's address, port 31298, that parse every frame they receive and may answer it. They
// give what ledcard-sim does not: the zero bytes after each frame's check byte (the stream and fixed
// forms), the number of connections, and answers of whatever bytes the test chooses; tests of a card's
// behaviour use the simulator (tests/support/sim_cards.h).
//
// Threading: each peer runs one thread of its own; frames() and the counters are locked.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace peer {

struct Frame {
    std::uint8_t command = 0;
    std::string card_id;
    std::uint32_t parameter = 0;
    std::vector<std::uint8_t> data;
    bool check_ok = false;           // plain sum
    std::size_t trailing_zeros = 0;  // zero bytes after the check byte before the next frame / end
    std::chrono::steady_clock::time_point at;
};

// What to do with a received frame: bytes to send back (none: send nothing; an empty reply closes
// a TCP connection).
using Responder = std::function<std::optional<std::vector<std::uint8_t>>(const Frame&)>;

// Parses frames out of a byte stream: skips to each lead-in, reads header, data and check byte.
// Returns the frames and leaves an incomplete tail in `bytes`.
std::vector<Frame> parse_frames(std::vector<std::uint8_t>& bytes);

// Builds an answer frame (plain sum, no trailer).
std::vector<std::uint8_t> answer(std::uint8_t command, const std::string& id, std::vector<std::uint8_t> data);

class Peer {
  public:
    enum class Kind { Tcp, Udp };
    Peer(Kind kind, std::string ip, Responder responder = {}, std::uint16_t port = 31298);
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    std::vector<Frame> frames() const;
    std::size_t connections() const;
    // Waits until at least n frames arrived; false on time-out.
    bool wait_frames(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    const std::string& ip() const { return ip_; }

  private:
    void run();

    Kind kind_;
    std::string ip_;
    Responder responder_;
    int listen_fd_ = -1;
    int wake_[2] = {-1, -1};
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    std::vector<Frame> frames_;
    std::size_t connections_ = 0;
    std::thread thread_;
};

}  // namespace peer
