# SPDX-License-Identifier: MIT
"""Threads: separate images in separate threads give what one thread gives, calls on one image
from several threads take turns, and the GIL is let go while the library works."""

import errno
import os
import threading
import time

import numpy as np

import tessel
from conftest import make_jpeg

THREADS = 4


def work(path, out):
    """Open, edit, render and save one file; what a batch does per file."""
    with tessel.open(path) as image:
        image.rotate(90)
        image.crop(0, 0, image.width - 8, image.height - 8)
        image.levels(10, 0, 0)
        image.reconstruct(1)
        pixels = image.render()
        image.save(out)
        image.undo()
        return pixels, image.to_bytes()


def test_four_threads_on_four_images_match_one_thread(tmp_path):
    sources = [make_jpeg(tmp_path / f"in{i}.jpg", f"{96 + 16 * i}x{80 + 8 * i}", sampling)
               for i, sampling in enumerate(("420", "422", "444", "gray"))]
    expected = [work(path, tmp_path / f"alone{i}.jpg") for i, path in enumerate(sources)]
    results = [None] * THREADS
    errors = []
    start = threading.Barrier(THREADS)

    def run(i):
        try:
            start.wait()
            for _ in range(3):
                results[i] = work(sources[i], tmp_path / f"thread{i}.jpg")
        except BaseException as error:  # reported below, not lost in the thread
            errors.append(error)

    threads = [threading.Thread(target=run, args=(i,)) for i in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert not errors
    for i in range(THREADS):
        np.testing.assert_array_equal(results[i][0], expected[i][0])
        assert results[i][1] == expected[i][1]
        assert (tmp_path / f"thread{i}.jpg").read_bytes() == (tmp_path / f"alone{i}.jpg").read_bytes()


def test_threads_sharing_one_image_take_turns(photo):
    with tessel.open(photo) as image:
        original = image.to_bytes()
        errors = []

        def turn_and_back():
            try:
                for _ in range(5):
                    image.rotate(90)
                    image.render()
                    image.undo()
            except BaseException as error:
                errors.append(error)

        threads = [threading.Thread(target=turn_and_back) for _ in range(THREADS)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert not errors
        assert image.to_bytes() == original


def test_the_gil_is_released_while_the_library_reads(tmp_path, photo):
    # The library blocks reading a FIFO until this thread writes into it, which it can only do
    # if the reading thread let go of the GIL.
    fifos = []
    for name in ("open.fifo", "thumb.fifo"):
        fifo = tmp_path / name
        os.mkfifo(fifo)
        fifos.append(fifo)
    results = {}

    def read(name, call):
        try:
            results[name] = call()
        except BaseException as error:
            results[name] = error

    readers = [
        threading.Thread(target=read, args=("open", lambda: tessel.open(fifos[0], header_only=True)
                                            .width)),
        threading.Thread(target=read, args=("thumb", lambda: tessel.draw_thumbnail(
            fifos[1], 64, 48).shape)),
    ]
    for reader, fifo in zip(readers, fifos):
        reader.start()
        write_when_read(fifo, photo.read_bytes(), reader)
        reader.join(timeout=60)
        assert not reader.is_alive(), "the reader never finished"
    assert results == {"open": 227, "thumb": (48, 64, 3)}


def write_when_read(fifo, data, reader):
    """Writes data into the FIFO once the reader has opened it; fails if the reader ends
    without opening it, rather than waiting for ever."""
    while True:
        try:
            fd = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
            break
        except OSError as error:
            if error.errno != errno.ENXIO:  # ENXIO: no reader yet
                raise
            assert reader.is_alive(), "the reader ended without opening the FIFO"
            time.sleep(0.01)
    os.set_blocking(fd, True)
    with os.fdopen(fd, "wb") as pipe:
        pipe.write(data)
