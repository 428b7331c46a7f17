// The discovered cards: the card list (every id in the order of its first answer) and the card address
// table (the first 100 cards with their addresses, 40-byte entries of two NUL-padded 20-byte texts).
// Nothing is ever removed except by clear(). Pure data and rules; no I/O.
// Threading: not thread-safe; owned by the card link on the main thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cardlink {

inline constexpr std::size_t kMaxTableEntries = 100;
inline constexpr std::size_t kTableTextSize = 20;

struct CardEntry {
    std::string card_id;  // at most 20 bytes
    std::string address;  // at most 20 bytes
};

// An address already held by another card id.
struct DuplicateAddress {
    std::string known_id;
    std::string new_id;
    std::string address;
};

class CardTable {
  public:
    const std::vector<std::string>& list() const { return list_; }
    const std::vector<CardEntry>& entries() const { return entries_; }

    bool listed(std::string_view card_id) const;
    // Appends the id to the card list; returns its index.
    std::size_t append(std::string card_id);

    // Enters the card in the address table (while the list has at most 100 entries). Returns the
    // duplicate found when another id already holds the address; the new entry is appended either way,
    // unless the id is already in the table.
    std::optional<DuplicateAddress> record(std::string_view card_id, std::string_view address);

    // The address of `card_id` among the first 100 entries (first match), if any.
    std::optional<std::string> address_of(std::string_view card_id) const;

    void clear();

  private:
    std::vector<std::string> list_;
    std::vector<CardEntry> entries_;
};

// Texts are kept as a 20-byte field keeps them.
std::string field_text(std::string_view text);

}  // namespace cardlink
