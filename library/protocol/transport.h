// Kelvra's send machinery: card addresses, command blocks, send jobs and the one send entry
// (`SendCommand`) that every command export ends in, with the socket transports behind it.
//
//   iProtoType   transport                                   where the job runs
//   1 / 101      TCP to the card's IP, port 31298            new worker thread / caller's thread
//   2 / 102      UDP connected to the card's IP, port 31298  new worker thread / caller's thread
//   3 / 103      UDP broadcast to 255.255.255.255:31296      new worker thread / caller's thread
//   4, 5         serial port (one card, broadcast)           new worker thread
//   104, 105     accepted, nothing is run
//
// Bounds the socket transports add, all taken from timeouts() (timeouts.h): a TCP connect gives up
// after `connect`; a TCP send to a card that stops acknowledging fails after `send`
// (TCP_USER_TIMEOUT); the answer of 0x81 and 0x8E is awaited for `answer` in total, however slowly
// its bytes arrive; discovery collects answers until none came for `discovery_silence`, and for
// `discovery_total` at most.
//
// Threading: `SendCommand` may be called from any thread. Asynchronous jobs run on detached worker
// threads and share only the library-wide state (library_state.h), which is locked.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/frame.h"
#include "kelvra/kelvra.h"
#include "library/protocol/gate.h"
#include "library/protocol/proto_type.h"

namespace kelvra {

// Results of the send machinery (their numbers are the public names').
enum SendResult : int {
    kOk = KELVRA_OK,
    kBadProtoType = KELVRA_BAD_PROTO_TYPE,
    kNoMainBlock = KELVRA_NO_COMMAND,
    kOutOfMemory = KELVRA_OUT_OF_MEMORY,
    kNoSocket = KELVRA_NO_CONNECTION,
    kNoJob = KELVRA_NO_JOB,
};

// Status callback codes.
enum StatusCode : std::uint32_t {
    kStatusMakePacketFailed = KELVRA_STATUS_PACKET_NOT_BUILT,
    kStatusInvalidParam = KELVRA_STATUS_NO_JOB_SOCKET,
    kStatusTcpSendFailed = KELVRA_STATUS_TCP_SEND_FAILED,
    kStatusUdpSendFailed = KELVRA_STATUS_UDP_SEND_FAILED,
    kStatusBroadcastSendFailed = KELVRA_STATUS_BROADCAST_SEND_FAILED,
    kStatusBindBroadcastFailed = KELVRA_STATUS_BROADCAST_BIND_FAILED,
    kStatusReceiveFailed = KELVRA_STATUS_RECEIVE_FAILED,
    kStatusNoSocket = KELVRA_STATUS_NO_SOCKET,
    kStatusBadProtoType = KELVRA_STATUS_BAD_PROTO_TYPE,
    kStatusSetBroadcastFailed = KELVRA_STATUS_SET_BROADCAST_FAILED,
    kStatusSerialMakePacketFailed = KELVRA_STATUS_SERIAL_PACKET_NOT_BUILT,
    kStatusSerialWriteFailed = KELVRA_STATUS_SERIAL_WRITE_FAILED,
    kStatusSerialShortWrite = KELVRA_STATUS_SERIAL_SHORT_WRITE,
    kStatusFileSent = KELVRA_STATUS_FILE_SENT,
    kStatusWindowSent = KELVRA_STATUS_WINDOW_SENT,
};

inline constexpr std::size_t kPieceSize = 2000;
inline constexpr std::chrono::milliseconds kPiecePause{10};
inline constexpr std::size_t kDiscoveryDatagramSize = 4096;
inline constexpr std::size_t kMinDiscoveryAnswer = 10;
inline constexpr const char* kBroadcastAddressText = "255.255.0.0";  // carried, never used for sending

// How a caller names a card: its transport and its IP address text (at most 19 characters kept).
// What a transport means to the send machinery, which asks route_of() instead of comparing transports.
enum class Link { Tcp, Udp, Broadcast, Serial, SerialBroadcast };
struct Route {
    Link link;
    bool in_caller_thread;  // 101..103: the job runs in the caller's thread
    bool runs;              // 104 and 105 are accepted but run nothing
};
// Empty for a number no transport has (the callers' 31).
std::optional<Route> route_of(ProtoType proto_type);
// The same link run in the caller's thread (1..5 become 101..105; others are left as they are).
ProtoType in_caller_thread(ProtoType proto_type);

struct CardAddress {
    ProtoType proto_type{};
    std::string ip;

    static CardAddress make(ProtoType proto_type, std::string_view ip);
};

// One command: code, card id (at most 18 characters kept; the first 16 reach the packet), parameter
// and the data it owns.
struct CommandBlock {
    std::uint8_t command = 0;
    std::string card_id;
    std::uint32_t parameter = 0;
    std::vector<std::uint8_t> data;

