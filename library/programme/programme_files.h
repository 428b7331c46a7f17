// Writing a programme to disk: the screen, area and play-list records ("Config.sys" of their folders),
// the download project, and the pending play list that AddPicStuntList fills and WritePlayList writes.
// Every writer first creates the target folder with its parents, then writes the whole file
// (create or truncate) and closes it.
// Threading: the writers keep no state. A PendingPlayList guards itself: add() and write() may be
// called from any thread, and a write() sees either all of a concurrent add() or none of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "library/programme/records.h"

namespace kelvra::programme {

enum class Status {
    Ok,
    NameTooLong,     // a name does not fit its 100-byte field
    NotAPicture,     // a play-list path that is not a BMP, JPEG or GIF file
    ListFull,        // the pending play list already holds kMaxPendingItems
    NothingPending,  // WritePlayList with no item added
    OutOfMemory,
    CannotWrite,  // the file could not be created or written
};

inline constexpr const char* kRecordFileName = "Config.sys";
inline constexpr const char* kJpegFolderName = "Jpeg";
inline constexpr std::size_t kMaxPendingItems = 50;

// Writes `bytes` to `file` (create or truncate); CannotWrite unless every byte reached the disk.
Status write_file(const std::filesystem::path& file, std::span<const std::uint8_t> bytes);

// The fill of an area: a name containing "jpg", "Jpg" or "jpeg" (case-sensitive: "JPG" is no picture)
// is a picture (kind 3, name stored); anything else, a null name included, is the solid colour
// 0x00BBGGRR (kind 2). NameTooLong for a picture name of 100 bytes or more.
Status make_fill(std::uint32_t colour, const char* picture, FillSpec& out);

// `folder`/"Config.sys": marker, words 9 = 0 and 10 = 1, the area block; everything else 0.
Status write_screen_config(const std::filesystem::path& folder,
                           std::span<const std::uint8_t, kAreaBlockSize> area_block);

struct AreaArgs {
    std::uint32_t left = 0, top = 0, width = 0, height = 0;
    std::uint32_t word_b = 0, word_a = 0;
    std::uint32_t colour1 = 0;
    const char* picture1 = nullptr;
    std::uint32_t colour2 = 0;
    const char* picture2 = nullptr;
    std::uint32_t word_c = 0;
};
// `folder`/"Config.sys": the area record, area word D 1, the list block twice.
Status write_area_config(const std::filesystem::path& folder, const AreaArgs& args,
                         std::span<const std::uint8_t, kListBlockSize> list_block);

// The 1624-byte project at `path`. The folder named by the path without its extension (the last "."
// of the file name) is created with its parents, and so is the path's own folder.
Status write_download_project(const std::filesystem::path& path, std::uint32_t project_word,
                              std::span<const std::uint8_t, kProjectBlockSize> block);

// The seven numbers of a play item, in AddPicStuntList's order.
struct PlayNumbers {
    std::uint32_t loop_count = 0, entry_effect = 0, clear_effect = 0, entry_speed = 0, clear_speed = 0,
                  stay_seconds = 0, display_mode = 0;
};

// The play item of a picture path. The tag comes from the file name's extension, any case: ".bmp"
// "bmp", ".jpg" or ".jpeg" "jpg", ".gif" "gif"; anything else is NotAPicture. The file name (the text
// after the last "\" or "/") goes into both name fields; NameTooLong when it has 100 bytes or more.
Status make_play_item(std::string_view path, const PlayNumbers& numbers, PlayItem& out);

// The sub-folder of a play-list folder that a pending picture is copied to: JPEG pictures go into
// "Jpeg", all others into the folder itself.
std::filesystem::path picture_destination(const std::filesystem::path& folder, const PlayItem& item);

class PendingPlayList {
  public:
    // Appends the item of `path` (kept as given, to copy later). Nothing changes unless Ok.
    Status add(std::string_view path, const PlayNumbers& numbers);

    // Writes `folder`/"Config.sys" with the pending items, then copies each picture into the folder
    // (JPEG pictures into its "Jpeg" sub-folder) and empties the list. Copy failures are not reported.
    // NothingPending, OutOfMemory and CannotWrite leave the list as it was.
    Status write(const std::filesystem::path& folder);

    std::size_t size() const;

  private:
    mutable std::mutex mutex_;
    std::vector<PlayItem> items_;
    std::vector<std::string> sources_;
};

// The library's one pending play list (AddPicStuntList, WritePlayList).
PendingPlayList& library_play_list();

}  // namespace kelvra::programme
