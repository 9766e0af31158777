# SPDX-License-Identifier: MIT
"""The Python side of the binding's benchmark: tessel.open, render, rotate(90) and save of one
file, N times, printing "wall cpu" in seconds per run (the format of bench_binding_peer).

Usage: python3 bench/python_binding.py IN OUT N   (with the module on PYTHONPATH)
"""

import sys
import time

import numpy  # noqa: F401  (loaded once by the first array; its import is not the binding's cost)

import tessel


def once(source: str, target: str) -> None:
    with tessel.open(source) as image:
        image.render()
        image.rotate(90)
        image.save(target)


def main(source: str, target: str, runs: int) -> None:
    for _ in range(runs):
        wall, cpu = time.perf_counter(), time.process_time()
        once(source, target)
        print(f"{time.perf_counter() - wall:.6f} {time.process_time() - cpu:.6f}", flush=True)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]))
