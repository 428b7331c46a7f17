"""Result codes of libkelvra as exceptions.

Every failing result becomes an exception whose class names it; each carries the number (`code`),
its name (`name`) and the export that gave it (`export`). All derive from KelvraError.
"""

import enum
from typing import Dict, Optional, Type

__all__ = [
    "KelvraError",
    "BroadcastNotAllowed",
    "OutOfMemory",
    "NoAnswer",
    "FileUnreadable",
    "NameTooLong",
    "BadTransport",
    "NoCommand",
    "PacketNotBuilt",
    "NoSocket",
    "TcpSendFailed",
    "UdpSendFailed",
    "BroadcastSendFailed",
    "BroadcastBindFailed",
    "CardUnreachable",
    "DiscoveryRunning",
    "FolderPathHasDot",
    "IncompleteTransfer",
    "NotAPicture",
    "NoPictures",
    "CardBusy",
    "PictureUnreadable",
    "PictureTooLarge",
    "NoJob",
    "NotStarted",
    "OperationFailed",
    "Result",
    "ExportResult",
    "SEND_RESULTS",
    "check",
]


class Result(enum.IntEnum):
    """The results that mean the same in every export (enum KelvraResult of kelvra/results.h)."""

    OK = 0
    BROADCAST_NOT_ALLOWED = 11
    NOT_A_PICTURE = 13
    NO_MEMORY = 14
    NO_PICTURES = 15
    CARD_BUSY = 16
    PICTURE_UNREADABLE = 17
    NO_ANSWER = 18
    FILE_UNREADABLE = 19
    NAME_TOO_LONG = 20
    PICTURE_TOO_LARGE = 21
    BAD_PROTO_TYPE = 31
    NO_COMMAND = 32
    OUT_OF_MEMORY = 34
    PACKET_NOT_BUILT = 46
    NO_JOB_SOCKET = 47
    TCP_SEND_FAILED = 51
    UDP_SEND_FAILED = 52
    BROADCAST_SEND_FAILED = 53
    BROADCAST_BIND_FAILED = 54
    NO_CONNECTION = 60
    NO_JOB = 61


class ExportResult(enum.IntEnum):
    """Results one export gives with a meaning of its own (enum KelvraExportResult); equal numbers
    are aliases, so compare them only with the result of the export their name starts with."""

    DISCOVERY_RUNNING = 1
    DISCOVERY_BAD_REQUEST = 2
    QUIT_IP_TOO_LONG = -1
    QUIT_ID_TOO_LONG = -2
    FOLDER_PATH_HAS_DOT = 1
    FOLDER_INCOMPLETE = 2
    UPGRADE_NOT_STARTED = 1
    SHOW_UNREADABLE = 1
    SHOW_NO_MEMORY = 2
    VIDEO_NOT_AVI = -1
    REGIONS_FULL = -1
    WND_JPG_ENCODING_FAILED = 1
    WND_JPG_NOTHING_CAPTURED = 2
    WND_JPG_UNREADABLE_COLOURS = 3


class KelvraError(Exception):
    """A libkelvra call failed. `code` is its result, `name` the result's name."""

    code: int
    name = "FAILED"

    def __init__(self, export: str, code: int, detail: Optional[str] = None) -> None:
        self.export = export
        self.code = code
        message = "%s: %s (%d)" % (export, self.name, code)
        if detail:
            message += ": " + detail
        super().__init__(message)


class BroadcastNotAllowed(KelvraError):
    """The command needs one card (11)."""

    name = "BROADCAST_NOT_ALLOWED"


class OutOfMemory(KelvraError):
    """The library ran out of memory (14, 34)."""

    name = "OUT_OF_MEMORY"


class NoAnswer(KelvraError):
    """No usable answer arrived in time (18)."""

    name = "NO_ANSWER"


class FileUnreadable(KelvraError):
    """The local file is missing or unreadable (19)."""

    name = "FILE_UNREADABLE"


class NameTooLong(KelvraError):
    """A card file name or folder exceeds 99 bytes (20)."""

    name = "NAME_TOO_LONG"


class BadTransport(KelvraError):
    """The iProtoType is not one the library knows (31)."""

    name = "BAD_TRANSPORT"


class NoCommand(KelvraError):
    """No command block was given (32)."""

    name = "NO_COMMAND"


