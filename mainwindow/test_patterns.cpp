#include "mainwindow/test_patterns.h"

namespace test_patterns {

using screen_control::TestOp;

GridTest with_fallback(GridTest grid) {
    if (!grid.horizontal && !grid.vertical && !grid.diagonal) grid.horizontal = true;
    return grid;
}

GrayTest with_fallback(GrayTest gray) {
    if (!gray.red && !gray.green && !gray.blue && !gray.white) gray.red = true;
    return gray;
}

std::array<std::uint8_t, screen_control::kSize> grid_block(const GridTest& g) {
    const auto colour = kGridColourCodes.at(static_cast<std::size_t>(g.colour));
    // Words 2..9: speed, spacing, horizontal, vertical, diagonal, 0, 1, colour.
    return screen_control::encode(screen_control::make_test(
        TestOp::Grid, {g.speed, g.spacing, g.horizontal ? 1u : 0u, g.vertical ? 1u : 0u, g.diagonal ? 1u : 0u,
                       0u, 1u, colour}));
}

std::array<std::uint8_t, screen_control::kSize> gray_block(const GrayTest& g) {
    // Words 2..9: speed, 1, 0, red, green, blue, white, 0.
    return screen_control::encode(screen_control::make_test(
        TestOp::Gray,
        {g.speed, 1u, 0u, g.red ? 1u : 0u, g.green ? 1u : 0u, g.blue ? 1u : 0u, g.white ? 1u : 0u, 0u}));
}

std::array<std::uint8_t, screen_control::kSize> stop_block() {
    return screen_control::encode(screen_control::make_test(TestOp::Stop));
}

}  // namespace test_patterns
