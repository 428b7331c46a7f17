#!/usr/bin/env bash
# The wizard screenshots in docs/ that depend on the module's size: step 7 (and step 6's grid) on a
# 1/16 and a 1/32-scan module of 32 x 32 LEDs in English, and step 5's question with its picture in the
# three languages. A simulated card on a loopback address takes the answers; the wizard runs on the
# offscreen platform with a 1366 x 768 screen. Everything runs in a private network namespace of its
# own (needs root).
#   PRESET=asan bash scripts/wizard-module-shots.sh      (default preset: dev)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${PRESET:-dev}
if [ "${1:-}" != "--inside" ]; then
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target wizard_screenshots ledcard-sim
  exec unshare -n bash "$0" --inside "$preset"
fi

preset=$2
ip link set lo up
work=$(mktemp -d /tmp/vantor-wizard-module-shot-XXXXXX)
trap 'kill "$sim" 2>/dev/null; rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=0 XDG_RUNTIME_DIR=$work
echo '{"screens": [{"name": "shot", "x": 0, "y": 0, "width": 1366, "height": 768, "dpr": 1}]}' > "$work/screen.json"
export QT_QPA_PLATFORM="offscreen:configfile=$work/screen.json"
"build/$preset/simulator/ledcard-sim" --storage "$work/cards" --no-discovery-socket \
  --card X100-000-00016@127.0.0.2 > "$work/sim.log" 2>&1 & sim=$!
sleep 1
shots="build/$preset/tests/wizard/wizard_screenshots"
# LANGUAGE PREFIX WIDTH HEIGHT CABLES_INDEX RGB_INDEX ROWS_LIT_INDEX
shot() { "$shots" --module "lang/$1.ini" X100-000-00016 "$work/$2" "${@:3}" 2>/dev/null; }
shot English_zavo en16 32 32 0 1 5
shot English_zavo en32 32 32 0 0 5
shot Chinese_zavo_s zh16 32 32 0 1 5
shot Chinese_zavo_t zht16 32 32 0 1 5
cp "$work/en16-step7.png" docs/wizard-en-step7-scan16.png
cp "$work/en32-step7.png" docs/wizard-en-step7-scan32.png
cp "$work/en32-step6-grid.png" docs/wizard-en-step6-grid-scan32.png
cp "$work/en16-step5.png" docs/wizard-en-step5-band.png
cp "$work/zh16-step5.png" docs/wizard-zh-step5-band.png
cp "$work/zht16-step5.png" docs/wizard-zht-step5-band.png
echo "Saved docs/wizard-en-step7-scan16.png, -scan32.png, docs/wizard-en-step6-grid-scan32.png and the step 5 pictures"
