// The virtual LED module a simulated card may drive: its hidden wiring (a profile), and the picture the
// module shows for the card's current settings and test pattern. A wrong setting gives a visibly wrong
// picture, and the truthful answer to each smart-setup question leads to the module's hidden value.
//
// The profile format and the rendering rules are in docs/virtual-module.md.
// Threading: pure functions and values; safe from any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct ModuleProfile {
    std::uint32_t width = 64;
    std::uint32_t height = 32;
    std::uint32_t cable_groups = 1;  // 1, 2 or 4
    std::uint32_t rgb_groups = 2;    // RGB groups per cable: 1, 2 or 4
    // Rows that one row address drives inside one RGB group's band: the row pattern lights
    // scan / line_group rows of each band (scan = height / (rgb_groups x cable_groups)).
    std::uint32_t line_group = 1;
    std::uint32_t data_polarity = 0;  // the word-3 value of the data-polarity state that lights the module
    std::uint32_t oe_polarity = 0;    // the word-3 value of the OE state that shows full brightness
    // Which card channel drives the module's red, green and blue, in that order: "GRB" means the card's
    // green channel lights the module's red. Full colour: a permutation of "RGB"; dual colour (no blue):
    // "RG" or "GR"; single colour (red only): "R" or "G".
    std::string colours = "RGB";
    std::uint32_t hub = 0;      // the HUB board code the module needs (0: any)
    std::uint32_t decoder = 0;  // the row decoder type the module needs

    std::uint32_t scan() const { return height / (rgb_groups * cable_groups); }
    bool operator==(const ModuleProfile&) const = default;
};

// Reads a profile's text ("key=value" lines, '#' comments); returns an error text or "" (and the
// profile in `out`, validated).
std::string parse_module_profile(std::string_view text, ModuleProfile& out);

// The card settings a picture depends on.
struct ModuleInputs {
    std::uint32_t hub_type = 0;
    std::uint32_t decode_type = 0;
    // The last smart-setup pattern: word 2 (the step, 0: none yet) and word 3.
    std::uint32_t pattern = 0;
    std::uint32_t value = 0;
    // The test dialog's running pattern, words 1..9 of its block (empty: none); it takes the place of
    // the smart-setup pattern while it runs.
    std::vector<std::uint32_t> test;
};

// One 0x00RRGGBB value per LED, row by row from the top left.
struct ModulePicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint32_t> leds;

    std::uint32_t at(std::uint32_t column, std::uint32_t row) const { return leds[row * width + column]; }
    bool operator==(const ModulePicture&) const = default;
};

inline constexpr std::uint32_t kDimLevel = 0x40;  // the wrong OE polarity shows this instead of 0xFF

ModulePicture render_module(const ModuleProfile& module, const ModuleInputs& inputs);

// A PNG file's bytes showing the picture as round LEDs on a dark board, `scale` pixels per LED.
std::vector<std::uint8_t> encode_png(const ModulePicture& picture, std::uint32_t scale = 8);

}  // namespace sim
