// The archive of a whole module library: a POSIX ustar file ("tar" reads and writes it), one regular
// file per profile or picture, no folders. Pure functions over bytes.
// Threading: pure functions.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace profiles {

inline constexpr std::size_t kTarBlock = 512;
inline constexpr std::size_t kMaxMemberName = 99;  // the ustar name field, with its NUL

struct ArchiveMember {
    std::string name;  // a file name without folder, at most 99 bytes
    std::vector<std::uint8_t> bytes;
};

// The archive of `members`, in order; each name must be a plain file name of at most 99 bytes
// (the library's own names are: library_file_stem keeps them short).
std::vector<std::uint8_t> write_archive(const std::vector<ArchiveMember>& members);

enum class ArchiveError {
    None,
    NotAnArchive,  // the first block is not a ustar header
    BadHeader,     // a header whose check sum or size field is wrong
    Truncated,     // the bytes end inside a member or before the two empty end blocks
};

struct ReadArchive {
    ArchiveError error = ArchiveError::None;
    std::string detail;
    std::vector<ArchiveMember> members;  // the regular files, folder part of a name dropped
};

// Reads an archive written by write_archive or by tar (other entry kinds, folders and extended headers
// among them, are passed over).
ReadArchive read_archive(std::span<const std::uint8_t> bytes);

}  // namespace profiles
