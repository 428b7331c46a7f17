// The library folder: saving, listing (damaged files too), removing, single files and the archive.
#include <gtest/gtest.h>

#include <cstdlib>

#include "profile_fixture.h"
#include "profiles/profile_archive.h"
#include "profiles/profile_library.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace profiles;
using profiles_test::sample_profile;
using profiles_test::sample_record;

// A library with two good profiles (one with a picture) and three damaged files.
struct LibraryFixture : ::testing::Test {
    support::TempDir dir;
    ProfileLibrary library{dir / "profiles"};

    void SetUp() override {
        ASSERT_TRUE(library.save(sample_profile("P10 outdoor"), false).ok());
        const auto picture = dir.write("trace.png", support::pattern(300));
        const auto saved = library.save(sample_profile("32x16 1/8"), false, picture);
        ASSERT_TRUE(saved.ok()) << saved.detail;
        const std::string good = serialise_profile(sample_profile("spare"));
        auto record_at = good.find("record = ");
        support::write_file(library.folder() / "cut.vmp", good.substr(0, record_at + 40));
        std::string summed = good;
        summed.replace(summed.find("08000000"), 8, "09000000");
        support::write_file(library.folder() / "bad-sum.vmp", summed);
        std::string later = good;
        later.replace(0, 10, "format = 7");
        support::write_file(library.folder() / "later.vmp", later);
    }
};

TEST_F(LibraryFixture, ListsGoodProfilesByNameAndDamagedOnesWithTheirReason) {
    const auto entries = library.list();
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].name, "32x16 1/8");
    EXPECT_EQ(entries[0].file.filename(), "32x16 1%2F8.vmp");
    EXPECT_EQ(entries[0].profile.picture, "32x16 1%2F8.png");
    EXPECT_EQ(support::read_bytes(library.folder() / entries[0].profile.picture), support::pattern(300));
    EXPECT_EQ(entries[1].name, "P10 outdoor");
    const std::vector<std::pair<std::string, ProfileError>> damaged = {
        {"bad-sum.vmp", ProfileError::BadWordSum},
        {"cut.vmp", ProfileError::Truncated},
        {"later.vmp", ProfileError::UnknownVersion}};
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        const LibraryEntry& e = entries[2 + i];
        EXPECT_TRUE(e.damaged());
        EXPECT_EQ(e.name, damaged[i].first);
        EXPECT_EQ(e.error, damaged[i].second) << e.name << ": " << e.detail;
        EXPECT_FALSE(e.detail.empty());
    }
    // A damaged profile is found by its file name and handed out as damaged, never as a profile.
    const auto found = library.find("bad-sum.vmp");
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->damaged());
    EXPECT_EQ(library.export_one("bad-sum.vmp", dir / "out.vmp").error, LibraryError::Damaged);
    EXPECT_FALSE(library.find("no such profile"));
}

TEST_F(LibraryFixture, SavesReplacesAndRemoves) {
    Profile changed = sample_profile("P10 outdoor");
    changed.maker = "other";
    EXPECT_EQ(library.save(changed, false).error, LibraryError::Exists);
    EXPECT_EQ(library.find("P10 outdoor")->profile.maker, "Qiangli");
    EXPECT_TRUE(library.save(changed, true).ok());
    EXPECT_EQ(library.find("P10 outdoor")->profile.maker, "other");

    Profile unsealed = sample_profile("unsealed");
    unsealed.record.set(screenconfig::ParamsField::colourOrder, 1);
    EXPECT_EQ(library.save(unsealed, false).error, LibraryError::Damaged);
    EXPECT_EQ(library.save(sample_profile("bad\nname"), false).error, LibraryError::BadName);
    Profile bad_notes = sample_profile("pitch with a line break");
    bad_notes.pitch = "P10\nP8";
    EXPECT_FALSE(library.save(bad_notes, false).ok());
    EXPECT_FALSE(library.find("pitch with a line break"));

    Profile undated = sample_profile("undated");
    undated.date.clear();
    ASSERT_TRUE(library.save(undated, false).ok());
    EXPECT_EQ(library.find("undated")->profile.date, today());

    EXPECT_TRUE(library.remove("32x16 1/8").ok());
    EXPECT_FALSE(library.find("32x16 1/8"));
    EXPECT_FALSE(std::filesystem::exists(library.folder() / "32x16 1%2F8.png"));
    EXPECT_EQ(library.remove("32x16 1/8").error, LibraryError::NotFound);
    EXPECT_TRUE(library.remove("cut.vmp").ok());
}

