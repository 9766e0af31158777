#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Auto-rotates and optimizes a folder tree of JPEG photos on a Dask cluster, losslessly.

Each file is one task: turned upright after its Exif orientation (which becomes 1) and saved
with Huffman tables computed for it, into an output tree that mirrors the input, or in place
with --in-place (through a temporary file: a photo is either untouched or completely
rewritten). Failures are reported per file and do not stop the others. At the end a summary
says how many files were turned and how many bytes were saved.

    python3 examples/dask_autorotate.py PHOTOS OUT                  # a local cluster
    python3 examples/dask_autorotate.py PHOTOS OUT --workers 8
    python3 examples/dask_autorotate.py PHOTOS --in-place --scheduler tcp://host:8786

Every worker needs the tessel module (python/install.sh) and the same view of the files.
"""

from __future__ import annotations

import argparse
import os
import sys
from typing import Dict, Iterable, List, Optional, Sequence

JPEG_SUFFIXES = (".jpg", ".jpeg", ".jpe")


def find_jpegs(root: str) -> List[str]:
    """Every JPEG under root, as paths relative to it, sorted."""
    found = []
    for folder, _, names in os.walk(root):
        for name in names:
            if name.lower().endswith(JPEG_SUFFIXES):
                found.append(os.path.relpath(os.path.join(folder, name), root))
    return sorted(found)


def process(source: str, target: str, keep_partial: bool = False) -> Dict[str, object]:
    """One task: turn one file upright and save it optimized. Runs on a worker."""
    import tessel  # imported on the worker

    result: Dict[str, object] = {"path": source, "rotated": False}
    try:
        result["before"] = os.path.getsize(source)
        os.makedirs(os.path.dirname(os.path.abspath(target)), exist_ok=True)
        with tessel.open(source, undo=False) as image:
            result["rotated"] = image.autorotate(keep_partial)
            image.save(target, optimize=True)
        result["after"] = os.path.getsize(target)
    except (tessel.Error, OSError) as error:
        result["error"] = str(error)
    return result


def summarize(results: Iterable[Dict[str, object]]) -> Dict[str, int]:
    """Counts and byte totals over the results of process()."""
    done = [r for r in results if "error" not in r]
    summary = {
        "files": len(done),
        "rotated": sum(1 for r in done if r["rotated"]),
        "bytes_before": sum(int(r["before"]) for r in done),
        "bytes_after": sum(int(r["after"]) for r in done),
    }
    summary["bytes_saved"] = summary["bytes_before"] - summary["bytes_after"]
    return summary


def run(client, root: str, out: Optional[str], keep_partial: bool = False) -> List[Dict]:
    """Submits one task per JPEG under root to the client's cluster; returns every result."""
    from dask.distributed import as_completed

    names = find_jpegs(root)
    sources = [os.path.join(root, name) for name in names]
    targets = sources if out is None else [os.path.join(out, name) for name in names]
    futures = client.map(process, sources, targets, [keep_partial] * len(names), pure=False)
    results = []
    for _, result in as_completed(futures, with_results=True):
        if "error" in result:
            print(f"{result['path']}: {result['error']}", file=sys.stderr)
        results.append(result)
    return results


def report(summary: Dict[str, int], failed: int) -> str:
    before, saved = summary["bytes_before"], summary["bytes_saved"]
    share = 100.0 * saved / before if before else 0.0
    return (f"{summary['files']} files, {summary['rotated']} turned upright, {failed} failed; "
            f"{before} -> {summary['bytes_after']} bytes, {saved} saved ({share:.1f}%)")


def main(argv: Sequence[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("photos", help="folder tree of JPEG files")
    parser.add_argument("out", nargs="?", help="output folder (mirrors the tree)")
    parser.add_argument("--in-place", action="store_true", help="rewrite the files themselves")
    parser.add_argument("--keep-partial", action="store_true",
                        help="keep partial edge MCUs whole instead of dropping them")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                        help="workers of the local cluster (default: one per processor)")
    args = parser.parse_args(argv)
    if (args.out is None) == (not args.in_place):
        parser.error("give an output folder or --in-place, not both")

    from dask.distributed import Client, LocalCluster

    if args.scheduler:
        client = Client(args.scheduler)
        cluster = None
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1)
        client = Client(cluster)
    try:
        results = run(client, args.photos, None if args.in_place else args.out, args.keep_partial)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    failed = sum(1 for r in results if "error" in r)
    print(report(summarize(results), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
