// The inventory of a fleet of cards: a UDP search at a discovery address, then each card's information
// block read over TCP, many cards at once with a bounded number of connections.
//
// The search sends the discovery pair (command 0x90, plain-sum then complemented check byte) from a
// socket of its own on a free port and collects the 0xD0 answers for the given time; it repeats the pair
// at a third and two thirds of that time, so that a card whose answer was lost (a full receive buffer
// when hundreds answer at once) is heard from the next. Cards answer to the sender's port, so this
// runs beside the desktop program's endpoint. The information request is command 0x82 on the card's
// command port, answered by 0xC2 with the 1088-byte block (common/card_info.h).
//
// Threading: discover() blocks its caller for the search time; read_cards() runs `parallel` worker
// threads and returns when every card is read or has failed (each step bounded); it reports through
// the callback, which it calls under its own lock, one call at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/card_info.h"
#include "platform/tcp_stream.h"

namespace fleet {

struct FoundCard {
    std::string id;       // as the card sent it
    std::string address;  // where its answer came from
};

struct Discovery {
    bool socket_opened = false;
    std::vector<FoundCard> cards;  // in the order they first answered, each once
};

Discovery discover(const std::string& address, std::chrono::milliseconds time);

enum class ReadStatus {
    Read,          // the information block came back
    NoConnection,  // the card's command port could not be reached
    NoAnswer,      // connected, but no whole 0xC2 answer came within the time-out
    OtherCard,     // a whole answer, but from another card at this address (`info` is its block)
};

struct CardReading {
    FoundCard card;
    ReadStatus status = ReadStatus::NoConnection;
    card_info::CardInfo info;                                 // when Read
    std::array<std::uint8_t, card_info::kBlockSize> block{};  // when Read: the block as received
};

struct ReadSettings {
    std::size_t parallel = 16;  // connections open at once
    platform::TcpTimeouts timeouts{std::chrono::milliseconds(3000), std::chrono::milliseconds(3000)};
    std::chrono::milliseconds answer{3000};
};

CardReading read_card(const FoundCard& card, const ReadSettings& settings = {});

// Readings in the order of `cards`. `done`, when given, hears each reading as it completes.
std::vector<CardReading> read_cards(const std::vector<FoundCard>& cards, const ReadSettings& settings = {},
                                    const std::function<void(const CardReading&)>& done = {});

// What a plan records to tell later whether a card's settings changed: SHA-256 of the block's settings
// and display parameters (bytes 20..643: addresses, screen size, brightness, gray, scan clock,
// polarities, gamma, the module parameters). Left out: the clock values, programme and I/O lines, which
// change in use, and the version words, which a plan records as they are.
std::string settings_digest(const std::array<std::uint8_t, card_info::kBlockSize>& block);

// "V9.120": the word's upper and lower 16 bits in hexadecimal.
std::string version_text(std::uint32_t word);
// The word of "V9.120" (also without the V); nothing for anything else.
std::optional<std::uint32_t> parse_version(const std::string& text);

// The module parameters a card last received (information block bytes 592..643, the ".hcp" record's
// bytes 8..59), one named field each in record order.
struct ModuleField {
    const char* name;
    std::uint32_t value;
};
std::vector<ModuleField> module_fields(const card_info::CardInfo& info);
// "scan 8, hub 1, decode 0, ..." in one line, for tables.
std::string module_summary(const card_info::CardInfo& info);

}  // namespace fleet
