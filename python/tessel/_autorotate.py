# SPDX-License-Identifier: MIT
"""tessel.autorotate: turn a JPEG file upright after its Exif orientation, losslessly."""

from __future__ import annotations

import os
import shutil
from typing import Any, Optional, Union

from . import _tessel

PathLike = Union[str, "os.PathLike[str]"]


def autorotate(path: PathLike, output: Optional[PathLike] = None, *,
               keep_partial: bool = False, **save_options: Any) -> bool:
    """Applies the file's Exif orientation to its pixels and sets the orientation to 1.

    The file is saved in place, or to ``output``; ``save_options`` are those of Image.save.
    Returns False when the file is upright already (orientation 1 or none): in place it is left
    byte for byte as it was, and ``output`` receives an exact copy. Edges that end inside an MCU
    are dropped from the side that turns to the left or top, unless ``keep_partial``.
    """
    # The header is enough to find most photos upright, without reading their data.
    with _tessel.open(path, header_only=True) as header:
        upright = header.orientation not in range(2, 9)
    if not upright:
        with _tessel.open(path, undo=False) as image:
            if image.autorotate(keep_partial):
                image.save(path if output is None else output, **save_options)
                return True
    if output is not None:
        try:
            shutil.copyfile(path, output)
        except shutil.SameFileError:
            pass
    return False
