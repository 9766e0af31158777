# SPDX-License-Identifier: MIT
"""Every edit against the file the tool writes for it, undo back to the original bytes, the
reconstruction filter's progress and stops, apply, and auto-rotation."""

import numpy as np
import pytest

import tessel
from conftest import (make_jpeg, needs_tool, read_ppm, tool, waits_for, with_orientation,
                      write_png)

# (name, what the module does, what the tool is told)
EDITS = [
    ("rotate-90", lambda im: im.rotate(90), ["rotate", "right"]),
    ("rotate-180", lambda im: im.rotate(180), ["rotate", "180"]),
    ("rotate-270", lambda im: im.rotate(270), ["rotate", "left"]),
    ("rotate-minus-90", lambda im: im.rotate(-90), ["rotate", "left"]),
    ("rotate-90-keep", lambda im: im.rotate(90, keep_partial=True),
     ["rotate", "right", "--keep-partial"]),
    ("flip-h", lambda im: im.flip("h"), ["flip", "h"]),
    ("flip-v", lambda im: im.flip("vertical"), ["flip", "v"]),
    ("flip-h-keep", lambda im: im.flip("h", keep_partial=True), ["flip", "h", "--keep-partial"]),
    ("crop", lambda im: im.crop(10, 20, 200, 140), ["crop", "10,20,200,140"]),
    ("grayscale", lambda im: im.grayscale(), ["grayscale"]),
    ("levels", lambda im: im.levels(20, -10, 5), ["levels", "20,-10,5"]),
]


@needs_tool
@pytest.mark.parametrize("name,edit,command", EDITS, ids=[e[0] for e in EDITS])
def test_each_edit_equals_the_tools_result(photo, tmp_path, name, edit, command):
    expected = tmp_path / "tool.jpg"
    tool(*command, "-o", str(expected), str(photo))
    ours = tmp_path / "ours.jpg"
    with tessel.open(photo) as image:
        edit(image)
        image.save(ours)
        assert image.to_bytes() == ours.read_bytes()
    assert ours.read_bytes() == expected.read_bytes()


@pytest.mark.parametrize("name,edit,command", EDITS, ids=[e[0] for e in EDITS])
def test_undo_restores_the_original_bytes(photo, name, edit, command):
    with tessel.open(photo) as image:
        original = image.to_bytes()
        assert not image.can_undo
        edit(image)
        assert image.can_undo
        assert image.to_bytes() != original
        image.undo()
        assert not image.can_undo
        assert image.to_bytes() == original


def test_crop_extends_with_gray_only_when_asked(photo):
    with tessel.open(photo) as image:
        before = image.render()
        image.crop(0, 0, 300, 200, extend=True)
        assert (image.width, image.height) == (300, 200)
        after = image.render()
        np.testing.assert_array_equal(after[:149, :227], before)
        # Blocks of zeros decode to mid-gray, past the old image rounded up to whole MCUs.
        assert (after[:, 240:] == 128).all() and (after[160:, :] == 128).all()


def test_undo_goes_back_step_by_step(photo):
    with tessel.open(photo) as image:
        states = [image.to_bytes()]
        for edit in (lambda: image.rotate(180), lambda: image.crop(16, 16, 150, 100),
                     lambda: image.levels(10), lambda: image.flip("v")):
            edit()
            states.append(image.to_bytes())
        while image.can_undo:
            states.pop()
            image.undo()
            assert image.to_bytes() == states[-1]
        with pytest.raises(tessel.RefusedEditError, match="nothing to undo"):
            image.undo()


def test_without_undo_edits_work_and_undo_refuses(photo):
    with tessel.open(photo, undo=False) as image, tessel.open(photo) as reference:
        image.rotate(90)
        reference.rotate(90)
        assert image.to_bytes() == reference.to_bytes()
        assert not image.can_undo
        with pytest.raises(tessel.RefusedEditError, match="undo=False"):
            image.undo()


@pytest.mark.parametrize("call,error,message", [
    (lambda im: im.rotate(45), tessel.InvalidArgumentError, "quarter turns"),
    (lambda im: im.flip("x"), tessel.InvalidArgumentError, "'h' or 'v'"),
    (lambda im: im.crop(-1, 0, 10, 10), tessel.InvalidArgumentError, "outside"),
    (lambda im: im.crop(10, 10, 10, 20), tessel.InvalidArgumentError, "empty"),
    (lambda im: im.crop(50, 10, 20, 20), tessel.InvalidArgumentError, "empty"),
    (lambda im: im.crop(0, 0, 228, 100), tessel.InvalidArgumentError, "227x149"),
    (lambda im: im.levels(101), tessel.InvalidArgumentError, "-100 to 100"),
    (lambda im: im.reconstruct(-1), tessel.InvalidArgumentError, "passes"),
])
def test_bad_arguments_are_refused_and_change_nothing(photo, call, error, message):
    with tessel.open(photo) as image:
        before = image.to_bytes()
        with pytest.raises(error, match=message):
            call(image)
        assert image.to_bytes() == before
        assert not image.can_undo


