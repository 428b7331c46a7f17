// Building a blank image, finishing it (end marker and word sum) and writing "temp.sys", each beside a
// plain memcpy of the same 2,097,588 bytes. After the runs, the ratios to memcpy are printed; build and
// finish are meant to stay within 2x.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "screenconfig/record_files.h"
#include "screenconfig/screen_config.h"

using namespace screenconfig;

namespace {

void BM_Memcpy(benchmark::State& state) {
    std::vector<std::uint8_t> from(kImageSize, 1), to(kImageSize);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kImageSize);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageSize));
}
BENCHMARK(BM_Memcpy);

void BM_BuildBlank(benchmark::State& state) {
    ScreenConfig image;
    for (auto _ : state) {
        build_blank(image);
        benchmark::DoNotOptimize(image.bytes().data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageSize));
}
BENCHMARK(BM_BuildBlank);

void BM_Finish(benchmark::State& state) {
    ScreenConfig image;
    build_blank(image);
    for (auto _ : state) {
        finish(image);
        benchmark::DoNotOptimize(image.bytes().data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageSize));
}
BENCHMARK(BM_Finish);

void BM_WriteTempSys(benchmark::State& state) {
    ScreenConfig image;
    build_blank(image);
    finish(image);
    const auto folder = std::filesystem::temp_directory_path() / "screenconfig_bench";
    std::filesystem::create_directories(folder);
    const auto file = temp_sys_path(folder);
    for (auto _ : state) {
        if (write_temp_sys(image, file) != WriteStatus::Ok) state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kImageSize));
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WriteTempSys)->Unit(benchmark::kMillisecond);

// Console output as usual, and each benchmark's time per iteration kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times[run.benchmark_name()] =
                    run.GetAdjustedRealTime() /
                    static_cast<double>(benchmark::GetTimeUnitMultiplier(run.time_unit));
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;  // seconds per iteration
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto memcpy_time = reporter.times.find("BM_Memcpy");
    if (memcpy_time == reporter.times.end() || memcpy_time->second <= 0) return 0;
    std::printf("\nratio to a 2 MB memcpy (%.3f ms):\n", memcpy_time->second * 1e3);
    for (const auto& [name, limit] : {std::pair<const char*, double>{"BM_BuildBlank", 2.0},
                                      {"BM_Finish", 2.0},
                                      {"BM_WriteTempSys", 0.0}}) {
        const auto it = reporter.times.find(name);
        if (it == reporter.times.end()) continue;
        const double ratio = it->second / memcpy_time->second;
        if (limit > 0)
            std::printf("  %-16s %6.2fx  (%s %.0fx)\n", name, ratio, ratio <= limit ? "within" : "OVER",
                        limit);
        else
            std::printf("  %-16s %6.2fx\n", name, ratio);
    }
    benchmark::Shutdown();
    return 0;
}
