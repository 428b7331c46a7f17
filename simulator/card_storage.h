// Where a card keeps the files it receives: one folder per card. Card paths use "\" separators;
// a path that would leave the card's folder is refused.
//
// Threading: pure functions; no shared state.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sim {

// FileHeaderRecord, the 212-byte data of CMD_FILE_HEADER.
struct FileHeader {
    std::uint32_t file_type = 0;  // byte 0 is the file kind of an upgrade file; bytes 1..3 are then 0
    std::uint32_t file_length = 0;
    std::uint32_t blocks = 0;  // 2048-byte blocks (upgrade files), else 0
    std::string folder;
    std::string name;
};
inline constexpr std::size_t kFileHeaderSize = 212;
inline constexpr std::size_t kFileHeaderFolderOffset = 12;
inline constexpr std::size_t kFileHeaderNameOffset = 112;
inline constexpr std::size_t kFileHeaderTextSize = 100;
static_assert(kFileHeaderFolderOffset + kFileHeaderTextSize == kFileHeaderNameOffset);
static_assert(kFileHeaderNameOffset + kFileHeaderTextSize == kFileHeaderSize);

// Nothing unless all 212 bytes are present.
std::optional<FileHeader> decode_file_header(std::span<const std::uint8_t> data);

// The card path of a received file: folder "\" name, or the folder alone when it already ends with
// the name (upgrade headers carry the whole path in the folder field). Empty when there is no name.
std::string card_path_of(const FileHeader& header);

// Maps a card path into `root`. Refuses ".." components, drive letters and other ":" names, UNC and
// local absolute paths ("\\x", "/x"), control characters, and paths with no file name. A single
// leading "\" names the card's root folder.
std::optional<std::filesystem::path> resolve_card_path(const std::filesystem::path& root,
                                                       std::string_view card_path);

}  // namespace sim
