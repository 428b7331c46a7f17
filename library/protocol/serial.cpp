#include "library/protocol/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "common/frame.h"
#include "library/protocol/library_state.h"

namespace kelvra {
namespace {

std::optional<int> parse_int(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    int v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

std::optional<speed_t> termios_speed(int baud) {
    struct Entry {
        int baud;
        speed_t speed;
    };
    static constexpr Entry kSpeeds[] = {
        {50, B50},     {75, B75},       {110, B110},     {134, B134},     {150, B150},       {200, B200},
        {300, B300},   {600, B600},     {1200, B1200},   {1800, B1800},   {2400, B2400},     {4800, B4800},
        {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
    };
    for (const auto& e : kSpeeds) {
        if (e.baud == baud) return e.speed;
    }
    return std::nullopt;
}

int wait_for(int fd, short events, std::chrono::milliseconds timeout) {
    pollfd p{fd, events, 0};
    int n;
    do {
        n = ::poll(&p, 1, static_cast<int>(timeout.count()));
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return n;
    return (p.revents & events) != 0 ? 1 : -1;
}

std::string totals(const char* lead, std::size_t total, long sent) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s %zu, Sended data number %ld", lead, total, sent);
    return buf;
}

}  // namespace

std::optional<LineSettings> parse_line_settings(std::string_view text) {
    std::vector<std::string_view> parts;
    while (true) {
        const auto comma = text.find(',');
        parts.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    if (parts.size() != 4) return std::nullopt;
    LineSettings s;
    const auto baud = parse_int(parts[0]);
    const auto speed = baud ? termios_speed(*baud) : std::nullopt;
    if (!speed) return std::nullopt;
    s.speed = *speed;
    std::string_view p = parts[1];
    if (p.size() != 1) return std::nullopt;
    switch (p[0]) {
        case '0':
        case 'N':
        case 'n':
            s.parity = 'N';
            break;
        case 'O':
        case 'o':
            s.parity = 'O';
            break;
        case 'E':
        case 'e':
            s.parity = 'E';
            break;
        case 'M':
        case 'm':
            s.parity = 'M';
            break;
        case 'S':
        case 's':
            s.parity = 'S';
            break;
        default:
            return std::nullopt;
    }
    const auto data = parse_int(parts[2]);
    if (!data || *data < 5 || *data > 8) return std::nullopt;
    s.data_bits = *data;
    const auto stop = parse_int(parts[3]);
    if (!stop || *stop < 0 || *stop > 2) return std::nullopt;
    s.stop_bits = *stop == 0 ? 1 : 2;
    return s;
}

std::string serial_device_path(int port) {
    if (port < 1 || port > kMaxSerialPort) return {};
    const std::string var = "KELVRA_COM" + std::to_string(port);
    if (const char* over = std::getenv(var.c_str()); over != nullptr && *over != '\0') return over;
    return "/dev/ttyS" + std::to_string(port - 1);
}

SerialPort::~SerialPort() {
    close();
}

void SerialPort::close() {
    if (fd_ >= 0) {
        ioctl(fd_, TIOCNXCL);  // the exclusive flag outlives us while others hold the line open
        ::close(fd_);
    }
    fd_ = -1;
}

bool SerialPort::open(int port, std::string_view settings) {
    close();
    const std::string path = serial_device_path(port);
    const auto line = parse_line_settings(settings);
    if (path.empty() || !line) return false;
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return false;
    termios t{};
    bool ok = isatty(fd_) != 0 && ioctl(fd_, TIOCEXCL) == 0 && tcgetattr(fd_, &t) == 0;
    if (ok) {
        cfmakeraw(&t);
        t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
        t.c_cflag |= CLOCAL | CREAD;
        static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
        t.c_cflag |= kSizes[line->data_bits - 5];
        if (line->stop_bits == 2) t.c_cflag |= CSTOPB;
        switch (line->parity) {
            case 'O':
                t.c_cflag |= PARENB | PARODD;
                break;
            case 'E':
                t.c_cflag |= PARENB;
                break;
            case 'M':
                t.c_cflag |= PARENB | CMSPAR | PARODD;
                break;
            case 'S':
                t.c_cflag |= PARENB | CMSPAR;
                break;
            default:
                break;
        }
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        ok = cfsetispeed(&t, line->speed) == 0 && cfsetospeed(&t, line->speed) == 0 &&
             tcsetattr(fd_, TCSANOW, &t) == 0 && tcflush(fd_, TCIOFLUSH) == 0;
    }
    if (!ok) close();
    return ok;
}

long SerialPort::write(const std::uint8_t* data, std::size_t size) {
    if (fd_ < 0) return -1;
    std::size_t done = 0;
    const auto deadline = std::chrono::steady_clock::now() + kSerialWriteTimeout;
    while (done < size) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || wait_for(fd_, POLLOUT, left) <= 0) break;
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) return done > 0 ? static_cast<long>(done) : -1;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long>(done);
}

std::size_t SerialPort::read(std::uint8_t* buf, std::size_t size) {
    if (fd_ < 0 || size == 0) return 0;
    buf[0] = 0;
    if (wait_for(fd_, POLLIN, kSerialReadTimeout) <= 0) return 0;
    int waiting = 0;
    if (ioctl(fd_, FIONREAD, &waiting) != 0) {
        tcflush(fd_, TCIFLUSH);
        return 0;
    }
    const std::size_t want = std::min(size - 1, static_cast<std::size_t>(std::max(waiting, 0)));
    if (want == 0) return 0;
    const ssize_t n = ::read(fd_, buf, want);
    if (n <= 0) return 0;
    buf[n] = 0;
    return static_cast<std::size_t>(n);
}

int CommSendStreamPacket(SerialPort& port, const CommandBlock& block) {
    const std::size_t total = block.data.size();
    const std::size_t full = total / kPieceSize;
    long sent_total = 0;
    for (std::size_t i = 0; i <= full; ++i) {
        const std::size_t len = i < full ? kPieceSize : total % kPieceSize;
        const std::uint8_t* piece = len > 0 ? block.data.data() + kPieceSize * i : nullptr;
        const auto packet =
            MakeStreamPacketForSend(block.command, block.card_id, block.parameter, piece, len);
        if (!packet) {
            report_status(kStatusSerialMakePacketFailed, block.card_id);
            show_message("CommSendStreamPacket: MakeStreamPacketForSend failed");
            return 1;
        }
        trace_frame(TraceDirection::Sent, packet->data(), packet->size());
        const long n = port.write(packet->data(), packet->size());
        if (n < 1) {
            report_status(kStatusSerialWriteFailed, block.card_id);
            show_message("CommSendStreamPacket:Error happend when send comm data\r\n" +
                         totals("Total data", total, sent_total));
            return 1;
        }
        if (static_cast<std::size_t>(n) < packet->size()) {
            report_status(kStatusSerialShortWrite, block.card_id);
            show_message("CommSendStreamPacket:data packet lost partly when transfering\r\n" +
                         totals("Total data", total, sent_total + n));
            return 1;
        }
        sent_total += n;
    }
    return 0;
}

int CommJobWorker(std::unique_ptr<SendJob> job) {
    if (!job) return 1;
    const bool discovery = job->main.command == frame::CMD_DISCOVER;
    if (job->gate != nullptr) {
        job->gate->enter();
        job->gate->acquire();
        job->holds_gate = true;
    }
    int result = 0;
    {
        SerialPort port;
        const SerialSettings settings = serial_settings();
        if (!port.open(settings.port, settings.line)) {
            show_message("com open failed");
            result = 1;
        } else {
            for (const CommandBlock* b : {job->leading ? &*job->leading : nullptr, &job->main,
                                          job->trailing ? &*job->trailing : nullptr}) {
                if (b == nullptr) continue;
                if (job->trailing && b == &*job->trailing && job->trailing_pause.count() > 0)
                    std::this_thread::sleep_for(job->trailing_pause);
                result = CommSendStreamPacket(port, *b);
                if (result != 0) break;
            }
            if (result == 0 && discovery) {
                // Answers on a serial line carry no address: they are read and counted, never recorded.
                card_table_clear();
                std::vector<std::uint8_t> buf(kSerialReadBuffer);
                while (port.read(buf.data(), buf.size()) > 0) {
                }
                show_message("com receive err");
            }
        }
    }
    if (discovery) discovery_end();
    if (job->gate != nullptr && job->holds_gate) {
        job->holds_gate = false;
        job->gate->release();
        job->gate->leave();
    }
    return result;
}

}  // namespace kelvra
