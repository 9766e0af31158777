# SPDX-License-Identifier: MIT
"""The coefficient store as numpy views: equal to libjpeg's reading, without a copy, read-only,
keeping the image alive, and guarded against edits that would free it; set_coefficients."""

import gc
import weakref

import numpy as np
import pytest

import tessel
from conftest import make_jpeg, read_store, waits_for


def test_the_store_equals_libjpegs_reading(kind_file, tmp_path):
    expected, _ = read_store(kind_file, tmp_path)
    with tessel.open(kind_file) as image:
        store = image.coefficients()
        assert store.dtype == np.int16 and store.ndim == 1
        np.testing.assert_array_equal(store, expected)
        del store


def test_views_share_memory_and_are_read_only(photo):
    with tessel.open(photo) as image:
        first, second = image.coefficients(), image.coefficients()
        assert np.shares_memory(first, second), "a view, not a copy"
        assert not first.flags.writeable
        with pytest.raises(ValueError):
            first[0] = 1
        with pytest.raises(ValueError):
            first.setflags(write=True)
        del first, second


def test_a_view_keeps_the_image_alive_and_valid(photo):
    image = tessel.open(photo)
    expected = image.coefficients().copy()
    view = image.coefficients()[10:20]
    alive = weakref.ref(image)
    image.close()
    del image
    gc.collect()
    assert alive() is not None, "the view holds the image"
    np.testing.assert_array_equal(view, expected[10:20])
    del view
    gc.collect()
    assert alive() is None


def test_edits_refuse_while_a_view_lives(photo):
    with tessel.open(photo) as image:
        view = image.coefficients()
        before = view.copy()
        for edit in (lambda: image.rotate(90), lambda: image.flip("h"), image.grayscale,
                     lambda: image.crop(0, 0, 64, 64), lambda: image.levels(5),
                     image.reconstruct, lambda: image.apply(np.zeros((149, 227, 3), np.uint8))):
            with pytest.raises(BufferError, match="coefficient view"):
                edit()
        np.testing.assert_array_equal(view, before)
        derived = view[::2]
        del view
        with pytest.raises(BufferError):
            image.rotate(90)  # a slice still points into the store
        del derived
        image.rotate(90)
        view = image.coefficients()
        with pytest.raises(BufferError):
            image.undo()
        del view
        image.undo()
        np.testing.assert_array_equal(image.coefficients(), before)


def test_set_coefficients_writes_the_whole_store(photo, tmp_path):
    with tessel.open(photo) as image:
        values = image.coefficients().copy()
        values[0] += 8  # the DC of the first block
        image.set_coefficients(None, values)
        np.testing.assert_array_equal(image.coefficients(), values)
        image.save(tmp_path / "changed.jpg")
    with tessel.open(tmp_path / "changed.jpg") as again:
        np.testing.assert_array_equal(again.coefficients(), values)


def test_set_coefficients_refuses_what_it_cannot_store(photo):
    with tessel.open(photo) as image:
        values = image.coefficients().copy()
        for bad, message in ((values[:-1], "shape"),
                             (values.astype(np.int32) + 40000, "16-bit"),
                             (values.astype(np.float32), "integers")):
            with pytest.raises(tessel.InvalidArgumentError, match=message):
                image.set_coefficients(None, bad)
        np.testing.assert_array_equal(image.coefficients(), values)
        # Wider integer types are fine when the values fit.
        image.set_coefficients(None, values.astype(np.int64))


@waits_for("image_info")
def test_component_views_equal_libjpegs_reading(kind_file, tmp_path):
    expected, layout = read_store(kind_file, tmp_path)
    with tessel.open(kind_file) as image:
        for index, c in enumerate(layout["components"]):
            view = image.coefficients(index)
            shape = (c["blocks_high"], c["blocks_wide"], 8, 8)
            assert view.shape == shape
            part = expected[c["offset"]:c["offset"] + np.prod(shape)].reshape(shape)
            np.testing.assert_array_equal(view, part)
            assert np.shares_memory(view, image.coefficients())
            del view
        with pytest.raises(tessel.InvalidArgumentError):
            image.coefficients(len(layout["components"]))


@waits_for("image_info")
def test_set_coefficients_of_one_component(tmp_path):
    path = make_jpeg(tmp_path / "c.jpg", "48x32", "420")
    with tessel.open(path) as image:
        whole = image.coefficients().copy()
        cb = image.coefficients(1).copy()
        cb[:, :, 0, 0] = 0  # every chroma DC
        image.set_coefficients(1, cb)
        np.testing.assert_array_equal(image.coefficients(1), cb)
        np.testing.assert_array_equal(image.coefficients(0), whole[:image.coefficients(0).size]
                                      .reshape(image.coefficients(0).shape))
        with pytest.raises(tessel.InvalidArgumentError, match="shape"):
            image.set_coefficients(1, cb[:, :-1])
