// Private network namespaces for tests. Anything that binds the card ports or broadcasts runs in a
// namespace of its own with only loopback in it, so that nothing a test sends (a broadcast to
// 255.255.255.255 above all) can reach a real interface. Without the privilege to make one (not root,
// or VANTOR_NO_NETNS set) the tests that need it skip.
#pragma once

#include <gtest/gtest.h>

namespace support {

// Moves the calling thread (and so the process, when called before any other thread starts) into a
// new network namespace and brings its loopback up. True when the namespace now holds loopback only.
bool enter_private_network();

// True only when loopback is the one interface there is: nothing sent can leave the machine.
bool in_private_network();

// For broadcast tests: also routes everything over loopback, so a limited broadcast can be sent at all
// (a namespace with no default route refuses one). False, changing nothing, outside a private namespace.
bool private_broadcast_ready();

// A gtest environment that enters a private namespace before the first test, so worker threads started
// later inherit it. entered() says whether that worked.
class PrivateNetworkEnvironment : public ::testing::Environment {
  public:
    void SetUp() override;
    static bool entered() { return entered_; }

  private:
    static inline bool entered_ = false;
};

}  // namespace support

#define REQUIRE_PRIVATE_NETNS()                                                                       \
    do {                                                                                              \
        if (!support::private_broadcast_ready()) GTEST_SKIP() << "needs a private network namespace"; \
    } while (0)
