#include "cardlink/local_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace cardlink {

std::vector<LocalAddress> order_adapters_first(std::vector<LocalAddress> addresses) {
    std::stable_partition(addresses.begin(), addresses.end(),
                          [](const LocalAddress& a) { return !a.loopback; });
    return addresses;
}

std::vector<LocalAddress> enumerate_local_addresses() {
    std::vector<LocalAddress> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return out;
    for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
        if ((it->ifa_flags & IFF_UP) == 0) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* sin = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
        if (::inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text) == nullptr) continue;
        out.push_back(
            {text, it->ifa_name != nullptr ? it->ifa_name : "", (it->ifa_flags & IFF_LOOPBACK) != 0});
    }
    ::freeifaddrs(list);
    return order_adapters_first(std::move(out));
}

std::vector<std::string> GetLocalAddressList() {
    std::vector<std::string> out;
    for (auto& a : enumerate_local_addresses()) out.push_back(std::move(a.address));
    return out;
}

std::string GetLocalHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return std::string(kNotObtained) + std::to_string(errno);
    return name;
}

bool is_loopback_address(std::string_view address) {
    in_addr a{};
    const std::string text(address);
    if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    return (ntohl(a.s_addr) >> 24) == 127;
}

std::string GetLocalAddress(std::string_view host) {
    in_addr a{};
    const std::string text(host);
    if (!text.empty() && ::inet_pton(AF_INET, text.c_str(), &a) == 1) return text;
    if (!text.empty() && (text == GetLocalHostName() || text == "localhost")) {
        const auto list = GetLocalAddressList();
        if (!list.empty()) return list.front();
    }
    return std::string(kNotObtained);
}

BindChoice choose_bind_address(const std::vector<LocalAddress>& addresses, std::uint8_t net_card_index,
                               std::string_view discovery_address) {
    BindChoice c;
    if (is_loopback_address(discovery_address)) {
        // Loopback discovery never leaves the machine; the answers come back over loopback, so the
        // socket must live there too.
        c.address = "127.0.0.1";
        c.interface = "lo";
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            if (addresses[i].loopback) {
                c.address = addresses[i].address;
                c.interface = addresses[i].interface;
                c.index = static_cast<int>(i);
                break;
            }
        }
        c.note = "loopback discovery address " + std::string(discovery_address) + ": bound to " + c.address;
        return c;
    }
    std::vector<LocalAddress> adapters;
    for (const auto& a : addresses)
        if (!a.loopback) adapters.push_back(a);
    if (adapters.empty()) {
        c.note = "no network adapter: bound to any address";
        return c;
    }
    std::size_t index = 0;
    if (adapters.size() >= 2) {
        if (net_card_index < adapters.size()) {
            index = net_card_index;
        } else {
            c.fell_back = true;
        }
    }
    c.index = static_cast<int>(index);
    c.address = adapters[index].address;
    c.interface = adapters[index].interface;
    if (c.fell_back) {
        c.note = "net_card_index " + std::to_string(net_card_index) + " is beyond the " +
                 std::to_string(adapters.size()) + " network adapters: bound to the first, " + c.address;
    } else {
        c.note = "bound to " + c.address + " (" + c.interface + ", address " + std::to_string(index) + ")";
    }
    return c;
}

}  // namespace cardlink
