#include "simulator/led_module.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <sstream>

namespace sim {
namespace {

constexpr std::array<std::string_view, 10> kColourWirings = {"RGB", "BGR", "GRB", "GBR", "BRG",
                                                             "RBG", "RG",  "GR",  "R",   "G"};

std::string number(std::string_view key, std::string_view value, std::uint32_t& out, std::uint32_t min,
                   std::uint32_t max) {
    std::uint32_t v = 0;
    const auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    if (ec != std::errc() || p != value.data() + value.size() || v < min || v > max)
        return "bad value for " + std::string(key) + ": " + std::string(value);
    out = v;
    return {};
}

std::string trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(" \t\r");
    return std::string(s.substr(b, e - b + 1));
}

bool one_of(std::uint32_t v, std::initializer_list<std::uint32_t> values) {
    return std::find(values.begin(), values.end(), v) != values.end();
}

std::string validate(const ModuleProfile& m) {
    if (!one_of(m.cable_groups, {1, 2, 4})) return "cable-groups must be 1, 2 or 4";
    if (!one_of(m.rgb_groups, {1, 2, 4})) return "rgb-groups must be 1, 2 or 4";
    const auto bands = m.cable_groups * m.rgb_groups;
    if (m.height % bands != 0) return "height must be a multiple of cable-groups x rgb-groups";
    const auto scan = m.scan();
    if (m.line_group == 0 || scan % m.line_group != 0) return "line-group must divide the scan";
    if (!one_of(scan / m.line_group, {1, 2, 4, 8, 16}))
        return "scan / line-group (the rows the row pattern lights) must be 1, 2, 4, 8 or 16";
    if (std::find(kColourWirings.begin(), kColourWirings.end(), m.colours) == kColourWirings.end())
        return "colours must be a permutation of RGB, or RG, GR, R or G";
    return {};
}

// Every colour the module has, at `level`.
std::uint32_t all_colours(const ModuleProfile& m, std::uint32_t level) {
    std::uint32_t rgb = 0;
    for (std::size_t i = 0; i < m.colours.size(); ++i) rgb |= level << (16 - 8 * i);
    return rgb;
}

// What the module shows when the card drives its channels with `bbggrr` (red in the low byte).
std::uint32_t wired_colour(const ModuleProfile& m, std::uint32_t bbggrr) {
    std::uint32_t rgb = 0;
    for (std::size_t i = 0; i < m.colours.size(); ++i) {
        const int channel = m.colours[i] == 'R' ? 0 : m.colours[i] == 'G' ? 1 : 2;
        const std::uint32_t level = (bbggrr >> (8 * channel)) & 0xFFu;
        rgb |= level << (16 - 8 * i);
    }
    return rgb;
}

// The first frame of the test dialog's patterns. `t` holds words 1..9 of the block. Grid (word 1 = 2):
// speed, spacing, horizontal, vertical, diagonal, 0, 1, colour 0x00BBGGRR; lines every `spacing` LEDs.
// Gray ramp (word 1 = 3): speed, 1, 0, red, green, blue, white, 0; dark at the left to full at the right.
void draw_test_pattern(const ModuleProfile& m, const std::vector<std::uint32_t>& t, ModulePicture& p) {
    if (t[0] == 2) {
        const std::uint32_t spacing = std::max<std::uint32_t>(1, t[2]);
        const std::uint32_t lit = wired_colour(m, t[8]);
        for (std::uint32_t r = 0; r < m.height; ++r)
            for (std::uint32_t c = 0; c < m.width; ++c) {
                const bool on = (t[3] != 0 && r % spacing == 0) || (t[4] != 0 && c % spacing == 0) ||
                                (t[5] != 0 && (c + spacing * m.height - r) % spacing == 0);
                if (on) p.leds[std::size_t{r} * m.width + c] = lit;
            }
    } else if (t[0] == 3) {
        const bool white = t[7] != 0;
        for (std::uint32_t c = 0; c < m.width; ++c) {
            const std::uint32_t level = m.width > 1 ? 255u * c / (m.width - 1) : 255u;
            const std::uint32_t bbggrr = ((white || t[4] != 0) ? level : 0u) |
                                         ((white || t[5] != 0) ? level << 8 : 0u) |
                                         ((white || t[6] != 0) ? level << 16 : 0u);
            const std::uint32_t rgb = wired_colour(m, bbggrr);
            for (std::uint32_t r = 0; r < m.height; ++r) p.leds[std::size_t{r} * m.width + c] = rgb;
        }
    }
}

// PNG pieces: CRC-32 of chunks and Adler-32 of the zlib stream.
std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (auto b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void put_be32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

void chunk(std::vector<std::uint8_t>& out, std::string_view type, std::span<const std::uint8_t> data) {
    put_be32(out, static_cast<std::uint32_t>(data.size()));
    const auto start = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    put_be32(out, crc32(std::span(out).subspan(start)));
}

}  // namespace

std::string parse_module_profile(std::string_view text, ModuleProfile& out) {
    ModuleProfile m;
    std::istringstream in{std::string(text)};
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        line = trim(line);
        if (line.empty()) continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) return "line " + std::to_string(n) + ": expected key=value";
        const auto key = trim(std::string_view(line).substr(0, eq));
        const auto value = trim(std::string_view(line).substr(eq + 1));
        std::string err;
        if (key == "width")
            err = number(key, value, m.width, 1, 64);
        else if (key == "height")
            err = number(key, value, m.height, 1, 32);
        else if (key == "cable-groups")
            err = number(key, value, m.cable_groups, 1, 4);
        else if (key == "rgb-groups")
            err = number(key, value, m.rgb_groups, 1, 4);
        else if (key == "line-group")
            err = number(key, value, m.line_group, 1, 32);
        else if (key == "data-polarity")
            err = number(key, value, m.data_polarity, 0, 1);
        else if (key == "oe-polarity")
            err = number(key, value, m.oe_polarity, 0, 1);
        else if (key == "hub")
            err = number(key, value, m.hub, 0, 4);
        else if (key == "decoder")
            err = number(key, value, m.decoder, 0, 3);
        else if (key == "colours")
            m.colours = value;
        else
            err = "unknown key " + key;
        if (!err.empty()) return "line " + std::to_string(n) + ": " + err;
    }
    if (auto err = validate(m); !err.empty()) return err;
    out = m;
    return {};
}

