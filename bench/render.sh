#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the rendering benchmark and prints the medians of GetBitmap and of libjpeg-turbo's full
# decode of the same 24-megapixel image from the same run, with their ratio, and the per-block
# cost of the two transforms. Usage: bench/render.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
program="$build/bench/bench_render"
[ -x "$program" ] || { echo "build $program first (cmake --build $build)" >&2; exit 1; }
"$program" --benchmark_format=json --benchmark_report_aggregates_only=true 2>/dev/null |
python3 -c '
import json, sys
runs = {r["run_name"]: r for r in json.load(sys.stdin)["benchmarks"]
        if r.get("aggregate_name") == "median"}
def get(prefix):
    return next(r for name, r in runs.items() if name.startswith(prefix))
ours, peer = get("BM_GetBitmap"), get("BM_LibjpegTurboFullDecode")
for label, r in (("GetBitmap", ours), ("libjpeg-turbo full decode", peer)):
    print("%-28s median %7.1f ms wall, %7.1f ms CPU" % (label, r["real_time"], r["cpu_time"]))
print("%-28s %.2f wall, %.2f CPU (below 1: GetBitmap is faster)" % (
    "ratio GetBitmap / decode", ours["real_time"] / peer["real_time"],
    ours["cpu_time"] / peer["cpu_time"]))
for name in ("BM_InverseBlock", "BM_ForwardBlock"):
    print("%-28s median %7.1f ns a block (CPU)" % (name[3:], get(name)["per_block"] * 1e9))
'
