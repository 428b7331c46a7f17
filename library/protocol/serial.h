// Serial transport over termios: the port a serial job sends on, its line settings, and the serial
// job worker.
//
// Port names: "COM"+n maps to /dev/ttyS(n-1); the environment variable KELVRA_COM<n> (for example
// KELVRA_COM1=/dev/pts/7) names another device for port n, so a pseudo-terminal can stand in.
//
// Line settings text "baud,parity,data,stop": parity N (or 0), O, E, M or S (mark and space through
// CMSPAR); data bits 5 to 8; stop bits 0 (one), 1 (one and a half, which termios lacks: two are used)
// or 2 (two). The baud rate must be one termios names (50 ... 115200).
// Time-outs: a read waits at most 3000 ms for the first byte (the inter-character time-out) and then
// takes what is waiting; a write waits at most 5000 ms for the port to accept data. termios has no
// queue sizes; the 8192-byte queues are the driver's own.
//
// Threading: a SerialPort belongs to one thread at a time.
#pragma once

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "library/protocol/transport.h"

namespace kelvra {

inline constexpr int kMaxSerialPort = 1024;
inline constexpr std::chrono::milliseconds kSerialReadTimeout{3000};
inline constexpr std::chrono::milliseconds kSerialWriteTimeout{5000};
inline constexpr std::size_t kSerialReadBuffer = 9000;

struct LineSettings {
    speed_t speed = B9600;
    char parity = 'N';  // N, O, E, M, S
    int data_bits = 8;
    int stop_bits = 1;  // 1 or 2 on the line
};

// Parses "9600,0,8,0" and the forms SetComParam writes ("%d,N,%d,%d"); none when invalid.
std::optional<LineSettings> parse_line_settings(std::string_view text);

// Device for port n (1..1024), honouring KELVRA_COM<n>; empty outside the range.
std::string serial_device_path(int port);

class SerialPort {
  public:
    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort();

    // Opens port n exclusively with the given settings; false (and closed) when any step fails.
    bool open(int port, std::string_view settings);
    void close();
    bool is_open() const { return fd_ >= 0; }
    // Bytes written (may be short), or -1 on failure.
    long write(const std::uint8_t* data, std::size_t size);
    // Reads at most size - 1 bytes that are waiting (after waiting up to the read time-out for the
    // first) and puts a NUL behind them; returns the count, 0 when nothing came or on error.
    std::size_t read(std::uint8_t* buf, std::size_t size);

  private:
    int fd_ = -1;
};

// Sends a block in 2000-byte pieces without pauses: 0, or 1 after reporting 201, 202 or 203.
int CommSendStreamPacket(SerialPort& port, const CommandBlock& block);

// Runs a serial job to its end: 0, 1 when the port cannot be opened, or CommSendStreamPacket's result.
int CommJobWorker(std::unique_ptr<SendJob> job);

}  // namespace kelvra
