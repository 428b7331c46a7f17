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

#include "common/file_header.h"

namespace sim {

// The header of a received file (CMD_FILE_HEADER).
using FileHeader = file_header::FileHeader;

// The card path of a received file: folder "\" name, or the folder alone when it already ends with
// the name (upgrade headers carry the whole path in the folder field). Empty when there is no name.
std::string card_path_of(const FileHeader& header);

// Maps a card path into `root`. Refuses ".." components, drive letters and other ":" names, UNC and
// local absolute paths ("\\x", "/x"), control characters, and paths with no file name. A single
// leading "\" names the card's root folder.
std::optional<std::filesystem::path> resolve_card_path(const std::filesystem::path& root,
                                                       std::string_view card_path);

}  // namespace sim
