// The machine's own IPv4 addresses and the choice of the address the card link binds to.
//
// Host-name resolution on Linux often yields only a loopback address (and may ask a DNS server), so the
// list comes from the interfaces themselves: addresses of interfaces that are up, real adapters first
// (in the kernel's order), loopback last. Nothing here sends anything.
// Threading: pure functions and read-only system queries; safe on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cardlink {

struct LocalAddress {
    std::string address;    // dotted decimal
    std::string interface;  // e.g. "eth0", "lo"
    bool loopback = false;
};

// Addresses of the interfaces that are up, real adapters first, loopback last.
std::vector<LocalAddress> enumerate_local_addresses();

// Stable reorder: real adapters first, loopback last (what enumerate_local_addresses returns).
std::vector<LocalAddress> order_adapters_first(std::vector<LocalAddress> addresses);

// The address texts of enumerate_local_addresses.
std::vector<std::string> GetLocalAddressList();

// The host name, or "没有取得" followed by the error number when it cannot be read.
std::string GetLocalHostName();

// The first address of `host`: a numeric address is itself; this machine's own host name (or
// "localhost") gives the first local address; anything else gives "没有取得" (no name service is
// asked: a look-up must never send traffic off the machine).
std::string GetLocalAddress(std::string_view host);

inline constexpr std::string_view kNotObtained = "没有取得";

struct BindChoice {
    std::string address;     // empty: bind to any address
    std::string interface;   // the adapter the socket is tied to (SO_BINDTODEVICE); empty: none
    int index = -1;          // index among the adapters (loopback: in the whole list); -1: any address
    bool fell_back = false;  // net_card_index was beyond the list and the first address was taken
    std::string note;        // why this address, for the log
};

// The choice is among the network adapters only: loopback addresses are never one (no card is ever
// found there). With two or more adapters: the one at `net_card_index` (beyond the list: the first,
// noted); with one: that one; with none: any address. A discovery address in 127/8 keeps the link on the
// loopback adapter (the loopback demo), whatever the index says.
BindChoice choose_bind_address(const std::vector<LocalAddress>& addresses, std::uint8_t net_card_index,
                               std::string_view discovery_address);

// True for a dotted-decimal IPv4 text in 127.0.0.0/8.
bool is_loopback_address(std::string_view address);

}  // namespace cardlink
