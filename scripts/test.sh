#!/usr/bin/env bash
# Sets up the machine, checks formatting and the layer order of the include lines, builds everything
# with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test; the threaded code also runs
# under ThreadSanitizer, every fuzz target (clang) runs a few seconds on its corpus, and an optimised
# GCC build of everything (tests and benchmarks included) must compile with warnings as errors; its
# Debian packages are built, unpacked into a scratch root, and a C program outside the tree is built
# against them and discovers simulated cards. The ThreadSanitizer and optimised builds compile beside
# the AddressSanitizer tests and the fuzz runs. Each step's time is printed as it ends and again at the
# end. As root the tests run inside a private network namespace: nothing they send can leave the machine.
set -euo pipefail
cd "$(dirname "$0")/.."

# Step times: "== name" as a step begins, "-- name: N s" as it ends, and the table at exit.
started=$SECONDS
step_name=""
step_started=$SECONDS
step_times=()
end_step() {
  if [ -n "$step_name" ]; then
    local took=$((SECONDS - step_started))
    step_times+=("$(printf '%6d s  %s' "$took" "$step_name")")
    echo "-- $step_name: $took s"
  fi
  step_name=""
}
step() {
  end_step
  step_name=$1
  step_started=$SECONDS
  echo "== $1"
}
report_times() {
  local status=$?
  if [ -n "${background:-}" ]; then kill -- "-$background" 2>/dev/null || true; fi
  end_step
  echo "== step times"
  printf '%s\n' "${step_times[@]}"
  [ ! -s build/background.times ] || cat build/background.times
  printf '%6d s  %s\n' $((SECONDS - started)) "all$([ "$status" -eq 0 ] || echo " (failed)")"
}
trap report_times EXIT

step "setup"
bash scripts/setup.sh

step "formatting"
files=$(git ls-files '*.cpp' '*.h' '*.c' 2>/dev/null || true)
if [ -n "$files" ]; then
  # shellcheck disable=SC2086
  clang-format --dry-run --Werror $files
fi

step "layers"
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

step "AddressSanitizer + UndefinedBehaviorSanitizer: build"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"

# The ThreadSanitizer build and its tests, then the optimised build, run beside the AddressSanitizer
# tests and the fuzz runs, one after the other, their compilers at the lowest priority: those tests
# mostly wait on sockets and timers and a fuzz run keeps one core, so the compilers take what is left.
# Output goes to build/background.log (shown when something fails); each part's time to
# build/background.times.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
mkdir -p build
: >build/background.log
: >build/background.times
background_part() {  # name, command...
  local name=$1 began=$SECONDS
  shift
  echo "== $name" >>build/background.log
  "$@" >>build/background.log 2>&1 || { echo "$name: failed" >>build/background.times; return 1; }
  printf '%6d s  %s (beside the foreground)\n' $((SECONDS - began)) "$name" >>build/background.times
}
set -m  # the background parts get a process group of their own, ended with the script
(
  if [ "${SKIP_TSAN:-0}" != 1 ]; then
    # The preset builds the tests labelled tsan and what they need, nothing more.
    background_part "ThreadSanitizer: build (threaded library and simulator code)" \
      bash -c 'cmake --preset tsan >/dev/null && nice -n 19 cmake --build --preset tsan -j "$1"' tsan "$jobs"
    # Beside the other tests only in namespaces of their own (root): else they would share the card ports.
    if [ "$(id -u)" -eq 0 ]; then
      background_part "ThreadSanitizer: tests" isolated_ctest --preset tsan -j "$jobs"
    fi
  fi
  if [ "${SKIP_RELEASE:-0}" != 1 ]; then
    background_part "optimised GCC build, warnings as errors (everything, tests and benchmarks included)" \
      bash -c 'cmake --preset release >/dev/null && nice -n 19 cmake --build --preset release -j "$1"' \
      release "$jobs"
  fi
) &
background=$!
set +m

step "AddressSanitizer + UndefinedBehaviorSanitizer: tests"
isolated_ctest --preset asan -j "$jobs"

if [ "${SKIP_FUZZ:-0}" != 1 ]; then
  step "fuzz targets (clang, libFuzzer): build, then ${FUZZ_SECONDS:-5} seconds each on their corpora"
  rm -rf build/fuzz/test-scratch
  FUZZ_SCRATCH=build/fuzz/test-scratch bash scripts/fuzz.sh --seconds "${FUZZ_SECONDS:-5}"
fi

step "ThreadSanitizer build and tests, optimised build: the rest of their time"
if ! wait "$background"; then
  background=""
  tail -n 60 build/background.log
  echo "failed: $(grep failed build/background.times || true)" >&2
  exit 1
fi
background=""
if [ "${SKIP_TSAN:-0}" != 1 ] && [ "$(id -u)" -ne 0 ]; then
  step "ThreadSanitizer: tests"
  isolated_ctest --preset tsan -j "$jobs"
fi

if [ "${SKIP_RELEASE:-0}" != 1 ]; then
  step "Debian packages from the optimised build, unpacked into a scratch root and used from outside the tree"
  bash scripts/package-test.sh build/release
fi
