#include "wizard/kelvra_pictures.h"

#include <dlfcn.h>

#include "platform/paths.h"

namespace wizard {

namespace {
constexpr const char* kLibraryName = "libkelvra.so.1";
}

std::string_view picture_error_name(PictureError error) {
    switch (error) {
        case PictureError::None:
            return "saved";
        case PictureError::LibraryMissing:
            return "libkelvra.so not found";
        case PictureError::ExportMissing:
            return "SaveWndJpg missing from libkelvra.so";
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

KelvraPictures::KelvraPictures(std::filesystem::path library) {
    if (library.empty()) {
        const auto beside = paths::program_folder() / kLibraryName;
        std::error_code ec;
        library = std::filesystem::exists(beside, ec) ? beside : std::filesystem::path(kLibraryName);
    }
    handle_ = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = ::dlerror();
        loader_message_ = why ? why : library.string();
        load_error_ = PictureError::LibraryMissing;
        return;
    }
    save_ = reinterpret_cast<SaveWndJpgFn>(::dlsym(handle_, "SaveWndJpg"));
    if (!save_) {
        const char* why = ::dlerror();
        loader_message_ = why ? why : "SaveWndJpg";
        load_error_ = PictureError::ExportMissing;
        return;
    }
    load_error_ = PictureError::None;
}

KelvraPictures::~KelvraPictures() {
    if (handle_) ::dlclose(handle_);
}

PictureError KelvraPictures::save_window_jpeg(unsigned long window, const std::filesystem::path& file,
                                              KelvraRect rect) {
    if (!save_) return load_error_;
    switch (save_(window, file.c_str(), rect)) {
        case 0:
            return PictureError::None;
        case 1:
            return PictureError::EncodingFailed;
        default:
            return PictureError::NothingCaptured;
    }
}

}  // namespace wizard
