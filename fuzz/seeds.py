#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/: the byte vectors the unit
tests use (frames of both check-byte families, the answers cards give, file headers, ".hcp" records,
INI and language files in UTF-8, GBK and Big5) and a few small pictures of the BMP Suite
(tests/data/bmpsuite, or --bmpsuite). Run it again after changing a format.

    fuzz/seeds.py [--bmpsuite DIR]
"""
import argparse
import os
import shutil
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")
PLAIN_ID = "S730-413-05862"
COMPLEMENT_ID = "A901-200-00001"


def frame(command, data=b"", card_id=PLAIN_ID, parameter=0, complement=None, trailer=b""):
    if complement is None:
        complement = card_id[:1].lower() not in ("p", "s", "x")
    head = b"\x7e\x7e\x7e" + bytes([command]) + card_id.encode()[:16].ljust(16, b"\0")
    body = head + struct.pack("<II", parameter, len(data)) + data
    check = sum(body[3:]) & 0xFF
    if complement:
        check = 0xFF - check
    return body + bytes([check]) + trailer


def text(s, size):
    return s.encode()[: size - 1].ljust(size, b"\0")


def card_info(card_id=PLAIN_ID, ip="127.0.0.2"):
    block = bytearray(1088)
    block[0:20] = text(card_id, 20)
    block[60:76] = text(ip, 16)
    block[92:108] = text("255.255.255.0", 16)
    struct.pack_into("<II", block, 132, 128, 64)
    block[164:180] = text("127.0.0.1", 16)
    struct.pack_into("<I", block, 544, 8)
    struct.pack_into("<II", block, 1032, 0x00090120, 0x00020001)
    return bytes(block)


def more_info(card_id=PLAIN_ID):
    block = bytearray(160)
    block[0:20] = text(card_id, 20)
    block[20:40] = text("S730", 20)
    block[40:56] = text("127.0.0.2", 16)
    block[56:76] = text("02:00:00:00:00:02", 20)
    return bytes(block)


def file_header(folder, name, length, file_type=4, blocks=0):
    return struct.pack("<III", file_type, length, blocks) + text(folder, 100) + text(name, 100)


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def answers():
    """(name, bytes) of the frames cards send back."""
    status = lambda code, t, cid=PLAIN_ID: frame(code, t.encode() + b"\0", cid)
    return [
        ("discover", frame(0xD0, b"", PLAIN_ID)),
        ("discover-complement", frame(0xD0, b"", COMPLEMENT_ID)),
        ("card-info", frame(0xC2, card_info())),
        ("card-info-short", frame(0xC2, card_info()[:100])),
        ("card-more-info", frame(0xDA, more_info())),
        ("io-state", frame(0xCE, struct.pack("<IIII", 0, 0, 1, 1))),
        ("upgrade-success", status(0xC1, "Success!")),
        ("upgrade-error", status(0xC1, "Error!")),
        ("file-header-error", status(0x41, "Error!")),
        ("window-error", status(0xD1, "Error!", COMPLEMENT_ID)),
        ("screen-control", frame(0xC4, struct.pack("<102I", *([1, 0] + [0] * 100)))),
        ("stream-form", frame(0xC4, b"Success!\0", trailer=b"\0\0\0")),
        ("bogus-length", frame(0xC2, b"abc")[:24] + b"\xff\xff\xff\xff" + b"abc"),
        ("no-lead-in", b"\0\0\0" + frame(0xD0)[3:]),
    ]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bmpsuite", default=os.path.join(ROOT, "tests", "data", "bmpsuite"))
    args = ap.parse_args()
    shutil.rmtree(CORPUS, ignore_errors=True)

    for name, data in answers():
        write("frame_fuzz", name, data)
        write("kelvra_answer_fuzz", name, b"\0" + data)
        write("kelvra_answer_fuzz", name + "-any-card", b"\2" + data)
    write("frame_fuzz", "file-header", frame(0x01, file_header("pics", "a.bmp", 10)))

    def datagrams(frames, senders=False):
        out = b""
        for i, f in enumerate(frames):
            f = f.ljust((len(f) + 15) // 16 * 16, b"\0")
            n = bytes([0x80 | (len(f) // 16)]) if len(f) > 127 else bytes([len(f)])
            out += (bytes([i % 3]) if senders else b"") + n + f
        return out

    discovery = [frame(0xD0, b"", "S730-413-%05d" % i) for i in range(3)]
    write("kelvra_discovery_fuzz", "three-cards", datagrams(discovery))
    write("kelvra_discovery_fuzz", "with-junk", datagrams([discovery[0], b"\x01" * 12, frame(0xC2, b"")]))
    write("cardlink_answer_fuzz", "discover-then-info",
          datagrams([discovery[0], discovery[1], frame(0xC2, card_info("S730-413-00000"))], senders=True))
    write("cardlink_answer_fuzz", "two-ids-one-address",
          b"\0" + datagrams([discovery[0]]) + b"\0" + datagrams([discovery[1]]))

    # The simulator's stream: a piece-size byte, then what a sender puts on one connection.
    piece = b"\x07"
    get_info = frame(0x82, b"\0" * 4)
    send_file = frame(0x01, file_header("pics", "a.bmp", 6)) + frame(0x02, b"abc") + frame(0x02, b"def")
    stream_file = frame(0x01, file_header("", "b.txt", 3), trailer=b"\0\0\0") + frame(0x02, b"xyz", trailer=b"\0\0\0")
    escape = frame(0x01, file_header("..\\..", "escape.txt", 3)) + frame(0x02, b"bad")
    upgrade = (frame(0x93, struct.pack("<I", 1024)) + frame(0x01, file_header("Application", "version.txt", 7, 2))
               + frame(0x02, b"V9.121\n") + frame(0x94, b""))
    fixed = frame(0x84, struct.pack("<102I", *([1, 0] + [0] * 100))).ljust(2080, b"\0")
    for name, data in [("get-info", get_info), ("send-file", send_file), ("stream-form", stream_file),
                       ("escape", escape), ("upgrade", upgrade), ("fixed-form", fixed),
                       ("junk-between", b"\x01\x02" + get_info + b"\x7e\x7e" + get_info)]:
        write("sim_stream_fuzz", name, piece + data)

    # ".hcp" records: 18 words, word 17 the sum of words 0..16.
    words = [1, 2, 0, 1, 0, 0, 32, 16, 8, 0, 0, 0, 0, 0, 0, 0, 0]
    hcp = struct.pack("<18I", *(words + [sum(words) & 0xFFFFFFFF]))
    write("hcp_fuzz", "good", hcp)
    write("hcp_fuzz", "bad-sum", hcp[:-1] + b"\x99")
    write("hcp_fuzz", "short", hcp[:40])
    write("hcp_fuzz", "longer", hcp + b"tail")

    ini = b"[DefaultParam]\r\nDefault_NetCard_Link = 127.0.0.1\r\nDiscovery_Address=255.255.255.255\r\n"
    write("ini_fuzz", "default", b"DefaultParam\\Discovery_Address\\127.0.0.1\\" + ini)
    write("ini_fuzz", "setting", b"Setting\\ZAVO_Language\\English_zavo\\[Setting]\nZAVO_Language=Chinese_zavo_s\n")
    write("ini_fuzz", "odd", b"a\\b\\c\\[a\n b = 1\n[A]\nB=-2147483648\n=x\n[a]]\nb=4294967296\n")
    # The section header is the last line, without a line break: a key written there gets a line of its own.
    write("ini_fuzz", "header-at-end", b"a\\b\\c\\[x]\nk=1\n[a]")

    simplified = "[Setting]\nZAVO_Language=Chinese_zavo_s\n[String]\nIDS_MESSAGE_LOCALE=zh_CN\nIDD143_Title=消息\n"
    traditional = "[Setting]\nZAVO_Language=Chinese_zavo_t\n[String]\nIDS_MESSAGE_LOCALE=zh_TW\nIDD143_Title=訊息\n"
    write("language_fuzz", "utf8", simplified.encode())
    write("language_fuzz", "utf8-mark", b"\xef\xbb\xbf" + traditional.encode())
    write("language_fuzz", "gbk", simplified.encode("gbk"))
    write("language_fuzz", "big5", traditional.encode("big5"))
    write("language_fuzz", "english", b"[String]\nIDD143_1001=Line one\\nline two\n")

    if os.path.isdir(args.bmpsuite):
        for rel in ["g/pal1.bmp", "g/pal4rle.bmp", "g/pal8rle.bmp", "g/pal8os2.bmp", "g/pal8v5.bmp",
                    "g/rgb16-565.bmp", "q/rgb32-111110.bmp", "q/pal8os2v2-16.bmp", "b/badrle4.bmp",
                    "b/rletopdown.bmp", "b/shortfile.bmp", "b/badbitcount.bmp"]:
            path = os.path.join(args.bmpsuite, rel)
            if os.path.exists(path):
                with open(path, "rb") as f:
                    write("bmp_fuzz", rel.replace("/", "-"), f.read())
    # A 2x2 24-bit picture and its DIB alone.
    rows = (b"\x00\x00\xff\x00\xff\x00" + b"\0\0") * 2
    dib = struct.pack("<IiiHHIIiiII", 40, 2, 2, 1, 24, 0, len(rows), 2835, 2835, 0, 0) + rows
    write("bmp_fuzz", "tiny24", b"BM" + struct.pack("<IHHI", 14 + len(dib), 0, 0, 54) + dib)
    write("bmp_fuzz", "tiny24-dib", dib)


if __name__ == "__main__":
    main()
