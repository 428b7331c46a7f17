"""Pictures and memory blocks.

The library returns pictures as memory blocks that the caller must release with
KelvraFreeMemoryBlock. Here each is a MemoryBlock, a context manager that releases it on leaving the
`with` (or on close(), or when collected):

    with kelvra.load_bmp_to_dib("a.bmp") as dib, kelvra.dib_to_image(dib, "jpg") as jpeg:
        open("a.jpg", "wb").write(jpeg.bytes())
"""

import ctypes
import os
from typing import Optional, Union

from . import errors
from ._lib import MemoryBlockRecord, lib, libc

# A path as the library takes it: text or bytes, or anything os.fspath accepts.
Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
# A picture or DIB passed in: bytes of the caller's, or a block the library returned.
Data = Union[bytes, bytearray, "MemoryBlock"]


class MemoryBlock:
    """A block the library allocated: released exactly once, by close() or at the end of `with`."""

    _pointer: "Optional[ctypes._Pointer[MemoryBlockRecord]]"

    def __init__(self, pointer: "Optional[ctypes._Pointer[MemoryBlockRecord]]", export: str) -> None:
        if not pointer:
            raise errors.OperationFailed(export, 0)
        self._pointer = pointer

    def __enter__(self) -> "MemoryBlock":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        self.close()

    def close(self) -> None:
        pointer, self._pointer = getattr(self, "_pointer", None), None
        if pointer:
            lib.KelvraFreeMemoryBlock(pointer)

    @property
    def closed(self) -> bool:
        return self._pointer is None

    def _record(self) -> MemoryBlockRecord:
        return self._pointer_checked().contents

    def __len__(self) -> int:
        size: int = self._record().size
        return size

    def bytes(self) -> bytes:
        """A copy of the block's bytes."""
        record = self._record()
        return ctypes.string_at(record.data, record.size)

    def save(self, path: Path) -> None:
        """Writes the block to `path` (absolute). Raises OperationFailed when it was not written."""
        if lib.SaveMemFileToDisk(self._pointer_checked(), _path(path)) != 1:
            raise errors.OperationFailed("SaveMemFileToDisk", 0, os.fsdecode(path))

    def _pointer_checked(self) -> "ctypes._Pointer[MemoryBlockRecord]":
        if self._pointer is None:
            raise ValueError("the memory block has been released")
        return self._pointer


class _Borrowed:
    """Caller's bytes lent to the library as a block for the length of one call."""

    pointer: "ctypes._Pointer[MemoryBlockRecord]"

    def __init__(self, data: Data) -> None:
        if isinstance(data, MemoryBlock):
            self.pointer = data._pointer_checked()
            return
        self._buffer = ctypes.create_string_buffer(bytes(data), len(data))
        self._record = MemoryBlockRecord(ctypes.cast(self._buffer, ctypes.POINTER(ctypes.c_ubyte)), len(data))
        self.pointer = ctypes.pointer(self._record)


def _path(path: Path) -> bytes:
    if isinstance(path, (str, bytes, os.PathLike)):
        return os.fsencode(path)
    raise TypeError("a path must be a text or path-like, not %s" % type(path).__name__)


def _format(fmt: Union[str, bytes]) -> bytes:
    if isinstance(fmt, str):
        return fmt.encode()
    if isinstance(fmt, bytes):
        return fmt
    raise TypeError("a format must be a text, not %s" % type(fmt).__name__)


def bmp_to_image(bmp: Data, fmt: Union[str, bytes]) -> MemoryBlock:
    """A BMP file (bytes or a MemoryBlock) converted to "jpg", "gif" or "bmp"."""
    return MemoryBlock(lib.MBmpToMImage(_Borrowed(bmp).pointer, _format(fmt)), "MBmpToMImage")


def load_bmp_to_dib(path: Path) -> MemoryBlock:
    """The BMP file at `path` as a DIB (BITMAPINFOHEADER, colour table, rows bottom-up)."""
    return MemoryBlock(lib.LoadBmpToDIB(_path(path)), "LoadBmpToDIB")


def dib_to_image(dib: Data, fmt: Union[str, bytes]) -> MemoryBlock:
    """A DIB (bytes or a MemoryBlock) converted to "jpg", "gif" or "bmp"."""
    return MemoryBlock(lib.DIBFormatCovert(_Borrowed(dib).pointer, _format(fmt)), "DIBFormatCovert")


def save_image(data: Data, path: Path) -> None:
    """Writes bytes or a MemoryBlock to the absolute `path`."""
    if lib.SaveMemFileToDisk(_Borrowed(data).pointer, _path(path)) != 1:
        raise errors.OperationFailed("SaveMemFileToDisk", 0, os.fsdecode(path))


def screen_picture(
    left: int, top: int, right: int, bottom: int, fmt: Union[str, bytes] = "jpg", reduce: bool = False
) -> MemoryBlock:
    """The screen rectangle captured (X11) and encoded."""
    left, top, right, bottom = (_int32(n, v) for n, v in (("left", left), ("top", top), ("right", right),
                                                           ("bottom", bottom)))
    return MemoryBlock(lib.GetScreenPic(left, top, right, bottom, _format(fmt), 1 if reduce else 0), "GetScreenPic")


def _int32(name: str, value: int) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError("%s must be an integer, not %s" % (name, type(value).__name__))
    if not -(2**31) <= value < 2**31:
        raise ValueError("%s must lie in the 32-bit range, not %d" % (name, value))
    return value


def read_file(path: Path) -> bytes:
    """GetFileBuf: the whole file as bytes (the library's buffer is freed here)."""
    length = ctypes.c_uint32()
    pointer = lib.GetFileBuf(_path(path), ctypes.byref(length))
    if not pointer:
        raise errors.FileUnreadable("GetFileBuf", errors.Result.FILE_UNREADABLE, os.fsdecode(path))
    try:
        return ctypes.string_at(pointer, length.value)
    finally:
        libc.free(pointer)


def _one(export: str, result: int, path: Path) -> None:
    if result != 1:
        raise errors.OperationFailed(export, result, os.fsdecode(path))


def delete_tree(path: Path) -> None:
    _one("DelTreeOrFile", lib.DelTreeOrFile(_path(path)), path)


def copy_tree(source: Path, destination: Path) -> None:
    _one("CopyTreeOrFile", lib.CopyTreeOrFile(_path(source), _path(destination)), source)


def move_tree(source: Path, destination: Path) -> None:
    _one("MoveTreeOrFile", lib.MoveTreeOrFile(_path(source), _path(destination)), source)


def create_folder(folder: Path) -> None:
    lib.CreateFolder(_path(folder))
