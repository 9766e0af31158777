# SPDX-License-Identifier: MIT
"""The exceptions of the tessel module, one class for each kind of failure the library reports."""

from __future__ import annotations

import os
from typing import Optional

# Why a library call failed (the library's TSL_ERROR_* codes).
ERROR_NONE = 0
ERROR_INVALID_ARGUMENT = 1
ERROR_NOT_OPEN = 2
ERROR_IO = 3
ERROR_NOT_JPEG = 4
ERROR_UNSUPPORTED = 5
ERROR_DAMAGED = 6
ERROR_TOO_LARGE = 7
ERROR_OUT_OF_MEMORY = 8
ERROR_REFUSED = 9
ERROR_STOPPED = 10
ERROR_UNDO_STORE = 11


class Error(Exception):
    """A tessel call failed.

    ``reason`` is the library's one-line reason, ``code`` the library's error code
    (``tessel.ERROR_*``) and ``filename`` the file concerned, or None.
    """

    def __init__(self, reason: str, *, code: int = ERROR_NONE,
                 filename: Optional[str] = None, errno: Optional[int] = None) -> None:
        super().__init__(reason)
        self.reason = reason
        self.code = code
        self.filename = filename
        self.errno = errno

    def __str__(self) -> str:
        if self.filename is None:
            return self.reason
        return f"{os.fsdecode(self.filename)}: {self.reason}"

    def __reduce__(self):
        # Errors cross process boundaries (Dask workers, multiprocessing) whole.
        return (_rebuild, (type(self), self.reason, self.code, self.filename, self.errno))


def _rebuild(cls: type, reason: str, code: int, filename: Optional[str],
             errno: Optional[int]) -> "Error":
    return cls(reason, code=code, filename=filename, errno=errno)


class InvalidArgumentError(Error, ValueError):
    """An argument is out of range or of the wrong kind."""


class NotOpenError(Error, ValueError):
    """The image is closed, or was opened with header_only=True and the call needs it in full."""


class ReadError(Error, OSError):
    """The file could not be read; ``errno`` says why (ENOENT, EACCES, EISDIR...)."""


class NotJpegError(Error):
    """The bytes are not a JPEG stream the library can read."""


class UnsupportedError(Error):
    """A JPEG stream, or a call, that this library does not handle."""


class DamagedError(Error):
    """The stream is damaged (truncated or corrupt data)."""


class TooLargeError(Error):
    """The image exceeds a limit: memory, scans or markers."""


class OutOfMemoryError(Error, MemoryError):
    """Memory ran out."""


class RefusedEditError(Error):
    """The edit does not apply to this image (or there is nothing to undo)."""


class SaveError(Error, OSError):
    """The image could not be saved; ``errno`` holds the file system's reason when it had one.

    The file named was left as it was.
    """


class StoppedError(Error):
    """A callback asked the library to stop."""


_BY_CODE = {
    ERROR_INVALID_ARGUMENT: InvalidArgumentError,
    ERROR_NOT_OPEN: NotOpenError,
    ERROR_IO: ReadError,
    ERROR_NOT_JPEG: NotJpegError,
    ERROR_UNSUPPORTED: UnsupportedError,
    ERROR_DAMAGED: DamagedError,
    ERROR_TOO_LARGE: TooLargeError,
    ERROR_OUT_OF_MEMORY: OutOfMemoryError,
    ERROR_REFUSED: RefusedEditError,
    ERROR_STOPPED: StoppedError,
}


def _from_library(code: int, reason: str, filename: Optional[str], errno: Optional[int],
                  operation: Optional[str]) -> Error:
    """The exception for a failure the extension module reports (called from C++)."""
    cls = SaveError if operation == "save" else _BY_CODE.get(code, Error)
    return cls(reason, code=code, filename=filename, errno=errno)