ModulePicture render_module(const ModuleProfile& m, const ModuleInputs& in) {
    ModulePicture p{m.width, m.height, std::vector<std::uint32_t>(std::size_t{m.width} * m.height, 0)};
    // Signals on the wrong pins (HUB board) or rows never selected (decoder): nothing lights.
    if ((m.hub != 0 && in.hub_type != m.hub) || in.decode_type != m.decoder) return p;
    auto fill = [&](std::uint32_t rgb) { std::fill(p.leds.begin(), p.leds.end(), rgb); };
    if (in.test.size() >= 9) {
        draw_test_pattern(m, in.test, p);
        return p;
    }
    switch (in.pattern) {
        case 1:  // data polarity: inverted data leaves every LED off
            fill(in.value == m.data_polarity ? all_colours(m, 0xFF) : 0);
            break;
        case 2:  // OE polarity: the wrong sense enables the LEDs only for the short blanking time
            fill(all_colours(m, in.value == m.oe_polarity ? 0xFFu : kDimLevel));
            break;
        case 3:
            fill(wired_colour(m, in.value));
            break;
        case 4: {  // row pattern: the card lights row address 0; each band shows the rows it drives
            const auto scan = m.scan();
            for (std::uint32_t r = 0; r < m.height; ++r)
                if ((r % scan) % m.line_group == 0)
                    std::fill_n(p.leds.begin() + std::size_t{r} * m.width, m.width, all_colours(m, 0xFF));
            break;
        }
        default:  // no pattern yet, or one this model does not draw: dark
            break;
    }
    return p;
}

std::vector<std::uint8_t> encode_png(const ModulePicture& picture, std::uint32_t scale) {
    const std::uint32_t w = picture.width * scale;
    const std::uint32_t h = picture.height * scale;
    // Raw scanlines: a filter byte (0, none) and RGB per pixel.
    std::vector<std::uint8_t> raw;
    raw.reserve(std::size_t{h} * (1 + 3 * std::size_t{w}));
    const double radius = scale * 0.4;
    for (std::uint32_t y = 0; y < h; ++y) {
        raw.push_back(0);
        for (std::uint32_t x = 0; x < w; ++x) {
            const double dx = (x % scale) + 0.5 - scale / 2.0;
            const double dy = (y % scale) + 0.5 - scale / 2.0;
            std::uint32_t rgb = 0x080808;  // the board
            if (dx * dx + dy * dy <= radius * radius) {
                rgb = picture.at(x / scale, y / scale);
                if (rgb == 0) rgb = 0x1C1C1C;  // an unlit LED
            }
            raw.push_back(static_cast<std::uint8_t>(rgb >> 16));
            raw.push_back(static_cast<std::uint8_t>(rgb >> 8));
            raw.push_back(static_cast<std::uint8_t>(rgb));
        }
    }
    // A zlib stream of stored (uncompressed) blocks: no compression library needed.
    std::vector<std::uint8_t> z = {0x78, 0x01};
    std::uint32_t a = 1, b = 0;
    for (auto byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t off = 0; off < raw.size() || off == 0;) {
        const auto len = std::min<std::size_t>(65535, raw.size() - off);
        const bool last = off + len == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(len));
        z.push_back(static_cast<std::uint8_t>(len >> 8));
        z.push_back(static_cast<std::uint8_t>(~len));
        z.push_back(static_cast<std::uint8_t>(~len >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(off),
                 raw.begin() + static_cast<std::ptrdiff_t>(off + len));
        off += len;
        if (last) break;
    }
    put_be32(z, (b << 16) | a);

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> ihdr;
    put_be32(ihdr, w);
    put_be32(ihdr, h);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, no filter choice, no interlace
    chunk(png, "IHDR", ihdr);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});
    return png;
}

}  // namespace sim
