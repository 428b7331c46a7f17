#!/usr/bin/env bash
# The commissioning report's pictures in docs/ (report-en.png, report-zh.png): a simulated card on a
# loopback address takes the screen parameters of the demo's virtual module (docs/modules/p10-outdoor.txt,
# as the wizard finds them), `vantor-cli report` writes its report in English and in simplified Chinese,
# and pdftoppm renders each PDF's page. Runs in a private network namespace of its own (needs root).
#   PRESET=asan bash scripts/report-pictures.sh      (default preset: dev)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${PRESET:-dev}
if [ "${1:-}" != "--inside" ]; then
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target vantor-cli ledcard-sim
  exec unshare -n bash "$0" --inside "$preset"
fi

preset=$2
ip link set lo up
work=$(mktemp -d /tmp/vantor-report-pictures-XXXXXX)
trap 'kill "$sim" 2>/dev/null; rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=0
card=S730-413-05862
"build/$preset/simulator/ledcard-sim" --storage "$work/cards" --no-discovery-socket \
  --card "$card@127.0.0.2,sw=0x00090120,width=256,height=128" > "$work/sim.log" 2>&1 & sim=$!
sleep 1
# The module's record: HUB code 2, 138 decoder, data lights on 0, OE on high, GRB, line group 2, 1/8
# scan, row interval 1, row-decode order "da9876543cb210" (class 2), column code 1, row code 0.
python3 - "$work/module.hcp" <<'PY'
import struct, sys
w = [0] * 18
w[0] = struct.unpack("<I", b"LED\0")[0]
w[2:11] = [2, 0, 0, 1, 2, 2, 1, 1, 2]
order = "da9876543cb210"
w[11], w[12], w[13] = int(order[6:], 16), int(order[:6], 16), 1
w[15] = struct.unpack("<I", b"END\0")[0]
w[17] = sum(w[:17]) & 0xFFFFFFFF
open(sys.argv[1], "wb").write(struct.pack("<18I", *w))
PY
cli="build/$preset/bin/vantor-cli"
"$cli" send-hcp --card "$card" --address 127.0.0.2 "$work/module.hcp"
for pair in English_zavo:en Chinese_zavo_s:zh; do
  "$cli" report --card "$card" --address 127.0.0.2 --profile "P10 outdoor 32x16 1-8" \
    --site "Riverside Stadium, east screen" --technician "Li Wei" --language "${pair%%:*}" \
    --pdf "$work/${pair##*:}.pdf"
  pdftoppm -png -r 70 -singlefile -f 1 -l 1 "$work/${pair##*:}.pdf" "docs/report-${pair##*:}"
done
echo "Saved docs/report-en.png and docs/report-zh.png"
