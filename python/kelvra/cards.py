"""Cards: discovery, information, commands and transfers.

A Card names one control card by its id and IPv4 address and a transport. Its methods run in the
calling thread over TCP or UDP (the library's synchronous transports), so each returns when the card
has the command and raises the result's exception when it does not; over a serial line the library
runs the job on a thread of its own and only its start is reported.
"""

import ctypes
import enum
import os
import struct
import threading
import time
from dataclasses import dataclass, field
from typing import Any, Callable, Dict, List, Optional, Tuple, Union

from . import errors
from ._lib import MESSAGE_HANDLER, STATUS_CALLBACK, RevMsg, lib

INFO_SIZE = 1088
MORE_INFO_SIZE = 160


class Transport(enum.IntEnum):
    """The iProtoType of the exports: TCP and UDP run in the caller's thread, serial on a worker."""

    TCP = 101
    UDP = 102
    SERIAL = 4


INT32 = (-(2**31), 2**31 - 1)
UINT32 = (0, 2**32 - 1)
UINT8 = (0, 255)


def _int(name: str, value: int, bounds: Tuple[int, int] = INT32) -> int:
    """`value` as the C integer an export takes: a TypeError for what is no integer (True and False
    included), a ValueError outside the C type's range, raised before the library is called."""
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError("%s must be an integer, not %s" % (name, type(value).__name__))
    low, high = bounds
    if not low <= value <= high:
        raise ValueError("%s must lie in %d..%d, not %d" % (name, low, high, value))
    return value


def _b(text: Union[str, bytes, bytearray, None], name: str = "text") -> Optional[bytes]:
    """A text argument as bytes: str, bytes or None (a path-like object for paths); anything else is
    a TypeError, never its printed form."""
    if text is None:
        return None
    if isinstance(text, str):
        return text.encode()
    if isinstance(text, (bytes, bytearray)):
        return bytes(text)
    raise TypeError("%s must be a text, not %s" % (name, type(text).__name__))


def _path(path: "os.PathLike[str] | str | bytes", name: str = "path") -> bytes:
    if isinstance(path, (str, bytes, os.PathLike)):
        return os.fsencode(path)
    raise TypeError("%s must be a path, not %s" % (name, type(path).__name__))


def _text(raw: bytes) -> str:
    return raw.split(b"\0", 1)[0].decode("ascii", "replace")


@dataclass
class FoundCard:
    """A card that answered a discovery."""

    id: str
    address: str


@dataclass
class CardInfo:
    """The fields of a card's information block (and, when it came, the extended block).

    The firmware versions are texts as the card reports them ("V9.120"); the words they are made
    from are `software_version_word` and `hardware_version_word`."""

    id: str
    ip_address: str
    subnet_mask: str
    gateway: str
    screen_width: int
    screen_height: int
    brightness: int
    scan_clock_code: int
    duty_cycle: int
    oe_polarity: int
    data_polarity: int
    gray_value: int
    gamma: Tuple[float, float, float]
    clock: Tuple[int, int, int, int, int, int, int]
    programme: int
    output_lines: int
    input_lines: int
    software_version: str
    hardware_version: str
    software_version_word: int
    hardware_version_word: int
    model: str = ""
    mac_address: str = ""
    uptime_seconds: int = 0
    files_stored: int = 0
    free_kib: int = 0
    raw: bytes = field(default=b"", repr=False)

    @staticmethod
    def version_text(word: int) -> str:
        """"V8.814" for 0x00080814: upper and lower 16 bits in hexadecimal."""
        return "V%X.%X" % (word >> 16, word & 0xFFFF)

    @classmethod
    def from_blocks(cls, info: bytes, more: Optional[bytes] = None) -> "CardInfo":
        def u32(offset: int) -> int:
            value: int = struct.unpack_from("<I", info, offset)[0]
            return value

        values: Dict[str, Any] = dict(
            id=_text(info[0:20]),
            ip_address=_text(info[60:76]),
            subnet_mask=_text(info[92:108]),
            gateway=_text(info[164:180]),
            screen_width=u32(132),
            screen_height=u32(136),
            brightness=u32(544),
            scan_clock_code=u32(548),
            duty_cycle=u32(552),
            oe_polarity=u32(556),
            data_polarity=u32(560),
            gray_value=u32(572),
            gamma=struct.unpack_from("<3f", info, 576),
            clock=struct.unpack_from("<7I", info, 644),
            programme=u32(672),
            output_lines=u32(676),
            input_lines=u32(680),
            software_version=cls.version_text(u32(1032)),
            hardware_version=cls.version_text(u32(1036)),
            software_version_word=u32(1032),
            hardware_version_word=u32(1036),
            raw=bytes(info),
        )
        if more is not None:
            values.update(
                model=_text(more[20:40]),
                mac_address=_text(more[56:76]),
                uptime_seconds=struct.unpack_from("<I", more, 84)[0],
                files_stored=struct.unpack_from("<I", more, 88)[0],
                free_kib=struct.unpack_from("<I", more, 92)[0],
            )
        return cls(**values)


