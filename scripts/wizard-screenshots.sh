#!/usr/bin/env bash
# The wizard screenshots in docs/ (simplified Chinese and English): one simulated card with the virtual
# module of docs/modules/p10-outdoor.txt on a loopback address, the wizard opened on it under Xvfb and
# filled step by step through all seven steps to Finish; the ".hcp" it saved is shown field by field
# (docs/wizard-<lang>-finished-hcp.png). Everything runs in a private network namespace of its own
# (needs root). The window of `ledcard-sim --show`, showing the module's test line at the end, is kept
# as docs/sim-show-test-line.png.
#   PRESET=asan bash scripts/wizard-screenshots.sh      (default preset: dev)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
preset=${PRESET:-dev}
if [ "${1:-}" != "--inside" ]; then
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target wizard_screenshots ledcard-sim ledcard-sim-show
  for lang in Chinese_zavo_s:zh English_zavo:en; do
    unshare -n bash "$0" --inside "${lang%%:*}" "docs/wizard-${lang##*:}" "$preset"
  done
  exit 0
fi

lang=$2; out=$3; preset=$4
ip link set lo up
work=$(mktemp -d /tmp/vantor-wizard-shot-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work ASAN_OPTIONS=detect_leaks=0
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  "build/$1/simulator/ledcard-sim" --storage "$2/cards" --no-discovery-socket --show \
    --card S730-413-05862@127.0.0.2,module=docs/modules/p10-outdoor.txt > "$2/sim.log" 2>&1 & sim=$!
  sleep 2
  "build/$1/tests/wizard/wizard_screenshots" "lang/$3.ini" S730-413-05862 "$4"
  rm -f "$4-finished.hcp"
  sleep 1
  import -window root "$2/full.png"
  convert "$2/full.png" -trim +repage "$5/docs/sim-show-test-line.png"
  kill "$sim"; wait "$sim" 2>/dev/null || true' shot "$preset" "$work" "$lang" "$root/$out" "$root"
echo "Saved $out-step1.png .. $out-step7.png, $out-step6-grid.png and $out-finished-hcp.png"
