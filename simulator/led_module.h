// The virtual LED module a simulated card may drive: its hidden wiring (a profile), and the picture the
// module shows for the card's current settings and test pattern. A wrong setting gives a visibly wrong
// picture, and the truthful answer to each smart-setup question leads to the module's hidden value.
//
// The profile format and the rendering rules are in docs/virtual-module.md.
// Threading: pure functions and values; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
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
    // The hidden row routing: a row-decode order (14 digits "0".."d") and its class 0..3. Empty after
    // parsing only when not given: decode() then gives the first standard entry for the module's line
    // group and scan, or the default order when there is no standard list.
    std::string decode_order;
    std::uint32_t decode_class = 0;
    // The hidden arrangement codes: how the columns within one driver group (16 columns, fewer on a
    // narrower module) and the rows within one band (up to 16) are swapped, as an XOR of their index.
    std::uint32_t column_code = 0;
    std::uint32_t row_code = 0;

    std::uint32_t scan() const { return height / (rgb_groups * cable_groups); }
    std::uint32_t rows_per_address() const { return scan() / line_group; }
    std::string decode() const;  // the hidden order text, resolved as said above
    bool operator==(const ModuleProfile&) const = default;
};

// Reads a profile's text ("key=value" lines, '#' comments); returns an error text or "" (and the
// profile in `out`, validated).
std::string parse_module_profile(std::string_view text, ModuleProfile& out);

// The row settings a card holds (its screen parameters): the row-decode order as its two words and its
// class, the line interval and the point flags (column arrangement code in bits 0..3, row code in
// bits 10..13).
struct CardRowSettings {
    std::uint32_t decode_word_a = 0;
    std::uint32_t decode_word_b = 0;
    std::uint32_t decode_class = 0;
    std::uint32_t line_interval = 0;
    std::uint32_t point_flags = 0;
};

// The settings a card holds that tell the module's hidden wiring exactly (every standard module; a
// non-standard one needs its order's words).
CardRowSettings matching_settings(const ModuleProfile& module);

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
    // Word 4 of the smart-setup pattern: the traced point's row, the test line's height.
    std::uint32_t value2 = 0;
    // Whether the traced point (pattern 5 at words 3 and 4) is on; the card shows one at a time.
    bool point_on = false;
    CardRowSettings rows{};
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

struct Led {
    std::uint32_t column = 0;  // from the left
    std::uint32_t row = 0;     // from the top
    bool operator==(const Led&) const = default;
};

// The LED a traced point (word 3 = 1023 - place from the right, word 4 = row) lights, for the card's
// row settings; nothing when it falls outside the module. With the grid-tracing settings (default
// order, class 0, line interval 0) the card sends the point's bit straight down the data chain: word 4
// is band x scan + row address, 1023 - word 3 the bit's place along that address's chain, and the LED
// is wherever the module's hidden wiring puts that bit. Otherwise the card aims at column
// 1023 - word 3 from the right edge and row word 4, routed through its row-decode settings.
std::optional<Led> traced_led(const ModuleProfile& module, const CardRowSettings& card, std::uint32_t word3,
                              std::uint32_t word4);

// The logical shapes the card draws for the line-cross check and the test line, as (column from the
// left, row) before any routing.
std::vector<Led> line_cross_shape(const ModuleProfile& module);
std::vector<Led> test_line_shape(const ModuleProfile& module, std::uint32_t width_limited,
                                 std::uint32_t height_limited);

// A PNG file's bytes showing the picture as round LEDs on a dark board, `scale` pixels per LED.
std::vector<std::uint8_t> encode_png(const ModulePicture& picture, std::uint32_t scale = 8);

}  // namespace sim
