#!/usr/bin/env bash
# Builds the fuzz targets (the fuzz preset: clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each on its corpus for a bounded time, one after the other.
#
#   scripts/fuzz.sh [--minutes M | --seconds S] [--merge] [--no-build] [TARGET ...]
#
# Default: 5 minutes per target, every target. New inputs that libFuzzer finds go to a scratch folder
# (build/fuzz/scratch/<target>, or $FUZZ_SCRATCH/<target>), never into the tree; --merge then adds those
# that reach new code to fuzz/corpus/<target>. A crash, a leak, a broken assertion or a time-out stops
# that target; its input is kept as build/fuzz/scratch/crashes/<target>-crash-* and the script fails.
# The picture reader also reads the BMP Suite (tests/data/bmpsuite, or $BMPSUITE).
# FUZZ_NICE sets the runs' nice level (default 0).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=300
merge=0
build=1
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) seconds=$(( $2 * 60 )); shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --merge) merge=1; shift ;;
    --no-build) build=0; shift ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done

bin=build/fuzz/fuzz
if [ "$build" = 1 ]; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$(nproc)"
fi
if [ ${#targets[@]} -eq 0 ]; then
  for dir in fuzz/corpus/*/; do
    t=$(basename "$dir")
    [ -x "$bin/$t" ] && targets+=("$t")
  done
fi

scratch=${FUZZ_SCRATCH:-build/fuzz/scratch}
mkdir -p "$scratch/crashes"
bmpsuite=${BMPSUITE:-tests/data/bmpsuite}
failed=()
printf '%-24s %10s %10s %8s  %s\n' target runs exec/s new result
for t in "${targets[@]}"; do
  mkdir -p "$scratch/$t"
  corpora=("$scratch/$t" "fuzz/corpus/$t")
  if [ "$t" = bmp_fuzz ] && [ -d "$bmpsuite" ]; then
    for d in "$bmpsuite"/*/; do corpora+=("$d"); done
  fi
  before=$(find "$scratch/$t" -type f | wc -l)
  log="$scratch/$t.log"
  result=clean
  # -timeout: one input taking this long is a hang; -rss_limit_mb: a reader that allocates without
  # bound is a failure too.
  if ! nice -n "${FUZZ_NICE:-0}" "$bin/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 \
      -print_final_stats=1 -artifact_prefix="$scratch/crashes/$t-" "${corpora[@]}" >"$log" 2>&1; then
    result="FAILED (see $log)"
    failed+=("$t")
  fi
  after=$(find "$scratch/$t" -type f | wc -l)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  printf '%-24s %10s %10s %8s  %s\n' "$t" "${runs:-?}" "${rate:-?}" "$(( after - before ))" "$result"
  if [ "$merge" = 1 ] && [ "$result" = clean ]; then
    "$bin/$t" -merge=1 "fuzz/corpus/$t" "$scratch/$t" >>"$log" 2>&1
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]}" >&2
  for t in "${failed[@]}"; do grep -E 'broken:|ERROR:|SUMMARY:' "$scratch/$t.log" | head -5 >&2 || true; done
  exit 1
fi
