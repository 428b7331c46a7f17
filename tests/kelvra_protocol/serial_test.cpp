// The serial transport over a pseudo-terminal pair standing in for COM3.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "common/frame.h"
#include "kelvra/kelvra.h"
#include "library/protocol/serial.h"
#include "library/protocol/transport.h"
#include "tests/kelvra_protocol/peer.h"
#include "tests/kelvra_protocol/recorder.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

TEST(LineSettings, ParsesTheSettingsTexts) {
    struct Case {
        const char* text;
        bool ok;
        speed_t speed;
        char parity;
        int data, stop;
    };
    const std::vector<Case> cases = {
        {"9600,0,8,0", true, B9600, 'N', 8, 1},
        {"115200,E,7,2", true, B115200, 'E', 7, 2},
        {"19200,O,5,1", true, B19200, 'O', 5, 2},
        {"300,M,8,0", true, B300, 'M', 8, 1},
        {"1200,S,6,0", true, B1200, 'S', 6, 1},
        {"9601,N,8,0", false, 0, 0, 0, 0},
        {"9600,N,4,0", false, 0, 0, 0, 0},
        {"9600,X,8,0", false, 0, 0, 0, 0},
        {"9600,N,8,3", false, 0, 0, 0, 0},
        {"9600,N,8", false, 0, 0, 0, 0},
        {"", false, 0, 0, 0, 0},
        {"9600,N,8,0,1", false, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto s = kelvra::parse_line_settings(c.text);
        ASSERT_EQ(s.has_value(), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(s->speed, c.speed);
        EXPECT_EQ(s->parity, c.parity);
        EXPECT_EQ(s->data_bits, c.data);
        EXPECT_EQ(s->stop_bits, c.stop);
    }
}

TEST(SerialDevice, PortNumbersMapToDevices) {
    EXPECT_EQ(kelvra::serial_device_path(1), "/dev/ttyS0");
    EXPECT_EQ(kelvra::serial_device_path(1024), "/dev/ttyS1023");
    EXPECT_EQ(kelvra::serial_device_path(0), "");
    EXPECT_EQ(kelvra::serial_device_path(1025), "");
    setenv("KELVRA_COM7", "/dev/pts/99", 1);
    EXPECT_EQ(kelvra::serial_device_path(7), "/dev/pts/99");
    unsetenv("KELVRA_COM7");
    kelvra::SerialPort port;
    EXPECT_FALSE(port.open(0, "9600,0,8,0"));
    EXPECT_FALSE(port.open(1025, "9600,0,8,0"));
}

// A pseudo-terminal pair; the library opens the slave as COM3.
class Serial : public ::testing::Test {
  protected:
    void SetUp() override {
        recorder::reset();
        char name[256] = {};
        ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        setenv("KELVRA_COM3", name, 1);
        ASSERT_EQ(SetComParam(3, 115200, 8, 0, 0), 0);
    }
    void TearDown() override {
        EXPECT_TRUE(kelvra::wait_for_jobs(30s));
        unsetenv("KELVRA_COM3");
        ::close(master_);
        ::close(slave_);
    }

    // Reads from the master side until `n` bytes arrived or nothing more comes for 2 s.
    Bytes read_master(std::size_t n) {
        Bytes out;
        while (out.size() < n) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0) break;
            std::uint8_t buf[4096];
            const ssize_t got = ::read(master_, buf, sizeof buf);
            if (got <= 0) break;
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    }

    int master_ = -1;
    int slave_ = -1;
};

TEST_F(Serial, BlocksGoOutInPiecesOnThePort) {
    // SetIOState over iProtoType 4, then a 2001-byte block straight through SendCommand.
    EXPECT_EQ(SetIOState("S730-413-00001", "", 4, 0, 2, 1), 0);
    Bytes got = read_master(8 + 32);
    auto frames = peer::parse_frames(got);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].command, frame::CMD_SET_IO);
    EXPECT_EQ(frames[0].data, Bytes({2, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_TRUE(frames[0].check_ok);
    ASSERT_TRUE(kelvra::wait_for_jobs(10s));

    Bytes data(2001);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    kelvra::CommandBlock b = kelvra::CommandBlock::make(frame::CMD_FILE_DATA, "S730-413-00001", 4, data);
    ASSERT_EQ(kelvra::SendCommand(kelvra::CardAddress::make(kelvra::ProtoType::Serial, ""), nullptr, &b), 0);
    got = read_master(2001 + 64);
    frames = peer::parse_frames(got);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].data.size(), 2000u);
    EXPECT_EQ(frames[1].data.size(), 1u);
    EXPECT_EQ(frames[1].data[0], data[2000]);
    EXPECT_EQ(frames[0].parameter, 4u);
    EXPECT_TRUE(recorder::shown().empty());
}

