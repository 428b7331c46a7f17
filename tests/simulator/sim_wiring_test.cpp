// The virtual module's hidden row and column wiring: the line-cross check, traced points and the test
// line, each shown right only for the settings that match the module, and the truthful answers that
// lead back to the hidden values.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "common/frame.h"
#include "common/row_decode.h"
#include "common/screen_control.h"
#include "simulator/card_model.h"
#include "simulator/led_module.h"
#include "tests/simulator/card_blocks.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::CardRowSettings;
using sim::Led;
using sim::ModuleInputs;
using sim::ModuleProfile;

ModuleProfile profile(const std::string& text) {
    ModuleProfile p;
    const auto err = sim::parse_module_profile(text, p);
    EXPECT_EQ(err, "") << text;
    return p;
}

// A full-colour module with two RGB groups whose line group and scan are `group` and `scan`.
std::string module_text(std::uint32_t width, std::uint32_t group, std::uint32_t scan) {
    return "width=" + std::to_string(width) + "\nheight=" + std::to_string(2 * scan) +
           "\nrgb-groups=2\nline-group=" + std::to_string(group) + "\n";
}

CardRowSettings with_entry(CardRowSettings s, const row_decode::Entry& e) {
    const auto words = row_decode::words_of(e.order);
    s.decode_word_a = words.a;
    s.decode_word_b = words.b;
    s.decode_class = e.order_class;
    return s;
}

std::set<std::pair<std::uint32_t, std::uint32_t>> lit(const sim::ModulePicture& p) {
    std::set<std::pair<std::uint32_t, std::uint32_t>> out;
    for (std::uint32_t r = 0; r < p.height; ++r)
        for (std::uint32_t c = 0; c < p.width; ++c)
            if (p.at(c, r) != 0) out.insert({c, r});
    return out;
}

// Exactly one whole row and one whole column, nothing else.
bool clean_cross(const sim::ModulePicture& p) {
    const auto on = lit(p);
    std::uint32_t full_rows = 0, full_columns = 0;
    for (std::uint32_t r = 0; r < p.height; ++r) {
        std::uint32_t n = 0;
        for (std::uint32_t c = 0; c < p.width; ++c) n += on.count({c, r});
        full_rows += n == p.width;
    }
    for (std::uint32_t c = 0; c < p.width; ++c) {
        std::uint32_t n = 0;
        for (std::uint32_t r = 0; r < p.height; ++r) n += on.count({c, r});
        full_columns += n == p.height;
    }
    return full_rows == 1 && full_columns == 1 && on.size() == p.width + p.height - 1;
}

sim::ModulePicture render(const ModuleProfile& m, std::uint32_t pattern, const CardRowSettings& rows,
                          std::uint32_t value = 0, std::uint32_t value2 = 0, bool point_on = false) {
    ModuleInputs in;
    in.pattern = pattern;
    in.value = value;
    in.value2 = value2;
    in.point_on = point_on;
    in.rows = rows;
    return sim::render_module(m, in);
}

constexpr std::uint32_t kLineCross = 6;
constexpr std::uint32_t kTracePoint = 5;
constexpr std::uint32_t kTestLine = 8;

// Every entry of every standard list as the hidden one, on modules of several widths: only that entry
// draws one horizontal and one vertical line; every other entry of the list, and the default order
// the card holds after the scan step, do not.
TEST(LineCross, OnlyTheModulesOwnEntryGivesACleanCross) {
    const std::pair<std::uint32_t, std::uint32_t> pairs[] = {{16, 16}, {8, 16}, {8, 8}, {4, 16}, {4, 8},
                                                             {4, 4},   {2, 16}, {2, 8}, {2, 4},  {2, 2},
                                                             {1, 16},  {1, 8},  {1, 4}, {1, 2}};
    for (const auto& [group, scan] : pairs) {
        const auto list = row_decode::standard_list(group, scan);
        ASSERT_FALSE(list.empty());
        for (const std::uint32_t width : {16u, 32u, 64u}) {
            for (std::size_t hidden = 0; hidden < list.size(); ++hidden) {
                const auto m = profile(module_text(width, group, scan) +
                                       "decode-entry=" + std::to_string(hidden + 1) + "\n");
                const auto right = sim::matching_settings(m);
                const std::string where = std::to_string(group) + "/" + std::to_string(scan) + " width " +
                                          std::to_string(width) + " entry " + std::to_string(hidden + 1);
                EXPECT_TRUE(clean_cross(render(m, kLineCross, right))) << where;
                for (std::size_t other = 0; other < list.size(); ++other) {
                    if (other == hidden) continue;
                    EXPECT_FALSE(clean_cross(render(m, kLineCross, with_entry(right, list[other]))))
                        << where << " shown with entry " << other + 1;
                }
                if (list[hidden].order != row_decode::kDefaultOrder || list[hidden].order_class != 0) {
                    const row_decode::Entry standard{row_decode::kDefaultOrder, 0, {}};
                    EXPECT_FALSE(clean_cross(render(m, kLineCross, with_entry(right, standard)))) << where;
                }
            }
        }
    }
}