def test_refused_edits_say_why_and_change_nothing(tmp_path):
    gray = make_jpeg(tmp_path / "gray.jpg", "40x24", "gray")
    cmyk = make_jpeg(tmp_path / "cmyk.jpg", "40x24", "cmyk")
    small = make_jpeg(tmp_path / "small.jpg", "12x12", "420")
    cases = [
        (gray, lambda im: im.grayscale(), "already grayscale"),
        (cmyk, lambda im: im.levels(10), "grayscale and YCbCr"),
        (small, lambda im: im.rotate(90), "smaller than one MCU"),
        (small, lambda im: im.flip("h"), "keep_partial"),
    ]
    for path, edit, message in cases:
        with tessel.open(path) as image:
            before = image.to_bytes()
            with pytest.raises(tessel.RefusedEditError, match=message):
                edit(image)
            assert image.to_bytes() == before and not image.can_undo


@needs_tool
def test_reconstruct_renders_like_the_tool(photo, tmp_path):
    expected = tmp_path / "tool.ppm"
    tool("reconstruct", str(photo), "--passes", "2", "-o", str(expected))
    with tessel.open(photo) as image:
        seen = []
        assert image.reconstruct(2, progress=seen.append) is True
        np.testing.assert_array_equal(image.render(), read_ppm(expected))
    # Each pass reports rising percentages that end at 100.
    end = seen.index(100) + 1
    for one_pass in (seen[:end], seen[end:]):
        assert one_pass == sorted(one_pass) and one_pass[-1] == 100


def test_reconstruct_stops_when_progress_returns_false(photo):
    with tessel.open(photo) as image, tessel.open(photo) as full:
        original = image.render()
        calls = []
        assert image.reconstruct(3, progress=lambda p: calls.append(p) or len(calls) < 4) is False
        assert len(calls) == 4
        full.reconstruct(3)
        partial = image.render()
        assert not np.array_equal(partial, original)
        assert not np.array_equal(partial, full.render())
        image.undo()
        np.testing.assert_array_equal(image.render(), original)


def test_an_exception_in_progress_stops_and_takes_the_edit_back(photo):
    class Stop(Exception):
        pass

    def progress(percent):
        if percent > 30:
            raise Stop()

    with tessel.open(photo) as image:
        before = image.to_bytes()
        with pytest.raises(Stop):
            image.reconstruct(2, progress=progress)
        assert image.to_bytes() == before
        assert not image.can_undo


def test_a_progress_function_cannot_use_its_own_image(photo, tmp_path):
    other = make_jpeg(tmp_path / "other.jpg", "40x40", "420")
    with tessel.open(photo) as image, tessel.open(other) as second:
        widths = []

        def progress(percent):
            widths.append(second.width)  # another image is fine
            image.width  # this one is busy

        before = image.to_bytes()
        with pytest.raises(RuntimeError, match="busy"):
            image.reconstruct(1, progress=progress)
        assert widths == [40]
        assert image.to_bytes() == before
        with pytest.raises(TypeError):
            image.reconstruct(1, progress=42)


@needs_tool
@pytest.mark.parametrize("force", [False, True], ids=["changed", "force"])
def test_apply_equals_the_tools_result(photo, tmp_path, force):
    with tessel.open(photo) as image:
        original = image.to_bytes()
        pixels = image.render().copy()
        pixels[40:60, 100:130] = (250, 20, 20)  # a red patch
        edited = tmp_path / "edited.png"
        write_png(edited, pixels)
        expected = tmp_path / "tool.jpg"
        printed = tool("apply", str(photo), str(edited), "-o", str(expected),
                       *(["--force"] if force else [])).stdout
        stats = image.apply(pixels, force=force)
        assert isinstance(stats, tessel.ApplyStatistics)
        assert f"{stats.changed_mcus}" in printed and f"{stats.changed_blocks}" in printed
        assert stats.mcus == 15 * 10 and 0 < stats.changed_mcus <= stats.mcus
        assert (stats.changed_mcus == stats.mcus) == force
        assert image.to_bytes() == expected.read_bytes()
        image.undo()
        assert image.to_bytes() == original


