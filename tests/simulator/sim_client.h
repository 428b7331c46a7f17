// Program-side sockets for the simulator tests: what Vantor and Kelvra do on the wire, kept small.
//
// Threading: each object belongs to one thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "common/frame.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// Vantor's form: exact, check byte by the id's family. Kelvra's: stream, plain sum.
Bytes vantor_frame(std::uint8_t command, const std::string& id, Bytes data);
Bytes kelvra_frame(std::uint8_t command, const std::string& id, Bytes data);
// The 32-byte data field holding "255.0.0.0" of Vantor's discovery and information requests.
Bytes mask_text_field();
// A block of little-endian words, zero after the given ones (408 bytes: a screen-control block).
Bytes words(std::initializer_list<std::uint32_t> w, std::size_t size = 408);
// A 212-byte FileHeaderRecord.
Bytes file_header_record(std::uint32_t type, std::uint32_t size, const std::string& folder,
                         const std::string& name);
// The text of an answer's data, up to its NUL.
std::string answer_text(const Bytes& answer);

struct Datagram {
    Bytes bytes;
    std::string from;  // sender address
    std::uint16_t port = 0;
};

class UdpClient {
  public:
    explicit UdpClient(const std::string& bind_address = "127.0.0.1");
    ~UdpClient();
    UdpClient(const UdpClient&) = delete;
    UdpClient& operator=(const UdpClient&) = delete;
    bool send_to(const std::string& address, std::uint16_t port, const Bytes& bytes);
    std::optional<Datagram> receive(std::chrono::milliseconds timeout);
    // Every datagram until `timeout` passes with none arriving.
    std::vector<Datagram> drain(std::chrono::milliseconds quiet);

  private:
    int fd_ = -1;
};

class TcpClient {
  public:
    TcpClient(const std::string& address, std::uint16_t port = frame::kCommandPort);
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;
    bool connected() const { return fd_ >= 0; }
    bool send(const Bytes& bytes);
    // True once every byte sent so far has reached the peer's side (acknowledged) within `timeout`.
    bool wait_delivered(std::chrono::milliseconds timeout);
    // Bytes that arrive within `timeout` until a whole frame (29 + n) is there or the peer closes.
    std::optional<Bytes> receive_frame(std::chrono::milliseconds timeout);
    // True when the peer closed (or reset) the connection within `timeout`.
    bool closed_by_peer(std::chrono::milliseconds timeout);

  private:
    int fd_ = -1;
    Bytes pending_;
};

}  // namespace simtest
