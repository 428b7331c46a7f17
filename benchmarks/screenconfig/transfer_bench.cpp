// Times the image transfer to one card: usage
//   screenconfig_transfer_bench CARD_ID ADDRESS LINK_MBIT [RUNS]
// Writes a finished blank image as "temp.sys" in a scratch folder, sends it RUNS times (default 5)
// and prints each run's image rate and the median as a fraction of the link rate. The waits that
// follow the data (settle, apply, close) are set to zero: the time is from connecting to the card's
// acknowledgement of the last byte, plus the apply frame.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "screenconfig/image_transfer.h"
#include "screenconfig/record_files.h"
#include "screenconfig/screen_config.h"

using namespace screenconfig;

namespace {

class Quiet final : public TransferObserver {
  public:
    void progress_opened(int) override {}
    void progress_step() override {}
    void progress_closed() override {}
    void message(const std::string& text) override { last = text; }
    std::string last;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s CARD_ID ADDRESS LINK_MBIT [RUNS]\n", argv[0]);
        return 2;
    }
    const cardlink::CardTarget target{argv[1], argv[2]};
    const double link_bits = std::atof(argv[3]) * 1e6;
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;

    const auto folder =
        std::filesystem::temp_directory_path() / ("transfer_bench." + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    ScreenConfig image;
    build_blank(image);
    finish(image);
    if (write_temp_sys(image, temp_sys_path(folder)) != WriteStatus::Ok) {
        std::fprintf(stderr, "cannot write %s\n", temp_sys_path(folder).c_str());
        return 1;
    }

    TransferSettings settings;
    settings.settle = settings.apply_wait = settings.close_wait = std::chrono::milliseconds(0);
    std::vector<double> ratios;
    for (int i = 0; i < runs; ++i) {
        Quiet observer;
        const auto start = std::chrono::steady_clock::now();
        const TransferOutcome outcome = send_image(
            target, temp_sys_path(folder), [] { return true; }, observer, settings);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (outcome != TransferOutcome::Applied) {
            std::fprintf(stderr, "run %d failed: %s\n", i + 1, observer.last.c_str());
            std::filesystem::remove_all(folder);
            return 1;
        }
        const double bits_per_s = 8.0 * kImageSize / took.count();
        ratios.push_back(bits_per_s / link_bits);
        std::printf("run %d: %.3f s, %.2f Mbit/s of image, %.1f %% of the link\n", i + 1, took.count(),
                    bits_per_s / 1e6, 100.0 * ratios.back());
    }
    std::filesystem::remove_all(folder);
    std::sort(ratios.begin(), ratios.end());
    const double median = ratios[ratios.size() / 2];
    std::printf("median: %.1f %% of %.0f Mbit/s (target 90 %%): %s\n", 100.0 * median, link_bits / 1e6,
                median >= 0.9 ? "met" : "NOT met");
    return 0;
}
