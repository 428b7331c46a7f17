// Row-decode orders: the standard lists the wizard offers for a module's line group and scan, and the
// two numbers a card is sent for an order text.
//
// An order is a 14-character text of the digits "0".."d". A card takes it as two numbers: word A is the
// hexadecimal reading of its last 8 characters, word B that of its first 6. Each standard entry also
// carries a class 0..3 (decodeOrder) and the language key of its text in the list.
// Pure functions over constant tables; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace row_decode {

struct Entry {
    std::string_view order;  // 14 characters, or empty for "no entry"
    std::uint32_t order_class = 0;
    std::string_view key;  // language key of the entry's text; empty for "no entry"
};

// The default order a card starts from and the wizard sends before any choice.
inline constexpr std::string_view kDefaultOrder = "dcba9876543210";

// The standard list for (`line_group`, `scan_count`), in the order it is offered; empty for a pair
// that has none.
std::span<const Entry> standard_list(std::uint32_t line_group, std::uint32_t scan_count);

// Entry `index` of that list; the empty order with class 0 when the list has no such entry.
Entry entry_at(std::uint32_t line_group, std::uint32_t scan_count, std::size_t index);

// Up to 8 characters as a hexadecimal number, the rightmost the lowest digit; "0".."9", "a".."f" and
// "A".."F" are digits, any other character counts as 255 in its position. Longer texts: the first 8.
std::uint32_t hex_reading(std::string_view text);

struct Words {
    std::uint32_t a = 0;  // decodeWordA: the last 8 characters
    std::uint32_t b = 0;  // decodeWordB: the first 6 characters
    friend bool operator==(const Words&, const Words&) = default;
};

// The two numbers of an order text (both 0 for the empty text).
Words words_of(std::string_view order);

}  // namespace row_decode