class PacketNotBuilt(KelvraError):
    """A packet could not be built (46)."""

    name = "PACKET_NOT_BUILT"


class NoSocket(KelvraError):
    """The job had no socket (47)."""

    name = "NO_SOCKET"


class TcpSendFailed(KelvraError):
    """Sending over TCP failed part way (51)."""

    name = "TCP_SEND_FAILED"


class UdpSendFailed(KelvraError):
    """Sending over UDP failed (52)."""

    name = "UDP_SEND_FAILED"


class BroadcastSendFailed(KelvraError):
    """The broadcast was not sent (53)."""

    name = "BROADCAST_SEND_FAILED"


class BroadcastBindFailed(KelvraError):
    """The broadcast socket was not bound (54)."""

    name = "BROADCAST_BIND_FAILED"


class CardUnreachable(KelvraError):
    """No connection to the card (60)."""

    name = "CARD_UNREACHABLE"


class DiscoveryRunning(KelvraError):
    """A discovery runs already (LoopCheck 1)."""

    name = "DISCOVERY_RUNNING"


class FolderPathHasDot(KelvraError):
    """Folder transfers refuse paths with a '.' (1)."""

    name = "FOLDER_PATH_HAS_DOT"


class IncompleteTransfer(KelvraError):
    """A folder transfer left something out (2)."""

    name = "INCOMPLETE_TRANSFER"


class NotAPicture(KelvraError):
    """The file is not a BMP, JPEG or GIF picture (13)."""

    name = "NOT_A_PICTURE"


class NoPictures(KelvraError):
    """No picture has been added for this card (15)."""

    name = "NO_PICTURES"


class CardBusy(KelvraError):
    """A transfer to the card is under way (16)."""

    name = "CARD_BUSY"


class PictureUnreadable(KelvraError):
    """The picture cannot be read, converted or captured (17)."""

    name = "PICTURE_UNREADABLE"


class PictureTooLarge(KelvraError):
    """The picture declares more pixels than a card shows (21)."""

    name = "PICTURE_TOO_LARGE"


class NoJob(KelvraError):
    """The send machinery was given no job (61)."""

    name = "NO_JOB"


class NotStarted(KelvraError):
    """The job could not be started."""

    name = "NOT_STARTED"


class OperationFailed(KelvraError):
    """A file or picture operation failed."""

    name = "OPERATION_FAILED"


# The results that mean the same in every export that gives them: the failures of enum KelvraResult
# in the library's header kelvra/results.h.
SEND_RESULTS: Dict[int, Type[KelvraError]] = {
    Result.BROADCAST_NOT_ALLOWED: BroadcastNotAllowed,
    Result.NOT_A_PICTURE: NotAPicture,
    Result.NO_MEMORY: OutOfMemory,
    Result.NO_PICTURES: NoPictures,
    Result.CARD_BUSY: CardBusy,
    Result.PICTURE_UNREADABLE: PictureUnreadable,
    Result.NO_ANSWER: NoAnswer,
    Result.FILE_UNREADABLE: FileUnreadable,
    Result.NAME_TOO_LONG: NameTooLong,
    Result.PICTURE_TOO_LARGE: PictureTooLarge,
    Result.BAD_PROTO_TYPE: BadTransport,
    Result.NO_COMMAND: NoCommand,
    Result.OUT_OF_MEMORY: OutOfMemory,
    Result.PACKET_NOT_BUILT: PacketNotBuilt,
    Result.NO_JOB_SOCKET: NoSocket,
    Result.TCP_SEND_FAILED: TcpSendFailed,
    Result.UDP_SEND_FAILED: UdpSendFailed,
    Result.BROADCAST_SEND_FAILED: BroadcastSendFailed,
    Result.BROADCAST_BIND_FAILED: BroadcastBindFailed,
    Result.NO_CONNECTION: CardUnreachable,
    Result.NO_JOB: NoJob,
}


def check(export: str, code: int, table: Optional[Dict[int, Type[KelvraError]]] = None) -> int:
    """Returns `code` when it is 0; raises the exception that names it otherwise. `table` maps the
    export's own results (those that differ from SEND_RESULTS) to exceptions."""
    if code == Result.OK:
        return 0
    cls = (table or {}).get(code) or SEND_RESULTS.get(code) or KelvraError
    raise cls(export, code)
