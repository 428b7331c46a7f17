"""Loading libkelvra.so and declaring its exports for ctypes.

The library is found, in this order: the path in the environment variable KELVRA_LIBRARY, then
"libkelvra.so.1" through the system's library search (the libkelvra1 package installs it there).
Every export of <kelvra/kelvra.h> is declared here with its argument and result types; the modules
beside this one wrap them.
"""

import ctypes
import os
from typing import Dict, Optional, Sequence, Tuple

c_char_p = ctypes.c_char_p
c_int = ctypes.c_int
c_int32 = ctypes.c_int32
c_uint32 = ctypes.c_uint32
c_uint8 = ctypes.c_uint8
c_void_p = ctypes.c_void_p

STATUS_CALLBACK = ctypes.CFUNCTYPE(None, c_uint32, c_char_p)
MESSAGE_HANDLER = ctypes.CFUNCTYPE(None, c_char_p, c_void_p)
TRACE_HANDLER = ctypes.CFUNCTYPE(None, c_int, ctypes.POINTER(ctypes.c_ubyte), ctypes.c_size_t, c_void_p)


class MemoryBlockRecord(ctypes.Structure):
    """KelvraMemoryBlock: `size` bytes at `data`."""

    _fields_ = [("data", ctypes.POINTER(ctypes.c_ubyte)), ("size", c_uint32)]


class Rect(ctypes.Structure):
    """KelvraRect: left, top, right, bottom (right and bottom exclusive)."""

    _fields_ = [("left", c_int32), ("top", c_int32), ("right", c_int32), ("bottom", c_int32)]


class RevMsg(ctypes.Structure):
    """KelvraRevMsg: a card's status message as ProcRevMsg reads it."""

    _fields_ = [
        ("lead_in", ctypes.c_ubyte * 3),
        ("command", ctypes.c_ubyte),
        ("card_id", ctypes.c_char * 16),
        ("parameter", c_uint32),
        ("length", c_uint32),
        ("text", c_char_p),
    ]


BLOCK_P = ctypes.POINTER(MemoryBlockRecord)

