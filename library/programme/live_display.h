// Display windows and the live display of a running card, in C++ form: windows opened, filled with
// pictures and videos, locked and closed (CMD_WINDOW operations); a picture shown at once, a screen
// capture, a flashing window over regions (CMD_GLINT_WINDOW), and effect lists of pictures started and
// ended (the record "Config.sys" of type 7, the start block, CMD_EXIT_STUNT). display_exports.cpp wraps
// these as the exported C functions; the blocks are in common/display_blocks.h.
//
// Pictures and videos go to the card as files (header and data) in the same job as the command that
// uses them, so the command never overtakes its file. Transfers to one card queue on that card's gate
// (the connected card table's entry, or its first entry for a card not in the table).
//
// Threading: any thread. Library-wide lists live in live_state.h, each under its own lock. Synchronous
// transports (101 to 103) block the caller for the send; ShowPicStunt's waiting mode blocks it until
// the card's transfers are through (at most timeouts().card_busy_wait).
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "common/display_blocks.h"
#include "kelvra/kelvra.h"
#include "library/imaging/capture.h"
#include "library/programme/programme_files.h"
#include "library/protocol/proto_type.h"

namespace kelvra::live {

enum LiveResult : int {
    kLiveOk = KELVRA_OK,
    kVideoNotAvi = KELVRA_VIDEO_NOT_AVI,
    kRegionsFull = KELVRA_REGIONS_FULL,
    kShowUnloadable = KELVRA_SHOW_UNREADABLE,
    kShowNoMemory = KELVRA_SHOW_NO_MEMORY,
    kUnsupportedPicture = KELVRA_NOT_A_PICTURE,
    kNoMemory = KELVRA_NO_MEMORY,
    kNoPictures = KELVRA_NO_PICTURES,
    kCardBusy = KELVRA_CARD_BUSY,
    kUnreadable = KELVRA_PICTURE_UNREADABLE,
    kNameTooLong = KELVRA_NAME_TOO_LONG,
    kPictureTooLarge =
        KELVRA_PICTURE_TOO_LARGE,  // the picture declares more than the cap (common/picture_size.h)
};

inline constexpr std::uint32_t kWindowFileType = 4;
inline constexpr std::uint32_t kShowFileType = 5;
inline constexpr std::uint32_t kGlintFileType = 6;
inline constexpr std::uint32_t kStuntFileType = 7;
inline constexpr std::string_view kScreenPictureName = "ScreenPic.jpg";
inline constexpr std::chrono::milliseconds kGlintPause{400};  // picture, then its flashing window

// The card a call goes to: id, IP text, transport and the command parameter of every block.
struct CardRef {
    std::string_view id;
    std::string_view ip;
    ProtoType proto_type = ProtoType::Tcp;
    std::uint32_t parameter = 0;
};

// ---- windows: one CMD_WINDOW block each; the result of the send (0 handed over or sent; 31, 34; for
// 101 to 103 also 60 or a send failure). delete_picture: 20 for a name longer than 99 bytes.
int create_multi_area_window(const CardRef& card, const display::Rect& rect, std::uint32_t area_set,
                             std::uint32_t area_word);
int insert_list_to_area(const CardRef& card, std::uint32_t list_word);
int create_window(const CardRef& card, std::uint32_t window, const display::Rect& rect,
                  std::uint32_t window_word, std::uint32_t style, bool marker);
int delete_picture(const CardRef& card, std::uint32_t window, std::string_view card_name);
int lock_window(const CardRef& card, std::uint32_t window, std::uint32_t lock_word);
int destroy_window(const CardRef& card, std::uint32_t window);

// A picture into a window: the file (type 4, folder = the window number) and operation 3, through the
// card's gate. `to_gif` only counts for BMP files. 13 (the naming counter still advances), 17, 14, or
// the result of the send.
int add_picture(const CardRef& card, std::uint32_t window, std::string_view path,
                const programme::PlayNumbers& numbers, bool to_gif);
// A video (".avi" only, else -1) under its own name, tag "vod", numbers 0. 20, 17, 14 or the send's.
int add_video(const CardRef& card, std::uint32_t window, std::string_view path);

// ---- live display
// The picture at once (type 5, ShowPicture's gate): 1, 13, 2 or the send's result.
int show_picture(const CardRef& card, std::string_view path);
// The screen area captured as JPEG, sent as "ScreenPic.jpg" (type 5, its own gate): 17, 14 or the
// send's result.
int send_screen_picture(const CardRef& card, imaging::ScreenRect rect);
// The number of regions now listed, or -1 (kRegionsFull).
int create_window_region(const display::Region& region);
// The picture (type 6) and, 400 ms after its last byte in the same job, the GlintWindowBlock with the
// listed regions. The regions are taken when the job is handed over (or sent), kept otherwise.
// 13, 17, 14 or the send's result.
int insert_glint_window(const CardRef& card, std::string_view path, std::uint32_t flash);
// A picture for the card's effect list (type 7, the card's gate); the item is listed when the send
// was handed over (or done). 13, 17, 14 or the send's result.
int add_picture_and_stunt(const CardRef& card, std::string_view path, const programme::PlayNumbers& numbers,
                          bool to_gif);

struct StuntShow {
    bool window = false;  // the list plays in `rect`
    display::Rect rect{};
    bool marker = false;
    bool immediate = false;  // refuse (16) rather than wait while a transfer to the card is under way
};
// Sends the card's effect list ("Config.sys", type 7) and its start block, and empties the list.
// 15 no picture listed; 16 busy (immediate), or still busy after timeouts().card_busy_wait (waiting);
// 14, or the send's result.
int show_stunt(const CardRef& card, const StuntShow& show);
// CMD_EXIT_STUNT, no data, parameter 0: the send's result.
int exit_stunt(const CardRef& card);

}  // namespace kelvra::live
