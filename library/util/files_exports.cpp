// C bridge of the folder-operation exports: converts arguments and results, catches everything.
#include "kelvra/kelvra.h"
#include "library/base/c_boundary.h"
#include "library/base/folder_ops.h"

namespace files = kelvra::files;

namespace {

using kelvra::boundary::guarded;

// The first path of a caller's path list (reading stops at its first NUL).
bool usable(const char* path) {
    return path != nullptr && path[0] != '\0';
}

}  // namespace

int32_t DelTreeOrFile(const char* path) {
    if (!usable(path)) return 0;
    return guarded(0, [&] { return files::remove_path(files::local_path(path)) ? 1 : 0; });
}

int32_t MoveTreeOrFile(const char* source, const char* destination) {
    if (!usable(source) || !usable(destination)) return 0;
    return guarded(0, [&] {
        return files::move_path(files::local_path(source), files::local_path(destination)) ? 1 : 0;
    });
}

int32_t CopyTreeOrFile(const char* source, const char* destination) {
    if (!usable(source) || !usable(destination)) return 0;
    return guarded(0, [&] {
        return files::copy_path(files::local_path(source), files::local_path(destination)) ? 1 : 0;
    });
}

void CreateFolder(const char* folder) {
    if (!usable(folder)) return;
    guarded([&] { files::create_folder(files::local_path(folder)); });
}
