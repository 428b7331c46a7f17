#include "tests/support/netns.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace support {
namespace {

bool bring_loopback_up() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    ::close(fd);
    return up;
}

}  // namespace

bool in_private_network() {
    struct if_nameindex* names = if_nameindex();
    if (names == nullptr) return false;
    bool only_lo = true;
    int count = 0;
    for (struct if_nameindex* n = names; n->if_index != 0; ++n, ++count)
        only_lo = only_lo && std::strcmp(n->if_name, "lo") == 0;
    if_freenameindex(names);
    return only_lo && count == 1;
}

bool enter_private_network() {
    if (std::getenv("VANTOR_NO_NETNS") != nullptr) return false;
    if (::unshare(CLONE_NEWNET) != 0) return false;  // nothing below runs outside the new namespace
    return bring_loopback_up() && in_private_network();
}

bool private_broadcast_ready() {
    if (std::getenv("VANTOR_NO_NETNS") != nullptr || !in_private_network()) return false;
    return std::system("ip link set lo up && ip route replace default dev lo") == 0;
}

void PrivateNetworkEnvironment::SetUp() {
    entered_ = enter_private_network();
    if (!entered_) std::fprintf(stderr, "no private network namespace: tests that need one skip\n");
}

}  // namespace support
