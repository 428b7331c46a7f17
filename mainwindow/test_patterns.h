// The test dialog's patterns (dialog 157): the moving grid, the gray ramp and stop, each one
// CMD_SCREEN_CONTROL block (sub-code 1, word 1 = 2 grid, 3 gray, 241 stop) sent without waiting for an
// answer. The word tables are in docs/protocol.md.
//
// Pure functions; safe on any thread.
#pragma once

#include <array>
#include <cstdint>

#include "common/screen_control.h"

namespace test_patterns {

enum class GridColour : int { Red = 0, Green = 1, Blue = 2, White = 3 };

// Colour codes 0x00BBGGRR of the grid radios, by GridColour.
inline constexpr std::array<std::uint32_t, 4> kGridColourCodes{0x0000FFu, 0x00FF00u, 0xFF0000u, 0xFFFFFFu};

struct GridTest {
    GridColour colour = GridColour::White;
    bool horizontal = false;
    bool vertical = false;
    bool diagonal = true;
    std::uint32_t spacing = 15;
    std::uint32_t speed = 200;
};

struct GrayTest {
    bool red = false;
    bool green = false;
    bool blue = false;
    bool white = true;
    std::uint32_t speed = 10;
};

// With no line ticked the grid runs with horizontal lines ("横线"); the dialog ticks that box too.
GridTest with_fallback(GridTest grid);
// With no colour ticked the ramp runs in red ("红").
GrayTest with_fallback(GrayTest gray);

// The blocks as they are sent (the fallbacks above are applied by the caller first).
std::array<std::uint8_t, screen_control::kSize> grid_block(const GridTest& grid);
std::array<std::uint8_t, screen_control::kSize> gray_block(const GrayTest& gray);
std::array<std::uint8_t, screen_control::kSize> stop_block();

}  // namespace test_patterns