TEST(LineCross, PointFlagsMoveTheCrossButKeepItClean) {
    const auto m = profile(module_text(32, 4, 16) + "decode-entry=6\ncolumn-code=5\nrow-code=9\n");
    auto settings = sim::matching_settings(m);
    for (const std::uint32_t flags : {0u, 5u, 9u << 10, 15u | 3u << 10}) {
        settings.point_flags = flags;
        EXPECT_TRUE(clean_cross(render(m, kLineCross, settings))) << flags;
    }
}

// The grid-tracing settings (default order, class 0, line interval 0) send a point's bit straight down
// the chain. A 4 x 12 module, 1/12 scan, six row addresses of two rows each (rows a and a + 6), order
// "dca98765432b10" with class 3: columns 2 and 3 (from the right) swap the two rows of their address.
TEST(TracedPoint, GridTracingShowsWhereTheHiddenWiringPutsEachBit) {
    const auto m = profile(
        "width=4\nheight=12\nrgb-groups=1\nline-group=6\ndecode-order=dca98765432b10\ndecode-class=3\n");
    const CardRowSettings tracing{0x76543210, 0xDCBA98, 0, 0, 0};
    struct Case {
        std::uint32_t point;  // P, 1-based; D = 2 rows x 4 columns
        Led led;
    };
    const Case cases[] = {
        {1, {3, 0}}, {2, {2, 0}},  {3, {1, 6}},  {4, {0, 6}},  // address 0, first slot
        {5, {3, 6}}, {6, {2, 6}},  {7, {1, 0}},  {8, {0, 0}},  // address 0, second slot
        {9, {3, 1}}, {11, {1, 7}}, {15, {1, 1}},               // address 1
    };
    for (const auto& c : cases) {
        const std::uint32_t d = 2 * 4;
        const auto led = sim::traced_led(m, tracing, 1023 - (c.point - 1) % d, (c.point - 1) / d);
        ASSERT_TRUE(led) << c.point;
        EXPECT_EQ(*led, c.led) << "point " << c.point;
        const auto picture =
            render(m, kTracePoint, tracing, 1023 - (c.point - 1) % d, (c.point - 1) / d, true);
        EXPECT_EQ(lit(picture),
                  (std::set<std::pair<std::uint32_t, std::uint32_t>>{{c.led.column, c.led.row}}));
    }
    EXPECT_FALSE(sim::traced_led(m, tracing, 1023 - 8, 0)) << "past the end of the chain";
    EXPECT_FALSE(sim::traced_led(m, tracing, 1023, 6)) << "no seventh row address";
    EXPECT_FALSE(sim::traced_led(m, tracing, 1024, 0));
    EXPECT_TRUE(lit(render(m, kTracePoint, tracing, 1023, 0, false)).empty()) << "a point switched off";
}

// The wizard's tracing walk over the first band (all rows lit, or part of them) reaches every LED of
// the band exactly once, for standard modules and for modules without a standard list.
TEST(TracedPoint, TracingTheFirstBandCoversItOnce) {
    const char* modules[] = {
        "width=32\nheight=16\nrgb-groups=2\nline-group=2\ndecode-entry=7\n",  // 1/8, 4 rows per address
        "width=16\nheight=16\nrgb-groups=1\nline-group=1\ndecode-entry=5\n",  // all 16 rows lit
        "width=8\nheight=12\nrgb-groups=1\nline-group=3\ndecode-order=dcba9876543201\n",   // 1/12
        "width=16\nheight=32\nrgb-groups=1\nline-group=8\ndecode-order=dcba9876543120\n",  // 1/32
        "width=64\nheight=32\nrgb-groups=2\nline-group=16\n",                              // 1/16, 64 wide
    };
    const CardRowSettings tracing{0x76543210, 0xDCBA98, 0, 0, 0};
    for (const char* text : modules) {
        const auto m = profile(text);
        const std::uint32_t w = std::min(m.width, 32u);
        const std::uint32_t d = m.rows_per_address() * w;
        std::set<std::pair<std::uint32_t, std::uint32_t>> seen;
        for (std::uint32_t p = 1; p <= w * m.scan(); ++p) {
            const auto led = sim::traced_led(m, tracing, 1023 - (p - 1) % d, (p - 1) / d);
            ASSERT_TRUE(led) << text << " point " << p;
            EXPECT_LT(led->row, m.scan()) << text;
            EXPECT_GE(led->column, m.width - w)
                << text << ": the traced part is the columns nearest the input";
            seen.insert({led->column, led->row});
        }
        EXPECT_EQ(seen.size(), std::size_t{w} * m.scan()) << text;
    }
}

