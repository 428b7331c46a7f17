// Default items and settings from "default.ini" in the program folder.
#include "library/programme/defaults.h"

#include <gtest/gtest.h>

#include "common/bytes.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace kelvra;
using bytes::text_of;

class DefaultsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous = paths::program_folder();
        paths::set_program_folder(dir.path());
    }
    void TearDown() override { paths::set_program_folder(previous); }
    void ini(std::string_view body) {
        support::write_file(dir / "default.ini", "[DefaultParam]\n" + std::string(body));
    }
    support::TempDir dir;
    std::filesystem::path previous;
};

TEST_F(DefaultsTest, WithoutTheFileEveryValueIsItsDefault) {
    EXPECT_EQ(defaults::default_ini_path(), dir.path() / "default.ini");
    const programme::PlayItem p = defaults::picture_item();
    EXPECT_EQ(p.loop_count, 1u);
    EXPECT_EQ(p.entry_effect, 0u);
    EXPECT_EQ(p.clear_effect, 0u);
    EXPECT_EQ(p.entry_speed, 1u);
    EXPECT_EQ(p.clear_speed, 1u);
    EXPECT_EQ(p.stay_seconds, 3u);
    EXPECT_EQ(p.display_mode, 0u);
    EXPECT_EQ(text_of(p.tag), "");

    const programme::MarqueeSlot m = defaults::marquee_slot();
    EXPECT_EQ(m.param.type + m.param.position + m.param.speed + m.param.off_switch, 0);
    EXPECT_EQ(text_of(m.param.font_name), "Arial");
    EXPECT_EQ(m.param.font_size, 16u);
    EXPECT_EQ(m.param.text_colour, 255u);
    EXPECT_EQ(m.param.background_colour, 0u);
    EXPECT_EQ(text_of(m.picture), "FontMessage.bmp");

    const programme::ClockParam c = defaults::clock_slot();
    EXPECT_EQ(c.format, 254);
    EXPECT_EQ(text_of(c.font_name), "Arial");
    EXPECT_EQ(c.text_colour, 255u);
}

TEST_F(DefaultsTest, ValuesComeFromTheFileReadAfreshAtEachCall) {
    ini("PIC_LoopNum=4\nPIC_TeXiao=13\nPIC_ClearTeXiao=2\nPIC_TeXiao_Speed=9\nPIC_Clear_Speed=8\n"
        "PIC_StopSec=30\nPIC_DispMode=15\nVIDEO_LoopNum=5\nSWF_LoopNum=6\n");
    programme::PlayItem p = defaults::picture_item();
    EXPECT_EQ(p.loop_count, 4u);
    EXPECT_EQ(p.entry_effect, 13u);
    EXPECT_EQ(p.clear_effect, 2u);
    EXPECT_EQ(p.entry_speed, 9u);
    EXPECT_EQ(p.clear_speed, 8u);
    EXPECT_EQ(p.stay_seconds, 30u);
    EXPECT_EQ(p.display_mode, 15u);

    const programme::PlayItem v = defaults::video_item();
    EXPECT_EQ(v.loop_count, 5u);
    EXPECT_EQ(v.stay_seconds + v.entry_speed + v.display_mode, 0u);  // only the loop count
    EXPECT_EQ(defaults::flash_item().loop_count, 6u);

    ini("PIC_StopSec=7\n");
    EXPECT_EQ(defaults::picture_item().stay_seconds, 7u);
    EXPECT_EQ(defaults::picture_item().loop_count, 1u);
}

