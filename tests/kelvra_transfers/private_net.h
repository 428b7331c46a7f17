// Moves the test process into a network namespace of its own before the first test runs, with only
// its loopback interface, brought up here. Worker threads started later inherit it, so nothing the
// tests send can reach a real interface. Without the privilege for that (not root) the process stays
// where it is; the tests use loopback addresses only (127.43.0.x), which never leave the machine.
#pragma once

#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace private_net {

// True when the process now runs in a namespace it created, with loopback up and nothing else.
inline bool enter() {
    if (::unshare(CLONE_NEWNET) != 0) return false;  // nothing below runs outside the new namespace
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    ::close(fd);
    struct if_nameindex* names = if_nameindex();
    int count = 0;
    bool only_lo = names != nullptr;
    for (struct if_nameindex* n = names; n != nullptr && n->if_index != 0; ++n, ++count)
        only_lo = only_lo && std::strcmp(n->if_name, "lo") == 0;
    if (names != nullptr) if_freenameindex(names);
    return up && only_lo && count == 1;
}

class Environment : public ::testing::Environment {
  public:
    void SetUp() override {
        entered_ = enter();
        if (!entered_) std::fprintf(stderr, "no private network namespace: running on host loopback\n");
    }
    static bool entered() { return entered_; }

  private:
    static inline bool entered_ = false;
};

}  // namespace private_net
