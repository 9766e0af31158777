# SPDX-License-Identifier: MIT
"""One exception class for each kind of failure, with the reason and the file, never a silent
False; and exceptions that survive pickling (Dask sends them between processes)."""

import errno
import mmap
import os
import pickle
import struct

import numpy as np
import pytest

import tessel
from conftest import corpus_dir, make_jpeg, waits_for


def test_every_error_is_a_tessel_error():
    for cls in (tessel.InvalidArgumentError, tessel.NotOpenError, tessel.ReadError,
                tessel.NotJpegError, tessel.UnsupportedError, tessel.DamagedError,
                tessel.TooLargeError, tessel.OutOfMemoryError, tessel.RefusedEditError,
                tessel.SaveError, tessel.StoppedError):
        assert issubclass(cls, tessel.Error)
    assert issubclass(tessel.InvalidArgumentError, ValueError)
    assert issubclass(tessel.ReadError, OSError) and issubclass(tessel.SaveError, OSError)
    assert issubclass(tessel.OutOfMemoryError, MemoryError)


@pytest.mark.parametrize("make,reason,err", [
    (lambda d: d / "absent.jpg", "no such file", errno.ENOENT),
    (lambda d: d, "is a directory", errno.EISDIR),
])
def test_files_that_cannot_be_read(tmp_path, make, reason, err):
    path = make(tmp_path)
    with pytest.raises(tessel.ReadError) as caught:
        tessel.open(path)
    assert caught.value.reason == reason and caught.value.errno == err
    assert caught.value.filename == str(path)
    assert str(caught.value) == f"{path}: {reason}"


@pytest.mark.skipif(os.geteuid() == 0, reason="root reads every file")
def test_a_file_without_read_permission(photo):
    photo.chmod(0)
    with pytest.raises(tessel.ReadError, match="permission denied"):
        tessel.open(photo)


@pytest.mark.parametrize("data", [b"", b"GIF89a" + bytes(100), b"\xff\xd8\xff\xe0 broken"],
                         ids=["empty", "gif", "cut-header"])
def test_streams_that_are_not_jpeg(tmp_path, data):
    with pytest.raises(tessel.NotJpegError):
        tessel.open(data)
    path = tmp_path / "not.jpg"
    path.write_bytes(data)
    with pytest.raises(tessel.NotJpegError) as caught:
        tessel.open(path)
    assert caught.value.filename == str(path)
    with pytest.raises(tessel.NotJpegError):
        tessel.draw_thumbnail(path, 64, 64)


def test_a_refused_edit(tmp_path):
    with tessel.open(make_jpeg(tmp_path / "g.jpg", "16x16", "gray")) as image:
        with pytest.raises(tessel.RefusedEditError, match="already grayscale") as caught:
            image.grayscale()
        assert caught.value.code == tessel.ERROR_REFUSED


def test_errors_survive_pickling(tmp_path):
    with pytest.raises(tessel.ReadError) as caught:
        tessel.open(tmp_path / "absent.jpg")
    copy = pickle.loads(pickle.dumps(caught.value))
    assert type(copy) is tessel.ReadError
    assert (copy.reason, copy.code, copy.filename, copy.errno, str(copy)) == (
        caught.value.reason, caught.value.code, caught.value.filename, caught.value.errno,
        str(caught.value))


def test_bytes_beyond_what_the_library_can_count_are_too_large(tmp_path):
    # A sparse file mapped into memory: 2 GiB of address space, no memory, nothing read.
    path = tmp_path / "sparse"
    with open(path, "wb") as f:
        f.truncate(2**31 + 1)
    with open(path, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as mapped:
        with pytest.raises(tessel.TooLargeError, match="2147483649 bytes"):
            tessel.open(mapped)


def test_strided_buffers_are_refused():
    every_other = np.frombuffer(bytes(64), np.uint8)[::2]
    with pytest.raises(tessel.InvalidArgumentError, match="contiguous"):
        tessel.open(every_other)


@waits_for("reasons")
def test_a_12_bit_stream_is_unsupported():
    corpus = corpus_dir()
    if corpus is None:
        pytest.skip("the shared corpus is absent")
    with pytest.raises(tessel.UnsupportedError):
        tessel.open(corpus / "libjpeg" / "monkey12.jpg")


@waits_for("damage")
def test_a_truncated_stream_is_damaged(tmp_path):
    path = make_jpeg(tmp_path / "whole.jpg", "256x256", "420")
    cut = tmp_path / "cut.jpg"
    cut.write_bytes(path.read_bytes()[:path.stat().st_size // 3])
    with pytest.raises(tessel.DamagedError, match="ends after") as caught:
        tessel.open(cut)
    assert caught.value.filename == str(cut)
    with tessel.open(cut, allow_damaged=True) as image:
        damage = image.damage
        assert damage.truncated and 0 < damage.permille < 1000
    with tessel.open(path) as whole:
        assert whole.damage is None


@waits_for("limits")
def test_an_image_over_the_memory_limit_is_too_large(tmp_path):
    # A header declaring 30000 x 30000 gray needs 1.8 GB of store; the limit is 16 MB.
    path = make_jpeg(tmp_path / "small.jpg", "16x16", "gray")
    data = bytearray(path.read_bytes())
    sof = data.index(b"\xff\xc0")
    data[sof + 5:sof + 9] = struct.pack(">HH", 30000, 30000)
    with pytest.raises(tessel.TooLargeError):
        tessel.open(bytes(data), max_memory=16 << 20)
