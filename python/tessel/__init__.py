# SPDX-License-Identifier: MIT
"""Lossless JPEG editing: open a JPEG, edit its DCT coefficients without a decode and re-encode
cycle, see its pixels and coefficients as numpy arrays, and save it.

    import tessel

    with tessel.open("photo.jpg") as image:
        image.rotate(90)
        image.crop(0, 0, 640, 480)
        pixels = image.render()          # H x W x 3 uint8, RGB
        image.save("photo-edited.jpg")

Failures raise tessel.Error or one of its subclasses, with the library's reason.
"""

from ._errors import (
    ERROR_DAMAGED,
    ERROR_INVALID_ARGUMENT,
    ERROR_IO,
    ERROR_NONE,
    ERROR_NOT_JPEG,
    ERROR_NOT_OPEN,
    ERROR_OUT_OF_MEMORY,
    ERROR_REFUSED,
    ERROR_STOPPED,
    ERROR_TOO_LARGE,
    ERROR_UNDO_STORE,
    ERROR_UNSUPPORTED,
    DamagedError,
    Error,
    InvalidArgumentError,
    NotJpegError,
    NotOpenError,
    OutOfMemoryError,
    ReadError,
    RefusedEditError,
    SaveError,
    StoppedError,
    TooLargeError,
    UnsupportedError,
)
from ._types import LOCALES, ApplyStatistics, Component, Damage
from ._tessel import Image, __version__, draw_thumbnail, open
from ._autorotate import autorotate

__all__ = [
    "ERROR_DAMAGED",
    "ERROR_INVALID_ARGUMENT",
    "ERROR_IO",
    "ERROR_NONE",
    "ERROR_NOT_JPEG",
    "ERROR_NOT_OPEN",
    "ERROR_OUT_OF_MEMORY",
    "ERROR_REFUSED",
    "ERROR_STOPPED",
    "ERROR_TOO_LARGE",
    "ERROR_UNDO_STORE",
    "ERROR_UNSUPPORTED",
    "ApplyStatistics",
    "Component",
    "Damage",
    "DamagedError",
    "Error",
    "Image",
    "InvalidArgumentError",
    "LOCALES",
    "NotJpegError",
    "NotOpenError",
    "OutOfMemoryError",
    "ReadError",
    "RefusedEditError",
    "SaveError",
    "StoppedError",
    "TooLargeError",
    "UnsupportedError",
    "__version__",
    "autorotate",
    "draw_thumbnail",
    "open",
]
