# SPDX-License-Identifier: MIT
"""Saving: every option against the tool's flags, to_bytes against save, re-encoding, and
failures that leave the target as it was."""

import errno
import os

import pytest

import tessel
from conftest import corpus_dir, needs_tool, tool, waits_for

# (keyword arguments of save, the tool's flags for the same)
OPTIONS = [
    ({}, []),
    ({"keep_metadata": False}, ["--strip-metadata"]),
    ({"keep_comments": False}, ["--strip-comments"]),
    ({"thumbnail": "strip"}, ["--strip-thumbnail"]),
    ({"thumbnail": "new", "thumbnail_size": 64}, ["--new-thumbnail=64"]),
    ({"quality": 60}, None),  # re-encoding: `tessel reencode`
    ({"quality": 85, "subsample": False}, None),
]


def option_id(kwargs):
    return ",".join(f"{k}={v}" for k, v in kwargs.items()) or "defaults"


def camera_file():
    """A real photo with Exif data and a thumbnail, else None."""
    corpus = corpus_dir()
    files = sorted((corpus / "cameras").glob("*.jpg")) if corpus else []
    return files[0] if files else None


@needs_tool
@pytest.mark.parametrize("kwargs,flags", OPTIONS, ids=[option_id(o[0]) for o in OPTIONS])
def test_save_options_equal_the_tools_flags(photo, tmp_path, kwargs, flags):
    sources = [photo] + ([camera_file()] if camera_file() else [])
    for source in sources:
        expected = tmp_path / "tool.jpg"
        if flags is None:
            tool("reencode", str(source), "--quality", str(kwargs["quality"]), "-o", str(expected),
                 *([] if kwargs.get("subsample", True) else ["--no-subsample"]))
        else:
            tool("rotate", "right", *flags, "-o", str(expected), str(source))
        ours = tmp_path / "ours.jpg"
        with tessel.open(source) as image:
            if flags is not None:
                image.rotate(90)
            image.save(ours, **kwargs)
        assert ours.read_bytes() == expected.read_bytes(), source


def test_to_bytes_equals_the_saved_file(photo, tmp_path):
    with tessel.open(photo) as image:
        image.rotate(270)
        image.save(tmp_path / "saved.jpg")
        data = image.to_bytes()
    assert data == (tmp_path / "saved.jpg").read_bytes()
    with tessel.open(data) as again:
        assert (again.width, again.height) == (149, 224)


@waits_for("save_to_function")
@pytest.mark.parametrize("kwargs", [o[0] for o in OPTIONS if o[0]], ids=option_id)
def test_to_bytes_with_options_equals_save(photo, tmp_path, kwargs):
    sources = [photo] + ([camera_file()] if camera_file() else [])
    for source in sources:
        with tessel.open(source) as image:
            image.save(tmp_path / "saved.jpg", **kwargs)
            assert image.to_bytes(**kwargs) == (tmp_path / "saved.jpg").read_bytes()


def test_keep_times_gives_the_new_file_the_old_times(photo, tmp_path):
    os.utime(photo, ns=(1_000_000_000_000_000_000, 1_200_000_000_123_456_789))
    with tessel.open(photo) as image:
        image.save(tmp_path / "kept.jpg", keep_times=True)
        image.save(tmp_path / "new.jpg")
    assert (tmp_path / "kept.jpg").stat().st_mtime_ns == 1_200_000_000_123_456_789
    assert (tmp_path / "new.jpg").stat().st_mtime_ns != 1_200_000_000_123_456_789


def test_a_failed_save_raises_and_leaves_the_target_alone(photo, tmp_path):
    with tessel.open(photo) as image:
        with pytest.raises(tessel.SaveError, match="no such directory") as missing:
            image.save(tmp_path / "missing" / "out.jpg")
        assert missing.value.errno == errno.ENOENT
        assert isinstance(missing.value, OSError)
        assert missing.value.filename == str(tmp_path / "missing" / "out.jpg")
        target = tmp_path / "dir-in-the-way"
        target.mkdir()
        with pytest.raises(tessel.SaveError):
            image.save(target)
        assert target.is_dir() and not any(target.iterdir())
    assert sorted(p.name for p in tmp_path.iterdir()) == ["dir-in-the-way", "photo.jpg"]


@pytest.mark.parametrize("kwargs,message", [
    ({"thumbnail": "maybe"}, "'keep', 'strip' or 'new'"),
    ({"thumbnail": "new", "thumbnail_size": 16}, "32 to 256"),
    ({"quality": 101}, "0 to 100"),
])
def test_bad_save_options_are_refused_before_writing(photo, tmp_path, kwargs, message):
    with tessel.open(photo) as image:
        with pytest.raises(tessel.InvalidArgumentError, match=message):
            image.save(tmp_path / "out.jpg", **kwargs)
        with pytest.raises(tessel.InvalidArgumentError, match=message):
            image.to_bytes(**kwargs)
    assert not (tmp_path / "out.jpg").exists()
