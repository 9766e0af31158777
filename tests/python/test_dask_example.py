# SPDX-License-Identifier: MIT
"""The Dask example: a folder tree auto-rotated and optimized on a local cluster of two worker
processes, every output equal to the tool's own result for the same file."""

import os
import shutil
import subprocess
import sys

import pytest

from conftest import SOURCE_DIR, make_jpeg, needs_tool, tool, waits_for, with_orientation

EXAMPLES = SOURCE_DIR / "examples"

pytest.importorskip("dask.distributed")

# Orientation -> the tool's command that gives the same file (None: no orientation entry).
TREE = {
    "top.jpg": (None, ["optimize"]),
    "a/upright.jpg": (1, ["optimize"]),
    "a/half-turn.JPG": (3, ["rotate", "180"]),
    "a/b/right.jpeg": (6, ["rotate", "right"]),
    "a/b/left.jpg": (8, ["rotate", "left"]),
    "c/mirror.jpg": (2, ["flip", "h"]),
    "c/upside-mirror.jpg": (4, ["flip", "v"]),
}
DIAGONAL = {"d/transpose.jpg": (5, None), "d/transverse.jpg": (7, None)}


@pytest.fixture(scope="module")
def example():
    sys.path.insert(0, str(EXAMPLES))
    # The workers import the task function from the example by name.
    os.environ["PYTHONPATH"] = os.pathsep.join(
        [str(EXAMPLES)] + [p for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p])
    import dask_autorotate

    return dask_autorotate


# Workers start slowly on a loaded machine (and under the sanitizers): generous timeouts.
TIMEOUTS = {"distributed.comm.timeouts.connect": "180s", "distributed.comm.timeouts.tcp": "180s"}


@pytest.fixture(scope="module")
def client():
    import dask
    from dask.distributed import Client, LocalCluster

    with dask.config.set(TIMEOUTS):
        cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        with Client(cluster) as c:
            yield c
        cluster.close()


def make_tree(root, layout, tmp_path, sizes=("227x149", "160x120", "131x77", "96x96")):
    for i, (name, (orientation, _)) in enumerate(sorted(layout.items())):
        plain = make_jpeg(tmp_path / f"plain{i}.jpg", sizes[i % len(sizes)], "420", f"q={70 + i}")
        data = plain.read_bytes()
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data if orientation is None else with_orientation(data, orientation))


@needs_tool
def test_the_tree_is_turned_and_optimized_like_the_tool_does(example, client, tmp_path):
    root, out = tmp_path / "photos", tmp_path / "out"
    make_tree(root, TREE, tmp_path)
    (root / "a" / "broken.jpg").write_bytes(b"not a jpeg at all")
    (root / "a" / "notes.txt").write_text("not a photo")

    results = example.run(client, str(root), str(out))

    by_path = {os.path.relpath(r["path"], root): r for r in results}
    assert sorted(by_path) == sorted(list(TREE) + ["a/broken.jpg"])
    assert "not a JPEG" in by_path["a/broken.jpg"]["error"]
    for name, (orientation, command) in TREE.items():
        expected = tmp_path / "expected.jpg"
        tool(*command, "-o", str(expected), str(root / name))
        assert (out / name).read_bytes() == expected.read_bytes(), name
        assert by_path[name]["rotated"] == (orientation not in (None, 1))
        assert by_path[name]["after"] == (out / name).stat().st_size
    summary = example.summarize(results)
    assert summary["files"] == len(TREE) and summary["rotated"] == 5
    assert summary["bytes_before"] == sum((root / n).stat().st_size for n in TREE)
    assert summary["bytes_after"] == sum((out / n).stat().st_size for n in TREE)
    assert summary["bytes_saved"] == summary["bytes_before"] - summary["bytes_after"]
    assert not (out / "a" / "broken.jpg").exists() and not (out / "a" / "notes.txt").exists()


@needs_tool
@waits_for("transpose")
def test_the_diagonal_orientations_too(example, client, tmp_path):
    import numpy as np

    import tessel

    root, out = tmp_path / "photos", tmp_path / "out"
    make_tree(root, DIAGONAL, tmp_path, sizes=("64x48",))  # whole MCUs: nothing is trimmed
    results = example.run(client, str(root), str(out))
    assert len(results) == 2 and all(r["rotated"] and "error" not in r for r in results)
    for name, (orientation, _) in DIAGONAL.items():
        # The tool has no diagonal command to compare with: compare the pictures.
        with tessel.open(root / name) as source, tessel.open(out / name) as result:
            upright = np.transpose(source.render(), (1, 0, 2))
            if orientation == 7:
                upright = upright[::-1, ::-1]
            np.testing.assert_array_equal(result.render(), upright)
            assert result.orientation == 1


@needs_tool
def test_the_script_rewrites_in_place_and_prints_the_summary(tmp_path):
    root = tmp_path / "photos"
    make_tree(root, TREE, tmp_path)
    originals = tmp_path / "originals"
    shutil.copytree(root, originals)
    (root / "broken.jpg").write_bytes(b"\xff\xd8 nothing more")
    env = dict(os.environ)
    for key, value in TIMEOUTS.items():
        env["DASK_" + key.upper().replace(".", "__").replace("-", "_")] = value
    result = subprocess.run(
        [sys.executable, str(EXAMPLES / "dask_autorotate.py"), str(root), "--in-place",
         "--workers", "2"], capture_output=True, text=True, timeout=600, env=env)
    assert result.returncode == 1, result.stderr  # one file failed
    assert f"{root / 'broken.jpg'}: " in result.stderr
    assert f"{len(TREE)} files, 5 turned upright, 1 failed" in result.stdout
    for name, (_, command) in TREE.items():
        expected = tmp_path / "expected.jpg"
        tool(*command, "-o", str(expected), str(originals / name))
        assert (root / name).read_bytes() == expected.read_bytes(), name
    assert (root / "broken.jpg").read_bytes() == b"\xff\xd8 nothing more"
