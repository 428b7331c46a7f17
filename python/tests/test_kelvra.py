"""The Python package against libkelvra and ledcard-sim cards."""

import os
import re
import struct

import pytest

import kelvra
from conftest import wait_until

BMP = os.path.join(os.path.dirname(__file__), "..", "..", "tests", "data", "bmpsuite", "g", "rgb24.bmp")


@pytest.mark.parametrize(
    "code, cls, name",
    [
        (60, kelvra.CardUnreachable, "CARD_UNREACHABLE"),
        (31, kelvra.BadTransport, "BAD_TRANSPORT"),
        (18, kelvra.NoAnswer, "NO_ANSWER"),
        (19, kelvra.FileUnreadable, "FILE_UNREADABLE"),
        (20, kelvra.NameTooLong, "NAME_TOO_LONG"),
        (34, kelvra.OutOfMemory, "OUT_OF_MEMORY"),
        (51, kelvra.TcpSendFailed, "TCP_SEND_FAILED"),
        (99, kelvra.KelvraError, "FAILED"),
    ],
)
def test_results_become_named_exceptions(code, cls, name):
    with pytest.raises(cls) as caught:
        kelvra.check("SendFileToCard", code)
    assert caught.value.code == code
    assert caught.value.name == name
    assert caught.value.export == "SendFileToCard"
    assert isinstance(caught.value, kelvra.KelvraError)
    assert kelvra.check("ResetCard", 0) == 0


def test_a_bad_transport_is_refused_by_the_library():
    with pytest.raises(kelvra.BadTransport):
        kelvra.check("ResetCard", kelvra.lib.ResetCard(b"S1", b"127.0.0.1", 0))


def test_answer_decoders():
    assert kelvra.reply_ok("Success!")
    assert not kelvra.reply_ok("Error!")
    assert kelvra.status_message_code(0x42, "Error!") == 42
    assert kelvra.status_message_code(0x42, "Success!") == 0
    assert kelvra.status_message_code(0x42, "Success!", mode=1) == -1
    with pytest.raises(ValueError, match="baud rate"):
        kelvra.set_serial(port=1, baud=99)


def test_memory_blocks_are_released_when_the_block_is_left(tmp_path):
    with kelvra.load_bmp_to_dib(BMP) as dib:
        width, height, planes, bits = struct.unpack_from("<iiHH", dib.bytes(), 4)
        assert (width, height, bits) == (127, 64, 24)
        with kelvra.dib_to_image(dib, "jpg") as jpeg:
            assert jpeg.bytes()[:2] == b"\xff\xd8"
            jpeg.save(str(tmp_path / "a.jpg"))
    assert dib.closed and jpeg.closed
    with pytest.raises(ValueError, match="released"):
        dib.bytes()
    assert (tmp_path / "a.jpg").read_bytes()[:2] == b"\xff\xd8"
    with open(BMP, "rb") as f:
        with kelvra.bmp_to_image(f.read(), "gif") as gif:
            assert gif.bytes()[:6] == b"GIF89a" or gif.bytes()[:6] == b"GIF87a"
    with pytest.raises(kelvra.OperationFailed):
        kelvra.bmp_to_image(b"BM not a picture", "jpg")


@pytest.mark.parametrize(
    "word, text",
    [(0x00090120, "V9.120"), (0x00080814, "V8.814"), (0x000A0003, "VA.3"), (0, "V0.0"), (0xFFFFFFFF, "VFFFF.FFFF")],
)
def test_versions_read_as_the_card_writes_them(word, text):
    info = bytearray(1088)
    struct.pack_into("<II", info, 1032, word, 0x00020001)
    parsed = kelvra.CardInfo.from_blocks(bytes(info))
    assert (parsed.software_version, parsed.software_version_word) == (text, word)
    assert parsed.hardware_version == "V2.1"