TEST_F(LibraryFixture, ExportsAndImportsOneProfileWithItsPicture) {
    const auto out = dir / "mail";
    std::filesystem::create_directories(out);
    ASSERT_TRUE(library.export_one("P10 outdoor", out / "p10.vmp").ok());
    ProfileLibrary other(dir / "other");
    std::string name;
    ASSERT_TRUE(other.import_one(out / "p10.vmp", false, &name).ok());
    EXPECT_EQ(name, "P10 outdoor");
    EXPECT_EQ(other.find("P10 outdoor")->profile, library.find("P10 outdoor")->profile);
    EXPECT_EQ(other.import_one(out / "p10.vmp", false).error, LibraryError::Exists);
    EXPECT_EQ(other.import_one(library.folder() / "bad-sum.vmp", false).error, LibraryError::NotAProfile);
    EXPECT_EQ(other.import_one(dir / "missing.vmp", false).error, LibraryError::ReadFailed);
    // A profile read from inside another library brings the picture lying beside it.
    ASSERT_TRUE(other.import_one(library.folder() / "32x16 1%2F8.vmp", false).ok());
    EXPECT_EQ(support::read_bytes(other.folder() / other.find("32x16 1/8")->profile.picture),
              support::pattern(300));
}

TEST_F(LibraryFixture, CarriesTheWholeLibraryInOneArchiveThatTarReads) {
    const ExportAllResult exported = library.export_all(dir / "library.tar");
    ASSERT_TRUE(exported.result.ok()) << exported.result.detail;
    EXPECT_EQ(exported.exported, 2u);
    EXPECT_EQ(exported.skipped, (std::vector<std::string>{"bad-sum.vmp", "cut.vmp", "later.vmp"}));

    const std::string listing = (dir / "listing.txt").string();
    ASSERT_EQ(std::system(("tar -tf " + (dir / "library.tar").string() + " > " + listing).c_str()), 0);
    EXPECT_EQ(support::read_text(listing), "32x16 1%2F8.vmp\n32x16 1%2F8.png\nP10 outdoor.vmp\n");

    ProfileLibrary other(dir / "other");
    const ImportAllResult imported = other.import_all(dir / "library.tar", false);
    ASSERT_TRUE(imported.result.ok()) << imported.result.detail;
    ASSERT_EQ(imported.members.size(), 2u);
    for (const auto& m : imported.members) EXPECT_TRUE(m.result.ok()) << m.member << ": " << m.result.detail;
    const auto entries = other.list();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].profile, library.find("32x16 1/8")->profile);
    EXPECT_EQ(support::read_bytes(other.folder() / entries[0].profile.picture), support::pattern(300));
    EXPECT_EQ(entries[1].profile, library.find("P10 outdoor")->profile);
    // Again: each one exists; with replace they are taken.
    for (const auto& m : other.import_all(dir / "library.tar", false).members)
        EXPECT_EQ(m.result.error, LibraryError::Exists);
    for (const auto& m : other.import_all(dir / "library.tar", true).members) EXPECT_TRUE(m.result.ok());
}

TEST_F(LibraryFixture, ImportsTheGoodMembersOfAnArchiveWithADamagedOne) {
    const std::string good = serialise_profile(sample_profile("from tar"));
    std::string bad = serialise_profile(sample_profile("bad"));
    bad.replace(bad.find("08000000"), 8, "09000000");
    support::write_file(dir / "mixed.tar", write_archive({{"bad.vmp", {bad.begin(), bad.end()}},
                                                          {"readme.txt", {'x'}},
                                                          {"good.vmp", {good.begin(), good.end()}}}));
    ProfileLibrary other(dir / "other");
    const ImportAllResult r = other.import_all(dir / "mixed.tar", false);
    ASSERT_TRUE(r.result.ok());
    ASSERT_EQ(r.members.size(), 2u);
    EXPECT_EQ(r.members[0].result.error, LibraryError::NotAProfile);
    EXPECT_NE(r.members[0].result.detail.find("bad_word_sum"), std::string::npos);
    EXPECT_TRUE(r.members[1].result.ok());
    EXPECT_TRUE(other.find("from tar"));
    EXPECT_FALSE(other.find("bad"));
    support::write_file(dir / "not.tar", std::string("format = 1\n"));
    EXPECT_EQ(other.import_all(dir / "not.tar", false).result.error, LibraryError::NotAnArchive);
}

TEST(LibraryFolder, FollowsXdgDataHome) {
    const char* old_data = std::getenv("XDG_DATA_HOME");
    const std::string saved = old_data ? old_data : "";
    ::setenv("XDG_DATA_HOME", "/srv/data", 1);
    EXPECT_EQ(default_library_folder(), "/srv/data/vantor/profiles");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(default_library_folder(),
              std::filesystem::path(std::getenv("HOME")) / ".local/share/vantor/profiles");
    if (old_data) ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

}  // namespace