// A module without a standard list: its non-standard order moves points where grid tracing finds
// them. 1/12 scan, three addresses of four rows; the order swaps digits 0 and 1.
TEST(TracedPoint, NonStandardOrderMovesTheTracedPoints) {
    const auto m = profile("width=8\nheight=12\nrgb-groups=1\nline-group=3\ndecode-order=dcba9876543201\n");
    const CardRowSettings tracing{0x76543210, 0xDCBA98, 0, 0, 0};
    // Bit 0 of address 0: address 0 drives row group 1, and digit 0 sits one place left, so the
    // first column's slot moves down one: row 1 + 3.
    EXPECT_EQ(sim::traced_led(m, tracing, 1023, 0), (Led{7, 4}));
    const auto standard = profile("width=8\nheight=12\nrgb-groups=1\nline-group=3\n");
    EXPECT_EQ(sim::traced_led(standard, tracing, 1023, 0), (Led{7, 0}));
}

// The step-7 walks after the right list choice: column point n (word 3 = 1024 - n, row 0), row point
// n (word 3 = 1023, row n - 1). A technician clicks where each appears; the arrangement rule turns the
// clicks back into the module's codes.
int arrangement_code(const std::string& t) {
    const std::size_t n = t.size();
    if (n != 2 && n != 4 && n != 8 && n != 16) return 0;
    for (std::uint32_t v = 0; v < n; ++v) {
        bool fits = true;
        for (std::size_t i = 0; i < n && fits; ++i) fits = t[i] == "0123456789abcdef"[(n - 1 - i) ^ v];
        if (fits) return static_cast<int>(v);
    }
    return -1;
}

TEST(TracedPoint, ColumnAndRowWalksRecoverTheArrangementCodes) {
    struct Case {
        const char* text;
    };
    const Case cases[] = {
        {"width=32\nheight=16\nrgb-groups=2\nline-group=2\ndecode-entry=4\ncolumn-code=1\nrow-code=5\n"},
        {"width=64\nheight=32\nrgb-groups=2\nline-group=4\ndecode-entry=9\ncolumn-code=15\nrow-code=15\n"},
        {"width=16\nheight=16\nrgb-groups=1\nline-group=1\ndecode-entry=3\ncolumn-code=6\nrow-code=10\n"},
        {"width=16\nheight=8\nrgb-groups=2\nline-group=2\ndecode-entry=2\ncolumn-code=3\nrow-code=2\n"},
        {"width=32\nheight=16\nrgb-groups=1\nline-group=16\n"},
        {"width=24\nheight=4\nrgb-groups=2\nline-group=2\ncolumn-code=0\nrow-code=1\n"},
    };
    for (const auto& c : cases) {
        const auto m = profile(c.text);
        auto settings = sim::matching_settings(m);
        settings.point_flags = 0;  // the walks run before the card has the point flags
        const std::uint32_t w = std::min({m.width, 32u, 16u});
        const std::uint32_t s = std::min(m.scan(), 16u);
        // Column walk: the grid shows the w columns at the right edge; cell c (1-based, from the left)
        // holds the number of the point seen there.
        std::vector<std::uint32_t> column_cell(w + 1, 0);
        for (std::uint32_t n = 1; n <= w; ++n) {
            const auto led = sim::traced_led(m, settings, 1024 - n, 0);
            ASSERT_TRUE(led) << c.text << " column point " << n;
            const std::uint32_t cell = led->column - (m.width - w) + 1;
            ASSERT_GE(cell, 1u);
            column_cell[cell] = n;
        }
        std::string t;
        for (std::uint32_t cell = 1; cell <= w; ++cell) t += "0123456789abcdef"[column_cell[cell] - 1];
        EXPECT_EQ(arrangement_code(t), static_cast<int>(m.column_code)) << c.text << " T=" << t;
        std::vector<std::uint32_t> row_cell(s + 1, 0);
        for (std::uint32_t n = 1; n <= s; ++n) {
            const auto led = sim::traced_led(m, settings, 1023, n - 1);
            ASSERT_TRUE(led) << c.text << " row point " << n;
            EXPECT_EQ(led->column, m.width - 1 - m.column_code) << "row points lie in the first column";
            row_cell[led->row + 1] = n;
        }
        t.clear();
        for (std::uint32_t cell = 1; cell <= s; ++cell)
            t.insert(t.begin(), "0123456789abcdef"[row_cell[cell] - 1]);
        EXPECT_EQ(arrangement_code(t), static_cast<int>(m.row_code)) << c.text << " T=" << t;
    }
}

