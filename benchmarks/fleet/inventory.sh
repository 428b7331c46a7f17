#!/usr/bin/env bash
# The inventory of a large fleet: ledcard-sim serves CARDS cards (default 256) on loopback in a private
# network namespace, and `vantor-cli fleet inventory` searches for them and reads every card's
# information, PARALLEL at a time. Prints the cards listed, those with versions, and the time taken
# (the search waits its whole --timeout; the reading is what is left). Needs root (unshare -n).
#   benchmarks/fleet/inventory.sh [BUILD_DIR] [CARDS] [PARALLEL]
set -euo pipefail
build=$(realpath "${1:-build/release}")
cards=${2:-256}
parallel=${3:-16}
search_ms=1500
cli=$build/bin/vantor-cli
sim=$build/simulator/ledcard-sim
[ -x "$cli" ] && [ -x "$sim" ] || { echo "inventory.sh: build vantor-cli and ledcard-sim in $build first" >&2; exit 3; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
exec unshare -n bash -s "$cli" "$sim" "$cards" "$parallel" "$search_ms" "$out" <<'INNER'
set -euo pipefail
cli=$1 sim=$2 cards=$3 parallel=$4 search_ms=$5 out=$6
ip link set lo up
ip route replace default dev lo
"$sim" --cards "$cards" --first-address 127.8.0.1 >"$out/sim.log" 2>&1 &
simpid=$!
trap 'kill $simpid 2>/dev/null; wait $simpid 2>/dev/null || true' EXIT
for _ in $(seq 200); do grep -q "cards ready" "$out/sim.log" 2>/dev/null && break; sleep 0.05; done
start=$(date +%s.%N)
"$cli" fleet inventory --address 127.255.255.255 --timeout "$search_ms" --parallel "$parallel" --json >"$out/inv.json"
end=$(date +%s.%N)
python3 - "$out/inv.json" "$cards" "$parallel" "$start" "$end" "$search_ms" <<'PY'
import json, sys
inv = json.load(open(sys.argv[1]))
cards, parallel = int(sys.argv[2]), int(sys.argv[3])
total = float(sys.argv[5]) - float(sys.argv[4])
search = int(sys.argv[6]) / 1000
listed = len(inv["cards"])
versions = sum(1 for c in inv["cards"] if c.get("software_version"))
print(f"fleet inventory: {listed} of {cards} cards listed, {versions} with versions; "
      f"{total:.2f} s in all ({search:.2f} s search, {total - search:.2f} s reading {parallel} at a time)")
sys.exit(0 if listed == cards and versions == cards else 1)
PY
INNER
