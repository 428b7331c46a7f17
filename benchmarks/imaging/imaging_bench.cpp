// Pictures on two 1920 x 1080 frames, one like a screen (flat areas, window bars, text strokes, a few
// photos) and one noisy (smooth colours with per-pixel noise):
//   - the octree reduction to 256 colours (with the nearest-colour mapping), bound 15 ms on the screen
//     frame and 35 ms on the noisy one, its PSNR set against giflib's own median cut
//     (GifQuantizeBuffer) on the same frame;
//   - the JPEG encoder (quality 100, 4:4:4) against libjpeg-turbo: the cjpeg program on the same
//     pixels (-quality 100 -sample 1x1, a PPM from the page cache) and the library called in process
//     with cjpeg's settings; bound 1.2x;
//   - a BMP file converted to GIF, bound 60 ms.
// After the runs the figures (CPU time per frame) are printed against their bounds.
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include "library/imaging/bmp.h"
#include "library/imaging/codecs.h"
#include "library/imaging/octree.h"
#include "tests/support/declared_pictures.h"

extern char** environ;

namespace {

namespace img = kelvra::imaging;
using Bytes = std::vector<std::uint8_t>;
constexpr int kWidth = 1920, kHeight = 1080;

std::uint32_t next(std::uint32_t& s) {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
}

img::Bitmap screen_frame() {
    Bytes rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
    auto put = [&](int x, int y, int r, int g, int b) {
        auto* p = &rgb[(static_cast<std::size_t>(y) * kWidth + static_cast<std::size_t>(x)) * 3];
        p[0] = static_cast<std::uint8_t>(r), p[1] = static_cast<std::uint8_t>(g),
        p[2] = static_cast<std::uint8_t>(b);
    };
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) put(x, y, 30, 60, 110);  // desktop
    std::uint32_t s = 11;
    for (int w = 0; w < 6; ++w) {  // windows: a gradient title bar, a white body with text strokes
        const int x0 = 60 + w * 290, y0 = 80 + (w % 3) * 300, ww = 560, wh = 420;
        for (int y = y0; y < y0 + wh && y < kHeight; ++y)
            for (int x = x0; x < x0 + ww && x < kWidth; ++x) {
                if (y < y0 + 28) {
                    put(x, y, 40 + (x - x0) * 150 / ww, 90 + (x - x0) * 100 / ww, 200);
                } else {
                    put(x, y, 250, 250, 250);
                }
            }
        for (int line = 0; line < 30; ++line) {  // text: dark strokes with grey anti-aliased edges
            const int ty = y0 + 40 + line * 12;
            for (int x = x0 + 10; x < x0 + ww - 10 && x < kWidth; ++x) {
                if (next(s) % 3 == 0 || ty + 8 >= kHeight) continue;
                for (int k = 0; k < 8; ++k) {
                    const int edge = (k == 0 || k == 7) ? 160 : 20;
                    if (next(s) % 4) put(x, ty + k, edge, edge, edge + 10);
                }
            }
        }
        for (int y = y0 + 300; y < y0 + 400 && y < kHeight; ++y)  // a photo
            for (int x = x0 + 380; x < x0 + 540 && x < kWidth; ++x)
                put(x, y, static_cast<int>(128 + 100 * std::sin(x * 0.05)),
                    static_cast<int>(128 + 90 * std::cos(y * 0.07)), static_cast<int>((x + y) % 256));
    }
    for (int y = kHeight - 40; y < kHeight; ++y)  // task bar
        for (int x = 0; x < kWidth; ++x) put(x, y, 20, 20, 25);
    return img::rgb_bitmap(kWidth, kHeight, std::move(rgb));
}

img::Bitmap noisy_frame() {
    Bytes rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
    std::uint32_t s = 7;
    std::size_t i = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const double base[3] = {128 + 110 * std::sin(x * 0.004 + y * 0.002),
                                    128 + 110 * std::sin(y * 0.005 + 1),
                                    128 + 110 * std::cos((x - y) * 0.003)};
            for (double v : base) {
                const double n = v + static_cast<double>(next(s) % 41) - 20;
                rgb[i++] = static_cast<std::uint8_t>(std::clamp(n, 0.0, 255.0));
            }
        }
    return img::rgb_bitmap(kWidth, kHeight, std::move(rgb));
}

const img::Bitmap& frame(int which) {
    static const img::Bitmap screen = screen_frame();
    static const img::Bitmap noisy = noisy_frame();
    return which == 0 ? screen : noisy;
}

