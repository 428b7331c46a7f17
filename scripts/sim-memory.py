#!/usr/bin/env python3
"""Prints ledcard-sim's resident memory while it receives file data, to show that it stays flat.

Starts one ledcard-sim card on a loopback address (inside a private network namespace when run as
root, so no card port of this machine is touched), sends it --megabytes of file data the way Kelvra
does (stream form, 2000-byte pieces): over TCP, and over UDP from a new source port for every file so
that many peers come and go, and prints the simulator's VmRSS after every --every megabytes.

    scripts/sim-memory.py [--sim build/dev/simulator/ledcard-sim] [--megabytes 500] [--every 50]

The soak: --minutes M sends files without pause for M minutes instead, while a second thread floods the
card with discovery and information requests over UDP (to its loopback address, each burst from a new
source port, at most --flood-rate datagrams a second); a line every --every-seconds.

    scripts/sim-memory.py --minutes 30 --every-seconds 60

Not a test: it prints, and the reader judges. Before the journal in memory was bounded, RSS grew by
about the amount of data sent (216 MB after 192 MB); now it levels off after the first tens of MB.
"""
import argparse
import os
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

CARD_ID = "S730-413-05862"
ADDRESS = "127.45.0.2"
PORT = 31298
DISCOVERY_PORT = 31296
PIECE = 2000


def frame(command, data, card_id=CARD_ID):
    """Stream form: header, data, plain-sum check byte, three zero bytes."""
    head = b"\x7e\x7e\x7e" + bytes([command]) + card_id.encode().ljust(16, b"\0") + struct.pack("<II", 0, len(data))
    body = head + data
    return body + bytes([sum(body[3:]) & 0xFF]) + b"\0\0\0"


def header_record(name, length):
    return struct.pack("<III", 4, length, 0) + b"mem".ljust(100, b"\0") + name.encode().ljust(100, b"\0")


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def send_file_tcp(name, size, piece):
    with socket.create_connection((ADDRESS, PORT), timeout=10) as s:
        s.sendall(frame(0x01, header_record(name, size)))
        sent = 0
        while sent < size:
            n = min(PIECE, size - sent)
            s.sendall(frame(0x02, piece[:n]))
            sent += n


def send_file_udp(name, size, piece):
    # A new socket (a new peer) per file: the simulator must not keep one session per peer for good.
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.connect((ADDRESS, PORT))
        s.send(frame(0x01, header_record(name, size)))
        sent = 0
        count = 0
        while sent < size:
            n = min(PIECE, size - sent)
            s.send(frame(0x02, piece[:n]))
            sent += n
            count += 1
            if count % 64 == 0:
                time.sleep(0.001)  # let the card's socket buffer drain


def flood(stop, rate, counter):
    """Discovery and information requests over UDP, each burst of 50 from a new source port."""
    discover = frame(0x90, b"\0" * 4, "Broadcast!")
    info = frame(0x82, b"\0" * 4)
    while not stop.is_set():
        began = time.monotonic()
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            for i in range(50):
                try:
                    s.sendto(discover, (ADDRESS, DISCOVERY_PORT))
                    s.sendto(info, (ADDRESS, PORT))
                except OSError:
                    pass  # a full socket buffer: the next burst goes on
            counter[0] += 100
        time.sleep(max(0.0, 100 / rate - (time.monotonic() - began)))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap.add_argument("--sim", default=os.path.join(root, "build", "dev", "simulator", "ledcard-sim"))
    ap.add_argument("--megabytes", type=int, default=500)
    ap.add_argument("--every", type=int, default=50)
    ap.add_argument("--minutes", type=float, default=0, help="soak: run this long, with the UDP flood")
    ap.add_argument("--every-seconds", type=int, default=60)
    ap.add_argument("--flood-rate", type=int, default=2000)
    ap.add_argument("--in-namespace", action="store_true", help=argparse.SUPPRESS)
    args = ap.parse_args()

    if not args.in_namespace and os.geteuid() == 0:
        # Re-run inside a private network namespace with only loopback up.
        cmd = ["unshare", "-n", "sh", "-c", 'ip link set lo up && exec "$@"', "sim-memory",
               sys.executable, os.path.abspath(__file__), "--in-namespace"] + sys.argv[1:]
        return subprocess.call(cmd)

    if not os.access(args.sim, os.X_OK):
        sys.exit(f"no simulator at {args.sim} (build it, or pass --sim)")
    storage = tempfile.mkdtemp(prefix="sim-memory-")
    sim = subprocess.Popen([args.sim, "--card", f"{CARD_ID}@{ADDRESS}", "--storage", storage,
                            "--no-discovery-socket"], stderr=subprocess.PIPE, text=True)
    try:
        for line in sim.stderr:
            if "ready" in line:
                break
        piece = bytes(range(256)) * (PIECE // 256 + 1)
        if args.minutes > 0:
            return soak(sim, args, piece)
        file_size = 5 * 1000 * 1000
        total = args.megabytes * 1000 * 1000
        sent = 0
        next_report = 0
        start_rss = rss_kib(sim.pid)
        print(f"{'data sent (MB)':>15} {'VmRSS (MB)':>11}")
        print(f"{0:>15} {start_rss / 1024:>11.1f}")
        k = 0
        while sent < total:
            size = min(file_size, total - sent)
            # The same few card names again and again: the card's disk use stays small.
            name = f"f{k % 4}.bin"
            (send_file_tcp if k % 2 == 0 else send_file_udp)(name, size, piece)
            sent += size
            k += 1
            if sent >= next_report + args.every * 1000 * 1000 or sent >= total:
                next_report = sent
                time.sleep(0.2)  # the simulator's I/O thread takes what is still queued
                print(f"{sent / 1e6:>15.0f} {rss_kib(sim.pid) / 1024:>11.1f}", flush=True)
        end_rss = rss_kib(sim.pid)
        print(f"growth after the first report: see the column; start {start_rss / 1024:.1f} MB, "
              f"end {end_rss / 1024:.1f} MB")
    finally:
        sim.terminate()
        sim.wait()
        subprocess.call(["rm", "-rf", storage])


def soak(sim, args, piece):
    """Files without pause and the UDP flood for args.minutes; VmRSS every args.every_seconds."""
    stop = threading.Event()
    flooded = [0]
    flooder = threading.Thread(target=flood, args=(stop, args.flood_rate, flooded), daemon=True)
    flooder.start()
    began = time.monotonic()
    end = began + args.minutes * 60
    next_report = began
    sent = 0
    k = 0
    rss = []
    print(f"{'minutes':>8} {'file data (MB)':>15} {'UDP requests':>13} {'VmRSS (MB)':>11}", flush=True)
    try:
        while True:
            now = time.monotonic()
            if now >= next_report or now >= end:
                rss.append(rss_kib(sim.pid))
                print(f"{(now - began) / 60:>8.1f} {sent / 1e6:>15.0f} {flooded[0]:>13} {rss[-1] / 1024:>11.1f}",
                      flush=True)
                next_report += args.every_seconds
            if now >= end:
                break
            name = f"f{k % 4}.bin"
            (send_file_tcp if k % 2 == 0 else send_file_udp)(name, 1000 * 1000, piece)
            sent += 1000 * 1000
            k += 1
    finally:
        stop.set()
        flooder.join()
    later = rss[len(rss) // 4:] or rss
    print(f"VmRSS after the first quarter: min {min(later) / 1024:.1f} MB, max {max(later) / 1024:.1f} MB; "
          f"start {rss[0] / 1024:.1f} MB, end {rss[-1] / 1024:.1f} MB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
