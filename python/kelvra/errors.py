"""Result codes of libkelvra as exceptions.

Every failing result becomes an exception whose class names it; each carries the number (`code`),
its name (`name`) and the export that gave it (`export`). All derive from KelvraError.
"""


class KelvraError(Exception):
    """A libkelvra call failed. `code` is its result, `name` the result's name."""

    code = None
    name = "FAILED"

    def __init__(self, export, code, detail=None):
        self.export = export
        self.code = code
        message = "%s: %s (%d)" % (export, self.name, code)
        if detail:
            message += ": " + detail
        super().__init__(message)


def _error(class_name, name, doc):
    return type(class_name, (KelvraError,), {"name": name, "__doc__": doc})


BroadcastNotAllowed = _error("BroadcastNotAllowed", "BROADCAST_NOT_ALLOWED", "The command needs one card (11).")
OutOfMemory = _error("OutOfMemory", "OUT_OF_MEMORY", "The library ran out of memory (14, 34).")
NoAnswer = _error("NoAnswer", "NO_ANSWER", "No usable answer arrived in time (18).")
FileUnreadable = _error("FileUnreadable", "FILE_UNREADABLE", "The local file is missing or unreadable (19).")
NameTooLong = _error("NameTooLong", "NAME_TOO_LONG", "A card file name or folder exceeds 99 bytes (20).")
BadTransport = _error("BadTransport", "BAD_TRANSPORT", "The iProtoType is not one the library knows (31).")
NoCommand = _error("NoCommand", "NO_COMMAND", "No command block was given (32).")
PacketNotBuilt = _error("PacketNotBuilt", "PACKET_NOT_BUILT", "A packet could not be built (46).")
NoSocket = _error("NoSocket", "NO_SOCKET", "The job had no socket (47).")
TcpSendFailed = _error("TcpSendFailed", "TCP_SEND_FAILED", "Sending over TCP failed part way (51).")
UdpSendFailed = _error("UdpSendFailed", "UDP_SEND_FAILED", "Sending over UDP failed (52).")
BroadcastSendFailed = _error("BroadcastSendFailed", "BROADCAST_SEND_FAILED", "The broadcast was not sent (53).")
BroadcastBindFailed = _error("BroadcastBindFailed", "BROADCAST_BIND_FAILED", "The broadcast socket was not bound (54).")
CardUnreachable = _error("CardUnreachable", "CARD_UNREACHABLE", "No connection to the card (60).")
DiscoveryRunning = _error("DiscoveryRunning", "DISCOVERY_RUNNING", "A discovery runs already (LoopCheck 1).")
FolderPathHasDot = _error("FolderPathHasDot", "FOLDER_PATH_HAS_DOT", "Folder transfers refuse paths with a '.' (1).")
IncompleteTransfer = _error(
    "IncompleteTransfer", "INCOMPLETE_TRANSFER", "A folder transfer left something out (2)."
)
NotAPicture = _error("NotAPicture", "NOT_A_PICTURE", "The file is not a BMP, JPEG or GIF picture (13).")
PictureUnreadable = _error("PictureUnreadable", "PICTURE_UNREADABLE", "The picture cannot be read or converted.")
PictureTooLarge = _error(
    "PictureTooLarge", "PICTURE_TOO_LARGE", "The picture declares more pixels than a card shows (21)."
)
NotStarted = _error("NotStarted", "NOT_STARTED", "The job could not be started.")
OperationFailed = _error("OperationFailed", "OPERATION_FAILED", "A file or picture operation failed.")

# The results that mean the same in every export that sends.
SEND_RESULTS = {
    11: BroadcastNotAllowed,
    14: OutOfMemory,
    18: NoAnswer,
    19: FileUnreadable,
    20: NameTooLong,
    31: BadTransport,
    32: NoCommand,
    34: OutOfMemory,
    46: PacketNotBuilt,
    47: NoSocket,
    51: TcpSendFailed,
    52: UdpSendFailed,
    53: BroadcastSendFailed,
    54: BroadcastBindFailed,
    60: CardUnreachable,
}


def check(export, code, table=None):
    """Returns `code` when it is 0; raises the exception that names it otherwise. `table` maps the
    export's own results (those that differ from SEND_RESULTS) to exceptions."""
    if code == 0:
        return 0
    cls = (table or {}).get(code) or SEND_RESULTS.get(code) or KelvraError
    raise cls(export, code)
