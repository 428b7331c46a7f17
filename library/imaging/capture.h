// Screen and window capture on X11 (Xlib), and the screen pictures built from it.
//
// The display is the one $DISPLAY names, opened for each capture and closed after it. Without a
// display every capture gives none. A window is an X window id (what a Qt window's winId() gives);
// its client coordinates are relative to its own origin. A capture takes what is visible on the
// screen, so windows lying over the area are in the picture.
//
// Threading: any thread; each capture uses a display connection of its own. X errors (a window id that
// no longer exists) are caught by a handler installed for the duration of the call, under one lock.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "library/imaging/bitmap.h"
#include "library/imaging/codecs.h"

namespace kelvra::imaging {

struct ScreenRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return right <= left || bottom <= top; }
};

enum class CaptureFailure {
    kNothing,            // an empty or off-screen area, no display, a failed read
    kUnreadableColours,  // the screen's visual is one whose colours this library does not read
};

// The area of the screen inside `rect`, clipped to the screen (left and top not below 0, right and
// bottom not beyond the screen's width and height). Colours are read through the visual's RGB masks
// (TrueColor) or through the screen's colormap (PseudoColor, StaticColor, GrayScale, StaticGray);
// any other visual (DirectColor) is refused rather than read as black. None for an empty rectangle,
// an area wholly off the screen, no display, or such a visual; `why` (when given) tells which.
std::optional<Bitmap> capture_screen(ScreenRect rect, CaptureFailure* why = nullptr);

// `rect` in the client coordinates of `window` turned into screen coordinates; none when there is no
// display or no such window.
std::optional<ScreenRect> client_to_screen(unsigned long window, ScreenRect rect);

// A captured screen area encoded in `format`, reduced to 256 colours first when `reduce`.
std::optional<Bytes> screen_picture(ScreenRect rect, image::PictureType format, bool reduce);

// What saving a window's area as JPEG gave.
enum class WindowSave {
    kSaved,
    kEncodingFailed,
    kNothingCaptured,    // no display, no such window, an empty or off-screen area
    kNotWritten,         // the file could not be written
    kUnreadableColours,  // the screen's visual is not one this library reads
};
WindowSave save_window_jpeg(unsigned long window, ScreenRect client_rect, std::string_view path);

// Writes a whole memory file to an absolute local path (created or truncated). False when the path is
// not absolute, the image is empty, or the file cannot be written completely.
bool save_memory_file(std::span<const std::uint8_t> image, std::string_view path);

}  // namespace kelvra::imaging
