// Pictures in memory: an RGB picture, optionally with the palette and indices it came from (or was
// reduced to). Value types; rows run top-down, pixels left to right, 3 bytes each (red, green, blue).
// Threading: no shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace image {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // width * height * 3 bytes, top-down

    // A palettised picture (1, 4 or 8 bits per pixel): its colours and one index per pixel, top-down.
    // Empty for direct-colour pictures. rgb always holds the colours the indices select.
    std::vector<Rgb> palette;
    std::vector<std::uint8_t> indices;
    int palette_bits = 0;  // 1, 4 or 8 when palettised

    bool palettised() const { return !palette.empty(); }
    std::size_t pixel_count() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
};

// A direct-colour picture of the given size from top-down RGB rows.
Bitmap rgb_bitmap(int width, int height, std::vector<std::uint8_t> rgb);

}  // namespace image
