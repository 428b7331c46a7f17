#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace kelvra_cli {
namespace {

constexpr std::uint64_t kPieceBytes = 2000;
constexpr auto kPiecePause = std::chrono::milliseconds(10);
constexpr auto kAfterFile = std::chrono::milliseconds(100);  // the pause after each file's data
constexpr double kShortOfEnd = 0.99;                         // until the send has returned
constexpr auto kRedraw = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;

std::string size_text(std::uint64_t bytes) {
    char buf[32];
    if (bytes < 10'000)
        std::snprintf(buf, sizeof buf, "%llu B", static_cast<unsigned long long>(bytes));
    else if (bytes < 10'000'000)
        std::snprintf(buf, sizeof buf, "%.1f kB", static_cast<double>(bytes) / 1e3);
    else
        std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return buf;
}

}  // namespace

std::chrono::milliseconds expected_send_time(std::uint64_t bytes, std::uint64_t files) {
    // Per file: its header packet, its data pieces (one of 0 bytes closes a multiple of 2000), a pause.
    const std::uint64_t packets = bytes / kPieceBytes + 2 * files;
    return kPiecePause * static_cast<std::int64_t>(packets) + kAfterFile * static_cast<std::int64_t>(files);
}

std::string progress_line(const std::string& label, double fraction, std::uint64_t done, std::uint64_t total,
                          int bar) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    const int filled = static_cast<int>(fraction * bar);
    std::string line = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(bar - filled), '.') + "]";
    char buf[64];
    std::snprintf(buf, sizeof buf, " %3d%%  ", static_cast<int>(fraction * 100));
    return line + buf + size_text(done) + " / " + size_text(total) + "  " + label;
}

Progress::Progress(std::string label, std::uint64_t total_bytes, std::chrono::milliseconds expected,
                   bool enabled, Ending ending)
    : label_(std::move(label)),
      total_(total_bytes),
      expected_(std::max(expected, std::chrono::milliseconds(1))),
      enabled_(enabled && isatty(STDERR_FILENO) == 1),
      ending_(ending) {
    if (enabled_) thread_ = std::thread([this] { run(); });
}

Progress::~Progress() {
    finish(false);
}

void Progress::finish(bool ok) {
    {
        std::lock_guard lock(mutex_);
        if (done_) return;
        done_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (enabled_) draw(ok ? 1.0 : -1.0, "\n");
}

void Progress::run() {
    std::unique_lock lock(mutex_);
    while (!done_) {
        const auto elapsed = std::chrono::steady_clock::now() - start_;
        const double fraction = std::min(
            kShortOfEnd, std::chrono::duration<double>(elapsed) / std::chrono::duration<double>(expected_));
        lock.unlock();
        draw(fraction, "");
        lock.lock();
        if (ending_ == Ending::ByItself && elapsed >= expected_) return;
        wake_.wait_for(lock, kRedraw, [this] { return done_; });
    }
}

void Progress::draw(double fraction, const char* end) {
    // A failed transfer keeps the bar where it was and says so. (finish() draws only after the drawing
    // thread has ended, so last_ has one writer at a time.)
    std::string line;
    if (fraction < 0) {
        line =
            progress_line(label_ + " (failed)", last_,
                          static_cast<std::uint64_t>(last_ * static_cast<double>(total_)), total_, kBarWidth);
    } else {
        last_ = fraction;
        line = progress_line(label_, fraction,
                             static_cast<std::uint64_t>(fraction * static_cast<double>(total_)), total_,
                             kBarWidth);
    }
    std::fprintf(stderr, "\r%s\033[K%s", line.c_str(), end);
    std::fflush(stderr);
}

}  // namespace kelvra_cli
