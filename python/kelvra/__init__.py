"""Kelvra for Python: the LED control card library (libkelvra.so) through ctypes.

    import kelvra
    for card in kelvra.discover():
        print(card.id, card.address)
    card = kelvra.Card("S730-413-05862", "192.168.0.7")
    card.set_brightness(6)
    card.send_file("show.bmp", folder="Program\\\\Area0")

Failures raise exceptions derived from kelvra.KelvraError, named after the library's result codes
(CardUnreachable, NoAnswer, FileUnreadable, ...). Pictures come back as MemoryBlock context managers.
Every export is also reachable as declared in kelvra.lib (ctypes).
"""

from . import errors
from ._lib import lib
from .cards import (
    Card,
    CardInfo,
    FoundCard,
    IoState,
    Transport,
    card_info,
    connect_check,
    discover,
    reply_ok,
    set_message_handler,
    set_serial,
    set_status_callback,
    status_message_code,
)
from .errors import *  # noqa: F401,F403  (the exception classes and check)
from .imaging import (
    MemoryBlock,
    bmp_to_image,
    copy_tree,
    create_folder,
    delete_tree,
    dib_to_image,
    load_bmp_to_dib,
    move_tree,
    read_file,
    save_image,
    screen_picture,
)

__version__ = "1.0.0"

__all__ = [
    "lib",
    "Card",
    "CardInfo",
    "FoundCard",
    "IoState",
    "Transport",
    "card_info",
    "connect_check",
    "discover",
    "reply_ok",
    "set_message_handler",
    "set_serial",
    "set_status_callback",
    "status_message_code",
    "MemoryBlock",
    "bmp_to_image",
    "copy_tree",
    "create_folder",
    "delete_tree",
    "dib_to_image",
    "load_bmp_to_dib",
    "move_tree",
    "read_file",
    "save_image",
    "screen_picture",
    "__version__",
]
# The exception classes, SEND_RESULTS and check: errors.py keeps their one list.
__all__ += errors.__all__
