// Benchmarks set against a plain memcpy of the screen configuration image's 2,097,588 bytes: the
// memcpy itself, the finish of an image, and a console reporter that keeps each benchmark's time and prints
// the ratios with their bounds after the runs.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "screenconfig/screen_config.h"

namespace bench {

inline void memcpy_of_an_image(benchmark::State& state) {
    std::vector<std::uint8_t> from(screenconfig::kImageSize, 1), to(screenconfig::kImageSize);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), screenconfig::kImageSize);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * screenconfig::kImageSize));
}

// The finish of a blank image (end marker and word sum), the step every image send ends with.
inline void finish_of_an_image(benchmark::State& state) {
    screenconfig::ScreenConfig image;
    screenconfig::build_blank(image);
    for (auto _ : state) {
        screenconfig::finish(image);
        benchmark::DoNotOptimize(image.bytes().data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * screenconfig::kImageSize));
}

// A benchmark's name and its bound as a multiple of the memcpy's time; 0 for no bound.
using Bound = std::pair<const char*, double>;

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    enum class Clock { Cpu, Wall };
    // CPU time suits work in memory on a machine shared with other work (the wall time says more about
    // the neighbours than about the code); wall time suits work that waits on files.
    explicit RatioReporter(Clock clock) : clock_(clock) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times_[run.benchmark_name()] =
                    (clock_ == Clock::Cpu ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime()) /
                    static_cast<double>(benchmark::GetTimeUnitMultiplier(run.time_unit));
        ConsoleReporter::ReportRuns(runs);
    }

    // Prints each benchmark's ratio to `memcpy_name`'s time, against its bound.
    void print_ratios(const char* memcpy_name, const std::vector<Bound>& bounds) const {
        const auto memcpy_time = times_.find(memcpy_name);
        if (memcpy_time == times_.end() || memcpy_time->second <= 0) return;
        std::printf("\nratio to a 2 MB memcpy (%.3f ms):\n", memcpy_time->second * 1e3);
        for (const auto& [name, limit] : bounds) {
            const auto it = times_.find(name);
            if (it == times_.end()) continue;
            const double ratio = it->second / memcpy_time->second;
            if (limit > 0)
                std::printf("  %-28s %6.2fx  (%s %.0fx)\n", name, ratio, ratio <= limit ? "within" : "OVER",
                            limit);
            else
                std::printf("  %-28s %6.2fx\n", name, ratio);
        }
    }

  private:
    Clock clock_;
    std::map<std::string, double> times_;  // seconds per iteration
};

}  // namespace bench
