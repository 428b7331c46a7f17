"""Pictures and memory blocks.

The library returns pictures as memory blocks that the caller must release with
KelvraFreeMemoryBlock. Here each is a MemoryBlock, a context manager that releases it on leaving the
`with` (or on close(), or when collected):

    with kelvra.load_bmp_to_dib("a.bmp") as dib, kelvra.dib_to_image(dib, "jpg") as jpeg:
        open("a.jpg", "wb").write(jpeg.bytes())
"""

import ctypes
import os

from . import errors
from ._lib import MemoryBlockRecord, lib, libc


class MemoryBlock:
    """A block the library allocated: released exactly once, by close() or at the end of `with`."""

    def __init__(self, pointer, export):
        if not pointer:
            raise errors.OperationFailed(export, 0)
        self._pointer = pointer

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __del__(self):
        self.close()

    def close(self):
        pointer, self._pointer = getattr(self, "_pointer", None), None
        if pointer:
            lib.KelvraFreeMemoryBlock(pointer)

    @property
    def closed(self):
        return self._pointer is None

    def _record(self):
        if self._pointer is None:
            raise ValueError("the memory block has been released")
        return self._pointer.contents

    def __len__(self):
        return self._record().size

    def bytes(self):
        """A copy of the block's bytes."""
        record = self._record()
        return ctypes.string_at(record.data, record.size)

    def save(self, path):
        """Writes the block to `path` (absolute). Raises OperationFailed when it was not written."""
        if lib.SaveMemFileToDisk(self._pointer_checked(), _path(path)) != 1:
            raise errors.OperationFailed("SaveMemFileToDisk", 0, str(path))

    def _pointer_checked(self):
        self._record()
        return self._pointer


class _Borrowed:
    """Caller's bytes lent to the library as a block for the length of one call."""

    def __init__(self, data):
        if isinstance(data, MemoryBlock):
            self.pointer = data._pointer_checked()
            return
        self._buffer = ctypes.create_string_buffer(bytes(data), len(data))
        self._record = MemoryBlockRecord(ctypes.cast(self._buffer, ctypes.POINTER(ctypes.c_ubyte)), len(data))
        self.pointer = ctypes.pointer(self._record)


def _path(path):
    if isinstance(path, (str, bytes, os.PathLike)):
        return os.fsencode(path)
    raise TypeError("a path must be a text or path-like, not %s" % type(path).__name__)


def _format(fmt):
    if isinstance(fmt, str):
        return fmt.encode()
    if isinstance(fmt, bytes):
        return fmt
    raise TypeError("a format must be a text, not %s" % type(fmt).__name__)


def bmp_to_image(bmp, fmt):
    """A BMP file (bytes or a MemoryBlock) converted to "jpg", "gif" or "bmp"."""
    return MemoryBlock(lib.MBmpToMImage(_Borrowed(bmp).pointer, _format(fmt)), "MBmpToMImage")


def load_bmp_to_dib(path):
    """The BMP file at `path` as a DIB (BITMAPINFOHEADER, colour table, rows bottom-up)."""
    return MemoryBlock(lib.LoadBmpToDIB(_path(path)), "LoadBmpToDIB")


def dib_to_image(dib, fmt):
    """A DIB (bytes or a MemoryBlock) converted to "jpg", "gif" or "bmp"."""
    return MemoryBlock(lib.DIBFormatCovert(_Borrowed(dib).pointer, _format(fmt)), "DIBFormatCovert")


def save_image(data, path):
    """Writes bytes or a MemoryBlock to the absolute `path`."""
    if lib.SaveMemFileToDisk(_Borrowed(data).pointer, _path(path)) != 1:
        raise errors.OperationFailed("SaveMemFileToDisk", 0, str(path))


def screen_picture(left, top, right, bottom, fmt="jpg", reduce=False):
    """The screen rectangle captured (X11) and encoded."""
    left, top, right, bottom = (_int32(n, v) for n, v in (("left", left), ("top", top), ("right", right),
                                                           ("bottom", bottom)))
    return MemoryBlock(lib.GetScreenPic(left, top, right, bottom, _format(fmt), 1 if reduce else 0), "GetScreenPic")


def _int32(name, value):
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError("%s must be an integer, not %s" % (name, type(value).__name__))
    if not -(2**31) <= value < 2**31:
        raise ValueError("%s must lie in the 32-bit range, not %d" % (name, value))
    return value


def read_file(path):
    """GetFileBuf: the whole file as bytes (the library's buffer is freed here)."""
    length = ctypes.c_uint32()
    pointer = lib.GetFileBuf(_path(path), ctypes.byref(length))
    if not pointer:
        raise errors.FileUnreadable("GetFileBuf", 19, str(path))
    try:
        return ctypes.string_at(pointer, length.value)
    finally:
        libc.free(pointer)


def _one(export, result, path):
    if result != 1:
        raise errors.OperationFailed(export, result, str(path))


def delete_tree(path):
    _one("DelTreeOrFile", lib.DelTreeOrFile(_path(path)), path)


def copy_tree(source, destination):
    _one("CopyTreeOrFile", lib.CopyTreeOrFile(_path(source), _path(destination)), source)


def move_tree(source, destination):
    _one("MoveTreeOrFile", lib.MoveTreeOrFile(_path(source), _path(destination)), source)


def create_folder(folder):
    lib.CreateFolder(_path(folder))
