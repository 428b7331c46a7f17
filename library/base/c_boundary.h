// The one place where the library's C++ meets its C callers: every export runs its body through
// guarded(), so no exception (in practice, a failed allocation) leaves the library; it becomes the
// failure result the export documents. The library's result enums take their numbers from the public
// names of <kelvra/results.h>, so a result crosses the boundary unchanged.
// Threading: pure; any thread.
#pragma once

#include <string_view>
#include <type_traits>

#include "kelvra/kelvra.h"

namespace kelvra::boundary {

// Runs `body` and returns what it returns; any exception gives `failure` instead (what the export
// documents for a call it could not finish: out of memory for most, a null pointer or 0 for those
// that hand out memory or answer yes or no).
template <typename F, typename R = std::invoke_result_t<F&>>
R guarded(std::type_identity_t<R> failure, F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

// A C string argument as a view; a null pointer reads as the empty text.
inline std::string_view text(const char* s) {
    return s != nullptr ? std::string_view(s) : std::string_view();
}

// For the exports that return nothing: an exception ends the call quietly.
template <typename F>
void guarded(F&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

}  // namespace kelvra::boundary
