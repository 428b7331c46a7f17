// The data rate of one 1 MiB file-data block sent over TCP, measured where the card would see it: from
// the arrival of the first piece to one pacing interval after the last (the interval the last piece
// occupies). The pacing allows at most 200,000 data bytes per second; the ratio to that bound is
// reported and must reach 97 %.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "common/frame.h"
#include "library/protocol/transport.h"

namespace {

constexpr const char* kCardIp = "127.42.0.90";
constexpr double kBound = 200000.0;  // data bytes per second
constexpr std::size_t kBlock = 1 << 20;

// A card stand-in that drains one connection and notes when data first and last arrived.
class Sink {
  public:
    Sink() {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(frame::kCommandPort);
        inet_pton(AF_INET, kCardIp, &sa.sin_addr);
        ok_ = ::bind(listen_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && ::listen(listen_, 4) == 0;
    }
    ~Sink() { ::close(listen_); }
    bool ok() const { return ok_; }

    // Accepts one connection and reads it to its end on a thread of its own.
    void start() {
        bytes_ = 0;
        thread_ = std::thread([this] {
            const int c = ::accept(listen_, nullptr, nullptr);
            if (c < 0) return;
            std::vector<std::uint8_t> buf(65536);
            for (;;) {
                const ssize_t n = ::recv(c, buf.data(), buf.size(), 0);
                if (n <= 0) break;
                const auto now = std::chrono::steady_clock::now();
                if (bytes_ == 0) first_ = now;
                last_ = now;
                bytes_ += static_cast<std::size_t>(n);
            }
            ::close(c);
        });
    }
    void join() { thread_.join(); }
    std::chrono::duration<double> span() const { return last_ - first_; }

  private:
    int listen_ = -1;
    bool ok_ = false;
    std::thread thread_;
    std::size_t bytes_ = 0;
    std::chrono::steady_clock::time_point first_, last_;
};

void BM_FileDataRate(benchmark::State& state) {
    Sink sink;
    if (!sink.ok()) {
        state.SkipWithError("cannot listen on the card address");
        return;
    }
    std::vector<std::uint8_t> data(kBlock);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31);
    double ratio_sum = 0;
    for (auto _ : state) {
        sink.start();
        auto block = kelvra::CommandBlock::make(frame::CMD_FILE_DATA, "S730-413-00001", 0, data);
        const int r = kelvra::SendCommand(kelvra::CardAddress::make(kelvra::ProtoType::TcpHere, kCardIp),
                                          nullptr, &block);
        sink.join();  // the job closes its connection when it ends
        if (r != 0) {
            state.SkipWithError("send failed");
            return;
        }
        const double seconds = sink.span().count() + kelvra::kPiecePause.count() / 1000.0;
        state.SetIterationTime(seconds);
        ratio_sum += kBlock / seconds / kBound;
    }
    const double ratio = ratio_sum / static_cast<double>(state.iterations());
    state.counters["data_bytes_per_s"] = ratio * kBound;
    state.counters["ratio_of_bound"] = ratio;
    std::printf("file data rate: %.0f B/s, %.2f %% of the %.0f B/s bound (needs >= 97 %%)\n", ratio * kBound,
                ratio * 100.0, kBound);
    if (ratio < 0.97) state.SkipWithError("data rate below 97 % of the pacing bound");
}

BENCHMARK(BM_FileDataRate)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
