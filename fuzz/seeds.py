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


# Pictures made with cjpeg (4 x 2, quality 90, baseline and progressive) and ImageMagick (GIF).
JPEG_4X2 = (
    "ffd8ffe000104a46494600010100000100010000ffdb0043000302020302020303030304030304050805050404050a07"
    "0706080c0a0c0c0b0a0b0b0d0e12100d0e110e0b0b1016101113141515150c0f171816141812141514ffdb0043010304"
    "0405040509050509140d0b0d141414141414141414141414141414141414141414141414141414141414141414141414"
    "1414141414141414141414141414ffc00011080002000403012200021101031101ffc4001f0000010501010101010100"
    "000000000000000102030405060708090a0bffc400b5100002010303020403050504040000017d010203000411051221"
    "31410613516107227114328191a1082342b1c11552d1f02433627282090a161718191a25262728292a3435363738393a"
    "434445464748494a535455565758595a636465666768696a737475767778797a838485868788898a9293949596979899"
    "9aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae1e2e3e4e5e6e7e8e9eaf1"
    "f2f3f4f5f6f7f8f9faffc4001f0100030101010101010101010000000000000102030405060708090a0bffc400b51100"
    "020102040403040705040400010277000102031104052131061241510761711322328108144291a1b1c109233352f015"
    "6272d10a162434e125f11718191a262728292a35363738393a434445464748494a535455565758595a63646566676869"
    "6a737475767778797a82838485868788898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4"
    "c5c6c7c8c9cad2d3d4d5d6d7d8d9dae2e3e4e5e6e7e8e9eaf2f3f4f5f6f7f8f9faffda000c03010002110311003f00fa"
    "a7fe09d9ff0024afc59ff61e83ff004cba651451443fdd70bff5e687fe99803f8a5eaff367ffd9")
JPEG_4X2_PROGRESSIVE = (
    "ffd8ffe000104a46494600010100000100010000ffdb0043000302020302020303030304030304050805050404050a07"
    "0706080c0a0c0c0b0a0b0b0d0e12100d0e110e0b0b1016101113141515150c0f171816141812141514ffdb0043010304"
    "0405040509050509140d0b0d141414141414141414141414141414141414141414141414141414141414141414141414"
    "1414141414141414141414141414ffc20011080002000403012200021101031101ffc400150001010000000000000000"
    "0000000000000007ffc40014010100000000000000000000000000000000ffda000c03010002100310000001aa03ffc4"
    "001510010100000000000000000000000000000735ffda00080101000105023b95ffc400161100030000000000000000"
    "000000000000000141ffda0008010301013f01acffc4001a1100010501000000000000000000000000010002033372b2"
    "ffda0008010201013f011545867017ffc4001910000105000000000000000000000000000001030473b3ffda00080101"
    "00063f02977a62d9ffc40014100100000000000000000000000000000000ffda0008010100013f214fffda000c030100"
    "02000300000010f3ffc4001711010003000000000000000000000000000100a1b1ffda0008010301013f106c759fffc4"
    "0014110100000000000000000000000000000000ffda0008010201013f1045ffc4001410010000000000000000000000"
    "0000000000ffda0008010100013f1045ffd9")
GIF_4X2 = (
    "47494638396104000200f10300ff000000ff000000ffffffff21f90400000000002c0000000004000200000204443486"
    "05003b")
GIF_4X9_INTERLACED = (
    "47494638396104000900f500000000001c3c0000003c1c3c3c38780038783c0000781c3c783878788c2c008c2c3ca868"
    "00a8683c8c2c78a8687854b40054b43c70f00070f03c54b47870f078c4a400c4a43ce0e000e0e03cc4a478e0e0780000"
    "b41c3cb43878b48c2cb4a868b454b4b470f0b4c4a4b4e0e0b40000000000000000000000000000000000000000000000"
    "000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000021f90400000000002c00000000040009004006224080c0b0b96034a38884122214109d"
    "05c3f1090c0e9c0764024a281a9e8a25230a02003b")


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

    # Module profiles (docs/module-profiles.md): the demo module's profile, damaged forms of it, and a
    # library archive (ustar) holding it.
    with open(os.path.join(ROOT, "docs", "profiles", "p10-outdoor.vmp"), "rb") as f:
        vmp = f.read()
    write("profile_fuzz", "good", vmp)
    write("profile_fuzz", "bad-sum", vmp.replace(b"02000000 02000000", b"02000000 03000000", 1))
    write("profile_fuzz", "cut", vmp[:len(vmp) // 2])
    write("profile_fuzz", "later-format", vmp.replace(b"format = 1", b"format = 2", 1))

    def tar_member(name, data):
        header = bytearray(512)
        header[0:len(name)] = name
        header[100:108] = b"0000644\0"
        header[108:116] = b"0000000\0"
        header[116:124] = b"0000000\0"
        header[124:136] = b"%011o\0" % len(data)
        header[136:148] = b"00000000000\0"
        header[156:157] = b"0"
        header[257:265] = b"ustar\x0000"
        header[148:156] = b" " * 8
        header[148:156] = b"%06o\0 " % sum(header)
        return bytes(header) + data + b"\0" * ((512 - len(data) % 512) % 512)
    write("profile_fuzz", "archive", tar_member(b"32x16 1%2F8.vmp", vmp) + b"\0" * 1024)

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

    # The simulator's picture reader: small pictures of each kind, and small files that declare
    # pictures far over the card cap (the size is refused before anything is allocated).
    jpeg = bytes.fromhex(JPEG_4X2)
    write("sim_picture_fuzz", "jpeg-baseline", jpeg)
    write("sim_picture_fuzz", "jpeg-progressive", bytes.fromhex(JPEG_4X2_PROGRESSIVE))
    sof = jpeg.index(b"\xff\xc0")
    write("sim_picture_fuzz", "jpeg-32768", jpeg[:sof + 5] + struct.pack(">HH", 32768, 32768) + jpeg[sof + 9:])
    gif = bytes.fromhex(GIF_4X2)
    write("sim_picture_fuzz", "gif", gif)
    write("sim_picture_fuzz", "gif-interlaced", bytes.fromhex(GIF_4X9_INTERLACED))
    write("sim_picture_fuzz", "gif-65535", gif[:6] + struct.pack("<HH", 65535, 65535) + gif[10:])
    image_at = gif.index(b"\x2c")
    write("sim_picture_fuzz", "gif-image-65535",
          gif[:image_at + 5] + struct.pack("<HH", 65535, 65535) + gif[image_at + 9:])
    write("sim_picture_fuzz", "bmp", b"BM" + struct.pack("<IHHI", 14 + len(dib), 0, 0, 54) + dib)
    rle = struct.pack("<IiiHHIIiiII", 40, 32768, 8192, 1, 8, 1, 2, 2835, 2835, 0, 0) + b"\0" * 1024 + b"\x00\x01"
    write("sim_picture_fuzz", "bmp-rle8-bomb", b"BM" + struct.pack("<IHHI", 14 + len(rle), 0, 0, 54 + 1024) + rle)


if __name__ == "__main__":
    main()
