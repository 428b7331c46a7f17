// Broadcast tests run only inside a fresh private network namespace (as scripts/in-netns.sh makes
// one): a broadcast to 255.255.255.255 must never reach a real interface.
#pragma once

#include <gtest/gtest.h>
#include <net/if.h>

#include <cstdlib>
#include <cstring>

namespace netns {

// True only when loopback is the one interface there is: then nothing sent can leave the machine, and
// a default route over loopback (which lets a limited broadcast go out at all) changes nothing else.
inline bool private_namespace_ready() {
    if (std::getenv("VANTOR_NO_NETNS") != nullptr) return false;
    struct if_nameindex* names = if_nameindex();
    if (names == nullptr) return false;
    bool only_lo = true;
    int count = 0;
    for (struct if_nameindex* n = names; n->if_index != 0; ++n, ++count) {
        if (std::strcmp(n->if_name, "lo") != 0) only_lo = false;
    }
    if_freenameindex(names);
    if (!only_lo || count != 1) return false;
    return std::system("ip link set lo up && ip route replace default dev lo") == 0;
}

}  // namespace netns

#define REQUIRE_PRIVATE_NETNS()                                                                     \
    do {                                                                                            \
        if (!netns::private_namespace_ready()) GTEST_SKIP() << "needs a private network namespace"; \
    } while (0)