TEST_F(DefaultsTest, ByteKeysKeepTheLowEightBitsAndFontNamesAreCut) {
    const std::string long_font(150, 'F');
    ini("PMD_Type=258\nPMD_Pos=1\nPMD_Speed=511\nPMD_Shut=1\nPMD_FONT_NAME=" + long_font +
        "\nPMD_FONT_SIZE=24\nPMD_FONT_B=1\nPMD_FONT_I=1\nPMD_FONT_U=1\nPMD_FONT_COLOR=65280\nPMD_FONT_"
        "BKCOLOR=16711680\n"
        "TIMER_Type=1\nTIMER_Pos=2\nTIMER_Formate=3\nTIMER_FONT_NAME=SimSun\nTIMER_FONT_SIZE=12\n");
    const programme::MarqueeSlot m = defaults::marquee_slot();
    EXPECT_EQ(m.param.type, 2);
    EXPECT_EQ(m.param.position, 1);
    EXPECT_EQ(m.param.speed, 255);
    EXPECT_EQ(m.param.off_switch, 1);
    EXPECT_EQ(text_of(m.param.font_name), std::string(99, 'F'));
    EXPECT_EQ(m.param.font_name[99], '\0');
    EXPECT_EQ(m.param.font_size, 24u);
    EXPECT_EQ(m.param.bold + m.param.italic + m.param.underline, 3u);
    EXPECT_EQ(m.param.text_colour, 0x00FF00u);
    EXPECT_EQ(m.param.background_colour, 0xFF0000u);

    const programme::ClockParam c = defaults::clock_slot();
    EXPECT_EQ(c.type, 1);
    EXPECT_EQ(c.position, 2);
    EXPECT_EQ(c.format, 3);
    EXPECT_EQ(text_of(c.font_name), "SimSun");
    EXPECT_EQ(c.font_size, 12u);
    EXPECT_EQ(c.text_colour, 255u);  // TIMER_ keys, not the marquee's
}

// Whole numbers have defined results at and beyond the 32-bit limits.
TEST_F(DefaultsTest, WholeNumbersAtAndBeyondThe32BitLimits) {
    struct Case {
        const char* text;
        std::uint32_t stay;  // PIC_StopSec, default 3
    };
    const std::vector<Case> cases = {
        {"-2147483648", 0x80000000u},
        {"4294967295", 0xFFFFFFFFu},
        {"2147483647", 0x7FFFFFFFu},
        {"-1", 0xFFFFFFFFu},
        {"+7", 7u},
        {"12abc", 12u},
        {"abc", 0u},
        {"-0", 0u},
        {"4294967296", 3u},
        {"-2147483649", 3u},
        {"99999999999999999999999999", 3u},
    };
    for (const auto& c : cases) {
        ini(std::string("PIC_StopSec=") + c.text + "\nPMD_Type=" + c.text + "\n");
        EXPECT_EQ(defaults::picture_item().stay_seconds, c.stay) << c.text;
        EXPECT_EQ(defaults::marquee_slot().param.type, static_cast<std::uint8_t>(c.stay == 3u ? 0u : c.stay))
            << c.text;
    }
}

TEST(ItemForType, PerTypeDefaults) {
    struct Case {
        const char* tag;
        std::uint32_t entry_effect, stay_seconds, display_mode;
    };
    const Case cases[] = {{"jpg", 0, 10, 0},  {"bmp", 0, 10, 0}, {"rtf", 0, 10, 0},
                          {"grid", 0, 10, 0}, {"gif", 0, 10, 0}, {"vod", 24, 0, 0},
                          {"txt", 24, 0, 0},  {"swf", 0, 0, 1},  {"mp3", 0, 0, 0}};
    for (const Case& c : cases) {
        const auto item = defaults::item_for_type(c.tag);
        ASSERT_TRUE(item) << c.tag;
        EXPECT_EQ(text_of(item->tag), c.tag);
        EXPECT_EQ(item->loop_count, 1u) << c.tag;
        EXPECT_EQ(item->entry_effect, c.entry_effect) << c.tag;
        EXPECT_EQ(item->stay_seconds, c.stay_seconds) << c.tag;
        EXPECT_EQ(item->display_mode, c.display_mode) << c.tag;
        EXPECT_EQ(item->clear_effect + item->entry_speed + item->clear_speed, 0u) << c.tag;
        EXPECT_EQ(text_of(item->file_name), "");
    }
    EXPECT_FALSE(defaults::item_for_type("png"));
    EXPECT_FALSE(defaults::item_for_type("JPG"));
}

}  // namespace
