# SPDX-License-Identifier: MIT
"""Opening from paths and bytes, the image's geometry and description, its lifecycle, and its
pixels against the tool's own rendering."""

import os
import pathlib

import numpy as np
import pytest

import tessel
from conftest import corpus_dir, make_jpeg, needs_tool, read_ppm, read_store, tool, waits_for


@needs_tool
@pytest.mark.parametrize("full_mcu", [False, True], ids=["image", "full-mcu"])
def test_render_equals_the_tools_rendering(kind_file, tmp_path, full_mcu):
    expected_path = tmp_path / "expected.ppm"
    tool("render", str(kind_file), "-o", str(expected_path), *(["--full-mcu"] if full_mcu else []))
    with tessel.open(kind_file) as image:
        pixels = image.render(full_mcu=full_mcu)
    assert pixels.dtype == np.uint8 and pixels.flags.c_contiguous
    np.testing.assert_array_equal(pixels, read_ppm(expected_path))


def test_open_from_bytes_equals_open_from_path(photo):
    data = photo.read_bytes()
    with tessel.open(photo) as from_path:
        for source in (data, bytearray(data), memoryview(data), np.frombuffer(data, np.uint8)):
            with tessel.open(source) as from_bytes:
                assert (from_bytes.width, from_bytes.height) == (227, 149)
                assert from_bytes.name is None
                np.testing.assert_array_equal(from_bytes.render(), from_path.render())
        assert from_path.name == str(photo)


def test_geometry_follows_the_edits(tmp_path):
    path = make_jpeg(tmp_path / "g.jpg", "53x35", "422")
    with tessel.open(path) as image:
        assert (image.width, image.height, image.mcu) == (53, 35, (16, 8))
        # A quarter turn clockwise takes the partial bottom rows to the left edge: they go.
        image.rotate(90)
        assert (image.width, image.height, image.mcu) == (32, 53, (8, 16))
        assert image.render().shape == (53, 32, 3)
        assert image.render(full_mcu=True).shape == (64, 32, 3)


@pytest.mark.parametrize("name", [
    pytest.param("été 写真.jpg", id="utf8"),
    pytest.param(os.fsdecode(b"caf\xe9.jpg"), id="not-utf8", marks=waits_for("file_names")),
])
def test_paths_may_be_pathlike_and_any_name(photo, tmp_path, name):
    odd = tmp_path / name
    odd.write_bytes(photo.read_bytes())
    with tessel.open(pathlib.Path(odd)) as image:
        assert image.name == str(odd)
        out = tmp_path / ("out-" + name)
        image.save(out)
    assert os.path.exists(os.fsencode(out))
    with tessel.open(out) as again:
        assert again.width == 227


def test_a_path_with_a_nul_is_refused(photo):
    with pytest.raises(ValueError, match="null"):
        tessel.open(str(photo) + "\0ignored")


def test_header_only_gives_size_and_metadata_but_no_pixels(photo):
    with tessel.open(photo, header_only=True) as image:
        assert (image.width, image.height) == (227, 149)
        assert image.orientation == 1
        assert not image.can_undo
        for call in (image.render, lambda: image.rotate(90), lambda: image.coefficients(),
                     lambda: image.save(str(photo) + ".out"), image.to_bytes):
            with pytest.raises(tessel.NotOpenError, match="header_only"):
                call()
    assert not os.path.exists(str(photo) + ".out")


def test_a_closed_image_refuses_every_call(photo):
    with tessel.open(photo) as image:
        assert not image.closed
    assert image.closed
    assert "closed" in repr(image)
    for call in (lambda: image.width, image.render, lambda: image.flip("h"), image.undo,
                 lambda: image.caption("%m"), lambda: image.save("x.jpg")):
        with pytest.raises(tessel.NotOpenError, match="closed"):
            call()
    image.close()  # closing twice is harmless


def test_repr_names_size_and_file(photo):
    with tessel.open(photo) as image:
        assert repr(image) == f"<tessel.Image 227x149 {str(photo)!r}>"


def test_version_is_the_projects():
    cmake = (pathlib.Path(__file__).resolve().parents[2] / "CMakeLists.txt").read_text()
    assert f"VERSION {tessel.__version__} " in cmake


def test_images_cannot_be_made_without_open():
    with pytest.raises(TypeError):
        tessel.Image()


def test_thread_option_gives_the_same_pixels(photo):
    with tessel.open(photo, threads=1) as single, tessel.open(photo, threads=0) as every:
        np.testing.assert_array_equal(single.render(), every.render())
    with pytest.raises(tessel.InvalidArgumentError):
        tessel.open(photo, threads=-1)


@needs_tool
def test_corpus_files_render_like_the_tool(tmp_path):
    corpus = corpus_dir()
    if corpus is None:
        pytest.skip("the shared corpus is absent")
    files = sorted((corpus / "cameras").glob("*.jpg"))[:6] + sorted((corpus / "libjpeg").glob(
        "test*.jpg"))
    assert files
    for path in files:
        expected = tmp_path / (path.stem + ".ppm")
        tool("render", str(path), "-o", str(expected))
        with tessel.open(path) as image:
            np.testing.assert_array_equal(image.render(), read_ppm(expected), err_msg=str(path))


@waits_for("image_info")
def test_description_matches_libjpegs_reading(kind_file, tmp_path):
    _, layout = read_store(kind_file, tmp_path)
    names = {1: "Grayscale", 2: "RGB", 3: "YCbCr", 4: "CMYK", 5: "YCCK"}
    with tessel.open(kind_file) as image:
        assert image.colour_space == names[layout["colour_space"]]
        assert image.progressive == layout["progressive"]
        assert image.arithmetic == layout["arithmetic"]
        assert image.components == [
            tessel.Component(c["h"], c["v"], c["blocks_wide"], c["blocks_high"],
                             tuple(c["quantization"])) for c in layout["components"]]


@needs_tool
@pytest.mark.parametrize("frame,decorations", [
    ("none", {}),
    ("grey", {"grey_frame": True}),
    ("white,grey,shadow", {"white_frame": True, "grey_frame": True, "shadow": True}),
])
@pytest.mark.parametrize("size", ["227x149", "40x90"])
def test_draw_thumbnail_equals_the_tools_box(tmp_path, frame, decorations, size):
    path = make_jpeg(tmp_path / "t.jpg", size, "420")
    sheet = tmp_path / "sheet.ppm"
    tool("thumbs", str(path), "-o", str(sheet), "--size", "100x80", "--columns", "1",
         "--frame", frame, "--background", "336699")
    box = tessel.draw_thumbnail(path, 100, 80, background=(0x33, 0x66, 0x99), **decorations)
    assert box.shape == (80, 100, 3)
    np.testing.assert_array_equal(box, read_ppm(sheet)[:80])  # the name is drawn below


def test_draw_thumbnail_refuses_with_a_reason(photo, tmp_path):
    with pytest.raises(tessel.InvalidArgumentError, match="too small|more than"):
        tessel.draw_thumbnail(photo, 9, 9, white_frame=True, grey_frame=True, shadow=True)
    with pytest.raises(tessel.InvalidArgumentError, match="0 to 255"):
        tessel.draw_thumbnail(photo, 64, 64, background=(0, 0, 256))
    with pytest.raises(tessel.ReadError, match="no such file"):
        tessel.draw_thumbnail(tmp_path / "absent.jpg", 64, 64)