// The line goes away (the other end of the pseudo-terminal closes) while a long block is being written
// and the port has stopped taking bytes: the job fails with its status and message within the write
// bound, and the next command on a new line goes out whole.
TEST_F(Serial, ALineThatClosesMidBlockFailsWithinTheWriteBoundAndTheNextCommandWorks) {
    const Bytes data(200000, 0x5A);
    kelvra::CommandBlock b = kelvra::CommandBlock::make(frame::CMD_FILE_DATA, "S730-413-00001", 0, data);
    ASSERT_EQ(kelvra::SendCommand(kelvra::CardAddress::make(kelvra::ProtoType::Serial, ""), nullptr, &b), 0);
    // Some bytes arrive, then nobody reads: the terminal's queue fills and the job waits on the port.
    ASSERT_FALSE(read_master(100).empty());
    ::close(master_);
    master_ = -1;
    const auto closed = std::chrono::steady_clock::now();
    ASSERT_TRUE(kelvra::wait_for_jobs(kelvra::kSerialWriteTimeout + 5s));
    EXPECT_LT(std::chrono::steady_clock::now() - closed, kelvra::kSerialWriteTimeout + 1500ms);
    const auto codes = recorder::codes();
    ASSERT_FALSE(codes.empty());
    EXPECT_TRUE(codes.back() == kelvra::kStatusSerialWriteFailed ||
                codes.back() == kelvra::kStatusSerialShortWrite)
        << codes.back();
    EXPECT_FALSE(recorder::shown().empty());

    ::close(slave_);
    char name[256] = {};
    ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    setenv("KELVRA_COM3", name, 1);
    EXPECT_EQ(SetIOState("S730-413-00001", "", 4, 0, 2, 1), 0);
    Bytes got = read_master(8 + 32);
    const auto frames = peer::parse_frames(got);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].command, frame::CMD_SET_IO);
    EXPECT_TRUE(frames[0].check_ok);
}

TEST_F(Serial, SerialDiscoveryReadsAnswersAndRecordsNoCards) {
    kelvra::card_table_add("S1", "127.0.0.9");  // from an earlier network discovery
    ASSERT_EQ(BroadcastCheckCard(2), 0);
    Bytes got = read_master(32);
    auto frames = peer::parse_frames(got);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].command, frame::CMD_DISCOVER);
    EXPECT_EQ(frames[0].card_id, "Broadcast!");
    const Bytes reply = peer::answer(0xD0, "S730-413-00001", {});
    ASSERT_EQ(::write(master_, reply.data(), reply.size()), static_cast<ssize_t>(reply.size()));
    EXPECT_EQ(BroadcastCheckCard(2), 1) << "busy while the port is read";
    ASSERT_TRUE(kelvra::wait_for_jobs(20s));
    EXPECT_FALSE(kelvra::discovery_busy());
    EXPECT_EQ(kelvra::card_table_count(), 0u);
    EXPECT_EQ(recorder::shown(), std::vector<std::string>{"com receive err"});
}

TEST_F(Serial, PortThatCannotOpenIsReported) {
    setenv("KELVRA_COM3", "/nonexistent/tty", 1);
    EXPECT_EQ(ResetCard("S1", "", 4), 0);
    ASSERT_TRUE(kelvra::wait_for_jobs(10s));
    EXPECT_EQ(recorder::shown(), std::vector<std::string>{"com open failed"});
    // A discovery that could not open its port is not left busy.
    ASSERT_EQ(BroadcastCheckCard(2), 0);
    ASSERT_TRUE(kelvra::wait_for_jobs(10s));
    EXPECT_FALSE(kelvra::discovery_busy());
}

TEST_F(Serial, UnsupportedLineSettingsKeepThePortClosed) {
    ASSERT_EQ(SetComParam(3, 14400, 8, 0, 0), 0);  // a rate termios has no constant for
    EXPECT_EQ(ResetCard("S1", "", 4), 0);
    ASSERT_TRUE(kelvra::wait_for_jobs(10s));
    EXPECT_EQ(recorder::shown(), std::vector<std::string>{"com open failed"});
}

}  // namespace