def test_apply_takes_strided_arrays_and_refuses_wrong_ones(photo):
    with tessel.open(photo) as image:
        pixels = image.render()
        flipped_twice = pixels[::-1][::-1]  # a view with a negative stride underneath
        stats = image.apply(np.asfortranarray(flipped_twice))
        assert stats.changed_blocks == 0
        for bad in (pixels[:-1], pixels.astype(np.float32), pixels[:, :, :2]):
            with pytest.raises(tessel.InvalidArgumentError):
                image.apply(bad)


# Orientation -> how the tool turns the image upright.
UPRIGHT = {
    2: ["flip", "h"],
    3: ["rotate", "180"],
    4: ["flip", "v"],
    6: ["rotate", "right"],
    8: ["rotate", "left"],
}


@needs_tool
@pytest.mark.parametrize("orientation", sorted(UPRIGHT))
def test_autorotate_equals_the_tools_turn(photo, tmp_path, orientation):
    source = tmp_path / f"o{orientation}.jpg"
    source.write_bytes(with_orientation(photo.read_bytes(), orientation))
    expected = tmp_path / "tool.jpg"
    tool(*UPRIGHT[orientation], "-o", str(expected), str(source))
    assert tessel.autorotate(source, tmp_path / "ours.jpg") is True
    assert (tmp_path / "ours.jpg").read_bytes() == expected.read_bytes()
    with tessel.open(tmp_path / "ours.jpg") as result:
        assert result.orientation == 1
    with tessel.open(source) as image:  # as an edit: one step of undo
        before = image.to_bytes()
        assert image.autorotate() is True and image.orientation == 1
        image.undo()
        assert image.to_bytes() == before and image.orientation == orientation


def test_autorotate_leaves_upright_files_alone(photo, tmp_path):
    for orientation in (None, 1):
        source = tmp_path / f"upright{orientation}.jpg"
        data = photo.read_bytes() if orientation is None else with_orientation(
            photo.read_bytes(), orientation)
        source.write_bytes(data)
        mtime = source.stat().st_mtime_ns
        assert tessel.autorotate(source) is False
        assert source.read_bytes() == data and source.stat().st_mtime_ns == mtime
        assert tessel.autorotate(source, tmp_path / "copy.jpg") is False
        assert (tmp_path / "copy.jpg").read_bytes() == data


def test_autorotate_in_place(photo, tmp_path):
    source = tmp_path / "in-place.jpg"
    source.write_bytes(with_orientation(photo.read_bytes(), 6))
    assert tessel.autorotate(source) is True
    with tessel.open(source) as image:
        assert (image.width, image.height, image.orientation) == (144, 227, 1)


@waits_for("transpose")
@pytest.mark.parametrize("name,edit,inverse", [
    ("transpose", lambda im: im.transpose(), lambda im: im.transpose()),
    ("transverse", lambda im: im.transverse(keep_partial=True),
     lambda im: im.transverse(keep_partial=True)),
])
def test_diagonal_mirrors_are_their_own_inverse(tmp_path, name, edit, inverse):
    path = make_jpeg(tmp_path / "d.jpg", "64x48", "420")
    with tessel.open(path) as image:
        before = image.render()
        edit(image)
        np.testing.assert_array_equal(image.render(), np.transpose(before, (1, 0, 2))
                                      if name == "transpose" else
                                      np.transpose(before, (1, 0, 2))[::-1, ::-1])
        inverse(image)
        np.testing.assert_array_equal(image.render(), before)
        image.undo()
        image.undo()
        np.testing.assert_array_equal(image.render(), before)


@waits_for("transpose")
@pytest.mark.parametrize("orientation", [5, 7])
def test_autorotate_of_the_diagonal_orientations(tmp_path, orientation):
    path = make_jpeg(tmp_path / "d.jpg", "64x48", "420")
    source = tmp_path / f"o{orientation}.jpg"
    source.write_bytes(with_orientation(path.read_bytes(), orientation))
    with tessel.open(path) as plain:
        upright = np.transpose(plain.render(), (1, 0, 2))
        if orientation == 7:
            upright = upright[::-1, ::-1]
    assert tessel.autorotate(source) is True
    with tessel.open(source) as image:
        assert image.orientation == 1
        np.testing.assert_array_equal(image.render(), upright)
