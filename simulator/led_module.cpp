#include "simulator/led_module.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <sstream>

#include "common/row_decode.h"

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

// --- The hidden wiring of rows and columns -------------------------------------------------------
//
// Inside one band of `scan` rows the module has `line_group` row addresses; each address drives
// L = scan / line_group rows, `line_group` rows apart. The data of one address runs as one chain
// through those L rows, up to 32 columns at a time: bit q of the chain lies in segment q / (32 L),
// and within a segment of width w in slot j = rest / w at column (from the right edge) rest mod w.
// The row-decode order and its class then route each column's slots: slot j of column u shows on the
// row of slot (j + shift(u)) mod L, with
//     shift(u) = place(u mod 14) - (u mod 14) + (class c > 0 ? bit c - 1 of u : 0),
// where place(x) is the position, counted from the right, of the digit x in the order text. The
// default order with class 0 gives no shift: slot j is the j-th row of the address. The order's digits
// below `line_group`, read from the right, also say which address drives which row group.
// Finally the arrangement codes XOR a column's index within its driver group (16 columns, or the whole
// width when it is 2, 4 or 8) and a row's index within its band's first 16 rows.

constexpr std::uint32_t kSegment = 32;  // columns a chain covers before moving on
constexpr std::size_t kOrderDigits = 14;

struct Geometry {
    std::uint32_t width, height, scan, groups, per_address, bands;
};

Geometry geometry_of(const ModuleProfile& m) {
    return {m.width, m.height, m.scan(), m.line_group, m.rows_per_address(), m.rgb_groups * m.cable_groups};
}

// A place on the module: column from the right edge, row from the top.
struct Place {
    std::uint32_t u, row;
};

struct Signal {
    std::uint32_t band, address, bit;
};

std::uint32_t digit_value(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<std::uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<std::uint32_t>(c - 'A' + 10);
    return 255;
}

// One reading of an order text and class for a module's geometry.
struct Routing {
    std::array<std::uint32_t, kOrderDigits> place{};  // digit -> position from the right
    std::vector<std::uint32_t> address;               // card address -> row group
    std::vector<std::uint32_t> address_of;            // row group -> card address
    std::uint32_t order_class = 0;
};

Routing routing_of(std::string_view order, std::uint32_t order_class, const Geometry& g) {
    Routing r;
    r.order_class = order_class;
    for (std::uint32_t x = 0; x < kOrderDigits; ++x) r.place[x] = x;
    std::array<bool, kOrderDigits> seen{};
    std::vector<bool> used(g.groups, false);
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto d = digit_value(order[order.size() - 1 - i]);
        if (d < kOrderDigits && !seen[d]) {
            seen[d] = true;
            r.place[d] = static_cast<std::uint32_t>(i);
        }
        if (d < g.groups && !used[d]) {
            used[d] = true;
            r.address.push_back(d);
        }
    }
    for (std::uint32_t a = 0; a < g.groups; ++a)
        if (!used[a]) r.address.push_back(a);
    r.address_of.assign(g.groups, 0);
    for (std::uint32_t a = 0; a < g.groups; ++a) r.address_of[r.address[a]] = a;
    return r;
}

std::uint32_t shift(const Routing& r, const Geometry& g, std::uint32_t u) {
    const std::uint32_t x = u % kOrderDigits;
    const std::uint32_t class_bit = r.order_class == 0 ? 0 : (u >> ((r.order_class - 1) % 32)) & 1u;
    const std::int64_t s = std::int64_t{r.place[x]} - x + class_bit;
    const std::int64_t l = g.per_address;
    return static_cast<std::uint32_t>(((s % l) + l) % l);
}

std::optional<Place> route(const Routing& r, const Geometry& g, const Signal& s) {
    if (s.band >= g.bands || s.address >= g.groups) return std::nullopt;
    const std::uint64_t per_segment = std::uint64_t{kSegment} * g.per_address;
    const std::uint64_t segment = s.bit / per_segment;
    const std::uint64_t start = segment * kSegment;
    if (start >= g.width) return std::nullopt;
    const std::uint64_t w = std::min<std::uint64_t>(kSegment, g.width - start);
    const std::uint64_t rest = s.bit - segment * per_segment;
    if (rest >= w * g.per_address) return std::nullopt;
    const auto u = static_cast<std::uint32_t>(start + rest % w);
    const auto slot = static_cast<std::uint32_t>((rest / w + shift(r, g, u)) % g.per_address);
    return Place{u, s.band * g.scan + r.address[s.address] + slot * g.groups};
}