def test_file_utilities(tmp_path):
    src = tmp_path / "a" / "b"
    kelvra.create_folder(str(src))
    (src / "f.txt").write_bytes(b"data")
    assert kelvra.read_file(str(src / "f.txt")) == b"data"
    kelvra.copy_tree(str(tmp_path / "a"), str(tmp_path / "c"))
    assert (tmp_path / "c" / "b" / "f.txt").read_bytes() == b"data"
    kelvra.delete_tree(str(tmp_path / "a"))
    assert not (tmp_path / "a").exists()
    with pytest.raises(kelvra.FileUnreadable):
        kelvra.read_file(str(tmp_path / "missing"))
    with pytest.raises(kelvra.OperationFailed):
        kelvra.delete_tree(str(tmp_path / "missing"))


def test_discover_lists_the_simulated_cards(sim):
    found = kelvra.discover()
    assert sorted((c.id, c.address) for c in found) == sorted(sim.cards)


def test_card_info_and_the_id_read_from_the_card(sim):
    card_id, address = sim.cards[1]
    info = kelvra.card_info(address)
    assert info.id == card_id
    assert info.ip_address == address
    # The versions as the card reports them (the simulator's default words 0x00090120 and 0x00020001).
    assert (info.software_version, info.software_version_word) == ("V9.120", 0x00090120)
    assert (info.hardware_version, info.hardware_version_word) == ("V2.1", 0x00020001)
    assert info.mac_address.count(":") == 5
    assert kelvra.Card(address=address).id == card_id
    with pytest.raises(kelvra.NoAnswer):
        kelvra.card_info("127.0.6.99")


@pytest.mark.parametrize("transport", [kelvra.Transport.TCP, kelvra.Transport.UDP])
def test_commands_reach_the_card(sim, transport):
    card_id, address = sim.cards[0]
    card = kelvra.Card(card_id, address, transport)
    card.set_brightness(3)
    entry = sim.wait_for_frame(card_id, 0x84)
    assert entry and bytes.fromhex(entry["data"]) == struct.pack("<3I", 2, 3, 3)
    card.set_io(5, True)
    assert sim.wait_for_frame(card_id, 0x8D)
    state = card.get_io(5)
    assert state.on and state.output_lines == 1 << 5
    card.set_clock(2026, 12, 11, 0, 30, 0, 5)
    entry = sim.wait_for_frame(card_id, 0x83)
    assert entry and struct.unpack("<7I", bytes.fromhex(entry["data"])) == (2026, 12, 11, 0, 30, 0, 5)
    card.reset()
    assert sim.wait_for_frame(card_id, 0x8B)


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda c: c.set_brightness(2**40), ValueError),
        (lambda c: c.set_brightness(-(2**31) - 1), ValueError),
        (lambda c: c.set_brightness("3"), TypeError),
        (lambda c: c.set_brightness(3.0), TypeError),
        (lambda c: c.get_io(2**40), ValueError),
        (lambda c: c.set_io(True, True), TypeError),
        (lambda c: c.set_clock(2026, 12, 11, 0, 30, 0, 2**32), ValueError),
        (lambda c: c.test_module(1, 2, 3, (256, 0, 0)), ValueError),
        (lambda c: c.upgrade(["a"], "b"), TypeError),
        (lambda c: c.upgrade("/tmp/fw", 7), TypeError),
        (lambda c: c.send_file("/tmp/a.bin", parameter=-1), ValueError),
        (lambda c: c.send_file(["/tmp/a.bin"]), TypeError),
        (lambda c: c.show_picture("/tmp/a.jpg", parameter=2**32), ValueError),
        (lambda c: c.create_window(1, (0, 0, 64)), ValueError),
        (lambda c: c.destroy_window(None), TypeError),
    ],
)
def test_arguments_are_checked_before_the_library_is_called(monkeypatch, call, error):
    called = []
    for name in ("SetLedScreenLight", "GetIOState", "SetIOState", "AdjustClock", "TestLedModule",
                 "UpgradeProgram", "SendFileToCard", "ShowPicture", "CreateWnd", "DestroyWnd"):
        monkeypatch.setattr(kelvra.cards.lib, name, lambda *args, _n=name: called.append(_n) or 0)
    with pytest.raises(error):
        call(kelvra.Card("S730-413-05862", "127.0.6.99"))
    assert called == []
    with pytest.raises(TypeError):
        kelvra.Card(["S730-413-05862"], "127.0.6.99")