// The test line is exactly its shape only with the module's own point flags; every other pair of
// codes that fits in the flags' bits bends it.
TEST(TestLine, StraightOnlyWithTheModulesPointFlags) {
    const char* modules[] = {
        "width=32\nheight=16\nrgb-groups=2\nline-group=2\ndecode-entry=4\ncolumn-code=1\nrow-code=5\n",
        "width=64\nheight=32\nrgb-groups=2\nline-group=4\ndecode-entry=9\n",
        "width=16\nheight=16\nrgb-groups=1\nline-group=1\ndecode-entry=3\ncolumn-code=15\nrow-code=15\n",
        "width=8\nheight=8\nrgb-groups=2\nline-group=4\ncolumn-code=3\nrow-code=2\n",
        "width=24\nheight=24\nrgb-groups=2\nline-group=12\n",  // 1/12: no row arrangement
    };
    for (const char* text : modules) {
        const auto m = profile(text);
        const std::uint32_t wl = std::min(m.width, 32u), hl = std::min(m.height, 16u);
        std::set<std::pair<std::uint32_t, std::uint32_t>> line;
        for (const Led l : sim::test_line_shape(m, wl, hl)) line.insert({l.column, l.row});
        ASSERT_GE(line.size(), 3u);
        const auto right = sim::matching_settings(m);
        EXPECT_EQ(lit(render(m, kTestLine, right, wl, hl)), line) << text;
        for (std::uint32_t column = 0; column < 16; ++column) {
            for (std::uint32_t row = 0; row < 16; ++row) {
                auto wrong = right;
                wrong.point_flags = column | row << 10;
                if (wrong.point_flags == right.point_flags) continue;
                EXPECT_NE(lit(render(m, kTestLine, wrong, wl, hl)), line)
                    << text << " column code " << column << " row code " << row;
            }
        }
        // A wrong row-decode entry bends it too.
        const auto list = row_decode::standard_list(m.line_group, m.scan());
        if (list.size() > 1) {
            const auto other = with_entry(right, list[list[0].order == m.decode() ? 1 : 0]);
            EXPECT_NE(lit(render(m, kTestLine, other, wl, hl)), line) << text;
        }
    }
}

TEST(ModuleProfile, RowWiringKeys) {
    auto m = profile(module_text(32, 4, 16) + "decode-entry=6\ncolumn-code=7\nrow-code=12\n");
    EXPECT_EQ(m.decode(), "ba987654dc3210");
    EXPECT_EQ(m.decode_class, 1u);
    EXPECT_EQ(sim::matching_settings(m).decode_word_a, 0x54DC3210u);
    EXPECT_EQ(sim::matching_settings(m).decode_word_b, 0xBA9876u);
    EXPECT_EQ(sim::matching_settings(m).line_interval, 3u);
    EXPECT_EQ(sim::matching_settings(m).point_flags, 7u | 12u << 10);
    m = profile(module_text(32, 4, 16) + "decode-order=BA98765D43C210\ndecode-class=2\n");
    EXPECT_EQ(m.decode(), "ba98765d43c210") << "an entry given by its text and class";
    EXPECT_EQ(profile(module_text(32, 2, 8)).decode(), "da9876543cb210") << "no key: the list's first entry";
    EXPECT_EQ(profile("width=8\nheight=12\nrgb-groups=1\nline-group=3\n").decode(), row_decode::kDefaultOrder)
        << "no list: the default order";

    const std::string bad[] = {
        module_text(32, 4, 16) + "decode-entry=11",                                      // the list has 10
        module_text(32, 8, 4 * 2) + "line-group=8\ndecode-entry=2",                      // 8/8 has one
        module_text(32, 4, 16) + "decode-order=ba98765432dc10\ndecode-class=1",          // not an entry
        module_text(32, 4, 16) + "decode-entry=2\ndecode-class=0",                       // both ways at once
        "width=8\nheight=12\nrgb-groups=1\nline-group=3\ndecode-order=dcba987654321",    // 13 digits
        "width=8\nheight=12\nrgb-groups=1\nline-group=3\ndecode-order=dcba98765432e1",   // no digit e
        "width=8\nheight=12\nrgb-groups=1\nline-group=3\ndecode-order=dcba98765432100",  // 15
        "width=8\nheight=12\nrgb-groups=1\nline-group=3\ndecode-order=dcba9876543211",   // 1 twice
        module_text(8, 4, 4) + "column-code=8",   // 8 columns: codes 0..7
        module_text(24, 2, 4) + "column-code=1",  // 24 is no whole number of 16-column groups
        module_text(12, 4, 4) + "column-code=1",  // 12 columns: no arrangement
        module_text(12, 2, 4),                    // too narrow to tell its six entries apart
        module_text(32, 2, 4) + "row-code=4",     // 1/4 scan: codes 0..3
        "width=8\nheight=12\nrgb-groups=1\nline-group=3\nrow-code=1",  // 1/12: none
        module_text(32, 2, 4) + "row-code=16",
    };
    for (const auto& text : bad) {
        ModuleProfile p;
        EXPECT_NE(sim::parse_module_profile(text, p), "") << text;
    }
}

