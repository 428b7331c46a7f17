// Test pictures and comparisons for the imaging tests: made-up pictures, PSNR, running a decoder
// program and reading the PPM/PGM it writes.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "library/imaging/bitmap.h"

namespace pictures {

using kelvra::imaging::Bitmap;

// Smooth colour ramps with a few hard-edged blocks: what a screen of a card's programme looks like.
inline Bitmap ramps(int width, int height) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x) * 3];
            p[0] = static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1));
            p[1] = static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1));
            p[2] = static_cast<std::uint8_t>(((x / 8) + (y / 8)) % 2 ? 200 : 40);
        }
    }
    return kelvra::imaging::rgb_bitmap(width, height, std::move(rgb));
}

inline double psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        sum += d * d;
    }
    if (sum == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(a.size())));
}

// Standard output of a command (empty when it cannot be run).
inline std::vector<std::uint8_t> run(const std::string& command) {
    std::vector<std::uint8_t> out;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return out;
    std::uint8_t buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.insert(out.end(), buf, buf + n);
    pclose(p);
    return out;
}

// A binary PPM (P6, maxval 255) as a picture; width 0 when it is not one.
inline Bitmap read_ppm(const std::vector<std::uint8_t>& ppm) {
    Bitmap b;
    int w = 0, h = 0, max = 0, used = 0;
    const std::string head(ppm.begin(),
                           ppm.begin() + static_cast<long>(std::min<std::size_t>(ppm.size(), 64)));
    if (std::sscanf(head.c_str(), "P6 %d %d %d%n", &w, &h, &max, &used) != 3 || max != 255) return b;
    const std::size_t start = static_cast<std::size_t>(used) + 1;
    const std::size_t size = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3;
    if (ppm.size() < start + size) return b;
    return kelvra::imaging::rgb_bitmap(
        w, h, {ppm.begin() + static_cast<long>(start), ppm.begin() + static_cast<long>(start + size)});
}

}  // namespace pictures