def card_info(address: str, card_id: str = "") -> CardInfo:
    """Reads a card's information over TCP. With no card id, any card at the address may answer.
    Raises NoAnswer when no usable answer came."""
    info = ctypes.create_string_buffer(INFO_SIZE)
    more = ctypes.create_string_buffer(MORE_INFO_SIZE)
    lib.GetCardInfoByTcp(_b(card_id, "card_id"), _b(address, "address"), info)
    if info.raw[0] == 0:
        raise errors.NoAnswer("GetCardInfoByTcp", errors.Result.NO_ANSWER, "no card answered at %s" % address)
    lib.GetCardMoreInfoByTcp(_b(card_id, "card_id"), _b(address, "address"), more)
    return CardInfo.from_blocks(info.raw, more.raw if more.raw[0] != 0 else None)


def discover(timeout: float = 15.0, poll: float = 0.1) -> List[FoundCard]:
    """Broadcasts a discovery (UDP, 255.255.255.255:31296) and returns the cards that answered.
    The library collects answers until none has come for 3 s (10 s at most)."""
    started: int = lib.LoopCheck()
    if started == errors.ExportResult.DISCOVERY_RUNNING:
        raise errors.DiscoveryRunning("LoopCheck", started)
    errors.check("LoopCheck", started)
    card_id = ctypes.create_string_buffer(20)
    ip = ctypes.create_string_buffer(20)
    deadline = time.monotonic() + timeout
    while lib.LoadCardInfor(card_id, ip, 1) not in (1, 2):
        if time.monotonic() > deadline:
            raise errors.NoAnswer("LoadCardInfor", errors.Result.NO_ANSWER, "the discovery did not end")
        time.sleep(poll)
    cards = []
    n = 1
    while lib.LoadCardInfor(card_id, ip, n) == 1:
        cards.append(FoundCard(_text(card_id.raw), _text(ip.raw)))
        n += 1
    return cards


def connect_check(address: str) -> bool:
    """True when a TCP connection to the card succeeds within 2 s."""
    return bool(lib.ConnectCardSuccessOrFaile(_b(address, "address")) == 1)


@dataclass
class IoState:
    line: int
    on: bool
    output_lines: int
    input_lines: int


