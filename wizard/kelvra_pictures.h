// Saving what a window shows as a JPEG (the tracing step's "ncp.jpg") through Kelvra's SaveWndJpg.
// Vantor links libkelvra.so.1 and calls the export through its public header.
// Threading: construct and call on the user-interface thread (the window must be on the screen).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "kelvra/kelvra.h"

namespace wizard {

enum class PictureError {
    None,
    NothingCaptured,  // no display, no such window, an empty area, or the file could not be written
    EncodingFailed,   // the JPEG encoder failed
};
std::string_view picture_error_name(PictureError error);

// The fixed per-user place of the traced picture: "ncp.jpg" in the user data folder.
std::filesystem::path traced_picture_path();

class KelvraPictures {
  public:
    // SaveWndJpg(window, path, rect): `rect` in the window's own coordinates.
    PictureError save_window_jpeg(unsigned long window, const std::filesystem::path& file, KelvraRect rect);

    // What the last failed save adds to its name (the display it went to); empty after a success.
    const std::string& detail() const { return detail_; }

  private:
    std::string detail_;
};

}  // namespace wizard
