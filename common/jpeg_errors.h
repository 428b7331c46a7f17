// libjpeg's error handling for the library and the simulator, which both decode or encode with it.
// libjpeg reports a fatal error through error_exit, which must not return: it jumps back to the
// setjmp the caller made on `jump` (the caller's own frame, so no C++ object with a destructor may
// live across it). Warnings are not printed. Header only: include it where libjpeg is linked.
#pragma once

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <jpeglib.h>
// clang-format on
#include <csetjmp>

namespace jpeg_errors {

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

[[noreturn]] inline void fail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

inline void quiet(j_common_ptr, int) {}

// Sets `error` up as above and returns it for the codec's `err`.
inline jpeg_error_mgr* install(JpegError& error) {
    jpeg_error_mgr* mgr = jpeg_std_error(&error.mgr);
    mgr->error_exit = fail;
    mgr->emit_message = quiet;
    return mgr;
}

}  // namespace jpeg_errors
