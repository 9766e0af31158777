# SPDX-License-Identifier: MIT
"""Fixtures of the Python module's tests: generated JPEG files, the tessel tool as the oracle of
every edit, Exif segments with an orientation, and markers for what waits on the library."""

from __future__ import annotations

import os
import pathlib
import struct
import subprocess
import zlib
from typing import List, Optional, Sequence

import numpy as np
import pytest

TOOL = os.environ.get("TESSEL_CLI")
MAKE_FIXTURE = os.environ.get("TESSEL_MAKE_FIXTURE")
STORE_ORACLE = os.environ.get("TESSEL_STORE_ORACLE")
SOURCE_DIR = pathlib.Path(os.environ.get("TESSEL_SOURCE_DIR",
                                         pathlib.Path(__file__).resolve().parents[2]))
SANITIZED = os.environ.get("TESSEL_SANITIZED") == "1"

# Calls whose library side is not there yet. Each test that needs one is skipped with the
# reason; TESSEL_RUN_WAITING=1 runs them anyway, to see which work once the library has them.
WAITING = {
    "image_info": "waits for ITesselEx::GetImageInfo (colour space, components, block counts)",
    "info_json": "waits for ITesselEx::GetInfoJson (the info JSON that exif mirrors)",
    "transpose": "waits for ITesselEx::Transpose and Transverse",
    "damage": "waits for ITesselEx::GetDamage (the damage report)",
    "reasons": "waits for the library's failure codes and reasons (ITesselEx::GetLastError)",
    "save_to_function": "waits for ITesselEx::SaveToFunction (to_bytes with options)",
    "limits": "waits for the memory limit (TSL_OPTION_MAX_MEMORY) to be enforced",
    "file_names": "waits for the library's file names that are not UTF-8 (bytes carried as "
                  "lone surrogates U+DC80..U+DCFF)",
}


def waits_for(what: str):
    """Skips a test until the library call it needs exists."""
    return pytest.mark.skipif(os.environ.get("TESSEL_RUN_WAITING") != "1", reason=WAITING[what])


needs_tool = pytest.mark.skipif(not TOOL, reason="the tessel tool was not built (TESSEL_CLI)")


def corpus_dir() -> Optional[pathlib.Path]:
    """The shared corpus of real files, or None outside this workplace."""
    env = os.environ.get("TESSEL_CORPUS")
    candidates = [pathlib.Path(env)] if env else []
    candidates.append(SOURCE_DIR.parent / "shared" / "corpus")
    return next((c for c in candidates if c.is_dir()), None)


def make_jpeg(path: pathlib.Path, *args: str) -> pathlib.Path:
    """Writes a generated JPEG: make_fixture OUT [WxH] [SAMPLING] [SPACE] [progressive]..."""
    if not MAKE_FIXTURE:
        pytest.skip("make_fixture was not built (TESSEL_MAKE_FIXTURE)")
    subprocess.run([MAKE_FIXTURE, str(path), *args], check=True)
    return path


def tool(*args: str, check: bool = True) -> subprocess.CompletedProcess:
    """Runs the tessel tool; its output is text."""
    if not TOOL:
        pytest.skip("the tessel tool was not built (TESSEL_CLI)")
    result = subprocess.run([TOOL, *args], capture_output=True, text=True)
    if check and result.returncode != 0:
        raise AssertionError(f"tessel {' '.join(args)} failed: {result.stderr}")
    return result


def read_ppm(path: pathlib.Path) -> np.ndarray:
    """A binary PPM (P6, maxval 255) as an H x W x 3 array."""
    data = path.read_bytes()
    fields: List[bytes] = []
    position = 0
    while len(fields) < 4:
        while data[position:position + 1].isspace():
            position += 1
        if data[position:position + 1] == b"#":
            position = data.index(b"\n", position) + 1
            continue
        end = position
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[position:end])
        position = end
    magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
    assert magic == b"P6" and maxval == 255
    pixels = np.frombuffer(data, dtype=np.uint8, count=width * height * 3, offset=position + 1)
    return pixels.reshape(height, width, 3)


def write_png(path: pathlib.Path, rgb: np.ndarray) -> None:
    """An 8-bit RGB PNG of an H x W x 3 array (what `tessel apply` reads)."""
    height, width, _ = rgb.shape
    raw = b"".join(b"\x00" + rgb[y].tobytes() for y in range(height))

    def chunk(kind: bytes, body: bytes) -> bytes:
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                     chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def exif_segment(orientation: int, big_endian: bool = False) -> bytes:
    """An APP1 Exif segment whose IFD0 holds only the orientation."""
    order = ">" if big_endian else "<"
    tiff = (b"MM" if big_endian else b"II") + struct.pack(order + "HI", 42, 8)
    tiff += struct.pack(order + "H", 1)  # one entry
    tiff += struct.pack(order + "HHIHH", 0x0112, 3, 1, orientation, 0)
    tiff += struct.pack(order + "I", 0)  # no next IFD
    body = b"Exif\x00\x00" + tiff
    return b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body


def with_orientation(jpeg: bytes, orientation: int) -> bytes:
    """The stream with an Exif orientation segment right after its start-of-image marker."""
    assert jpeg[:2] == b"\xff\xd8"
    return jpeg[:2] + exif_segment(orientation) + jpeg[2:]


def read_store(jpeg: pathlib.Path, tmp: pathlib.Path):
    """The store a correct open produces and its layout, from libjpeg (store_oracle)."""
    if not STORE_ORACLE:
        pytest.skip("store_oracle was not built (TESSEL_STORE_ORACLE)")
    out = tmp / (jpeg.name + ".store")
    result = subprocess.run([STORE_ORACLE, str(jpeg), str(out)], capture_output=True, text=True,
                            check=True)
    import json

    return np.fromfile(out, dtype="<i2"), json.loads(result.stdout)


# The generated kinds the tests run over: each sampling, colour spaces, coding modes, sizes that
# are and are not whole MCUs.
KINDS: Sequence[Sequence[str]] = (
    ("64x48", "420"),
    ("53x35", "420"),
    ("40x24", "444"),
    ("37x21", "422"),
    ("33x29", "440"),
    ("45x17", "411"),
    ("31x23", "gray"),
    ("35x19", "rgb"),
    ("27x25", "cmyk"),
    ("29x18", "ycck"),
    ("50x30", "420", "progressive"),
    ("43x27", "420", "arithmetic"),
    ("48x40", "422", "restart"),
)


def kind_id(kind: Sequence[str]) -> str:
    return "-".join(kind)


@pytest.fixture(params=KINDS, ids=kind_id)
def kind_file(request, tmp_path) -> pathlib.Path:
    """One generated JPEG file of each kind."""
    return make_jpeg(tmp_path / (kind_id(request.param) + ".jpg"), *request.param)


@pytest.fixture
def photo(tmp_path) -> pathlib.Path:
    """A 4:2:0 colour JPEG that is not a whole number of MCUs."""
    return make_jpeg(tmp_path / "photo.jpg", "227x149", "420")
