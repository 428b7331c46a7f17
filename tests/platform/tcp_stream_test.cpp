#include "platform/tcp_stream.h"
#include "tests/support/listener.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = platform::TcpStream::Clock;

// A listening socket on 127.0.0.1 with a port of the kernel's choosing.
class Listener {
  public:
    Listener() {
        fd_ = support::listen_tcp("127.0.0.1", 0, 4);
        if (fd_ < 0) ADD_FAILURE() << "no listening socket";
        port_ = support::local_port(fd_);
    }
    ~Listener() {
        if (peer_ >= 0) ::close(peer_);
        ::close(fd_);
    }
    std::uint16_t port() const { return port_; }
    int accept() { return peer_ = ::accept(fd_, nullptr, nullptr); }
    void close_listener() { ::close(std::exchange(fd_, -1)); }

  private:
    int fd_ = -1;
    int peer_ = -1;
    std::uint16_t port_ = 0;
};

TEST(TcpStream, OpenFailsOnBadAddressesAndRefusals) {
    platform::TcpStream s;
    EXPECT_FALSE(s.open("not an address", 31298));
    EXPECT_FALSE(s.open("127.0.0.300", 31298));
    Listener gone;
    const auto port = gone.port();
    gone.close_listener();
    EXPECT_FALSE(s.open("127.0.0.1", port));  // nobody listens: refused at once
    EXPECT_FALSE(s.is_open());
    EXPECT_FALSE(s.send_all(std::vector<std::uint8_t>{1}));
    std::uint8_t buffer[4];
    EXPECT_EQ(s.receive_some(buffer, Clock::now() + 10ms), -1);
}

TEST(TcpStream, SendsEverythingAndReceivesUntilTheDeadline) {
    Listener listener;
    platform::TcpStream s;
    ASSERT_TRUE(s.open("127.0.0.1", listener.port()));
    const int peer = listener.accept();
    ASSERT_GE(peer, 0);

    std::vector<std::uint8_t> big(3'000'000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
    std::vector<std::uint8_t> got;
    std::thread reader([&] {
        std::vector<std::uint8_t> chunk(65536);
        while (got.size() < big.size()) {
            const ssize_t n = ::recv(peer, chunk.data(), chunk.size(), 0);
            if (n <= 0) break;
            got.insert(got.end(), chunk.begin(), chunk.begin() + n);
        }
    });
    EXPECT_TRUE(s.send_all(big));
    reader.join();
    EXPECT_EQ(got, big);

    // Nothing to read: -1 once the deadline passes, not before.
    std::uint8_t buffer[16];
    const auto start = Clock::now();
    EXPECT_EQ(s.receive_some(buffer, start + 50ms), -1);
    EXPECT_GE(Clock::now() - start, 50ms);

    ASSERT_EQ(::send(peer, "abc", 3, 0), 3);
    EXPECT_EQ(s.receive_some(buffer, Clock::now() + 2s), 3);
    EXPECT_FALSE(s.peer_closed());

    ::shutdown(peer, SHUT_WR);
    EXPECT_EQ(s.receive_some(buffer, Clock::now() + 2s), 0);  // the peer closed
    EXPECT_TRUE(s.peer_closed());
}

TEST(TcpStream, ASendThatMakesNoProgressFailsAfterTheSendTimeOut) {
    Listener listener;
    platform::TcpStream s;
    platform::TcpTimeouts timeouts;
    timeouts.send = 200ms;
    ASSERT_TRUE(s.open("127.0.0.1", listener.port(), timeouts));
    ASSERT_GE(listener.accept(), 0);  // accepted, never read
    const std::vector<std::uint8_t> huge(64u << 20);
    const auto start = Clock::now();
    EXPECT_FALSE(s.send_all(huge));
    EXPECT_LT(Clock::now() - start, 30s);  // a bound, not a measurement: it must not hang
}

TEST(TcpStream, MovingHandsTheConnectionOver) {
    Listener listener;
    platform::TcpStream a;
    ASSERT_TRUE(a.open("127.0.0.1", listener.port()));
    platform::TcpStream b(std::move(a));
    EXPECT_FALSE(a.is_open());  // NOLINT(bugprone-use-after-move): moved-from state is specified
    EXPECT_TRUE(b.is_open());
    platform::TcpStream c;
    c = std::move(b);
    EXPECT_TRUE(c.is_open());
    c.close();
    EXPECT_FALSE(c.is_open());
    EXPECT_TRUE(c.peer_closed());
}

}  // namespace
