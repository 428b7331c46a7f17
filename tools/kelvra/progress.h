// The progress bar of a transfer on a terminal (standard error), redrawn by a thread of its own.
//
// The library reports no progress while it sends: its pieces leave at a fixed pace (2000 bytes every
// 10 ms, one file after another), so the bar follows that pace from the known sizes, stops short of
// the end until the send returns, and reaches 100 % only then. Not drawn when standard error is not a
// terminal. Any thread may call finish(); the destructor finishes as failed when nobody did.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace kelvra_cli {

// How long the library takes to send `files` files of `bytes` bytes in all at its pace.
std::chrono::milliseconds expected_send_time(std::uint64_t bytes, std::uint64_t files);

// "[#####.....]  42%  1.2 MB / 2.9 MB  label" for a width of `bar` characters.
std::string progress_line(const std::string& label, double fraction, std::uint64_t done, std::uint64_t total,
                          int bar);

class Progress {
  public:
    // ByItself: the drawing thread also ends once the expected time has passed (where nothing may be
    // left running that waits for finish(): the upgrade, whose end no call reports).
    enum class Ending { OnFinish, ByItself };
    Progress(std::string label, std::uint64_t total_bytes, std::chrono::milliseconds expected, bool enabled,
             Ending ending = Ending::OnFinish);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void finish(bool ok);

  private:
    void run();
    void draw(double fraction, const char* end);

    std::string label_;
    std::uint64_t total_;
    std::chrono::milliseconds expected_;
    bool enabled_;
    Ending ending_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    double last_ = 0;  // the fraction drawn last
    std::thread thread_;
};

}  // namespace kelvra_cli
