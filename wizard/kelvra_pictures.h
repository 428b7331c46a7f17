// Kelvra, loaded at run time for the one export Vantor uses: SaveWndJpg, which saves what a window
// shows as a JPEG (the tracing step's "ncp.jpg"). The library is looked for beside the program first,
// then where the dynamic loader looks. A missing library or export is a named error, not a crash.
// Threading: construct and call on one thread; the library stays loaded for the object's life.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "kelvra/kelvra.h"

namespace wizard {

enum class PictureError {
    None,
    LibraryMissing,   // libkelvra.so could not be loaded
    ExportMissing,    // the library has no SaveWndJpg
    NothingCaptured,  // no display, no such window, an empty area, or the file could not be written
    EncodingFailed,   // the JPEG encoder failed
};
std::string_view picture_error_name(PictureError error);

// The fixed per-user place of the traced picture: "ncp.jpg" in the user data folder.
std::filesystem::path traced_picture_path();

class KelvraPictures {
  public:
    // `library` names the file to load; empty: "libkelvra.so.1" in the program's folder, else the
    // dynamic loader's search for "libkelvra.so.1".
    explicit KelvraPictures(std::filesystem::path library = {});
    ~KelvraPictures();
    KelvraPictures(const KelvraPictures&) = delete;
    KelvraPictures& operator=(const KelvraPictures&) = delete;

    // None once SaveWndJpg was found; the loader's own text says why not.
    PictureError load_error() const { return load_error_; }
    const std::string& loader_message() const { return loader_message_; }

    // SaveWndJpg(window, path, rect): `rect` in the window's own coordinates.
    PictureError save_window_jpeg(unsigned long window, const std::filesystem::path& file, KelvraRect rect);

  private:
    using SaveWndJpgFn = int32_t (*)(unsigned long, const char*, KelvraRect);
    void* handle_ = nullptr;
    SaveWndJpgFn save_ = nullptr;
    PictureError load_error_ = PictureError::LibraryMissing;
    std::string loader_message_;
};

}  // namespace wizard
