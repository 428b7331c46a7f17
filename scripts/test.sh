#!/usr/bin/env bash
# Sets up the machine, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer, checks
# formatting and runs every test. The threaded library code also runs under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

echo "== formatting"
files=$(git ls-files '*.cpp' '*.h' '*.c' 2>/dev/null || true)
if [ -n "$files" ]; then
  # shellcheck disable=SC2086
  clang-format --dry-run --Werror $files
fi

jobs=$(nproc)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

if [ "${SKIP_TSAN:-0}" != 1 ]; then
  echo "== ThreadSanitizer build (library and simulator)"
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan -j "$jobs"
  TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} ctest --preset tsan -j "$jobs" -L tsan
fi
