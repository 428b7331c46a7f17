// C bridge of the programme-record exports: converts arguments and results, catches everything.
#include <span>

#include "kelvra/kelvra.h"
#include "library/base/c_boundary.h"
#include "library/programme/programme_files.h"
#include "library/base/folder_ops.h"

namespace prog = kelvra::programme;

namespace {

using kelvra::boundary::guarded;

template <std::size_t N>
std::span<const std::uint8_t, N> block_of(const void* p) {
    return std::span<const std::uint8_t, N>(static_cast<const std::uint8_t*>(p), N);
}

int32_t record_result(prog::Status s) {
    return s == prog::Status::Ok ? 0 : -1;
}

}  // namespace

int32_t WriteScreenConfig(const char* folder, uint32_t /*word1*/, uint32_t /*word2*/,
                          const void* area_block) {
    if (folder == nullptr || area_block == nullptr) return -1;
    return guarded(-1, [&] {
        return record_result(prog::write_screen_config(kelvra::files::local_path(folder),
                                                       block_of<prog::kAreaBlockSize>(area_block)));
    });
}

int32_t WriteAreaConfig(const char* folder, uint32_t left, uint32_t top, uint32_t width, uint32_t height,
                        uint32_t word_b, uint32_t word_a, uint32_t colour1, const char* picture1,
                        uint32_t colour2, const char* picture2, uint32_t word_c, const void* list_block) {
    if (folder == nullptr || list_block == nullptr) return -1;
    return guarded(-1, [&] {
        prog::AreaArgs a;
        a.left = left;
        a.top = top;
        a.width = width;
        a.height = height;
        a.word_b = word_b;
        a.word_a = word_a;
        a.colour1 = colour1;
        a.picture1 = picture1;
        a.colour2 = colour2;
        a.picture2 = picture2;
        a.word_c = word_c;
        return record_result(prog::write_area_config(kelvra::files::local_path(folder), a,
                                                     block_of<prog::kListBlockSize>(list_block)));
    });
}

uint32_t AddPicStuntList(const char* path, uint32_t loop_count, uint32_t entry_effect, uint32_t clear_effect,
                         uint32_t entry_speed, uint32_t clear_speed, uint32_t stay_seconds,
                         uint32_t display_mode) {
    if (path == nullptr) return 1;
    return guarded(1, [&] {
        const prog::PlayNumbers n{loop_count,  entry_effect, clear_effect, entry_speed,
                                  clear_speed, stay_seconds, display_mode};
        return prog::library_play_list().add(path, n) == prog::Status::Ok ? 0 : 1;
    });
}

uint32_t WritePlayList(const char* folder) {
    if (folder == nullptr) return 1;
    return guarded(1, [&] {
        switch (prog::library_play_list().write(kelvra::files::local_path(folder))) {
            case prog::Status::Ok:
                return 0;
            case prog::Status::CannotWrite:
                return 2;
            default:
                return 1;
        }
    });
}

int32_t WriteLEDDownLoadProj(const char* path, uint32_t project_word, const void* project_block) {
    if (path == nullptr || project_block == nullptr) return -1;
    return guarded(-1, [&] {
        return record_result(prog::write_download_project(kelvra::files::local_path(path), project_word,
                                                          block_of<prog::kProjectBlockSize>(project_block)));
    });
}