const char* frame_name(int which) {
    return which == 0 ? "screen" : "noisy";
}

double psnr(const Bytes& a, const Bytes& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        sum += d * d;
    }
    return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(a.size())));
}

// giflib's median cut: the frame reduced to 256 colours, as RGB again.
Bytes median_cut(const img::Bitmap& f, const Bytes& r, const Bytes& g, const Bytes& b) {
    Bytes indices(f.pixel_count());
    std::vector<GifColorType> map(256);
    int size = 256;
    GifQuantizeBuffer(static_cast<unsigned>(f.width), static_cast<unsigned>(f.height), &size,
                      const_cast<GifByteType*>(r.data()), const_cast<GifByteType*>(g.data()),
                      const_cast<GifByteType*>(b.data()), indices.data(), map.data());
    Bytes rgb;
    rgb.reserve(f.rgb.size());
    for (auto i : indices) rgb.insert(rgb.end(), {map[i].Red, map[i].Green, map[i].Blue});
    return rgb;
}

struct Planes {
    Bytes r, g, b;
};
Planes planes_of(const img::Bitmap& f) {
    Planes p;
    for (std::size_t i = 0; i < f.pixel_count(); ++i) {
        p.r.push_back(f.rgb[3 * i]);
        p.g.push_back(f.rgb[3 * i + 1]);
        p.b.push_back(f.rgb[3 * i + 2]);
    }
    return p;
}

