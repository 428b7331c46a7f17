// The module library: a folder of profile files, one per profile ($XDG_DATA_HOME, else
// ~/.local/share, + "/vantor/profiles"), each named after its profile (library_file_stem), with the
// profile's traced grid picture beside it when it has one. Plain files, so a library can be copied,
// mailed and kept in version control; an archive (profile_archive.h) carries a whole library.
//
// Every file is read whole on each list(): a damaged one is listed with its error and can be neither
// applied nor exported; a good one is never changed by reading.
// Threading: one library object per thread; writers of one folder are not serialised against each other.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "profiles/profile_format.h"

namespace profiles {

// $XDG_DATA_HOME/vantor/profiles, else ~/.local/share/vantor/profiles (not created here).
std::filesystem::path default_library_folder();

// The file name (without extension) of the profile named `name`: the name with "/", "\", "%", control
// characters and a leading "." written as "%XX"; a long result is cut and given a short hash, so that
// every file name fits an archive member.
std::string library_file_stem(std::string_view name);

struct LibraryEntry {
    std::filesystem::path file;
    std::string name;  // the profile's name; for a damaged file, its file name
    ProfileError error = ProfileError::None;
    std::string detail;  // why it is damaged
    Profile profile;     // meaningful when not damaged
    bool damaged() const { return error != ProfileError::None; }
};

enum class LibraryError {
    None,
    NotFound,      // no profile of that name
    Damaged,       // the profile's file is damaged: never applied or exported
    Exists,        // a profile of that name is there and replacing was not asked for
    BadName,       // the name cannot name a profile
    ReadFailed,    // a file could not be read
    WriteFailed,   // a file or the folder could not be written
    NotAProfile,   // the file to import is not a profile (its error in the detail)
    NotAnArchive,  // the archive to import is damaged or not one
};

std::string_view error_name(LibraryError error);

struct LibraryResult {
    LibraryError error = LibraryError::None;
    std::string detail;
    bool ok() const { return error == LibraryError::None; }
};

// One member's outcome of import_all.
struct ImportedMember {
    std::string member;  // its name in the archive
    std::string name;    // the profile's name, when it is one
    LibraryResult result;
};

struct ImportAllResult {
    LibraryResult result;                 // the archive as a whole
    std::vector<ImportedMember> members;  // each profile in it
};

struct ExportAllResult {
    LibraryResult result;
    std::size_t exported = 0;
    std::vector<std::string> skipped;  // damaged profiles left out (their file names)
};

class ProfileLibrary {
  public:
    explicit ProfileLibrary(std::filesystem::path folder = default_library_folder());
    const std::filesystem::path& folder() const { return folder_; }

    // Every profile file, good ones sorted by name, then damaged ones by file name.
    std::vector<LibraryEntry> list() const;
    // The profile named `name` (damaged ones by their file name); none when there is no such file.
    std::optional<LibraryEntry> find(std::string_view name) const;

    // Writes `profile` (its record must be sealed; the date is set to today when empty). `picture`, when
    // given, is copied beside it and named in the profile. Replaces a profile of the same name only with
    // `replace`. The file is written beside and renamed, so a failed save leaves the old one whole.
    LibraryResult save(Profile profile, bool replace,
                       const std::optional<std::filesystem::path>& picture = {});
    // Removes the profile's file and its picture.
    LibraryResult remove(std::string_view name);

    // Copies the profile's file to `destination` (a damaged one is refused).
    LibraryResult export_one(std::string_view name, const std::filesystem::path& destination) const;
    // Reads a profile file from anywhere and saves it here (its picture too, when it lies beside it).
    LibraryResult import_one(const std::filesystem::path& source, bool replace, std::string* name = nullptr);
    // Every good profile and its picture as one archive file.
    ExportAllResult export_all(const std::filesystem::path& destination) const;
    // Every profile of an archive; each member's outcome on its own (one damaged member stops no other).
    ImportAllResult import_all(const std::filesystem::path& archive, bool replace);

  private:
    std::filesystem::path file_of(std::string_view name) const;
    LibraryResult write_file(const std::filesystem::path& file, std::span<const std::uint8_t> bytes) const;

    std::filesystem::path folder_;
};

// Today's date as the profile file writes it ("2026-12-11"), local time.
std::string today();

}  // namespace profiles
