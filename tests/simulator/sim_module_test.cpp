// The virtual LED module: its profile, the picture it shows for the card's settings and pattern, the PNG
// of that picture, and the card that keeps the picture up to date.
#include <gtest/gtest.h>

#include <cstring>

#include "common/frame.h"
#include "common/screen_control.h"
#include "simulator/card_model.h"
#include "simulator/config.h"
#include "simulator/led_module.h"
#include "tests/simulator/card_blocks.h"
#include "tests/support/temp_dir.h"

namespace {

using sim::ModuleInputs;
using sim::ModuleProfile;

ModuleProfile profile(std::string_view text) {
    ModuleProfile p;
    const auto err = sim::parse_module_profile(text, p);
    EXPECT_EQ(err, "") << text;
    return p;
}

std::uint32_t only_colour(const sim::ModulePicture& p) {
    for (auto led : p.leds)
        if (led != p.leds.front()) return 0xDEADBEEF;
    return p.leds.front();
}

TEST(ModuleProfile, ReadsEveryKeyAndRefusesWhatNoModuleCanBe) {
    const auto p = profile(
        "# a 1/8 outdoor module\nwidth = 32\nheight=16\ncable-groups=1\nrgb-groups=2\nline-group=2\n"
        "data-polarity=1\noe-polarity=1\ncolours=GBR\nhub=3\ndecoder=1\n");
    EXPECT_EQ(p.width, 32u);
    EXPECT_EQ(p.scan(), 8u);
    EXPECT_EQ(p.line_group, 2u);
    EXPECT_EQ(p.colours, "GBR");
    EXPECT_EQ(p.hub, 3u);
    EXPECT_EQ(p.decoder, 1u);

    const char* bad[] = {
        "width=65",                                               // wider than the card drives
        "height=33",                                              //
        "colours=RRB",                                            // not a wiring
        "colours=BG",                                             // a dual-colour module has no blue
        "cable-groups=3",                                         //
        "height=12\nrgb-groups=2\ncable-groups=4",                // 12 rows cannot split into 8 bands
        "height=32\nrgb-groups=2\nline-group=3",                  // does not divide the scan 16
        "height=24\nrgb-groups=1\ncable-groups=1\nline-group=1",  // lights 24 rows: no such answer
        "data-polarity=2",                                        //
        "size=12",                                                // unknown key
        "width",                                                  // no value
    };
    for (const char* text : bad) {
        ModuleProfile p2;
        EXPECT_NE(sim::parse_module_profile(text, p2), "") << text;
        EXPECT_EQ(p2, ModuleProfile{}) << "a refused profile leaves the target alone";
    }
}

TEST(ModuleProfile, CardOptionReadsTheFileAndShowIsAnOption) {
    char pattern[] = "/tmp/sim-profile-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern));
    const std::filesystem::path folder = pattern;
    support::write_file(folder / "m.txt", std::string_view("width=32\nheight=16\ncolours=RG\n"));
    support::write_file(folder / "bad.txt", std::string_view("colours=XYZ\n"));
    auto parsed = sim::parse_args(
        {"--show", "--card", "S730-413-05862@127.0.0.2,module=" + (folder / "m.txt").string()});
    EXPECT_EQ(parsed.error, "");
    EXPECT_TRUE(parsed.show);
    ASSERT_EQ(parsed.config.cards.size(), 1u);
    ASSERT_TRUE(parsed.config.cards[0].module);
    EXPECT_EQ(parsed.config.cards[0].module->colours, "RG");
    EXPECT_FALSE(sim::parse_args({"--card", "S730-413-05862@127.0.0.2"}).show);
    EXPECT_NE(sim::parse_args({"--card", "S@127.0.0.2,module=" + (folder / "bad.txt").string()})
                  .error.find("colours"),
              std::string::npos);
    EXPECT_NE(sim::parse_args({"--card", "S@127.0.0.2,module=" + (folder / "none.txt").string()}).error, "");
    std::filesystem::remove_all(folder);
}

TEST(ModuleRendering, PolarityStatesLightOnlyForTheModulesOwnSense) {
    for (const char* colours : {"RGB", "RG", "R"}) {
        for (std::uint32_t truth : {0u, 1u}) {
            auto m = profile("width=8\nheight=8\nrgb-groups=1\nline-group=8\n");
            m.colours = colours;
            m.data_polarity = truth;
            m.oe_polarity = truth;
            const std::uint32_t lit = std::strlen(colours) == 3   ? 0xFFFFFF
                                      : std::strlen(colours) == 2 ? 0xFFFF00
                                                                  : 0xFF0000;
            EXPECT_EQ(only_colour(sim::render_module(m, {0, 0, 1, truth, {}})), lit);
            EXPECT_EQ(only_colour(sim::render_module(m, {0, 0, 1, 1 - truth, {}})), 0u);
            const auto bright = only_colour(sim::render_module(m, {0, 0, 2, truth, {}}));
            const auto dim = only_colour(sim::render_module(m, {0, 0, 2, 1 - truth, {}}));
            EXPECT_EQ(bright, lit);
            EXPECT_EQ(dim, lit / 0xFF * sim::kDimLevel) << "the wrong OE sense is dimmer, not dark";
        }
    }
}

TEST(ModuleRendering, EachCardChannelLightsTheColourWiredToIt) {
    struct Case {
        const char* colours;
        std::uint32_t red, green, blue;  // what the card's pure R, G and B states show
    };
    const Case cases[] = {
        {"RGB", 0xFF0000, 0x00FF00, 0x0000FF}, {"GRB", 0x00FF00, 0xFF0000, 0x0000FF},
        {"BRG", 0x00FF00, 0x0000FF, 0xFF0000}, {"RG", 0xFF0000, 0x00FF00, 0},
        {"GR", 0x00FF00, 0xFF0000, 0},         {"G", 0, 0xFF0000, 0},
    };
    for (const auto& c : cases) {
        auto m = profile("width=4\nheight=4\nrgb-groups=1\nline-group=4\n");
        m.colours = c.colours;
        EXPECT_EQ(only_colour(sim::render_module(m, {0, 0, 3, 0x0000FF, {}})), c.red) << c.colours;
        EXPECT_EQ(only_colour(sim::render_module(m, {0, 0, 3, 0x00FF00, {}})), c.green) << c.colours;
        EXPECT_EQ(only_colour(sim::render_module(m, {0, 0, 3, 0xFF0000, {}})), c.blue) << c.colours;
        EXPECT_EQ(only_colour(sim::render_module(m, {0, 0, 3, 0, {}})), 0u) << c.colours;
    }
}

TEST(ModuleRendering, RowPatternLightsScanOverLineGroupRowsInEachBand) {
    // 32 rows, two RGB groups: bands of 16 rows; line group 4 lights rows 0, 4, 8, 12 of each band.
    const auto m = profile("width=16\nheight=32\nrgb-groups=2\nline-group=4\n");
    const auto p = sim::render_module(m, {0, 0, 4, 0, {}});
    for (std::uint32_t r = 0; r < 32; ++r)
        EXPECT_EQ(p.at(3, r), (r % 16) % 4 == 0 ? 0xFFFFFFu : 0u) << "row " << r;
}

TEST(ModuleRendering, WrongHubBoardOrDecoderLeavesTheModuleDark) {
    const auto m = profile("width=8\nheight=8\nrgb-groups=1\nline-group=8\nhub=2\ndecoder=1\n");
    EXPECT_EQ(only_colour(sim::render_module(m, {2, 1, 1, 0, {}})), 0xFFFFFFu);
    EXPECT_EQ(only_colour(sim::render_module(m, {3, 1, 1, 0, {}})), 0u);
    EXPECT_EQ(only_colour(sim::render_module(m, {2, 0, 1, 0, {}})), 0u);
    EXPECT_EQ(only_colour(sim::render_module(m, {0, 1, 0, 0, {}})), 0u) << "no pattern yet";
}

std::uint32_t be32(const std::vector<std::uint8_t>& b, std::size_t off) {
    return (std::uint32_t{b[off]} << 24) | (b[off + 1] << 16) | (b[off + 2] << 8) | b[off + 3];
}

TEST(ModulePng, SignatureHeaderAndStoredPixels) {
    sim::ModulePicture p{2, 1, {0xFF0000, 0x000000}};
    const auto png = sim::encode_png(p, 4);
    ASSERT_GT(png.size(), 8u + 25u);
    EXPECT_EQ(std::vector<std::uint8_t>(png.begin(), png.begin() + 8),
              (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    EXPECT_EQ(be32(png, 8), 13u);
    EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
    EXPECT_EQ(be32(png, 16), 8u);  // 2 LEDs x 4 pixels
    EXPECT_EQ(be32(png, 20), 4u);
    // IDAT: zlib header, one stored block of 4 x (1 + 8 x 3) bytes; row 2 pixel 1 is inside the red LED.
    const std::size_t idat = 8 + 25;
    EXPECT_EQ(std::string(png.begin() + idat + 4, png.begin() + idat + 8), "IDAT");
    const std::size_t raw = idat + 8 + 2 + 5;
    EXPECT_EQ(png[idat + 8 + 2], 1) << "last block, stored";
    EXPECT_EQ(png[idat + 8 + 3] | (png[idat + 8 + 4] << 8), 100);
    const std::size_t px = raw + 2 * 25 + 1 + 3 * 1;
    EXPECT_EQ(png[px], 0xFF);
    EXPECT_EQ(png[px + 1], 0x00);
    const std::size_t unlit = raw + 2 * 25 + 1 + 3 * 5;  // the unlit LED is dark grey, not the board
    EXPECT_EQ(png[unlit], 0x1C);
    EXPECT_EQ(std::string(png.end() - 8, png.end() - 4), "IEND");
}

TEST(ModuleCard, KeepsSettingsAndRewritesThePictureOnChange) {
    char pattern[] = "/tmp/sim-module-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern));
    const std::filesystem::path folder = pattern;
    sim::CardConfig c;
    c.id = "S730-413-05862";
    c.address = "127.0.0.2";
    c.module = profile("width=16\nheight=16\nrgb-groups=2\nhub=2\ncolours=GRB\n");
    sim::CardModel card(c, folder, std::chrono::steady_clock::now());
    auto send = [&](const screen_control::Words& w) { return simtest::send_block(card, w); };
    using screen_control::SmartStep;
    using screen_control::Sub;
    ASSERT_TRUE(card.state().module_picture);
    EXPECT_EQ(card.state().module_pictures_written, 1u);
    send(screen_control::make_smart(SmartStep::Colour, {0x0000FF}));
    EXPECT_EQ(only_colour(*card.state().module_picture), 0u) << "HUB board not chosen yet";
    EXPECT_EQ(card.state().module_pictures_written, 1u) << "an unchanged picture is not rewritten";
    send(screen_control::make(Sub::HubType, {2}));
    EXPECT_EQ(only_colour(*card.state().module_picture), 0x00FF00u) << "card red drives module green";
    EXPECT_EQ(card.state().module_pictures_written, 2u);
    EXPECT_EQ(card.state().smart_pattern, 3u);
    EXPECT_EQ(card.state().smart_value, 0x0000FFu);
    const auto png = support::read_bytes(folder / "module.png");
    EXPECT_EQ(png, sim::encode_png(*card.state().module_picture));

    // The test dialog's patterns take the place of the smart-setup one while they run.
    using screen_control::TestOp;
    send(screen_control::make_test(TestOp::Grid, {200, 4, 1, 0, 0, 0, 1, 0x0000FF}));  // red lines, 4 apart
    const auto& grid = *card.state().module_picture;
    for (std::uint32_t r = 0; r < 16; ++r) {
        EXPECT_EQ(grid.at(3, r), r % 4 == 0 ? 0x00FF00u : 0u) << "row " << r;  // card red is module green
        EXPECT_EQ(grid.at(0, r), grid.at(15, r)) << "a horizontal line runs the whole width";
    }
    send(screen_control::make_test(TestOp::Grid, {200, 5, 0, 1, 0, 0, 1, 0xFFFFFF}));  // white columns
    EXPECT_EQ(card.state().module_picture->at(5, 7), 0xFFFFFFu);
    EXPECT_EQ(card.state().module_picture->at(6, 7), 0u);
    send(screen_control::make_test(TestOp::Gray, {10, 1, 0, 0, 1, 0, 0, 0}));  // a green ramp
    const auto& ramp = *card.state().module_picture;
    EXPECT_EQ(ramp.at(0, 4), 0u);
    EXPECT_EQ(ramp.at(15, 4), 0xFF0000u) << "card green drives module red";
    EXPECT_LT(ramp.at(7, 4), ramp.at(8, 4));
    send(screen_control::make_test(TestOp::Stop));
    EXPECT_TRUE(card.state().test_pattern.empty());
    EXPECT_EQ(only_colour(*card.state().module_picture), 0x00FF00u) << "back to the smart-setup colour";
    std::filesystem::remove_all(folder);
}

}  // namespace
