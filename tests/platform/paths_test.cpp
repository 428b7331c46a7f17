// Where the program finds its files: beside itself in a build folder, in <prefix>/share/vantor when
// installed.
#include "platform/paths.h"

#include <gtest/gtest.h>

#include "platform/localisation.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(Paths, AnInstalledProgramFindsItsDataBesideItsBinFolder) {
    support::TempDir root;
    std::filesystem::create_directories(root / "usr/bin");
    std::filesystem::create_directories(root / "usr/share/vantor");
    std::filesystem::create_directories(root / "build/bin");
    EXPECT_EQ(paths::installed_data_folder(root / "usr/bin/"), (root / "usr/share/vantor/").string());
    EXPECT_EQ(paths::installed_data_folder(root / "usr/bin"), (root / "usr/share/vantor/").string());
    // A build folder's bin has no share/vantor beside it; other folders are not installations.
    EXPECT_FALSE(paths::installed_data_folder(root / "build/bin/"));
    EXPECT_FALSE(paths::installed_data_folder(root / "usr/share/vantor/"));
}

TEST(Paths, ASetProgramFolderHoldsEverything) {
    support::TempDir folder;
    const auto before = paths::program_folder();
    paths::set_program_folder(folder.path());
    EXPECT_EQ(paths::shared_data_folder(), paths::program_folder());
    EXPECT_EQ(paths::settings_folder(), paths::program_folder());
    paths::set_program_folder(before);
}

// Installed: the user's settings folder has no language files yet; the installed ones are found and
// no default files are written over them.
TEST(Paths, TheInstalledLanguageFilesAreFoundFromTheSettingsFolder) {
    support::TempDir settings, shared;
    shared.write("Language/English_zavo.ini",
                 "[Setting]\nZAVO_Language=English_zavo\n[String]\nK=installed\n");
    settings.write("setting.ini", "[Setting]\nZAVO_Language=English_zavo\n");
    bool wrote_defaults = false;
    const auto choice = localisation::choose_language(
        settings.path(), settings / "setting.ini", {},
        [&](const std::filesystem::path&) { wrote_defaults = true; }, shared.path());
    EXPECT_EQ(choice.file, shared / "Language/English_zavo.ini");
    EXPECT_FALSE(wrote_defaults);
    EXPECT_EQ(localisation::lookup("K"), "installed");
    // A language file of the user's own comes first.
    settings.write("Language/mine.ini", "[Setting]\nZAVO_Language=English_zavo\n[String]\nK=mine\n");
    EXPECT_EQ(
        localisation::choose_language(settings.path(), settings / "setting.ini", {}, {}, shared.path()).file,
        settings / "Language/mine.ini");
    localisation::set_current_file({});
}

}  // namespace
