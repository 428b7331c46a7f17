#!/usr/bin/env bash
# The wizard screenshots in docs/ (simplified Chinese and English): one simulated card with the virtual
# module of docs/modules/p10-outdoor.txt on a loopback address, the wizard opened on it under Xvfb and
# filled step by step. Everything runs in a private network namespace of its own (needs root). The
# module's picture after step 5 (its row pattern) is kept as docs/wizard-module-rows.png.
#   PRESET=asan bash scripts/wizard-screenshots.sh      (default preset: dev)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
preset=${PRESET:-dev}
if [ "${1:-}" != "--inside" ]; then
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target wizard_screenshots ledcard-sim
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
"build/$preset/simulator/ledcard-sim" --storage "$work/cards" --no-discovery-socket \
  --card S730-413-05862@127.0.0.2,module=docs/modules/p10-outdoor.txt > "$work/sim.log" 2>&1 &
sim=$!
sleep 1
xvfb-run -a -s "-screen 0 1280x800x24" \
  "build/$preset/tests/wizard/wizard_screenshots" "lang/$lang.ini" S730-413-05862 "$root/$out"
cp "$work/cards/S730-413-05862/module.png" "$root/docs/wizard-module-rows.png"
kill "$sim"; wait "$sim" 2>/dev/null || true
echo "Saved $out-step1.png .. $out-step5.png"
