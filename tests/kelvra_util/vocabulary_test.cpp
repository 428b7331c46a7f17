// Code tables, their list builders and the font lookup.
#include "library/util/vocabulary.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <span>

#include "platform/localisation.h"
#include "library/util/font_list.h"
#include "platform/ini.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace kelvra::vocabulary;

// A language file whose text for each key is "<key>!": a label shows which key it came from.
class VocabularyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string body = "[Setting]\nZAVO_Language=English_zavo\n[String]\n";
        auto add = [&](std::string_view key) { body += std::string(key) + "=" + std::string(key) + "!\n"; };
        for (auto k : kDisplayModeKeys) add(k);
        for (auto k : kEffectKeys) add(k);
        for (auto k : kMarqueeTypeKeys) add(k);
        for (auto k : kPositionKeys) add(k);
        for (auto k : kClockTypeKeys) add(k);
        for (auto k : kRotationKeys) add(k);
        add(kSpeedFirstKey);
        add(kSpeedLastKey);
        support::write_file(dir / "lang.ini", body);
        localisation::set_current_file(dir / "lang.ini");
    }
    void TearDown() override { localisation::set_current_file({}); }
    support::TempDir dir;
};

template <std::size_t N>
void expect_labels(const std::vector<std::string>& list, const std::array<std::string_view, N>& keys,
                   std::size_t count = N) {
    ASSERT_EQ(list.size(), count);
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(list[i], std::string(keys[i]) + "!") << "code " << i;
}

TEST_F(VocabularyTest, EachBuilderEmptiesItsListAndFollowsCodeOrder) {
    std::vector<std::string> list{"stale", "entries"};
    build_display_mode_list(list);
    expect_labels(list, kDisplayModeKeys);
    EXPECT_EQ(list[15], "IDS_MESSAGE_FANGSHI_SF_PINGPU!");
    build_effect_list(list);
    expect_labels(list, kEffectKeys);
    build_marquee_type_list(list);
    expect_labels(list, kMarqueeTypeKeys);
    build_position_list(list);
    expect_labels(list, kPositionKeys);
    build_clock_type_list(list);
    expect_labels(list, kClockTypeKeys);
    build_rotation_list(list);
    expect_labels(list, kRotationKeys, 6);
    build_rotation_list_with_mirrors(list);
    expect_labels(list, kRotationKeys);
}

TEST_F(VocabularyTest, SpeedListHasDigitsBetweenItsTwoLabels) {
    std::vector<std::string> list{"stale"};
    build_speed_list(list);
    const std::vector<std::string> expected{
        "IDS_MESSAGE_TEXIAO_SPEED1!", "2", "3", "4", "5", "6", "7", "8", "9", "IDS_MESSAGE_TEXIAO_SPEED10!"};
    EXPECT_EQ(list, expected);
}

TEST_F(VocabularyTest, MissingKeysShowNotFound) {
    support::write_file(dir / "lang.ini", "[String]\nIDS_MESSAGE_POS_LEFT=Left\n");
    std::vector<std::string> list;
    build_position_list(list);
    EXPECT_EQ(list, (std::vector<std::string>{"Left", "Not found", "Not found"}));
    build_speed_list(list);
    EXPECT_EQ(list.front(), "Not found");
    EXPECT_EQ(list[1], "2");
}

TEST(EffectTable, EveryCodeHasAKeyOfItsOwn) {
    const std::set<std::string_view> distinct(kEffectKeys.begin(), kEffectKeys.end());
    EXPECT_EQ(distinct.size(), kEffectKeys.size());
    EXPECT_EQ(kEffectKeys[11], "IDS_MESSAGE_TEXIAO_FG_UD_OUT");
    EXPECT_EQ(kEffectKeys[13], "IDS_MESSAGE_TEXIAO_FG_LR_OUT");
}

// Every label key and message key of the library is present in each shipped language file.
TEST(LanguageFiles, HoldEveryKeyTheLibraryLooksUp) {
    const std::array<std::string_view, 4> single{
        kSpeedFirstKey, kSpeedLastKey, "IDS_MESSAGE_DELETE_FOLDER_FAILED", "IDS_MESSAGE_FOLDER_NOT_EXIST"};
    const std::span<const std::string_view> tables[] = {single,           kDisplayModeKeys, kEffectKeys,
                                                        kMarqueeTypeKeys, kPositionKeys,    kClockTypeKeys,
                                                        kRotationKeys};
    for (const char* file : {"Chinese_zavo_s.ini", "Chinese_zavo_t.ini", "English_zavo.ini"}) {
        const std::filesystem::path path = std::filesystem::path(TEST_SOURCE_DIR) / "lang" / file;
        ASSERT_TRUE(std::filesystem::exists(path)) << path;
        const std::vector<std::string> present = ini::keys(path, "String");
        const std::set<std::string> lookup(present.begin(), present.end());
        for (const auto table : tables)
            for (std::string_view key : table)
                EXPECT_TRUE(lookup.count(std::string(key))) << file << ": " << key;
    }
}

TEST(FontLookup, FindsInstalledFacesAndFallsBackToArial) {
    const auto& fonts = kelvra::fonts::installed_fonts();
    ASSERT_FALSE(fonts.empty()) << "fontconfig lists no fonts on this machine";
    EXPECT_TRUE(std::is_sorted(fonts.begin(), fonts.end()));
    for (std::size_t i : {std::size_t{0}, fonts.size() / 2, fonts.size() - 1})
        EXPECT_EQ(kelvra::fonts::font_index(fonts[i]), i) << fonts[i];

    const std::size_t arial = kelvra::fonts::font_index("Arial");
    EXPECT_EQ(kelvra::fonts::font_index("No Such Face 8d1f"), arial);
    EXPECT_EQ(kelvra::fonts::font_index(""), arial);
    const bool liberation = std::find(fonts.begin(), fonts.end(), "Liberation Sans") != fonts.end();
    if (liberation) {
        EXPECT_EQ(fonts[arial], "Liberation Sans");  // Arial's metric-compatible stand-in
    }

    std::string upper = fonts.back();
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(fonts[kelvra::fonts::font_index(upper)].size(), fonts.back().size());
}

}  // namespace