class Card:
    """One card: `Card("S730-413-05862", "192.168.0.7")`. The id may be left empty for a network card:
    it is then read from the card's information block on first use."""

    def __init__(self, card_id: str = "", address: str = "", transport: Transport = Transport.TCP) -> None:
        _b(card_id, "card_id")
        _b(address, "address")
        self._id = card_id
        self.address = address
        self.transport = Transport(transport)

    @property
    def id(self) -> str:
        if not self._id:
            self._id = card_info(self.address).id
        return self._id

    def _args(self) -> Tuple[Optional[bytes], Optional[bytes]]:
        return _b(self.id, "card_id"), _b(self.address, "address")

    def info(self) -> CardInfo:
        return card_info(self.address, self.id)

    def reset(self) -> None:
        errors.check("ResetCard", lib.ResetCard(*self._args(), self.transport))

    def set_brightness(self, value: int) -> None:
        value = _int("brightness", value)
        errors.check("SetLedScreenLight", lib.SetLedScreenLight(*self._args(), value, self.transport))

    def set_clock(self, *values: int) -> None:
        """The seven clock values in the card's order; none given: the local time now (year, month,
        day, hour, minute, second, weekday with 0 for Sunday)."""
        if not values:
            t = time.localtime()
            values = (t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, (t.tm_wday + 1) % 7)
        if len(values) != 7:
            raise ValueError("the clock takes seven values")
        words = [_int("clock value", v) for v in values]
        errors.check("AdjustClock", lib.AdjustClock(*self._args(), *words, self.transport))

    def select_program(self, number: int) -> None:
        number = _int("programme number", number)
        errors.check("SelectProgramPlay", lib.SelectProgramPlay(*self._args(), self.transport, number))

    def test_module(self, t1: int, t2: int, t3: int, colour: Tuple[int, int, int], e1: int = 0, e2: int = 0) -> None:
        """A module test; `colour` is (red, green, blue)."""
        t1, t2, t3, e1, e2 = (_int(n, v) for n, v in (("t1", t1), ("t2", t2), ("t3", t3), ("e1", e1), ("e2", e2)))
        red, green, blue = (_int("colour", c, UINT8) for c in colour)
        errors.check(
            "TestLedModule", lib.TestLedModule(*self._args(), t1, t2, t3, red, green, blue, e1, e2, self.transport)
        )

    def stop_test(self) -> None:
        errors.check("StopTest", lib.StopTest(*self._args(), self.transport))

    def set_io(self, line: int, on: bool) -> None:
        line = _int("line", line)
        errors.check("SetIOState", lib.SetIOState(*self._args(), self.transport, 0, line, 1 if on else 0))

    def get_io(self, line: int) -> IoState:
        """The state of an output line and all output and input lines (TCP or UDP)."""
        line = _int("line", line)
        inputs, outputs = ctypes.c_int32(), ctypes.c_int32()
        r: int = lib.GetIOState(*self._args(), self.transport, 0, line, ctypes.byref(inputs), ctypes.byref(outputs))
        if r not in (0, 1):
            errors.check("GetIOState", r)
        return IoState(line, r == 1, outputs.value & 0xFFFFFFFF, inputs.value & 0xFFFFFFFF)

    def send_file(
        self, path: "os.PathLike[str] | str", name: str = "", folder: str = "", file_type: int = 4, parameter: int = 0
    ) -> None:
        """Sends a local file; the card stores it as folder\\name (name: the file's own by default)."""
        local = _path(path)
        card_name, card_folder = _b(name, "name"), _b(folder, "folder")
        file_type, parameter = _int("file_type", file_type, UINT32), _int("parameter", parameter, UINT32)
        errors.check(
            "SendFileToCard",
            lib.SendFileToCard(*self._args(), self.transport, parameter, local, card_name, card_folder, file_type),
        )

    def send_folder(self, path: "os.PathLike[str] | str", base: str, parameter: int = 0) -> None:
        """Sends every file below `path` over TCP; card folders start at the folder named `base`."""
        local, card_base = _path(path), _b(base, "base")
        parameter = _int("parameter", parameter, UINT32)
        errors.check(
            "SendFolderToCard",
            lib.SendFolderToCard(*self._args(), self.transport, parameter, local, card_base),
            {
                errors.ExportResult.FOLDER_PATH_HAS_DOT: errors.FolderPathHasDot,
                errors.ExportResult.FOLDER_INCOMPLETE: errors.IncompleteTransfer,
            },
        )

    def upgrade(self, folder: "os.PathLike[str] | str", base: str, parameter: int = 0) -> None:
        """Starts a firmware upgrade on the library's own thread; its course is reported through the
        message handler (set_message_handler)."""
        local, card_base = _path(folder, "folder"), _b(base, "base")
        parameter = _int("parameter", parameter, UINT32)
        errors.check(
            "UpgradeProgram",
            lib.UpgradeProgram(*self._args(), 0, parameter, local, card_base),
            {errors.ExportResult.UPGRADE_NOT_STARTED: errors.NotStarted},
        )

    def show_picture(self, path: "os.PathLike[str] | str", parameter: int = 0) -> None:
        """Shows a BMP, JPEG or GIF picture on the screen at once."""
        local, parameter = _path(path), _int("parameter", parameter, UINT32)
        errors.check(
            "ShowPicture",
            lib.ShowPicture(*self._args(), self.transport, parameter, local),
            {
                errors.ExportResult.SHOW_UNREADABLE: errors.PictureUnreadable,
                errors.ExportResult.SHOW_NO_MEMORY: errors.OutOfMemory,
            },
        )

    def create_window(
        self,
        window: int,
        rect: Tuple[int, int, int, int],
        window_word: int = 0,
        style_word: int = 0,
        marker: bool = False,
        parameter: int = 0,
    ) -> None:
        """Opens a display window; `rect` is the card's four rectangle words."""
        window, window_word, style_word, parameter = (
            _int(n, v, UINT32)
            for n, v in (("window", window), ("window_word", window_word), ("style_word", style_word),
                         ("parameter", parameter))
        )
        words = [_int("rect", r, UINT32) for r in rect]
        if len(words) != 4:
            raise ValueError("a rectangle has four words")
        errors.check(
            "CreateWnd",
            lib.CreateWnd(window, *self._args(), self.transport, parameter, *words, window_word, style_word,
                          1 if marker else 0),
        )

    def destroy_window(self, window: int) -> None:
        window = _int("window", window, UINT32)
        errors.check("DestroyWnd", lib.DestroyWnd(window, *self._args(), self.transport))

    def quit_insert_mode(self) -> None:
        r: int = lib.QuitInsertModel(*self._args(), self.transport)
        if r in (errors.ExportResult.QUIT_IP_TOO_LONG, errors.ExportResult.QUIT_ID_TOO_LONG):
            raise errors.NameTooLong("QuitInsertModel", r)
        errors.check("QuitInsertModel", r)


