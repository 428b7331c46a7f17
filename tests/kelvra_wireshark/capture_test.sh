#!/usr/bin/env bash
# The Wireshark dissector on a capture made here: discovery, card information, a file transfer and
# screen-control commands between the kelvra command line and ledcard-sim cards of both check-byte
# families, captured on loopback inside this test's private network namespace, then decoded with
# tshark. The link has Ethernet's MTU, so long frames cross TCP segments. Every frame must decode with
# named fields only and in its wire form; the damaged frames sent on purpose must be the only errors.
# usage: capture_test.sh KELVRA LEDCARD_SIM DISSECTOR
set -euo pipefail
kelvra=$1 sim=$2 dissector=$3
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }
[ -z "${VANTOR_NO_NETNS:-}" ] || skip "needs a private network namespace"
[ "$(ip -o link show | awk -F': ' '{print $2}')" = lo ] || skip "not in a private network namespace"
command -v tshark >/dev/null || skip "tshark is not installed"
command -v tcpdump >/dev/null || skip "tcpdump is not installed"
ip route replace default dev lo  # broadcasts leave over loopback
# Loopback as an Ethernet link: MTU 1500, and no segment larger than that (loopback would otherwise
# hand tcpdump segments of up to 64 KiB), so the 2080-byte information requests and the 2029-byte file
# pieces cross segments as on a real network and the dissector must reassemble them.
ip link set lo mtu 1500
ip link set lo gso_max_size 1500

work=$(mktemp -d /tmp/kelvra-capture-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  [ -n "${KEEP_CAPTURE:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# Waits (bounded) until FILE contains TEXT.
wait_for_text() {
  for _ in $(seq 1 200); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.05; done
  echo "FAIL: '$2' never appeared in $1"; cat "$1"; exit 1
}

plain=S730-413-08001 complement=A901-200-08002
"$sim" --card "$plain@127.0.8.1" --card "$complement@127.0.8.2,form=stream" --storage "$work/cards" \
  2>"$work/sim.log" &
pids+=($!)
wait_for_text "$work/sim.log" "cards ready"
# Datagrams above the MTU go as IP fragments; those after the first carry no ports.
tcpdump -i lo -U -w "$work/capture.pcap" 'udp port 31296 or port 31298 or (ip[6:2] & 0x1fff != 0)' \
  2>"$work/tcpdump.log" &
pids+=($!)
wait_for_text "$work/tcpdump.log" "listening on"

"$kelvra" discover --json >"$work/discover.json"
grep -q "$plain" "$work/discover.json" && grep -q "$complement" "$work/discover.json"
"$kelvra" info --card "$plain" --address 127.0.8.1 >/dev/null
"$kelvra" info --card "$complement" --address 127.0.8.2 >/dev/null
head -c 4100 /dev/urandom >"$work/clip.bin"
"$kelvra" send-file "$work/clip.bin" --folder 'Program\Area0' --card "$plain" --address 127.0.8.1 --quiet
"$kelvra" brightness 7 --card "$plain" --address 127.0.8.1
"$kelvra" brightness 3 --card "$complement" --address 127.0.8.2 --transport udp
"$kelvra" io get 2 --card "$complement" --address 127.0.8.2 >/dev/null
"$kelvra" clock 2026 12 11 1 2 3 5 --card "$plain" --address 127.0.8.1
# Frames built here byte by byte: the program's own card-information request (exact form, complement
# check byte, UDP 31296) and grid test (a whole 408-byte screen-control block), window operations, a
# flashing window and an effect list's start; last, two damaged frames: a datagram cut off after 20
# bytes and a CMD_RESET_CARD whose check byte is neither form.
python3 - <<'PY'
import socket, struct

def frame(command, card_id, data, check_delta=0, complement=False):
    f = bytearray(b"\x7e\x7e\x7e" + bytes([command]) + card_id.encode().ljust(16, b"\0"))
    f += struct.pack("<II", 0, len(data)) + data
    s = sum(f[3:]) % 256
    f.append(((255 - s) if complement else s + check_delta) % 256)
    return bytes(f)

def words(size, values):
    block = bytearray(size)
    for offset, value in values.items():
        struct.pack_into("<I", block, offset, value)
    return block

udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
plain = ("127.0.8.1", 31298)
udp.sendto(frame(0x82, "A901-200-08002", b"255.0.0.0".ljust(32, b"\0"), complement=True), ("127.0.8.2", 31296))
grid = words(408, {0: 1, 4: 2, 8: 200, 12: 15, 24: 1, 32: 1, 36: 0xFFFFFF})
udp.sendto(frame(0x84, "S730-413-08001", grid), plain)  # the program's grid test, exact form
create = words(448, {0: 2, 4: 4, 8: 3, 12: 9, 16: 0, 20: 0, 24: 64, 28: 32, 292: 1, 296: 1, 304: 0xAA55AA55})
udp.sendto(frame(0x91, "S730-413-08001", create) + b"\0\0\0", plain)
item = words(300, {0: 3, 4: 4, 8: 3, 20: 1, 24: 2, 28: 3, 32: 4, 36: 5, 40: 6, 44: 7})
item[12:15] = b"jpg"
item[192:200] = b"Pic0.jpg"
item[292:295] = b"END"
udp.sendto(frame(0x91, "S730-413-08001", item) + b"\0\0\0", plain)
glint = words(1532, {40: 6, 244: 2, 248: 0x10, 252: 1, 256: 2, 260: 3, 264: 4, 268: 5, 272: 6})
glint[144:152] = b"Pic1.bmp"
udp.sendto(frame(0x92, "S730-413-08001", glint) + b"\0\0\0", plain)
start = words(604, {400: 7})
start[504:514] = b"Config.sys"
udp.sendto(frame(0x91, "S730-413-08001", start) + b"\0\0\0", plain)
udp.sendto(frame(0x8B, "S730-413-08001", b"")[:20], plain)
udp.sendto(frame(0x8B, "S730-413-08001", b"", check_delta=1) + b"\0\0\0", plain)
PY
# tcpdump writes each packet at once (-U): wait until the last damaged frame is in the file.
for _ in $(seq 1 100); do
  tcpdump -r "$work/capture.pcap" 'udp dst port 31298 and udp[4:2] = 40' 2>/dev/null | grep -q . && break
  sleep 0.05
done
kill -INT "${pids[1]}"; wait "${pids[1]}" || true

tshark -X lua_script:"$dissector" -r "$work/capture.pcap" -V >"$work/decoded.txt" 2>"$work/tshark.log"
tshark -X lua_script:"$dissector" -r "$work/capture.pcap" -T pdml >"$work/decoded.pdml" 2>>"$work/tshark.log"
python3 "$here/check_decode.py" "$work/decoded.txt" "$work/decoded.pdml" "$work/tshark.log"
