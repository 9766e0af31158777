# SPDX-License-Identifier: MIT
"""Metadata: captions against `tessel info --format`, locale names, the orientation, the Exif
thumbnail size, and exif against `tessel info --json`."""

import json
import shutil
import subprocess

import pytest

import tessel
from conftest import corpus_dir, make_jpeg, needs_tool, tool, waits_for, with_orientation

TEMPLATE = "%M|%m|%d %t|%e|%f|%i|%l|%L|%u|%c|%GLt %GLg %GAl|%w|%C|%%"

# (keyword arguments of caption, the tool's options for the same)
CAPTIONS = [
    ({}, ["--locale", "0x0809"]),
    ({"locale": "de-DE", "date_format": "dddd d MMMM yyyy", "time_format": "HH:mm"},
     ["--locale", "0x0407", "--date", "dddd d MMMM yyyy", "--time", "HH:mm"]),
    ({"locale": 0x040C, "subseconds": True, "file_date": True},
     ["--locale", "0x040C", "--subsec", "--file-date"]),
]


def photos_with_exif():
    corpus = corpus_dir()
    if corpus is None:
        pytest.skip("the shared corpus is absent")
    files = sorted((corpus / "cameras").glob("*.jpg"))[:8] + sorted((corpus / "gps").glob(
        "*.jpg"))[:3]
    assert files
    return files


@needs_tool
@pytest.mark.parametrize("kwargs,options", CAPTIONS, ids=["en-GB", "de-DE", "fr-FR-subsec"])
def test_captions_equal_the_tools(tmp_path, kwargs, options):
    files = photos_with_exif() + [make_jpeg(tmp_path / "plain.jpg", "32x32", "420")]
    for path in files:
        expected = tool("info", "--format", TEMPLATE, *options, str(path)).stdout
        with tessel.open(path, header_only=True) as image:
            assert image.caption(TEMPLATE, **kwargs) + "\n" == expected, path


def test_locale_names_and_numbers():
    path = photos_with_exif()[0]
    with tessel.open(path, header_only=True) as image:
        british = image.caption("%d", "en-GB", date_format="d MMMM yyyy")
        assert image.caption("%d", "en_gb", date_format="d MMMM yyyy") == british
        assert image.caption("%d", 0x0809, date_format="d MMMM yyyy") == british
        for bad in ("xx-YY", -1):
            with pytest.raises(tessel.InvalidArgumentError):
                image.caption("%d", bad)
        with pytest.raises(tessel.InvalidArgumentError, match="null"):
            image.caption("%m\0%M")


def test_orientation_is_saved_and_refused_without_an_entry(photo, tmp_path):
    tagged = tmp_path / "tagged.jpg"
    tagged.write_bytes(with_orientation(photo.read_bytes(), 1))
    with tessel.open(tagged) as image:
        image.orientation = 6
        assert image.orientation == 6
        image.save(tmp_path / "six.jpg")
        with pytest.raises(tessel.InvalidArgumentError, match="1 to 8"):
            image.orientation = 9
    with tessel.open(tmp_path / "six.jpg", header_only=True) as saved:
        assert saved.orientation == 6
    with tessel.open(photo) as untagged:
        with pytest.raises(tessel.RefusedEditError, match="no Exif orientation"):
            untagged.orientation = 6
        assert untagged.orientation == 1


@pytest.mark.skipif(not shutil.which("exiftool"), reason="exiftool is not installed")
def test_exif_thumbnail_size_is_the_embedded_thumbnails():
    seen_one = False
    for path in photos_with_exif():
        # exiftool extracts the thumbnail's own JPEG stream; its header has the size.
        thumbnail = subprocess.run(["exiftool", "-b", "-ThumbnailImage", str(path)],
                                   capture_output=True, check=True).stdout
        with tessel.open(path, header_only=True) as image:
            size = image.exif_thumbnail_size
        if thumbnail:
            seen_one = True
            with tessel.open(thumbnail, header_only=True) as embedded:
                assert size == (embedded.width, embedded.height), path
        else:
            assert size is None, path
    assert seen_one


@needs_tool
@waits_for("info_json")
def test_exif_equals_the_tools_json(tmp_path):
    for path in photos_with_exif() + [make_jpeg(tmp_path / "plain.jpg", "32x32", "420")]:
        expected = json.loads(tool("info", "--json", str(path)).stdout)
        if isinstance(expected, list):
            expected = expected[0]
        with tessel.open(path) as image:
            assert image.exif == expected, path
