"""Checks tshark's decoding of the capture made by capture_test.sh.

usage: check_decode.py DECODED.txt DECODED.pdml TSHARK.log
"""

import sys
import xml.etree.ElementTree as ET

text_file, pdml_file, log_file = sys.argv[1:4]
text = open(text_file).read()
log = open(log_file).read()
failures = []

if "Lua Error" in text or "Lua Error" in log or "[Malformed Packet" in text:
    failures.append("the dissector failed or a packet is malformed")

# What the capture holds, as the dissector names it.
for needle in [
    "Command: CMD_DISCOVER (0x90)",
    "Command: ANS_DISCOVER (0xd0)",
    "Command: CMD_GET_CARD_INFO (0x82)",
    "Command: ANS_CARD_INFO (0xc2)",
    "Command: CMD_GET_CARD_MORE_INFO (0x9a)",
    "Command: ANS_CARD_MORE_INFO (0xda)",
    "Command: CMD_FILE_HEADER (0x01)",
    "Card folder: Program\\Area0",
    "File name: clip.bin",
    "File length: 4100",
    "Command: CMD_FILE_DATA (0x02)",
    "Command: CMD_SCREEN_CONTROL (0x84)",
    "Sub-command: brightness (2)",
    "Brightness: 7",
    "Command: ANS_GET_IO (0xce)",
    "Command: CMD_SET_CLOCK (0x83)",
    "Software version: 0x",
    "Version: V",
    "Subnet mask: 255.255.255.0",
    "Wire form: stream (n + 32)",
    "Wire form: fixed (2080-byte block)",
    "Wire form: exact (n + 29)",
    "Check byte form: plain sum (correct)",
    "Check byte form: complement (correct)",
    "Id family: complement",
    "Id family: plain sum",
    "Request text: 255.0.0.0",
    "Operation: grid test (2)",
    "Speed: 200",
    "Line spacing: 15",
    "Diagonal lines: Flag: on (1)",
    "Colour (0x00BBGGRR): 0x00ffffff",
    "Window operation: create window (2)",
    "Window: 3",
    "Marker: 0xaa55aa55",
    "Window operation: add item (3)",
    "Item type: jpg",
    "Card file name: Pic0.jpg",
    "Display mode Number: 7",
    "End marker: END",
    "Command: CMD_GLINT_WINDOW (0x92)",
    "Card file name: Pic1.bmp",
    "Regions: 2",
    "Effect list start: yes",
    "Card file name: Config.sys",
]:
    if needle not in text:
        failures.append("not decoded: " + needle)

errors = [line.strip() for line in text.splitlines() if "[Expert Info (Error" in line]
expected_errors = ["Datagram shorter than its frame (truncated)", "Check byte matches neither form"]
if len(errors) != 2 or not all(any(e in line for line in errors) for e in expected_errors):
    failures.append("expected exactly the damaged frames' errors %r, got: %r" % (expected_errors, errors))


def card_frames(decoded):
    """(transport, command, data length, wire form) of every card frame, in capture order."""
    frames = []
    transport = None
    current = None
    for line in decoded.splitlines():
        if line.startswith("Frame "):
            transport = None
        elif line.startswith("Transmission Control Protocol"):
            transport = "tcp"
        elif line.startswith("User Datagram Protocol"):
            transport = "udp"
        elif line.startswith("LED control card protocol"):
            current = {"transport": transport}
            frames.append(current)
        elif current is not None and line.startswith("    ") and ": " in line:
            key, _, value = line.strip().partition(": ")
            if key in ("Command", "Data length", "Wire form") and key not in current:
                current[key] = value
    return [f for f in frames if "Command" in f]


# On a link of MTU 1500 the long frames cross segments: each must still be told by its whole form.
frames = card_frames(text)
if "Reassembled TCP Segments" not in text:
    failures.append("no frame crossed TCP segments: the capture does not test reassembly")
for frame in frames:
    form = frame.get("Wire form", "")
    if form.startswith("padded with"):
        failures.append("a frame labelled by where its segment ended: %r" % frame)
    if frame["transport"] == "tcp" and frame["Command"].startswith(("CMD_GET_CARD_INFO", "CMD_GET_CARD_MORE_INFO")):
        if form != "fixed (2080-byte block)":
            failures.append("Kelvra's information request over TCP not in the fixed form: %r" % frame)
    if frame["Command"].startswith("CMD_FILE_DATA") and frame["transport"] == "tcp":
        if form != "stream (n + 32)":
            failures.append("a file piece not in the stream form: %r" % frame)
tcp_pieces = [f for f in frames if f["transport"] == "tcp" and f["Command"].startswith("CMD_FILE_DATA")]
if [f.get("Data length") for f in tcp_pieces] != ["2000", "2000", "100"]:
    failures.append("the file's pieces over TCP are not 2000, 2000 and 100 bytes: %r" % tcp_pieces)

# Every field of the protocol has a name of its own.
root = ET.parse(pdml_file).getroot()
frames = 0
for packet in root.iter("packet"):
    for proto in packet.iter("proto"):
        if proto.get("name") != "kelvra":
            continue
        frames += 1
        for field in proto.iter("field"):
            name = field.get("name", "")
            if not (name.startswith("kelvra.") or name.startswith("_ws.expert")):
                failures.append("unnamed field in packet %s: %r" % (packet[0].find("field[@name='num']"), field.attrib))
                break
if frames < 20:
    failures.append("only %d card frames decoded" % frames)

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("decoded %d card frames, every field named" % frames)