// The card keeps the settings the later steps send and shows one traced point at a time.
TEST(ModuleCard, KeepsRowSettingsAndOneTracedPoint) {
    const support::TempDir folder;
    sim::CardConfig c;
    c.id = "S730-413-05862";
    c.module = profile(
        "width=4\nheight=12\nrgb-groups=1\nline-group=6\ndecode-order=dca98765432b10\ndecode-class=3\ncolumn-"
        "code=1\n");
    sim::CardModel card(c, folder.path(), std::chrono::steady_clock::now());
    auto send = [&](const screen_control::Words& w) { return simtest::send_block(card, w); };
    using screen_control::SmartStep;
    using screen_control::Sub;
    auto param = [&](std::size_t offset) {
        return frame::get_u32le(card.state().info.screen_params.data() + offset);
    };
    auto shown = [&] { return lit(*card.state().module_picture); };
    using Lit = std::set<std::pair<std::uint32_t, std::uint32_t>>;

    // The grid-tracing settings, then points: each new point replaces the last one.
    send(screen_control::make(Sub::LineInterval, {0}));
    send(screen_control::make(Sub::DecodeOrderWords, {0x76543210, 0xDCBA98}));
    send(screen_control::make(Sub::DecodeOrderClass, {0}));
    send(screen_control::make_smart(SmartStep::TracePoint, {1023, 0, 1}));
    EXPECT_EQ(shown(), (Lit{{2, 0}})) << "column code 1 swaps the two rightmost columns";
    send(screen_control::make_smart(SmartStep::TracePoint, {1021, 0, 1}));
    EXPECT_EQ(shown(), (Lit{{0, 6}}));
    send(screen_control::make_smart(SmartStep::TracePoint, {1023, 0, 0}));
    EXPECT_EQ(shown(), (Lit{{0, 6}})) << "switching off a point that is not lit changes nothing";
    send(screen_control::make_smart(SmartStep::TracePoint, {1021, 0, 0}));
    EXPECT_TRUE(shown().empty());

    // A list choice: the entry's settings, then the line-cross check.
    const auto right = sim::matching_settings(*c.module);
    send(screen_control::make(Sub::LineGroup, {6}));
    send(screen_control::make(Sub::ScanCode, {0}));
    send(screen_control::make(Sub::LineInterval, {1}));
    send(screen_control::make(Sub::DecodeOrderWords, {right.decode_word_a, right.decode_word_b}));
    send(screen_control::make(Sub::DecodeOrderClass, {right.decode_class}));
    send(screen_control::make_smart(SmartStep::LineCross));
    EXPECT_EQ(param(36), right.decode_word_a);
    EXPECT_EQ(param(40), right.decode_word_b);
    EXPECT_EQ(param(32), right.decode_class);
    EXPECT_EQ(param(28), 1u);
    EXPECT_TRUE(clean_cross(*card.state().module_picture));

    // Point flags (kept at ScreenParams offset 52), then the test line with the limited size.
    send(screen_control::make(Sub::LitPoint, {1}));
    EXPECT_EQ(param(44), 1u);
    send(screen_control::make_smart(SmartStep::TestLine, {4, 4}));
    EXPECT_EQ(card.state().smart_value2, 4u);
    EXPECT_EQ(shown(), (Lit{{3, 0}, {2, 0}, {1, 1}, {0, 2}}));
    const auto written = card.state().module_pictures_written;
    send(screen_control::make(Sub::LitPoint, {0}));
    EXPECT_NE(shown(), (Lit{{3, 0}, {2, 0}, {1, 1}, {0, 2}})) << "wrong point flags bend the line";
    EXPECT_EQ(card.state().module_pictures_written, written + 1);
}

}  // namespace
