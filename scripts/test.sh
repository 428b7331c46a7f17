#!/usr/bin/env bash
# Sets up the machine, checks formatting and the layer order of the include lines, builds everything
# with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test; the threaded code also runs
# under ThreadSanitizer, every fuzz target runs a few seconds on its corpus, and an optimised clang
# build of everything (tests included) must compile; its Debian packages are built, unpacked into a
# scratch root, and a C program outside the tree is built against them and discovers simulated cards.
# As root the tests run inside a private network namespace: nothing they send can leave the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

echo "== formatting"
files=$(git ls-files '*.cpp' '*.h' '*.c' 2>/dev/null || true)
if [ -n "$files" ]; then
  # shellcheck disable=SC2086
  clang-format --dry-run --Werror $files
fi

echo "== layers"
bash scripts/check-layers.sh

jobs=$(nproc)
# Runs ctest inside a network namespace of its own with only loopback up (root), else as it is.
isolated_ctest() {
  if [ "$(id -u)" -eq 0 ] && unshare -n true 2>/dev/null; then
    unshare -n bash -c 'ip link set lo up && exec ctest "$@"' isolated-ctest "$@"
  else
    ctest "$@"
  fi
}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
isolated_ctest --preset asan -j "$jobs"

if [ "${SKIP_FUZZ:-0}" != 1 ]; then
  echo "== fuzz targets (clang, libFuzzer), ${FUZZ_SECONDS:-5} seconds each on their corpora"
  rm -rf build/fuzz/test-scratch
  FUZZ_SCRATCH=build/fuzz/test-scratch bash scripts/fuzz.sh --seconds "${FUZZ_SECONDS:-5}"
fi

if [ "${SKIP_TSAN:-0}" != 1 ]; then
  echo "== ThreadSanitizer build (library and simulator)"
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan -j "$jobs"
  export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
  isolated_ctest --preset tsan -j "$jobs" -L tsan
fi

if [ "${SKIP_RELEASE:-0}" != 1 ]; then
  echo "== optimised build with clang (everything, tests included)"
  cmake --preset release-clang >/dev/null
  cmake --build --preset release-clang -j "$jobs"
  echo "== Debian packages from that build, unpacked into a scratch root and used from outside the tree"
  bash scripts/package-test.sh build/release-clang
fi