void BM_Octree(benchmark::State& state) {
    const auto& f = frame(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto reduced = img::reduce_to_256_colours(f);
        benchmark::DoNotOptimize(reduced);
    }
    state.SetLabel(frame_name(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_Octree)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_GiflibMedianCut(benchmark::State& state) {
    const auto& f = frame(static_cast<int>(state.range(0)));
    const Planes p = planes_of(f);
    for (auto _ : state) {
        auto rgb = median_cut(f, p.r, p.g, p.b);
        benchmark::DoNotOptimize(rgb);
    }
    state.SetLabel(frame_name(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_GiflibMedianCut)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Jpeg(benchmark::State& state) {
    const auto& f = frame(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto jpeg = img::encode_jpeg(f);
        benchmark::DoNotOptimize(jpeg);
    }
    state.SetLabel(frame_name(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_Jpeg)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// libjpeg-turbo called as cjpeg calls it with -quality 100 -sample 1x1 (no error recovery needed).
void BM_LibjpegAsCjpeg(benchmark::State& state) {
    const auto& f = frame(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        jpeg_compress_struct info;
        jpeg_error_mgr error;
        info.err = jpeg_std_error(&error);
        jpeg_create_compress(&info);
        unsigned char* out = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&info, &out, &size);
        info.image_width = static_cast<JDIMENSION>(f.width);
        info.image_height = static_cast<JDIMENSION>(f.height);
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, 100, TRUE);
        for (int c = 0; c < info.num_components; ++c)
            info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
        jpeg_start_compress(&info, TRUE);
        while (info.next_scanline < info.image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(f.rgb.data() +
                                                static_cast<std::size_t>(info.next_scanline) * f.width * 3);
            jpeg_write_scanlines(&info, &row, 1);
        }
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        benchmark::DoNotOptimize(size);
        std::free(out);
    }
    state.SetLabel(frame_name(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_LibjpegAsCjpeg)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The cjpeg program on a PPM of the frame (process start included, as a caller running it would pay).
void BM_Cjpeg(benchmark::State& state) {
    const auto& f = frame(static_cast<int>(state.range(0)));
    const auto ppm =
        std::filesystem::temp_directory_path() / ("imaging_bench_" + std::to_string(getpid()) + ".ppm");
    {
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n" << f.width << " " << f.height << "\n255\n";
        out.write(reinterpret_cast<const char*>(f.rgb.data()), static_cast<std::streamsize>(f.rgb.size()));
    }
    std::string path = ppm.string();
    std::vector<std::string> args = {"cjpeg", "-quality", "100",       "-sample",
                                     "1x1",   "-outfile", "/dev/null", path};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawnp(&pid, "cjpeg", nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cjpeg cannot be run (libjpeg-turbo-progs)");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("cjpeg failed");
            break;
        }
    }
    std::filesystem::remove(ppm);
    state.SetLabel(frame_name(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_Cjpeg)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BmpToGif(benchmark::State& state) {
    const Bytes bmp = img::encode_bmp(frame(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        auto gif = img::convert_bmp(bmp, "gif");
        if (!gif) state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(gif);
    }
    state.SetLabel(frame_name(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_BmpToGif)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The process's peak resident memory in MB since the last reset_peak().
void reset_peak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
double peak_mb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return -1;
}

// The run-length BMP of 1 080 bytes (only the end-of-picture code) converted to JPEG: declaring
// 32768 x 8192 pixels it is refused by its header; declaring 1448 x 1448 (just under the cap) it is
// decoded and encoded. The counter is the peak resident memory of the process during the runs.
void BM_RleBmpToJpeg(benchmark::State& state) {
    const bool bomb = state.range(0) == 1;
    const Bytes bmp = support::rle8_bmp(bomb ? 32768 : 1448, bomb ? 8192 : 1448);
    reset_peak();
    for (auto _ : state) {
        auto jpeg = img::convert_bmp(bmp, "jpg");
        if (jpeg.has_value() == bomb) state.SkipWithError(bomb ? "the bomb was converted" : "refused");
        benchmark::DoNotOptimize(jpeg);
    }
    state.counters["peak_MB"] = peak_mb();
    state.SetLabel(bomb ? "32768 x 8192 declared: refused" : "1448 x 1448 declared: converted");
}
BENCHMARK(BM_RleBmpToJpeg)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// Console output as usual; each benchmark's CPU time per iteration kept for the figures (the machine
// is shared, so wall time counts other work too), wall time for the cjpeg program, which runs in a
// process of its own.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const bool process = run.benchmark_name().rfind("BM_Cjpeg", 0) == 0;
            // With --benchmark_repetitions the least time is kept: the one least disturbed by other
            // work on the machine.
            const double time = (process ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime()) /
                                static_cast<double>(benchmark::GetTimeUnitMultiplier(run.time_unit));
            const auto known = times.find(run.benchmark_name());
            times[run.benchmark_name()] = known == times.end() ? time : std::min(known->second, time);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double ms(const std::string& name) const {
        const auto it = times.find(name);
        return it == times.end() ? -1 : it->second * 1e3;
    }
    std::map<std::string, double> times;  // seconds per iteration
};

const char* verdict(bool ok) {
    return ok ? "within" : "OVER";
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter r;
    benchmark::RunSpecifiedBenchmarks(&r);

    std::printf("\nfigures against their bounds:\n");
    for (int which = 0; which < 2; ++which) {
        const std::string arg = "/" + std::to_string(which);
        const char* name = frame_name(which);
        const auto& f = frame(which);
        const auto reduced = img::reduce_to_256_colours(f);
        const Planes p = planes_of(f);
        const double ours = reduced ? psnr(reduced->rgb, f.rgb) : 0;
        const double giflib = psnr(median_cut(f, p.r, p.g, p.b), f.rgb);
        const double octree_ms = r.ms("BM_Octree" + arg), bound = which == 0 ? 15.0 : 35.0;
        if (octree_ms >= 0)
            std::printf(
                "  octree, %-6s  %7.2f ms  (%s %.0f ms); PSNR %.2f dB, giflib median cut %.2f dB (%s)\n",
                name, octree_ms, verdict(octree_ms <= bound), bound, ours, giflib,
                ours >= giflib ? "at least as good" : "WORSE");
        const double jpeg = r.ms("BM_Jpeg" + arg), lib = r.ms("BM_LibjpegAsCjpeg" + arg),
                     cjpeg = r.ms("BM_Cjpeg" + arg + "/real_time");
        if (jpeg >= 0 && lib > 0)
            std::printf("  JPEG,   %-6s  %7.2f ms  %.2fx libjpeg-turbo with cjpeg's settings (%s 1.2x)\n",
                        name, jpeg, jpeg / lib, verdict(jpeg / lib <= 1.2));
        if (jpeg >= 0 && cjpeg > 0)
            std::printf("  JPEG,   %-6s  %7.2f ms  %.2fx the cjpeg program (%.2f ms, %s 1.2x)\n", name, jpeg,
                        jpeg / cjpeg, cjpeg, verdict(jpeg / cjpeg <= 1.2));
        const double gif = r.ms("BM_BmpToGif" + arg);
        if (gif >= 0) std::printf("  BMP to GIF, %-6s %7.2f ms  (%s 60 ms)\n", name, gif, verdict(gif <= 60));
    }
    benchmark::Shutdown();
    return 0;
}