# name: (result type, argument types)
# Each type is a ctypes class; a result of None is a function that returns nothing.
EXPORTS: Dict[str, Tuple[Optional[type], Sequence[type]]] = {
    # results.h
    "KelvraResultText": (c_char_p, [c_int]),
    # cards.h
    "CallBack": (None, [STATUS_CALLBACK]),
    "KelvraSetMessageHandler": (None, [MESSAGE_HANDLER, c_void_p]),
    "KelvraSetTraceHandler": (None, [TRACE_HANDLER, c_void_p]),
    "KelvraDiscover": (c_int, [c_char_p, c_uint32]),
    "SelectProgramPlay": (c_int, [c_char_p, c_char_p, c_int, c_int32]),
    "ResetCard": (c_int, [c_char_p, c_char_p, c_int]),
    "AdjustClock": (c_int, [c_char_p, c_char_p] + [c_int32] * 7 + [c_int]),
    "SetLedScreenLight": (c_int, [c_char_p, c_char_p, c_int32, c_int]),
    "TestLedModule": (
        c_int,
        [c_char_p, c_char_p, c_int32, c_int32, c_int32, c_uint8, c_uint8, c_uint8, c_int32, c_int32, c_int],
    ),
    "StopTest": (c_int, [c_char_p, c_char_p, c_int]),
    "SetIOState": (c_int, [c_char_p, c_char_p, c_int, c_int, c_int32, c_int32]),
    "GetIOState": (
        c_int,
        [c_char_p, c_char_p, c_int, c_int, c_int32, ctypes.POINTER(c_int32), ctypes.POINTER(c_int32)],
    ),
    "GetCardInfoByTcp": (c_int, [c_char_p, c_char_p, ctypes.c_void_p]),
    "GetCardMoreInfoByTcp": (c_int, [c_char_p, c_char_p, ctypes.c_void_p]),
    "LoopCheck": (c_int, []),
    "BroadcastCheckCard": (c_int, [c_int]),
    "LoadCardInfor": (c_int, [ctypes.c_void_p, ctypes.c_void_p, c_int]),
    "ConnectCardSuccessOrFaile": (c_int, [c_char_p]),
    "ProcRevMsg": (c_int, [ctypes.POINTER(RevMsg), c_int, c_int]),
    "NetReceiveDataInfoPro": (c_int, [c_char_p]),
    "SetComParam": (c_int, [c_int, c_int, c_int, c_int, c_int]),
    "QuitInsertModel": (c_int, [c_char_p, c_char_p, c_int]),
    # transfers.h
    "GetFileBuf": (ctypes.c_void_p, [c_char_p, ctypes.POINTER(c_uint32)]),
    "SendFileToCard": (c_int, [c_char_p, c_char_p, c_int, c_uint32, c_char_p, c_char_p, c_char_p, c_uint32]),
    "SendFolderToCard": (c_int, [c_char_p, c_char_p, c_int, c_uint32, c_char_p, c_char_p]),
    "UpgradeSingleFile": (c_int, [c_char_p, c_char_p, c_int, c_int, c_char_p]),
    "UpGradeFinished": (c_int, [c_char_p, c_char_p, c_int, c_int]),
    "UpgradeProgram": (c_int, [c_char_p, c_char_p, c_int, c_uint32, c_char_p, c_char_p]),
    # programme.h
    "WriteScreenConfig": (c_int32, [c_char_p, c_uint32, c_uint32, ctypes.c_void_p]),
    "WriteAreaConfig": (
        c_int32,
        [c_char_p] + [c_uint32] * 7 + [c_char_p, c_uint32, c_char_p, c_uint32, ctypes.c_void_p],
    ),
    "AddPicStuntList": (c_uint32, [c_char_p] + [c_uint32] * 7),
    "WritePlayList": (c_uint32, [c_char_p]),
    "WriteLEDDownLoadProj": (c_int32, [c_char_p, c_uint32, ctypes.c_void_p]),
    # files.h
    "DelTreeOrFile": (c_int32, [c_char_p]),
    "MoveTreeOrFile": (c_int32, [c_char_p, c_char_p]),
    "CopyTreeOrFile": (c_int32, [c_char_p, c_char_p]),
    "CreateFolder": (None, [c_char_p]),
    # display.h
    "CreateMuliAreaWindow": (c_int, [c_uint32] * 6 + [c_char_p, c_char_p, c_uint32, c_int]),
    "InsertListToArea": (c_int, [c_uint32, c_int, c_char_p, c_char_p, c_uint32, c_int, c_int]),
    "CreateWnd": (c_int, [c_uint32, c_char_p, c_char_p, c_int] + [c_uint32] * 7 + [c_int]),
    "AddVideoToWnd": (c_int, [c_uint32, c_char_p, c_char_p, c_char_p, c_int, c_int]),
    "AddPicToWnd": (c_int, [c_uint32, c_char_p, c_char_p, c_char_p, c_int] + [c_uint32] * 7 + [c_int]),
    "DelPicInWnd": (c_int, [c_uint32, c_char_p, c_char_p, c_char_p, c_int]),
    "LockOrUnlockWnd": (c_int, [c_uint32, c_char_p, c_char_p, c_int, c_int, c_uint32]),
    "DestroyWnd": (c_int, [c_uint32, c_char_p, c_char_p, c_int]),
    "ShowPicture": (c_int, [c_char_p, c_char_p, c_int, c_uint32, c_char_p]),
    "SendScreenPicToCards": (c_int, [c_int32] * 4 + [c_char_p, c_char_p, c_uint32, c_int]),
    "CreateWindowRegin": (c_int, [c_uint32] * 5),
    "RealTimeInsertGlintWindow": (c_int, [c_char_p, c_char_p, c_uint32, c_int, c_char_p, c_uint32]),
    "AddPicAndStunt": (c_int, [c_char_p, c_char_p, c_int, c_uint32, c_char_p] + [c_uint32] * 7 + [c_int]),
    "ShowPicStunt": (c_int, [c_int] + [c_uint32] * 4 + [c_int, c_char_p, c_char_p, c_uint32, c_int, c_int]),
    "ExitPicStunt": (c_int, [c_char_p, c_char_p, c_int, c_int]),
    # imaging.h
    "KelvraFreeMemoryBlock": (None, [BLOCK_P]),
    "MBmpToMImage": (BLOCK_P, [BLOCK_P, c_char_p]),
    "LoadBmpToDIB": (BLOCK_P, [c_char_p]),
    "DIBFormatCovert": (BLOCK_P, [BLOCK_P, c_char_p]),
    "SaveMemFileToDisk": (c_int32, [BLOCK_P, c_char_p]),
    "GetScreenPic": (BLOCK_P, [c_int32, c_int32, c_int32, c_int32, c_char_p, c_int32]),
    "SaveScreenPic": (c_int32, [c_int32, c_int32, c_int32, c_int32, c_char_p, c_char_p, c_int32]),
    "SaveScreenPicNew": (c_int32, [c_int32, c_int32, c_int32, c_int32, c_char_p, c_int32]),
    "SaveWndJpg": (c_int32, [ctypes.c_ulong, c_char_p, Rect]),
}


def _load() -> ctypes.CDLL:
    path = os.environ.get("KELVRA_LIBRARY") or "libkelvra.so.1"
    try:
        lib = ctypes.CDLL(path)
    except OSError as e:
        raise ImportError(
            "libkelvra cannot be loaded (%s); install the libkelvra1 package or set KELVRA_LIBRARY "
            "to the library's path" % e
        ) from e
    for name, (restype, argtypes) in EXPORTS.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


lib = _load()
libc = ctypes.CDLL(None)
libc.free.argtypes = [ctypes.c_void_p]
libc.free.restype = None
