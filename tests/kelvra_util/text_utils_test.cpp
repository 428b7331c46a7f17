#include "library/util/text_utils.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <cstdlib>

namespace {

using namespace kelvra::files;

TEST(SizeText, UnitsAndTenths) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0"},
        {1023, "1023"},
        {1024, "1.0K"},
        {1500, "1.4K"},
        {2047, "1.9K"},  // tenths of the unit, never "1.10K"
        {1024 * 1024 - 1, "1023.9K"},
        {1024 * 1024, "1.0M"},
        {3145728, "3.0M"},
        {2 * 1024 * 1024 - 1, "1.9M"},
        {5ull * 1024 * 1024 * 1024, "5120.0M"},
    };
    for (auto [bytes, text] : cases) EXPECT_EQ(size_text(bytes), text) << bytes;
}

TEST(VersionText, HexHalves) {
    EXPECT_EQ(version_text(0x00020010), "V2.10");
    EXPECT_EQ(version_text(0), "V0.0");
    EXPECT_EQ(version_text(0xABCD1234), "Vabcd.1234");
}

TEST(DecimalText, OneToEightDigitsOnly) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"0", 0},
        {"7", 7},
        {"007", 7},
        {"12345678", 12345678},
        {"99999999", 99999999},
        {"", 0},
        {"123456789", 0},
        {"12a", 0},
        {"-1", 0},
        {" 1", 0},
    };
    for (auto [text, value] : cases) EXPECT_EQ(decimal_text_to_number(text), value) << '"' << text << '"';
}

TEST(WindowsFolder, EnvironmentValueCutTo100) {
    ::unsetenv("windir");
    EXPECT_EQ(windows_folder(), "");
    ::setenv("windir", "C:\\Windows", 1);
    EXPECT_EQ(windows_folder(), "C:\\Windows");
    ::setenv("windir", std::string(150, 'w').c_str(), 1);
    EXPECT_EQ(windows_folder(), std::string(100, 'w'));
    ::unsetenv("windir");
}

TEST(WindowsVersion, ReportsTheRunningSystem) {
    EXPECT_EQ(windows_version_code(), 1);
    utsname u{};
    ASSERT_EQ(::uname(&u), 0);
    EXPECT_EQ(windows_version_name(), std::string(u.sysname) + " " + u.release);
}

}  // namespace
