#include "cardlink/card_table.h"

#include <algorithm>

namespace cardlink {

std::string field_text(std::string_view text) {
    text = text.substr(0, std::min(text.find('\0'), kTableTextSize));
    return std::string(text);
}

bool CardTable::listed(std::string_view card_id) const {
    return std::find(list_.begin(), list_.end(), card_id) != list_.end();
}

std::size_t CardTable::append(std::string card_id) {
    list_.push_back(std::move(card_id));
    return list_.size() - 1;
}

std::optional<DuplicateAddress> CardTable::record(std::string_view card_id, std::string_view address) {
    if (list_.size() > kMaxTableEntries || entries_.size() >= kMaxTableEntries) return std::nullopt;
    const std::string id = field_text(card_id);
    const std::string addr = field_text(address);
    std::optional<DuplicateAddress> duplicate;
    const std::size_t look = std::min({entries_.size(), list_.size(), kMaxTableEntries});
    for (std::size_t i = 0; i < look; ++i) {
        if (entries_[i].card_id == id) return std::nullopt;  // known card
        if (!duplicate && entries_[i].address == addr)
            duplicate = DuplicateAddress{entries_[i].card_id, id, addr};
    }
    entries_.push_back({id, addr});
    return duplicate;
}

std::optional<std::string> CardTable::address_of(std::string_view card_id) const {
    const std::string id = field_text(card_id);
    const std::size_t look = std::min(entries_.size(), kMaxTableEntries);
    for (std::size_t i = 0; i < look; ++i) {
        if (entries_[i].card_id == id) return entries_[i].address;
    }
    return std::nullopt;
}

void CardTable::clear() {
    list_.clear();
    entries_.clear();
}

}  // namespace cardlink
