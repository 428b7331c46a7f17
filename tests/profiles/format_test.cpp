// The profile file and the library archive as byte vectors.
#include <gtest/gtest.h>

#include <string>

#include "profile_fixture.h"
#include "profiles/profile_archive.h"
#include "profiles/profile_format.h"
#include "profiles/profile_library.h"

namespace {

using namespace profiles;
using profiles_test::sample_profile;
using profiles_test::sample_record;

const std::string kSampleRecordHex =
    "4c454400 00000000 01000000 02000000 01000000 00000000 02000000 08000000 01000000 03000000 "
    "02000000 efcdab89 67452301 05000000 00000000 454e4400 00000000 ";

std::string sample_text() {
    return serialise_profile(sample_profile());
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(ProfileFile, WritesTheRecordsBytesAndItsWordsInTheDocumentedForm) {
    const std::string text = sample_text();
    const Profile p = sample_profile();
    char sum[16];
    std::snprintf(sum, sizeof sum, "%02x%02x%02x%02x", p.record.bytes()[68], p.record.bytes()[69],
                  p.record.bytes()[70], p.record.bytes()[71]);
    EXPECT_EQ(
        text,
        "format = 1\n"
        "# Vantor module profile (docs/module-profiles.md). The record is the \".hcp\" file's 72 bytes;\n"
        "# the words below it are read from the record and must agree with it.\n"
        "name = 32x16 1/8\n"
        "maker = Qiangli\n"
        "model = P10-2121 outdoor\n"
        "pitch = P10\n"
        "width = 32\n"
        "height = 16\n"
        "scan = 1/8\n"
        "colour_order = GRB\n"
        "data_polarity = negative\n"
        "oe_polarity = positive\n"
        "notes = column 17 dark on the first batch\\nback\\\\slash\n"
        "date = 2026-12-11\n"
        "picture = \n"
        "record = " +
            kSampleRecordHex + sum +
            "\n"
            "end\n");
}

TEST(ProfileFile, ReadsBackWhatItWrote) {
    const ParsedProfile back = parse_profile(sample_text());
    ASSERT_TRUE(back.ok()) << error_name(back.error) << ": " << back.detail;
    EXPECT_EQ(back.profile, sample_profile());
    // Upper-case hexadecimal, other spacing, comments and unknown keys are read too.
    std::string loose = replaced(sample_text(), "efcdab89", "EFCDAB89");
    loose = replaced(loose, "record = ", "future_key = x\n# a comment\nrecord=  ");
    const ParsedProfile loose_back = parse_profile(loose);
    ASSERT_TRUE(loose_back.ok()) << loose_back.detail;
    EXPECT_EQ(loose_back.profile.record, sample_profile().record);
}

struct Damage {
    const char* what;
    std::function<std::string(const std::string&)> damage;
    ProfileError error;
};

TEST(ProfileFile, NamesWhatIsWrongWithADamagedFile) {
    const std::string good = sample_text();
    const std::size_t record_line = good.find("record = ");
    const std::vector<Damage> cases = {
        {"a byte of the record changed",
         [](const std::string& t) { return replaced(t, "08000000", "09000000"); }, ProfileError::BadWordSum},
        {"the word sum changed",
         [&](const std::string& t) { return t.substr(0, t.find("\nend") - 2) + "ff\nend\n"; },
         ProfileError::BadWordSum},
        {"cut in the middle of the record",
         [&](const std::string& t) { return t.substr(0, record_line + 60); }, ProfileError::Truncated},
        {"cut inside a key", [&](const std::string& t) { return t.substr(0, t.find("pitch") + 3); },
         ProfileError::Truncated},
        {"cut before the record", [&](const std::string& t) { return t.substr(0, record_line); },
         ProfileError::Truncated},
        {"a short record with its end line",
         [](const std::string& t) { return replaced(t, "4c454400 00000000 ", "4c454400 "); },
         ProfileError::Truncated},
        {"a record of 73 bytes", [](const std::string& t) { return replaced(t, "4c454400 ", "4c454400 00"); },
         ProfileError::BadValue},
        {"an odd number of digits",
         [](const std::string& t) { return replaced(t, "4c454400 ", "4c454400 0"); },
         ProfileError::Truncated},
        {"a later format", [](const std::string& t) { return replaced(t, "format = 1", "format = 2"); },
         ProfileError::UnknownVersion},
        {"no format line", [](const std::string& t) { return replaced(t, "format = 1\n", ""); },
         ProfileError::NotAProfile},
        {"an empty file", [](const std::string&) { return std::string(); }, ProfileError::NotAProfile},
        {"a .hcp file",
         [](const std::string&) {
             const auto r = sample_record();
             return std::string(reinterpret_cast<const char*>(r.bytes().data()), r.bytes().size());
         },
         ProfileError::NotAProfile},
        {"no name", [](const std::string& t) { return replaced(t, "name = 32x16 1/8\n", ""); },
         ProfileError::MissingField},
        {"an empty name", [](const std::string& t) { return replaced(t, "name = 32x16 1/8", "name ="); },
         ProfileError::BadName},
        {"no record", [&](const std::string& t) { return t.substr(0, record_line) + "end\n"; },
         ProfileError::MissingField},
        {"no LED marker", [](const std::string& t) { return replaced(t, "4c454400", "4d454400"); },
         ProfileError::BadRecord},
        {"colour order edited", [](const std::string& t) { return replaced(t, "= GRB", "= RGB"); },
         ProfileError::WordsDisagree},
        {"scan edited", [](const std::string& t) { return replaced(t, "scan = 1/8", "scan = 1/16"); },
         ProfileError::WordsDisagree},
        {"a width that is no number",
         [](const std::string& t) { return replaced(t, "width = 32", "width = 32x"); },
         ProfileError::BadValue},
        {"a key twice",
         [](const std::string& t) { return replaced(t, "pitch = P10", "pitch = P10\npitch = P8"); },
         ProfileError::BadLine},
        {"a line without =", [](const std::string& t) { return replaced(t, "pitch = P10", "pitch P10"); },
         ProfileError::BadLine},
        {"an unknown escape", [](const std::string& t) { return replaced(t, "\\nback", "\\tback"); },
         ProfileError::BadValue},
        {"text after end", [](const std::string& t) { return t + "name = other\n"; }, ProfileError::BadLine},
        {"a picture in another folder",
         [](const std::string& t) { return replaced(t, "picture = ", "picture = ../x.png"); },
         ProfileError::BadValue},
        {"not UTF-8", [](const std::string& t) { return replaced(t, "Qiangli", "Qiang\xff"); },
         ProfileError::BadValue},
    };
    for (const Damage& c : cases) {
        const ParsedProfile parsed = parse_profile(c.damage(good));
        EXPECT_EQ(parsed.error, c.error)
            << c.what << ": got " << error_name(parsed.error) << " (" << parsed.detail << ")";
        if (!parsed.ok()) {
            EXPECT_FALSE(parsed.detail.empty()) << c.what;
        }
    }
}

TEST(ProfileFile, NamesAndWords) {
    struct Case {
        std::uint32_t width, height, scan_code;
        const char* name;
    };
    for (const Case& c :
         {Case{32, 16, 1, "32x16 1/8"}, Case{64, 32, 0, "64x32 1/16"}, Case{0, 0, 2, "1/4 scan"},
          Case{16, 0, 4, "1/1 scan"}, Case{32, 16, 7, "32x16"}, Case{0, 0, 9, "module"}}) {
        auto r = sample_record();
        r.set(screenconfig::ParamsField::scanCode, c.scan_code);
        EXPECT_EQ(proposed_name(c.width, c.height, r), c.name);
    }
    EXPECT_EQ(polarity_words(5), "code 5");
    EXPECT_EQ(colour_order_words(sample_record(6)), "code 6");
    EXPECT_EQ(colour_order_words(sample_record(5)), "RBG");
    EXPECT_TRUE(valid_name("模组 P10 32x16"));
    const std::vector<std::string> bad_names = {"",          " lead", "tail ",
                                                "tab\there", "\xc3",  std::string(65, 'x')};
    for (const std::string& bad : bad_names) EXPECT_FALSE(valid_name(bad)) << bad;
}

TEST(ProfileFile, FileNamesKeepNamesApartAndFitAnArchive) {
    EXPECT_EQ(library_file_stem("32x16 1/8"), "32x16 1%2F8");
    EXPECT_EQ(library_file_stem(".hidden 100%"), "%2Ehidden 100%25");
    EXPECT_EQ(library_file_stem("模组"), "模组");
    const std::string a = library_file_stem(std::string(60, 'a') + "/" + std::string(3, 'b'));
    const std::string b = library_file_stem(std::string(60, 'a') + "/" + std::string(3, 'c'));
    EXPECT_NE(a, b);
    EXPECT_LE(a.size() + 4, kMaxMemberName);
    const std::string wide = library_file_stem(std::string(21, 'x') + std::string(14, '\\'));  // 21 + 42
    EXPECT_LE(wide.size(), 80u);
    const std::string cjk =
        library_file_stem("模组模组模组模组模组模组模组模组模组模组模组");  // 33 bytes: kept whole
    EXPECT_EQ(cjk, "模组模组模组模组模组模组模组模组模组模组模组");
}

TEST(LibraryArchive, IsAUstarFileThatReadsBack) {
    const std::vector<ArchiveMember> members = {{"a.vmp", {'h', 'e', 'l', 'l', 'o', '\n'}},
                                                {"b.png", std::vector<std::uint8_t>(600, 7)}};
    const auto bytes = write_archive(members);
    // header, 1 block of data; header, 2 blocks of data; two end blocks
    ASSERT_EQ(bytes.size(), 512u * 7);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), 5), "a.vmp");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + 124, 12),
              std::string("00000000006\0", 12));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + 257, 8), std::string("ustar\0"
                                                                                             "00",
                                                                                             8));
    EXPECT_EQ(bytes[156], '0');
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : bytes[i];
    EXPECT_EQ(std::stoul(std::string(reinterpret_cast<const char*>(bytes.data()) + 148, 6), nullptr, 8), sum);
    EXPECT_EQ(bytes[512 + 5], '\n');

    const ReadArchive back = read_archive(bytes);
    ASSERT_EQ(back.error, ArchiveError::None) << back.detail;
    ASSERT_EQ(back.members.size(), 2u);
    EXPECT_EQ(back.members[0].name, "a.vmp");
    EXPECT_EQ(back.members[0].bytes, members[0].bytes);
    EXPECT_EQ(back.members[1].bytes, members[1].bytes);
    EXPECT_TRUE(read_archive(write_archive({})).error == ArchiveError::NotAnArchive);
}

TEST(LibraryArchive, RefusesADamagedArchive) {
    const auto good = write_archive({{"a.vmp", std::vector<std::uint8_t>(700, 1)}});
    auto bad_sum = good;
    bad_sum[0] = 'b';  // the name changes, the stored sum does not
    auto short_data = std::vector<std::uint8_t>(good.begin(), good.begin() + 512 + 600);
    auto no_end = std::vector<std::uint8_t>(good.begin(), good.begin() + 512 * 3);
    auto bad_size = good;
    bad_size[124] = 'x';
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        ArchiveError error;
    };
    for (const Case& c :
         {Case{"bad check sum", bad_sum, ArchiveError::BadHeader},
          Case{"cut inside a member", short_data, ArchiveError::Truncated},
          Case{"cut before the end blocks", no_end, ArchiveError::Truncated},
          Case{"a size that is no number", bad_size, ArchiveError::BadHeader},
          Case{"a profile file", std::vector<std::uint8_t>(1024, 'x'), ArchiveError::NotAnArchive},
          Case{"nothing", {}, ArchiveError::NotAnArchive}})
        EXPECT_EQ(read_archive(c.bytes).error, c.error) << c.what;
}

}  // namespace
