// Folder and file operations on local paths: create a folder with its parents, copy, move and delete
// files or whole trees without asking, folder size, file length, and writing a block into a file at an
// offset. These stand in for the shell's file operations; the results are the same on any system.
// Threading: no state of its own; safe from any thread (concurrent changes to one tree race as the
// file system lets them).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kelvra::files {

// A caller's local path: "/" separates, and so does "\" (callers ported from Windows use it).
std::filesystem::path local_path(std::string_view text);

// Creates `folder` and every missing parent, one part at a time. Existing parts are skipped, and a
// part that cannot be created does not stop the walk.
void create_folder(const std::filesystem::path& folder);

// Deletes a file or a whole folder tree, read-only entries included. False when nothing of that name
// exists or something could not be removed.
bool remove_path(const std::filesystem::path& path);

// Copies a file or a folder tree. When `destination` is an existing folder the source goes inside it
// under its own name; otherwise it becomes `destination`. Existing files are overwritten. False when
// the source is missing, the destination lies inside the source, or any part failed.
bool copy_path(const std::filesystem::path& source, const std::filesystem::path& destination);

// Moves a file or a folder tree, with the destination rule of copy_path(). Across file systems it
// copies and then deletes the source.
bool move_path(const std::filesystem::path& source, const std::filesystem::path& destination);

// Deletes a folder tree. False when the folder did not exist, or (after showing the text of
// "IDS_MESSAGE_DELETE_FOLDER_FAILED") when it could not be removed.
bool delete_folder_tree(const std::filesystem::path& folder);

// The sum of the lengths of all files below `folder`, in bytes. A missing folder shows the text of
// "IDS_MESSAGE_FOLDER_NOT_EXIST" and gives 0. Links are not followed.
std::uint64_t folder_size(const std::filesystem::path& folder);

// The length of a file; 0 when it is missing, not a regular file or cannot be read.
std::uint64_t file_length(const std::filesystem::path& path);

// Writes `data` at `offset` into the file, creating it when it does not exist and never truncating it.
// False (and the file left alone) when it cannot be opened, or when the write failed.
bool write_block(const std::filesystem::path& path, std::uint64_t offset, std::span<const std::uint8_t> data);

}  // namespace kelvra::files

namespace kelvra {

// The whole content of a local regular file; none when it is missing, not a regular file, cannot be
// read, changes length while it is read, or is longer than a FileHeaderRecord can announce (4 GiB).
std::optional<std::vector<std::uint8_t>> GetFileBuf(std::string_view local_path);

}  // namespace kelvra
