// FileHeaderRecord: the 212-byte data of CMD_FILE_HEADER (0x01) that announces a file to a card, one
// definition for Vantor, Kelvra and ledcard-sim.
//
//   offset  size  field
//   0       4     file type (u32 LE; upgrade files use byte 0 as their kind, 1 Kernel, 2 Application)
//   4       4     file length in bytes
//   8       4     2048-byte block count (upgrade files), else 0
//   12      100   card folder text, "\" separators, NUL-terminated
//   112     100   card file name, NUL-terminated
//
// Pure functions over bytes; safe from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace file_header {

inline constexpr std::size_t kSize = 212;
inline constexpr std::size_t kTypeOffset = 0;
inline constexpr std::size_t kLengthOffset = 4;
inline constexpr std::size_t kBlocksOffset = 8;
inline constexpr std::size_t kFolderOffset = 12;
inline constexpr std::size_t kNameOffset = 112;
inline constexpr std::size_t kTextSize = 100;
static_assert(kLengthOffset == kTypeOffset + 4 && kBlocksOffset == kLengthOffset + 4);
static_assert(kFolderOffset == kBlocksOffset + 4 && kNameOffset == kFolderOffset + kTextSize);
static_assert(kSize == kNameOffset + kTextSize);

struct FileHeader {
    std::uint32_t file_type = 0;
    std::uint32_t file_length = 0;
    std::uint32_t blocks = 0;
    std::string folder;     // card form, "\" separators; empty: none
    std::string file_name;  // the name the card stores the file under

    bool operator==(const FileHeader&) const = default;
};

// Texts longer than 99 bytes are cut to 99, so that each field keeps its NUL.
std::array<std::uint8_t, kSize> encode(const FileHeader& header);

// Nothing unless all 212 bytes are present. A text without NUL ends with its field (100 bytes).
std::optional<FileHeader> decode(std::span<const std::uint8_t> bytes);

}  // namespace file_header
