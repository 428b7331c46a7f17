// The search for cards that `discover` and `profile apply --all` run: a discovery broadcast (or a
// datagram to one address) and, for each card that answers, its information block.
// Threading: the main thread; runs the Qt event loop for the waiting time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/card_info.h"

namespace cli {

struct FoundCard {
    std::string id;  // as the card sent it
    std::string address;
    std::optional<card_info::CardInfo> info;
};

struct SearchResult {
    bool socket_opened = false;
    std::vector<FoundCard> cards;  // in the order they answered
};

SearchResult search_cards(const std::string& address, std::uint32_t timeout_ms);

}  // namespace cli