def set_serial(port: int = 1, baud: int = 9600, data_bits: int = 8, parity: int = 0, stop_bits: int = 0) -> None:
    """Serial settings for later serial jobs: port COM<port> (/dev/ttyS<port-1>, or $KELVRA_COM<port>)."""
    r: int = lib.SetComParam(
        *(_int(n, v) for n, v in (("port", port), ("baud", baud), ("data_bits", data_bits),
                                                  ("parity", parity), ("stop_bits", stop_bits))))
    if r != 0:
        which = ["port", "baud rate", "data bits", "parity", "stop bits"][r - 1]
        raise ValueError("SetComParam refused the %s" % which)


def reply_ok(text: str) -> bool:
    """True when a card's answer text means success ("Success!")."""
    return bool(lib.NetReceiveDataInfoPro(_b(text)) == 0)


def status_message_code(command: int, text: str, card_id: str = "", mode: int = 3) -> int:
    """ProcRevMsg: 41, 42 or 43 for the status answers that say "Error!", 0 for a 0x42 "Success!"
    in mode 3, -1 for anything else."""
    raw = text.encode()
    msg = RevMsg((ctypes.c_ubyte * 3)(0x7E, 0x7E, 0x7E), command, _b(card_id), 0, len(raw), raw)
    code: int = lib.ProcRevMsg(ctypes.byref(msg), 0, mode)
    return code


# The callbacks are kept alive here: the library calls them from its own threads.
_callbacks_lock = threading.Lock()
_callbacks: Dict[str, Any] = {}


def set_status_callback(function: Callable[[int, Optional[str]], None]) -> None:
    """`function(code, text)` is called (from the library's threads too) for each status event."""

    def call(code: int, text: Optional[bytes]) -> None:
        function(code, text.decode("utf-8", "replace") if text is not None else None)

    c_function = STATUS_CALLBACK(call)
    with _callbacks_lock:
        _callbacks["status"] = c_function
    lib.CallBack(c_function)


def set_message_handler(function: Optional[Callable[[str], None]]) -> None:
    """`function(text)` receives what the library would show; None restores standard error."""
    if function is None:
        lib.KelvraSetMessageHandler(MESSAGE_HANDLER(0), None)  # a null function pointer
        with _callbacks_lock:
            _callbacks.pop("message", None)
        return
    handler = function

    def call(text: Optional[bytes], _user: Optional[int]) -> None:
        handler(text.decode("utf-8", "replace") if text is not None else "")

    c_function = MESSAGE_HANDLER(call)
    with _callbacks_lock:
        _callbacks["message"] = c_function
    lib.KelvraSetMessageHandler(c_function, None)
