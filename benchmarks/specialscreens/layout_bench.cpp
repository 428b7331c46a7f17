// The special screen layouts' table rearrangements, each on the largest screen it allows, and the
// finish of an image, beside a plain memcpy of the image's 2,097,588 bytes. After the runs the ratios
// to memcpy are printed: mirrors and block copies are meant to stay within 2x, the quarter turns (a
// transpose in tiles) within 5x.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "benchmarks/support/memcpy_ratio.h"
#include "screenconfig/screen_config.h"
#include "screenconfig/special_layout.h"

using namespace screenconfig;

namespace {

void BM_Memcpy(benchmark::State& state) {
    bench::memcpy_of_an_image(state);
}
BENCHMARK(BM_Memcpy);

// Runs `step` on one table over and over (each rearrangement reads the table it finds).
template <typename Step>
void run_on_table(benchmark::State& state, Step step) {
    MappingMatrix table = MappingMatrix::identity();
    for (auto _ : state) {
        if (!step(table)) state.SkipWithError("refused");
        benchmark::DoNotOptimize(&table.at(0, 0));
        benchmark::ClobberMemory();
    }
}

void BM_MirrorHorizontal(benchmark::State& s) {
    run_on_table(s, [](MappingMatrix& t) { return transform(t, Transform::MirrorHorizontal, 1024, 512); });
}
void BM_MirrorVertical(benchmark::State& s) {
    run_on_table(s, [](MappingMatrix& t) { return transform(t, Transform::MirrorVertical, 1024, 512); });
}
void BM_HalfTurn(benchmark::State& s) {
    run_on_table(s, [](MappingMatrix& t) { return transform(t, Transform::HalfTurn, 1024, 512); });
}
void BM_QuarterTurnA(benchmark::State& s) {
    run_on_table(s, [](MappingMatrix& t) { return transform(t, Transform::QuarterTurnA, 512, 512); });
}
void BM_QuarterTurnB(benchmark::State& s) {
    run_on_table(s, [](MappingMatrix& t) { return transform(t, Transform::QuarterTurnB, 512, 512); });
}
// Two ports of 1,024 columns, 256 rows each: every entry of the table is written.
void BM_LongStrip(benchmark::State& s) {
    run_on_table(s, [](MappingMatrix& t) { return arrange_long_strip(t, 2048, 256, 1024, 2); });
}
// Method 2: four pieces of 256 columns per band, the whole height.
void BM_Fold(benchmark::State& s) {
    run_on_table(s, [](MappingMatrix& t) { return fold(t, 16, 4, 8, 256, 512, false); });
}
// Method 1: modules of 32 x 16, four rows per port, the whole height.
void BM_Serpentine(benchmark::State& s) {
    run_on_table(s, [](MappingMatrix& t) { return serpentine(t, 256, 512, 32, 16, 4, false); });
}
void BM_BottomToTop(benchmark::State& s) {
    run_on_table(s, [](MappingMatrix& t) { return bands_bottom_to_top(t, 1024, 512, 16); });
}
BENCHMARK(BM_MirrorHorizontal);
BENCHMARK(BM_MirrorVertical);
BENCHMARK(BM_HalfTurn);
BENCHMARK(BM_QuarterTurnA);
BENCHMARK(BM_QuarterTurnB);
BENCHMARK(BM_LongStrip);
BENCHMARK(BM_Fold);
BENCHMARK(BM_Serpentine);
BENCHMARK(BM_BottomToTop);

void BM_Finish(benchmark::State& state) {
    bench::finish_of_an_image(state);
}
BENCHMARK(BM_Finish);

// A whole send's image work for reference: blank image, matrix in and out, the layout, the finish.
void BM_BuildAndFinishLongStrip(benchmark::State& state) {
    ScreenConfig image;
    for (auto _ : state) {
        if (build_long_strip({2048, 256, 32, 16, 2}, image)) state.SkipWithError("refused");
        finish(image);
        benchmark::DoNotOptimize(image.bytes().data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BuildAndFinishLongStrip);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::RatioReporter reporter(bench::RatioReporter::Clock::Cpu);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratios("BM_Memcpy", {
                                           {"BM_MirrorHorizontal", 2.0},
                                           {"BM_MirrorVertical", 2.0},
                                           {"BM_HalfTurn", 2.0},
                                           {"BM_QuarterTurnA", 5.0},
                                           {"BM_QuarterTurnB", 5.0},
                                           {"BM_LongStrip", 2.0},
                                           {"BM_Fold", 2.0},
                                           {"BM_Serpentine", 2.0},
                                           {"BM_BottomToTop", 2.0},
                                           {"BM_Finish", 2.0},
                                           {"BM_BuildAndFinishLongStrip", 0.0},
                                       });
    benchmark::Shutdown();
    return 0;
}
