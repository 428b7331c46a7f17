#!/usr/bin/env bash
# Image transfer over a 100 Mbit/s link: two private network namespaces joined by a veth pair, a tbf
# rate limit on the computer's side, ledcard-sim on the card's side, screenconfig_transfer_bench on
# the computer's. Prints each run and the median rate as a fraction of the link. Needs root.
#   bench_transfer.sh BUILD_DIR [RATE_MBIT] [RUNS]
# Nothing leaves this machine: both addresses live only inside the namespaces made here.
set -euo pipefail
build=${1:?usage: bench_transfer.sh BUILD_DIR [RATE_MBIT] [RUNS]}
rate=${2:-100}
runs=${3:-5}
sim=$build/simulator/ledcard-sim
bench=$build/benchmarks/screenconfig/screenconfig_transfer_bench
for f in "$sim" "$bench"; do [ -x "$f" ] || { echo "missing $f" >&2; exit 1; }; done
[ "$(id -u)" -eq 0 ] || { echo "needs root (network namespaces)" >&2; exit 1; }

tag=scb$$
card_ns=${tag}c
pc_ns=${tag}p
storage=$(mktemp -d)
cleanup() {
  [ -n "${sim_pid:-}" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
  rm -rf "$storage"
  ip netns del "$card_ns" 2>/dev/null || true
  ip netns del "$pc_ns" 2>/dev/null || true
}
trap cleanup EXIT

ip netns add "$card_ns"
ip netns add "$pc_ns"
ip link add "${tag}a" netns "$pc_ns" type veth peer name "${tag}b" netns "$card_ns"
ip -n "$pc_ns" link set lo up
ip -n "$card_ns" link set lo up
ip -n "$pc_ns" addr add 10.231.0.2/24 dev "${tag}a"
ip -n "$card_ns" addr add 10.231.0.1/24 dev "${tag}b"
ip -n "$pc_ns" link set "${tag}a" up
ip -n "$card_ns" link set "${tag}b" up
# The image flows from the computer to the card: limit that direction. The burst is a few frames of
# the link, so the bucket cannot lend the transfer more than a fraction of a per cent.
ip netns exec "$pc_ns" tc qdisc add dev "${tag}a" root tbf rate "${rate}mbit" burst 32kb latency 50ms

ip netns exec "$card_ns" "$sim" --card A901-200-00001@10.231.0.1 --no-discovery-socket \
  --storage "$storage" >/dev/null 2>&1 &
sim_pid=$!
# Wait for the card's command port.
for _ in $(seq 1 100); do
  ip netns exec "$card_ns" ss -ltn 2>/dev/null | grep -q '10.231.0.1:31298' && break
  sleep 0.05
done
echo "link: ${rate} Mbit/s (tbf), image: 2,097,588 bytes in 1,025 data frames"
ip netns exec "$pc_ns" "$bench" A901-200-00001 10.231.0.1 "$rate" "$runs"
