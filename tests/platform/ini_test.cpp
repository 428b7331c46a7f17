#include "platform/ini.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "tests/support/temp_dir.h"

using support::TempDir;

namespace {

constexpr std::string_view kSample =
    "; settings of the program\r\n"
    "[Setting]\r\n"
    "  ZAVO_Language =  English_zavo  \r\n"
    "\r\n"
    "[DefaultParam]\r\n"
    "PIC_StopSec=7\r\n"
    "Quoted=\"  padded  \"\r\n"
    "Empty=\r\n";

struct LookupCase {
    const char* section;
    const char* key;
    std::optional<std::string> expected;
};

class IniLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(IniLookup, FindsKeysWithoutCaseAndTrimsBlanks) {
    const LookupCase& c = GetParam();
    EXPECT_EQ(ini::find_in_text(kSample, c.section, c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniLookup,
                         ::testing::Values(LookupCase{"Setting", "ZAVO_Language", "English_zavo"},
                                           LookupCase{"SETTING", "zavo_language", "English_zavo"},
                                           LookupCase{"defaultparam", "PIC_STOPSEC", "7"},
                                           LookupCase{"DefaultParam", "Quoted", "  padded  "},
                                           LookupCase{"DefaultParam", "Empty", ""},
                                           LookupCase{"DefaultParam", "ZAVO_Language", std::nullopt},
                                           LookupCase{"Missing", "PIC_StopSec", std::nullopt},
                                           LookupCase{"Setting", "Missing", std::nullopt}));

TEST(IniFile, MissingFileSectionOrKeyGiveTheDefault) {
    TempDir dir;
    auto file = dir.write("a.ini", kSample);
    EXPECT_EQ(ini::get_string(dir / "none.ini", "Setting", "ZAVO_Language", "dflt"), "dflt");
    EXPECT_EQ(ini::get_string(file, "Nope", "ZAVO_Language", "dflt"), "dflt");
    EXPECT_EQ(ini::get_string(file, "Setting", "Nope", "dflt"), "dflt");
    EXPECT_EQ(ini::get_int(file, "DefaultParam", "Nope", 42), 42);
    EXPECT_EQ(ini::get_int(dir / "none.ini", "DefaultParam", "PIC_StopSec", 3), 3);
}

TEST(IniFile, IntegersReadTheLeadingNumber) {
    TempDir dir;
    auto file = dir.write("n.ini", "[S]\na=12abc\nb=-5\nc=abc\nd=  254 \n");
    EXPECT_EQ(ini::get_int(file, "S", "a", 0), 12);
    EXPECT_EQ(ini::get_int(file, "S", "b", 0), -5);
    EXPECT_EQ(ini::get_int(file, "S", "c", 9), 0);  // present but not a number
    EXPECT_EQ(ini::get_int(file, "S", "d", 0), 254);
}

// Every text has a defined result: the 32-bit range is read exactly, anything beyond it is no number.
TEST(IniFile, WholeNumbersAtTheEdgesOfThe32BitRange) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> value;
        int as_int;  // get_int with fallback 7
    };
    const Case cases[] = {
        {"-2147483648", 0x80000000u, INT32_MIN},
        {"-2147483649", std::nullopt, 7},
        {"2147483647", 0x7FFFFFFFu, INT32_MAX},
        {"4294967295", 0xFFFFFFFFu, -1},
        {"4294967296", std::nullopt, 7},
        {"99999999999999999999999", std::nullopt, 7},
        {"-1", 0xFFFFFFFFu, -1},
        {"-0", 0u, 0},
        {"+12x", 12u, 12},
        {"-", 0u, 0},
    };
    TempDir dir;
    for (const auto& c : cases) {
        EXPECT_EQ(ini::whole_number(c.text), c.value) << c.text;
        auto file = dir.write("w.ini", std::string("[S]\nk=") + c.text + "\n");
        EXPECT_EQ(ini::get_int(file, "S", "k", 7), c.as_int) << c.text;
    }
}

TEST(IniFile, BufferSizeCutsLikeAFixedBuffer) {
    TempDir dir;
    auto file = dir.write("b.ini", "[S]\nk=abcdefghij\n");
    EXPECT_EQ(ini::get_string(file, "S", "k", "", 5), "abcd");
    EXPECT_EQ(ini::get_string(file, "S", "k", ""), "abcdefghij");
}

TEST(IniWrite, CreatesFileSectionAndKey) {
    TempDir dir;
    auto file = dir / "new.ini";
    ASSERT_TRUE(ini::write_string(file, "Setting", "ZAVO_Language", "Chinese_zavo_s"));
    EXPECT_EQ(ini::get_string(file, "Setting", "ZAVO_Language", ""), "Chinese_zavo_s");
    ASSERT_TRUE(ini::write_string(file, "Other", "K", "v"));
    ASSERT_TRUE(ini::write_string(file, "Setting", "Second", "2"));
    EXPECT_EQ(ini::get_string(file, "Other", "K", ""), "v");
    EXPECT_EQ(ini::get_string(file, "Setting", "Second", ""), "2");
    EXPECT_EQ(ini::keys(file, "Setting"), (std::vector<std::string>{"ZAVO_Language", "Second"}));
}

TEST(IniWrite, KeepsEveryOtherLineAsItWas) {
    std::string updated = ini::write_in_text(kSample, "setting", "zavo_language", "Chinese_zavo_t");
    std::string expected(kSample);
    expected.replace(expected.find("  ZAVO_Language =  English_zavo  "), 33, "ZAVO_Language=Chinese_zavo_t");
    EXPECT_EQ(updated, expected);
}

TEST(IniWrite, NewKeyGoesToTheEndOfItsSectionBeforeBlankLines) {
    std::string updated = ini::write_in_text(kSample, "Setting", "Extra", "1");
    EXPECT_NE(updated.find("English_zavo  \r\nExtra=1\r\n\r\n[DefaultParam]"), std::string::npos) << updated;
    std::string appended = ini::write_in_text("[A]\nx=1", "A", "y", "2");
    EXPECT_EQ(appended, "[A]\nx=1\ny=2\n");
    // A header on the last line without a line break keeps its own line.
    EXPECT_EQ(ini::write_in_text("[A]\nx=1\n[B]", "B", "k", "v"), "[A]\nx=1\n[B]\nk=v\n");
    EXPECT_EQ(ini::write_in_text("[A]", "a", "k", "v"), "[A]\r\nk=v\r\n");
}

TEST(IniWrite, RemovingAKeyLeavesTheRest) {
    std::string updated = ini::write_in_text(kSample, "DefaultParam", "pic_stopsec", std::nullopt);
    EXPECT_EQ(updated.find("PIC_StopSec"), std::string::npos);
    EXPECT_NE(updated.find("Quoted=\"  padded  \"\r\n"), std::string::npos);
}

TEST(IniWrite, FailsWhenTheFolderIsMissing) {
    TempDir dir;
    EXPECT_FALSE(ini::write_string(dir / "no/such/folder.ini", "S", "k", "v"));
}

}  // namespace
