#!/usr/bin/env bash
# The demo: simulated control cards on loopback addresses and Vantor searching for them with the
# loopback broadcast 127.255.255.255, so nothing leaves this machine. Closing Vantor stops the cards.
# Without a display, Vantor runs under Xvfb for a few seconds and a screenshot is saved.
# The first run builds the program first (preset dev: several minutes on two cores); later runs
# rebuild only what changed. DEMO_LANGUAGE=English_zavo (or Chinese_zavo_s, Chinese_zavo_t) sets the
# window's language; without it the demo keeps the language of its last run (simplified Chinese at first).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset dev >/dev/null
cmake --build --preset dev --target vantor vantor-cli ledcard-sim ledcard-sim-show

# The demo program folder: its own copy of the program, with the loopback discovery address in
# "default.ini", so the normal build keeps the default search.
demo=build/demo
mkdir -p "$demo"
cp build/dev/bin/Vantor build/dev/bin/DudoHelp*.html "$demo/"
printf '[DefaultParam]\r\nDiscovery_Address=127.255.255.255\r\n' > "$demo/default.ini"
if [ -n "${DEMO_LANGUAGE:-}" ]; then
  printf '[Setting]\r\nZAVO_Language=%s\r\n' "$DEMO_LANGUAGE" > "$demo/setting.ini"
fi

# Both check-byte families, several firmware versions (one too old for smart setup, one that raises
# the low-version warning) and two cards that share one address. The first card drives the virtual LED
# module of docs/modules/p10-outdoor.txt: walk the smart-setup wizard on it and watch the module answer
# in the window of `ledcard-sim --show` (with a display), or in build/demo/cards/S730-413-05862/module.png
# (rewritten on every change). Its rows are routed as the 4th entry of its standard row-decode list and
# its columns swap in pairs, so steps 6 and 7 have something to find (docs/virtual-module.md).
show=()
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then show=(--show); fi
build/dev/simulator/ledcard-sim \
  --storage "$demo/cards" \
  --allow-duplicates "${show[@]}" \
  --card S730-413-05862@127.0.0.2,sw=0x00090120,width=256,height=128,answer-apply=1,module=docs/modules/p10-outdoor.txt \
  --card A901-200-00017@127.0.0.3,sw=0x00080814,hw=0x00030002 \
  --card X100-520-00042@127.0.0.4,sw=0x00080801 \
  --card P300-001-00100@127.0.0.5,sw=0x00070801 \
  --card B512-300-00007@127.0.0.5,sw=0x000A0003 &
sim=$!
# Without a session's runtime folder, Vantor would keep its single-instance lock in a shared temporary
# folder (/tmp/vantor-<uid>); the demo gives it a private folder of its own and removes it at the end.
runtime=""
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  runtime=$(mktemp -d /tmp/vantor-demo-XXXXXX)
  export XDG_RUNTIME_DIR=$runtime
fi
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; [ -z "$runtime" ] || rm -rf "$runtime"' EXIT
sleep 0.5
kill -0 "$sim" 2>/dev/null || { echo "ledcard-sim did not start" >&2; exit 1; }

# The same cards from the command line (docs/special-screens.md): vantor-cli finds them with the
# loopback broadcast, and a long strip's image and wiring preview are built for the first card's screen.
build/dev/bin/vantor-cli discover --address 127.255.255.255 --timeout 1000 || true
build/dev/bin/vantor-cli layout strip --width 256 --height 128 --module-width 32 --module-height 16 --ports 2 \
  -o "$demo/strip.sys" --preview "$demo/strip-wiring.png" || true
# The first card's commissioning report (PDF and HTML), read from the card: opened in the desktop's
# viewer when there is a display, its text printed here otherwise. Vantor writes the same with
# "生成调试报告", with the sends of its session.
language=()
if [ -n "${DEMO_LANGUAGE:-}" ]; then language=(--language "$DEMO_LANGUAGE"); fi
if build/dev/bin/vantor-cli report --card S730-413-05862 --address 127.0.0.2 --site "Demo hall" \
  --technician "${USER:-demo}" --pdf "$demo/report.pdf" --html "$demo/report.html" "${language[@]}"; then
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    xdg-open "$demo/report.pdf" >/dev/null 2>&1 &
  else
    pdftotext -layout "$demo/report.pdf" - || true
  fi
fi

# The module library (docs/module-profiles.md) in the demo's own data folder, which Vantor's "模组库"
# ("Module Library") shows too: the demo module's profile, as the wizard's Finish saves it, is imported
# and applied to every card the search finds, each card with its own result (the cards that share an
# address, or run old firmware, say so).
export XDG_DATA_HOME="$PWD/$demo/data"
build/dev/bin/vantor-cli profile import --replace docs/profiles/p10-outdoor.vmp || true
build/dev/bin/vantor-cli profile list || true
build/dev/bin/vantor-cli profile apply "32x16 1/8" --all --address 127.255.255.255 --timeout 1000 || true

# Fleet work (docs/fleet.md): the inventory of every card found, each card's information read over its
# own connection, a few cards at a time.
build/dev/bin/vantor-cli fleet inventory --address 127.255.255.255 --timeout 1000 || true

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$demo/Vantor"
else
  echo "No display: running Vantor under Xvfb and saving a screenshot to build/demo-screenshot.png"
  xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    "$1/Vantor" & app=$!
    sleep 8
    import -window root build/demo-screenshot.png
    kill "$app"; wait "$app" 2>/dev/null || true' demo "$demo"
  echo "Saved build/demo-screenshot.png"
fi
