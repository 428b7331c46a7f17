#!/usr/bin/env bash
# The main window screenshots in docs/ (simplified Chinese and English), taken the way the demo runs:
# simulated cards on loopback addresses, Vantor searching with the loopback broadcast 127.255.255.255,
# under Xvfb. Everything runs in a private network namespace of its own (needs root), so the cards'
# ports never meet another program's. Vantor is clicked once (OE polarity "负" / "Negative") so the
# status bar shows a finished command. Then the dialogs of the network settings and guarded functions
# (151, 156, 157, 172), the special-screen dialogs (146, 147, 148, 152), a failed upgrade's message, the
# status line after a refused change and an upgrade in progress, in both languages, taken by the
# screenshot tour (a program that drives the real window and dialogs,
# tests/mainwindow/screenshot_tour.cpp) in the same conditions.
#   PRESET=asan bash scripts/screenshots.sh      (default preset: dev)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
preset=${PRESET:-dev}
if [ "${1:-}" = "--tour" ]; then
  ip link set lo up
  ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
    "build/$4/tests/mainwindow/screenshot_tour" "$2" docs "$3"
  exit 0
fi
if [ "${1:-}" != "--inside" ]; then
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target vantor ledcard-sim screenshot_tour
  for lang in Chinese_zavo_s:zh English_zavo:en; do
    unshare -n bash "$0" --inside "${lang%%:*}" "docs/main-window-${lang##*:}.png" "$preset"
  done
  unshare -n bash "$0" --tour Chinese_zavo_s zh "$preset"
  unshare -n bash "$0" --tour English_zavo en "$preset"
  exit 0
fi

lang=$2; out=$3; preset=$4
ip link set lo up
prog=$(mktemp -d /tmp/vantor-shot-XXXXXX)
trap 'rm -rf "$prog"' EXIT
cp "build/$preset/bin/Vantor" build/"$preset"/bin/DudoHelp*.html "$prog/"
printf '[DefaultParam]\r\nDiscovery_Address=127.255.255.255\r\n' > "$prog/default.ini"
printf '[Setting]\r\nZAVO_Language=%s\r\n' "$lang" > "$prog/setting.ini"
mkdir -p "$prog/Language" "$prog/run"
cp lang/English_zavo.ini "$prog/Language/Multi_eng_zavo.ini"
cp lang/Chinese_zavo_s.ini "$prog/Language/Multi_ch_zavo_s.ini"
cp lang/Chinese_zavo_t.ini "$prog/Language/Multi_ch_zavo_t.ini"
export XDG_CONFIG_HOME=$prog/config XDG_RUNTIME_DIR=$prog/run ASAN_OPTIONS=detect_leaks=0
"build/$preset/simulator/ledcard-sim" --storage "$prog/cards" \
  --card S730-413-05862@127.0.0.2,sw=0x00090120,width=256,height=128 \
  --card A901-200-00017@127.0.0.3,sw=0x00080814,hw=0x00030002 \
  --card X100-520-00042@127.0.0.4,sw=0x000A0003 \
  --card P300-001-00100@127.0.0.5,sw=0x000A0003 > "$prog/sim.log" 2>&1 &
sim=$!
sleep 1
# The window (760 x 540) opens centred on the 1280 x 800 screen, at (250, 90); the OE "负" radio sits
# at (491, 245) in the Chinese window and "Negative" at (562, 245) in the English one.
case "$lang" in English_zavo) x=$((250 + 562)) ;; *) x=$((250 + 491)) ;; esac
y=$((90 + 245))
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  "$1/Vantor" > "$1/vantor.log" 2>&1 & app=$!
  sleep 10
  xdotool mousemove "$3" "$4" click 1
  sleep 2
  xdotool mousemove 1270 790
  sleep 1
  import -window root "$1/full.png"
  convert "$1/full.png" -trim +repage "$2"
  kill "$app"; wait "$app" 2>/dev/null || true' shot "$prog" "$root/$out" "$x" "$y"
kill "$sim"; wait "$sim" 2>/dev/null || true
echo "Saved $out"
