#include "platform/localisation.h"

#include <gtest/gtest.h>

#include "platform/ini.h"
#include "tests/support/temp_dir.h"

using support::TempDir;

namespace {

// Writes small stand-ins for the embedded default files, so the tests see what was written when.
void write_defaults(const std::filesystem::path& folder) {
    std::ofstream(folder / "Multi_eng_zavo.ini")
        << "[Setting]\nZAVO_Language=English_zavo\n[String]\nK=english\n";
    std::ofstream(folder / "Multi_ch_zavo_s.ini")
        << "[Setting]\nZAVO_Language=Chinese_zavo_s\n[String]\nK=简体\n";
    std::ofstream(folder / "Multi_ch_zavo_t.ini")
        << "[Setting]\nZAVO_Language=Chinese_zavo_t\n[String]\nK=繁體\n";
}

class Localisation : public ::testing::Test {
  protected:
    void TearDown() override { localisation::set_current_file({}); }
    std::filesystem::path settings() const { return dir_ / "setting.ini"; }
    TempDir dir_;
};

TEST_F(Localisation, NoSettingsAndOnlyAnEnglishFileFallsBackToTheWrittenDefaults) {
    dir_.write("Language/mine.ini", "[Setting]\nZAVO_Language=English_zavo\n[String]\nK=mine\n");
    localisation::Choice c = localisation::choose_language(dir_.path(), settings(), {}, write_defaults);
    EXPECT_EQ(c.language, "Chinese_zavo_s");
    EXPECT_EQ(c.file, dir_ / "Language/Multi_ch_zavo_s.ini");
    EXPECT_TRUE(std::filesystem::exists(dir_ / "Language/Multi_eng_zavo.ini"));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "Language/Multi_ch_zavo_t.ini"));
    EXPECT_EQ(ini::get_string(settings(), "Setting", "ZAVO_Language", ""), "Chinese_zavo_s");
    EXPECT_EQ(localisation::lookup("K"), "简体");
}

TEST_F(Localisation, SettingsNameTheLanguageAndARequestOverridesIt) {
    write_defaults((std::filesystem::create_directories(dir_ / "Language"), dir_ / "Language"));
    dir_.write("setting.ini", "[Setting]\nZAVO_Language=Chinese_zavo_t\n");
    EXPECT_EQ(localisation::choose_language(dir_.path(), settings(), {}, write_defaults).language,
              "Chinese_zavo_t");
    EXPECT_EQ(localisation::lookup("K"), "繁體");

    localisation::Choice c =
        localisation::choose_language(dir_.path(), settings(), "English_zavo", write_defaults);
    EXPECT_EQ(c.file, dir_ / "Language/Multi_eng_zavo.ini");
    EXPECT_EQ(localisation::lookup("K"), "english");
    EXPECT_EQ(ini::get_string(settings(), "Setting", "ZAVO_Language", ""), "English_zavo");
}

TEST_F(Localisation, NamesCompareWithCaseAndOnlyIniFilesCount) {
    dir_.write("Language/upper.ini", "[Setting]\nZAVO_Language=ENGLISH_ZAVO\n");
    dir_.write("Language/other.txt", "[Setting]\nZAVO_Language=English_zavo\n");
    std::filesystem::create_directories(dir_ / "Language/folder.ini");
    auto c = localisation::choose_language(dir_.path(), settings(), "English_zavo", write_defaults);
    EXPECT_EQ(c.language, "Chinese_zavo_s");  // nothing matched
}

TEST_F(Localisation, MissingKeysLineBreaksAndTheReadBuffer) {
    std::string long_text(1500, 'x');
    auto file = dir_.write("l.ini", "[String]\nIDS_MESSAGE_TWO=first\\nsecond\nIDS_MESSAGE_EMPTY=\nLONG=" +
                                        long_text + "\nCJK=" + std::string(333, 'a') + "连接连接\n");
    localisation::set_current_file(file);
    EXPECT_EQ(localisation::lookup("IDS_MESSAGE_TWO"), "first\nsecond");
    EXPECT_EQ(localisation::lookup("IDS_MESSAGE_MISSING"), "Not found");
    EXPECT_EQ(localisation::lookup_or_empty("IDS_MESSAGE_MISSING"), "");
    EXPECT_EQ(localisation::lookup("IDS_MESSAGE_EMPTY"), "");
    EXPECT_EQ(localisation::lookup("LONG").size(), 999u);
    // The 1000-byte read never cuts a character in half.
    std::string cjk = localisation::lookup("CJK");
    EXPECT_EQ(cjk, std::string(333, 'a') + "连接连接");
    localisation::set_current_file(dir_ / "missing.ini");
    EXPECT_EQ(localisation::lookup("IDS_MESSAGE_TWO"), "Not found");
}

// Lookups keep the converted file while its time stamp and size stay the same; any change to either, or
// another file, is read afresh.
TEST_F(Localisation, TheCachedFileIsReadAgainOnceItChanges) {
    using namespace std::chrono_literals;
    auto file = dir_.write("l.ini", "[String]\nK=one\n");
    auto other = dir_.write("m.ini", "[String]\nK=two\n");
    localisation::set_current_file(file);
    EXPECT_EQ(localisation::lookup("K"), "one");
    const auto stamp = std::filesystem::last_write_time(file);

    dir_.write("l.ini", "[String]\nK=six\n");  // same size, later time stamp
    std::filesystem::last_write_time(file, stamp + 1s);
    EXPECT_EQ(localisation::lookup("K"), "six");

    dir_.write("l.ini", "[String]\nK=seven\n");  // other size, the same time stamp again
    std::filesystem::last_write_time(file, stamp + 1s);
    EXPECT_EQ(localisation::lookup("K"), "seven");

    localisation::set_current_file(other);
    EXPECT_EQ(localisation::lookup("K"), "two");
    localisation::set_current_file(file);
    EXPECT_EQ(localisation::lookup("K"), "seven");

    std::filesystem::remove(file);
    EXPECT_EQ(localisation::lookup("K"), "Not found");
}

TEST_F(Localisation, LegacyCodePageFilesAreReadAsUtf8) {
    const std::string gbk = "\xce\xde\xb7\xa8\xc1\xac\xbd\xd3\xbf\xd8\xd6\xc6\xbf\xa8";
    const std::string big5 = "\xb5\x4c\xaa\x6b\xb3\x73\xb1\xb5\xb1\xb1\xa8\xee\xa5\x64";
    auto s =
        dir_.write("Language/s.ini",
                   "[Setting]\r\nZAVO_Language=Chinese_zavo_s\r\n[String]\r\nIDS_MESSAGE_X=" + gbk + "\r\n");
    auto t =
        dir_.write("Language/t.ini",
                   "[Setting]\r\nZAVO_Language=Chinese_zavo_t\r\n[String]\r\nIDS_MESSAGE_X=" + big5 + "\r\n");
    localisation::set_current_file(s);
    EXPECT_EQ(localisation::lookup("IDS_MESSAGE_X"), "无法连接控制卡");
    localisation::set_current_file(t);
    EXPECT_EQ(localisation::lookup("IDS_MESSAGE_X"), "無法連接控制卡");
    EXPECT_EQ(localisation::to_utf8("\xEF\xBB\xBFplain", ""), "plain");
}

TEST(LocalisationKeys, DialogAndControlKeys) {
    EXPECT_EQ(localisation::dialog_title_key(102), "IDD102_Title");
    EXPECT_EQ(localisation::control_key(102, 1005), "IDD102_1005");
}

}  // namespace
