#include "wizard/kelvra_pictures.h"

#include <cstdlib>

#include "platform/paths.h"

namespace wizard {

std::string_view picture_error_name(PictureError error) {
    switch (error) {
        case PictureError::None:
            return "saved";
        case PictureError::NothingCaptured:
            return "nothing captured or file not written";
        case PictureError::EncodingFailed:
            return "JPEG encoding failed";
    }
    return "unknown";
}

std::filesystem::path traced_picture_path() {
    return paths::user_data_folder() / "ncp.jpg";
}

PictureError KelvraPictures::save_window_jpeg(unsigned long window, const std::filesystem::path& file,
                                              KelvraRect rect) {
    detail_.clear();
    switch (SaveWndJpg(window, file.c_str(), rect)) {
        case KELVRA_OK:
            return PictureError::None;
        case KELVRA_WND_JPG_ENCODING_FAILED:
            return PictureError::EncodingFailed;
        default:
            break;
    }
    // Nothing was captured: the capture reads the X display the program runs on, so say which, or
    // that there is none.
    const char* display = std::getenv("DISPLAY");
    detail_ = display != nullptr && *display != '\0' ? std::string("display ") + display : "no X display";
    return PictureError::NothingCaptured;
}

}  // namespace wizard