// The signal that `route` takes to `p` (p on the module).
Signal unroute(const Routing& r, const Geometry& g, const Place& p) {
    const std::uint32_t v = p.row % g.scan;
    const std::uint32_t slot = v / g.groups;
    const std::uint32_t j = (slot + g.per_address - shift(r, g, p.u)) % g.per_address;
    const std::uint32_t start = p.u / kSegment * kSegment;
    const std::uint32_t w = std::min(kSegment, g.width - start);
    return {p.row / g.scan, r.address_of[v % g.groups], start * g.per_address + j * w + (p.u - start)};
}

// The group the arrangement code permutes: 16 or a smaller power of two, 1 when it permutes nothing.
std::uint32_t arrangement_group(std::uint32_t size) {
    const std::uint32_t n = std::min<std::uint32_t>(size, 16);
    return n == 2 || n == 4 || n == 8 || n == 16 ? n : 1;
}

// Moves a place by the arrangement codes; a code that does not fit its group throws the LED elsewhere
// or off the module, as a card with such point flags would.
std::optional<Place> arrange(const Geometry& g, std::uint32_t column_code, std::uint32_t row_code,
                             const Place& p) {
    const std::uint32_t gc = arrangement_group(g.width);
    const std::uint32_t gr = arrangement_group(g.scan);
    const std::uint32_t u = p.u - p.u % gc + ((p.u % gc) ^ column_code);
    const std::uint32_t v = p.row % g.scan;
    const std::uint32_t row = p.row - v + (v - v % gr + ((v % gr) ^ row_code));
    if (u >= g.width || row >= g.height) return std::nullopt;
    return Place{u, row};
}

std::string order_text_of(const CardRowSettings& card) {
    char text[32];
    std::snprintf(text, sizeof text, "%06x%08x", card.decode_word_b, card.decode_word_a);
    return text;
}

bool grid_tracing(const CardRowSettings& card) {
    const auto standard = row_decode::words_of(row_decode::kDefaultOrder);
    return card.decode_word_a == standard.a && card.decode_word_b == standard.b && card.decode_class == 0 &&
           card.line_interval == 0;
}

// A place the card aims at, through its own row settings and then the module's hidden wiring.
std::optional<Place> shown_at(const ModuleProfile& m, const CardRowSettings& card, const Place& aim) {
    const auto g = geometry_of(m);
    const auto card_place = arrange(g, card.point_flags & 0xFu, (card.point_flags >> 10) & 0xFu, aim);
    if (!card_place) return std::nullopt;
    const auto signal = unroute(routing_of(order_text_of(card), card.decode_class, g), g, *card_place);
    const auto placed = route(routing_of(m.decode(), m.decode_class, g), g, signal);
    if (!placed) return std::nullopt;
    return arrange(g, m.column_code, m.row_code, *placed);
}

bool is_order_text(std::string_view text) {
    if (text.size() != kOrderDigits) return false;
    std::array<bool, kOrderDigits> seen{};
    for (const char c : text) {
        const auto d = digit_value(c);
        if (d >= kOrderDigits || seen[d]) return false;
        seen[d] = true;
    }
    return true;
}