    static CommandBlock make(std::uint8_t command, std::string_view card_id, std::uint32_t parameter,
                             std::vector<std::uint8_t> data = {});
};

// A job owns its copies of the address and the blocks; the gate is shared and outlives it.
struct SendJob {
    CardAddress address;
    TransferGate* gate = nullptr;
    CommandBlock main;
    std::optional<CommandBlock> leading;
    std::optional<CommandBlock> trailing;
    // Pause between the main block and the trailing one (a flashing window's block follows its picture
    // after 400 ms, on the same connection, so it never overtakes the picture).
    std::chrono::milliseconds trailing_pause{0};
    bool holds_gate = false;       // the job took the gate's semaphore and has not released it yet
    bool broadcast_bound = false;  // the broadcast socket is bound (once per job, not per block)
    // Where the answer of 0x81 / 0x8E goes: the caller's own buffer when set (SendCommandForAnswer),
    // else the library-wide answer buffer.
    std::vector<std::uint8_t>* answer_out = nullptr;
    // A discovery sent elsewhere than 255.255.255.255, and collecting answers for a set time instead
    // of until they fall silent (KelvraDiscover).
    std::optional<in_addr> discovery_to;
    std::optional<std::chrono::milliseconds> discovery_time;
};

// The single send entry. For iProtoType 3 and 5 the caller's blocks get the id "Broadcast!" first.
// Returns 0 (job started, or synchronous job done), 31, 32, 34, or a synchronous job's own result.
// An asynchronous job that carries a gate counts on it (TransferGate::jobs) from here until it ends.
int SendCommand(const CardAddress& address, TransferGate* gate, CommandBlock* main,
                CommandBlock* leading = nullptr, CommandBlock* trailing = nullptr,
                std::chrono::milliseconds trailing_pause = {});

// As SendCommand for one block, with the bytes of the card's answer (to 0x81 or 0x8E) handed back in
// `answer` instead of the library-wide answer buffer, so that concurrent callers never read each
// other's answers. 101 to 103 run in the caller's thread; other types behave as in SendCommand and
// leave `answer` empty.
int SendCommandForAnswer(const CardAddress& address, CommandBlock* main, std::vector<std::uint8_t>& answer);

// The answer `code` from the card `card_id` in `bytes`: a well-formed frame with a right check byte
// (frame::decode_checked) of that code whose 16-byte id field equals the first 16 characters of
// `card_id` (an empty `card_id` matches any card). None for anything else: the caller's "no answer".
std::optional<frame::Received> checked_answer(std::span<const std::uint8_t> bytes, std::uint8_t code,
                                              std::string_view card_id);

// Runs a socket job to its end: 0, 60 (no socket), 61 (no job) or a SendStreamPacket result.
int SendJobWorker(std::unique_ptr<SendJob> job);

// An open socket descriptor that closes itself.
class Socket {
  public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    Socket(Socket&& o) noexcept : fd_(o.release()) {}
    Socket& operator=(Socket&& o) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket();
    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void close();

  private:
    int fd_ = -1;
};

// Opens a TCP socket to `ip`:`port` with a bounded connect; invalid when the connect fails.
Socket connect_tcp(std::string_view ip, std::uint16_t port, std::chrono::milliseconds timeout);

// The socket a job sends on (iProtoType 1-3, 101-103); invalid (after the status report) otherwise.
Socket GetSocket(const CardAddress& address);

// Sends one block in 2000-byte pieces, 10 ms apart: 0, 46, 47, 51, 52, 53 or 54.
int SendStreamPacket(Socket& socket, SendJob& job, const CardAddress& address, const CommandBlock& block);

// Waits for one answer, `timeout` in total whatever arrives: a datagram, or on a stream the bytes up
// to the end of the frame its header announces (at most kAnswerBufferSize bytes), what arrived by the
// deadline or before the card closed. The bytes as received go to `own` when given, else to the
// library-wide answer buffer. 0, or 1 (status 61) when nothing arrived.
int SocketReceiveData(const Socket& socket, std::chrono::milliseconds timeout,
                      std::vector<std::uint8_t>* own = nullptr);

// Reads an answer's bytes from `fd` until `deadline` (see SocketReceiveData), at most `cap` bytes.
std::vector<std::uint8_t> read_answer(int fd, std::size_t cap,
                                      std::chrono::steady_clock::time_point deadline);

// Discovery receive loop on the broadcast socket: fills the card table from the well-formed 0xD0
// answers (timeouts(): discovery_silence, discovery_total). A datagram shorter than 10 bytes ends it;
// other datagrams are not listed. It does not end the discovery: its job does (one discovery, one end).
// With `collect_for`, answers are collected for that long, silence or not.
void DiscoveryReceiveLoop(const Socket& socket, std::optional<std::chrono::milliseconds> collect_for = {});
// The card id a discovery datagram lists (at most 19 characters): a well-formed 0xD0 frame with a right
// check byte. None for anything else. Pure; any bytes.
std::optional<std::string> discovered_card_id(std::span<const std::uint8_t> datagram);

// Stream form of one piece: the packet (plain check sum) followed by three zero bytes, length + 32
// bytes. None when a length is given without data.
std::optional<std::vector<std::uint8_t>> MakeStreamPacketForSend(std::uint8_t command,
                                                                 std::string_view card_id,
                                                                 std::uint32_t parameter,
                                                                 const std::uint8_t* data,
                                                                 std::size_t length);

// Text of a NUL-terminated field: up to the first NUL, at most `size` bytes.
std::string field_string(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t size);

}  // namespace kelvra
