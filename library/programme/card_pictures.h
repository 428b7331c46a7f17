// Pictures and videos sent to a card's display: what kind a file is, the name it gets on the card, its
// bytes as sent, and the play item that tells a window or an effect list to show it.
//
// The kind comes from the file name's extension, any case (".bmp"; ".jpg" or ".jpeg"; ".gif"), never
// from folder names. A picture is named on the card "Pic<n>" and the extension of what is sent: ".gif"
// when a BMP is converted to GIF, else that of its kind. <n> comes from the library's naming counter
// (live_state.h). A video (".avi") keeps its own file name.
//
// Threading: pure functions, except that load_card_picture reads a file. Safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/display_blocks.h"
#include "common/picture_size.h"
#include "library/programme/programme_files.h"

namespace kelvra::live {

// The file name's extension (after its last "."), lower-cased; empty when it has none.
std::string lower_extension(std::string_view path);
std::optional<image::PictureType> picture_kind(std::string_view path);
bool is_avi(std::string_view path);

// "Pic<number>.gif" when `to_gif`, else "Pic<number>.bmp", ".jpg" or ".gif" by kind.
std::string card_picture_name(std::uint32_t number, image::PictureType kind, bool to_gif);
// The play item tag of what is sent: "gif" when `to_gif`, else "bmp", "jpg" or "gif".
std::string_view picture_tag(image::PictureType kind, bool to_gif);

// The bytes sent for a picture: a BMP re-encoded as GIF (`to_gif`) or as a standard BMP; JPEG and GIF
// files as they are. None when the file cannot be read, a BMP cannot be converted (never the
// unconverted bytes under a name that promises another format), or the file declares a picture
// larger than the card cap (`too_large`, found before anything is decoded).
struct CardPicture {
    std::optional<std::vector<std::uint8_t>> bytes;
    bool too_large = false;
};
CardPicture load_card_picture(std::string_view path, image::PictureType kind, bool to_gif);

// A play item for a window or an effect list: the tag, the seven numbers, the first name field empty,
// the card file name in the second. `card_name` has at most 99 characters.
display::ItemBytes card_play_item(std::string_view tag, const programme::PlayNumbers& numbers,
                                  std::string_view card_name);

}  // namespace kelvra::live