def test_picture_arguments_are_checked(monkeypatch):
    monkeypatch.setattr(kelvra.imaging.lib, "GetScreenPic", lambda *args: pytest.fail("called"))
    with pytest.raises(ValueError):
        kelvra.screen_picture(0, 0, 2**40, 10)
    with pytest.raises(TypeError):
        kelvra.screen_picture(0, 0, 10, 10, fmt=["jpg"])
    with pytest.raises(TypeError):
        kelvra.read_file(["/tmp/a"])


def test_send_file_stores_a_byte_identical_copy(sim, tmp_path):
    card_id, address = sim.cards[1]
    data = os.urandom(9001)
    local = tmp_path / "pic.bin"
    local.write_bytes(data)
    kelvra.Card(card_id, address).send_file(str(local), name="p.bin", folder="Program\\Area0")
    stored = sim.stored(card_id, "Program\\Area0\\p.bin")
    assert wait_until(lambda: os.path.exists(stored) and os.path.getsize(stored) == len(data))
    with open(stored, "rb") as f:
        assert f.read() == data


def test_send_folder_and_its_errors(sim, tmp_path):
    card_id, address = sim.cards[0]
    (tmp_path / "show" / "Program" / "Area0").mkdir(parents=True)
    (tmp_path / "show" / "Program" / "Area0" / "list").write_bytes(b"L" * 2500)
    card = kelvra.Card(card_id, address)
    card.send_folder(str(tmp_path / "show"), "Program")
    stored = sim.stored(card_id, "Program\\Area0\\list")
    assert wait_until(lambda: os.path.exists(stored) and os.path.getsize(stored) == 2500)
    with pytest.raises(kelvra.FolderPathHasDot):
        card.send_folder(str(tmp_path / "a.b"), "Program")
    with pytest.raises(kelvra.FileUnreadable):
        card.send_file(str(tmp_path / "missing.bin"))


def test_an_absent_card_raises_card_unreachable(private_network):
    with pytest.raises(kelvra.CardUnreachable) as caught:
        kelvra.Card("S730-413-09999", "127.0.6.99").reset()
    assert caught.value.code == 60


def test_status_callback_and_message_handler(sim):
    events, messages = [], []
    kelvra.set_status_callback(lambda code, text: events.append((code, text)))
    kelvra.set_message_handler(messages.append)
    try:
        with pytest.raises(kelvra.CardUnreachable):
            kelvra.Card("S730-413-09999", "127.0.6.99").reset()
        assert (101, "127.0.6.99") in events
        card_id, address = sim.cards[0]
        kelvra.Card(card_id, address).quit_insert_mode()
        assert any(card_id in m and address in m for m in messages), messages
        assert sim.wait_for_frame(card_id, 0x91)
    finally:
        kelvra.set_message_handler(None)


def test_pictures_and_windows(sim, tmp_path):
    card_id, address = sim.cards[0]
    card = kelvra.Card(card_id, address)
    card.show_picture(BMP)
    entry = sim.wait_for_frame(card_id, 0x01)
    assert entry and struct.unpack_from("<I", bytes.fromhex(entry["data"]))[0] == 5  # shown at once
    (tmp_path / "notes.txt").write_text("not a picture")
    with pytest.raises(kelvra.NotAPicture):
        card.show_picture(str(tmp_path / "notes.txt"))
    card.create_window(3, (0, 0, 64, 32))
    entry = sim.wait_for_frame(card_id, 0x91)
    assert entry and struct.unpack_from("<3I", bytes.fromhex(entry["data"])) == (2, 4, 3)


def test_every_export_of_the_public_header_is_declared():
    include = os.path.join(os.path.dirname(__file__), "..", "..", "include", "kelvra")
    declared = set()
    for header in os.listdir(include):
        with open(os.path.join(include, header)) as f:
            declared.update(re.findall(r"^KELVRA_API [^(]*?(\w+)\s*\(", f.read(), re.M))
    from kelvra._lib import EXPORTS

    assert declared and declared == set(EXPORTS), (declared ^ set(EXPORTS))