std::string validate_wiring(const ModuleProfile& m) {
    const auto list = row_decode::standard_list(m.line_group, m.scan());
    if (!m.decode_order.empty() && !is_order_text(m.decode_order))
        return "decode-order must be the 14 digits 0..9 and a..d, each once";
    if (!list.empty()) {
        const auto order = m.decode();
        const bool standard = std::any_of(list.begin(), list.end(), [&](const row_decode::Entry& e) {
            return e.order == order && e.order_class == m.decode_class;
        });
        if (!standard)
            return "decode-order and decode-class must be an entry of the standard list for line-group " +
                   std::to_string(m.line_group) + " and scan " + std::to_string(m.scan()) +
                   " (decode-entry picks one)";
        // Each column shows one digit's routing: a narrower module would show some entries alike.
        if (list.size() > 1 && m.width < kOrderDigits)
            return "a module with several standard row-decode entries must be at least 14 LEDs wide";
    }
    const auto gc = arrangement_group(m.width);
    if (m.column_code != 0 && (m.column_code >= gc || m.width % gc != 0))
        return "column-code must be below the driver group (" + std::to_string(gc) +
               " columns) and the width a whole number of groups";
    if (m.row_code >= arrangement_group(m.scan()) && m.row_code != 0)
        return "row-code must be below the rows of a band, at most 16 (" +
               std::to_string(arrangement_group(m.scan())) + ")";
    return {};
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
    if (auto err = validate_wiring(m); !err.empty()) return err;
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
    std::uint32_t entry = 0;  // decode-entry, 1-based; 0: not given
    bool class_given = false;
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
        else if (key == "decode-entry")
            err = number(key, value, entry, 1, 16);
        else if (key == "decode-order") {
            m.decode_order = value;
            std::transform(m.decode_order.begin(), m.decode_order.end(), m.decode_order.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        } else if (key == "decode-class") {
            err = number(key, value, m.decode_class, 0, 3);
            class_given = true;
        } else if (key == "column-code")
            err = number(key, value, m.column_code, 0, 15);
        else if (key == "row-code")
            err = number(key, value, m.row_code, 0, 15);
        else
            err = "unknown key " + key;
        if (!err.empty()) return "line " + std::to_string(n) + ": " + err;
    }
    if (entry != 0) {
        if (!m.decode_order.empty() || class_given)
            return "decode-entry takes the place of decode-order and decode-class";
        const auto e = row_decode::entry_at(m.line_group, m.scan(), entry - 1);
        if (e.order.empty())
            return "decode-entry " + std::to_string(entry) + ": the standard list for line-group " +
                   std::to_string(m.line_group) + " and scan " + std::to_string(m.scan()) + " has " +
                   std::to_string(row_decode::standard_list(m.line_group, m.scan()).size()) + " entries";
        m.decode_order = e.order;
        m.decode_class = e.order_class;
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
        case 5:  // one traced point
            if (in.point_on) {
                if (const auto led = traced_led(m, in.rows, in.value, in.value2))
                    p.leds[std::size_t{led->row} * m.width + led->column] = all_colours(m, 0xFF);
            }
            break;
        case 6:  // the line-cross check
        case 8:  // the test line
            for (const Led aim :
                 in.pattern == 6 ? line_cross_shape(m) : test_line_shape(m, in.value, in.value2))
                if (const auto at = shown_at(m, in.rows, {m.width - 1 - aim.column, aim.row}))
                    p.leds[std::size_t{at->row} * m.width + (m.width - 1 - at->u)] = all_colours(m, 0xFF);
            break;
        default:  // no pattern yet, or one this model does not draw: dark
            break;
    }
    return p;
}

std::string ModuleProfile::decode() const {
    if (!decode_order.empty()) return decode_order;
    const auto first = row_decode::entry_at(line_group, scan(), 0);
    return std::string(first.order.empty() ? row_decode::kDefaultOrder : first.order);
}

CardRowSettings matching_settings(const ModuleProfile& m) {
    const auto words = row_decode::words_of(m.decode());
    return {words.a, words.b, m.decode_class, m.rows_per_address() - 1, m.column_code | m.row_code << 10};
}

std::optional<Led> traced_led(const ModuleProfile& m, const CardRowSettings& card, std::uint32_t word3,
                              std::uint32_t word4) {
    if (word3 > 1023) return std::nullopt;
    const std::uint32_t along = 1023 - word3;
    std::optional<Place> at;
    if (grid_tracing(card)) {
        const auto g = geometry_of(m);
        const auto placed =
            route(routing_of(m.decode(), m.decode_class, g), g, {word4 / g.scan, word4 % g.scan, along});
        if (placed) at = arrange(g, m.column_code, m.row_code, *placed);
    } else if (along < m.width && word4 < m.height) {
        // A point is a place on the module: the card routes it, but does not arrange it (the column and
        // row walks that find the arrangement codes light points).
        const auto g = geometry_of(m);
        const auto signal = unroute(routing_of(order_text_of(card), card.decode_class, g), g, {along, word4});
        const auto placed = route(routing_of(m.decode(), m.decode_class, g), g, signal);
        if (placed) at = arrange(g, m.column_code, m.row_code, *placed);
    }
    if (!at) return std::nullopt;
    return Led{m.width - 1 - at->u, at->row};
}

std::vector<Led> line_cross_shape(const ModuleProfile& m) {
    // One row and one column through the middle.
    std::vector<Led> shape;
    const std::uint32_t row = (m.height - 1) / 2;
    const std::uint32_t column = (m.width - 1) / 2;
    for (std::uint32_t c = 0; c < m.width; ++c) shape.push_back({c, row});
    for (std::uint32_t r = 0; r < m.height; ++r)
        if (r != row) shape.push_back({column, r});
    return shape;
}

std::vector<Led> test_line_shape(const ModuleProfile& m, std::uint32_t width_limited,
                                 std::uint32_t height_limited) {
    // From the top-right corner: the corner and the LED left of it, then one row down and one column
    // left at a time. The flat start makes every swap of columns or rows show (a plain diagonal stays
    // the same diagonal when columns and rows are swapped alike).
    std::vector<Led> shape;
    const std::uint32_t w = std::min(width_limited, m.width);
    const std::uint32_t h = std::min(height_limited, m.height);
    if (w == 0 || h == 0) return shape;
    shape.push_back({m.width - 1, 0});
    for (std::uint32_t i = 0; i + 1 < w && i < h; ++i) shape.push_back({m.width - 2 - i, i});
    return shape;
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
