# SPDX-License-Identifier: MIT
"""python/install.sh puts a working module into the user's site-packages of a fresh home."""

import os
import pathlib
import subprocess
import sys

import tessel
from conftest import SOURCE_DIR, make_jpeg


def test_install_into_a_fresh_home(tmp_path):
    build = pathlib.Path(tessel.__file__).resolve().parents[2]
    home = tmp_path / "home"
    home.mkdir()
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "LD_LIBRARY_PATH")}
    env["HOME"] = str(home)
    installed = subprocess.run(
        [str(SOURCE_DIR / "python" / "install.sh"), "--from-build", str(build)],
        env=env, capture_output=True, text=True)
    assert installed.returncode == 0, installed.stderr
    assert f"tessel {tessel.__version__} installed in {home}" in installed.stdout
    photo = make_jpeg(tmp_path / "p.jpg", "64x48", "420")
    check = subprocess.run(
        [sys.executable, "-c",
         "import sys, tessel; im = tessel.open(sys.argv[1]); im.rotate(90);"
         "print(tessel.__version__, tessel.__file__, im.render().shape)", str(photo)],
        env=env, cwd="/", capture_output=True, text=True)
    assert check.returncode == 0, check.stderr
    version, location, shape = check.stdout.split(" ", 2)
    assert version == tessel.__version__
    assert location.startswith(str(home / ".local" / "lib"))
    assert shape.strip() == "(64, 48, 3)"
