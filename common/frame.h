// StreamPacket: the framed unit of every exchange with a control card.
//
//   offset  size  field
//   0       3     lead-in 0x7E 0x7E 0x7E
//   3       1     command
//   4       16    card id, NUL-padded (Vantor reads bytes 4..23 as one 20-byte id field)
//   20      4     parameter (u32 LE)
//   24      4     length n (u32 LE)
//   28      n     data
//   28+n    1     check byte over bytes 3 .. 27+n
//
// Wire forms: stream (n + 32 bytes: packet and three zero bytes), fixed (a zero-filled 2080-byte block)
// and exact (n + 29 bytes). Pure functions over bytes; no I/O here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"

namespace frame {

inline constexpr std::size_t kHeaderSize = 28;
inline constexpr std::size_t kIdOffset = 4;
inline constexpr std::size_t kIdFieldSize = 16;      // what the card id occupies in a frame
inline constexpr std::size_t kWideIdFieldSize = 20;  // bytes 4..23 as Vantor reads them
inline constexpr std::size_t kParameterOffset = 20;
inline constexpr std::size_t kLengthOffset = 24;
inline constexpr std::size_t kDataOffset = 28;
inline constexpr std::size_t kFixedBlockSize = 2080;
inline constexpr std::size_t kMaxFixedData = 2048;  // more than this yields an all-zero block
inline constexpr std::size_t kStreamTrailer = 3;    // zero bytes after a stream-form packet

inline constexpr std::uint16_t kDiscoveryPort = 31296;
inline constexpr std::uint16_t kCommandPort = 31298;

inline constexpr std::string_view kBroadcastId = "Broadcast!";

// Command and answer codes. An answer carries its command's code plus 0x40.
enum Command : std::uint8_t {
    CMD_FILE_HEADER = 0x01,
    CMD_FILE_DATA = 0x02,
    CMD_SAVE_VALUE = 0x40,
    CMD_RESTORE_IP = 0x43,
    CMD_UPGRADE_BEGIN = 0x81,
    CMD_GET_CARD_INFO = 0x82,
    CMD_SET_CLOCK = 0x83,
    CMD_SCREEN_CONTROL = 0x84,
    CMD_SAVE_SETTINGS = 0x8A,
    CMD_RESET_CARD = 0x8B,
    CMD_SET_IO = 0x8D,
    CMD_GET_IO = 0x8E,
    CMD_DISCOVER = 0x90,
    CMD_WINDOW = 0x91,
    CMD_GLINT_WINDOW = 0x92,
    CMD_UPGRADE_START = 0x93,
    CMD_UPGRADE_END = 0x94,
    CMD_EXIT_STUNT = 0x95,
    CMD_SELECT_PROGRAM = 0x97,
    CMD_GET_CARD_MORE_INFO = 0x9A,
};

enum Answer : std::uint8_t {
    ANS_FILE_HEADER = 0x41,
    ANS_FILE_DATA = 0x42,
    ANS_STATUS_SAVE_VALUE = 0x80,
    ANS_UPGRADE_BEGIN = 0xC1,
    ANS_CARD_INFO = 0xC2,
    ANS_SCREEN_CONTROL = 0xC4,
    ANS_SAVE_SETTINGS = 0xCA,
    ANS_GET_IO = 0xCE,
    ANS_DISCOVER = 0xD0,
    ANS_WINDOW = 0xD1,
    ANS_UPGRADE_START = 0xD3,
    ANS_CARD_MORE_INFO = 0xDA,
};

enum class CheckForm { PlainSum, Complement };

// The little-endian helpers of the byte formats built on frames.
using bytes::get_u32le;
using bytes::put_u32le;

// Plain sum for ids beginning with p, s or x (any case); the complement for every other id.
CheckForm check_form_for_id(std::string_view card_id);

// Sum modulo 256 of bytes [3, 28 + n) of a packet; `packet` must hold at least 28 + n bytes.
std::uint8_t check_byte(std::span<const std::uint8_t> packet, std::size_t n, CheckForm form);

struct Packet {
    std::uint8_t command = 0;
    std::string card_id;  // at most 16 bytes reach the wire (20 with `wide_id`)
    std::uint32_t parameter = 0;
    std::vector<std::uint8_t> data;
    // Vantor's form: the id fills bytes 4..23 as one 20-byte NUL-padded field, over the parameter
    // (Vantor's parameter is always 0), so an id of 17 to 20 characters leaves whole, as Vantor reads it.
    bool wide_id = false;
};

// Stream form: n + 32 bytes. Any length is allowed (callers split at 2000).
std::vector<std::uint8_t> encode_stream(const Packet& p, CheckForm form = CheckForm::PlainSum);
// Fixed form: 2080 bytes; all zero when the data exceeds 2048 bytes.
std::vector<std::uint8_t> encode_fixed(const Packet& p, CheckForm form = CheckForm::PlainSum);
// Exact form: n + 29 bytes (taken from the fixed block; all-zero 2080 bytes when the data exceeds 2048).
std::vector<std::uint8_t> encode_exact(const Packet& p, CheckForm form = CheckForm::PlainSum);

// A received frame as the card link reads it. Never reads outside `bytes`.
struct Received {
    std::uint8_t command = 0;
    std::string card_id;  // text of the 20-byte field (up to its first NUL)
    std::uint32_t parameter = 0;
    std::uint32_t length = 0;            // as the length field says
    std::span<const std::uint8_t> data;  // the data bytes actually present (at most `length`)
    bool lead_in_ok = false;             // begins with three 0x7E bytes
};

// Returns nothing when fewer than 28 bytes are present.
std::optional<Received> decode(std::span<const std::uint8_t> bytes);

// True when the frame is complete (28 + n + 1 bytes present) and its check byte matches `form`.
bool verify_check_byte(std::span<const std::uint8_t> bytes, CheckForm form);

// The frame at the start of `bytes` when it is well formed: the lead-in, all 28 + n + 1 bytes present,
// and a check byte that is the plain sum or, for an id of the complement family (check_form_for_id of
// the 16-byte id field), the complement. None for anything else.
std::optional<Received> decode_checked(std::span<const std::uint8_t> bytes);

}  // namespace frame
