// Building a blank image, finishing it (end marker and word sum) and writing "temp.sys", each beside a
// plain memcpy of the same 2,097,588 bytes. After the runs, the ratios to memcpy are printed; build and
// finish are meant to stay within 2x.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "benchmarks/support/memcpy_ratio.h"
#include "screenconfig/record_files.h"
#include "screenconfig/screen_config.h"

using namespace screenconfig;

namespace {

void BM_Memcpy(benchmark::State& state) {
    bench::memcpy_of_an_image(state);
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
    bench::finish_of_an_image(state);
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

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Writing "temp.sys" waits on the file system: wall time.
    bench::RatioReporter reporter(bench::RatioReporter::Clock::Wall);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratios("BM_Memcpy",
                          {{"BM_BuildBlank", 2.0}, {"BM_Finish", 2.0}, {"BM_WriteTempSys", 0.0}});
    benchmark::Shutdown();
    return 0;
}
