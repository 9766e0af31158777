#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Python binding's overhead: open + render + rotate + save of a generated 24-megapixel
# 4:2:0 file through `import tessel`, beside the same library calls from C++, in the same run
# (processes alternating, RUNS rounds of ITERATIONS each after a warm-up), medians of wall and
# CPU time and the overhead in percent (goal: within 5%).
# Usage: bench/python_vs_cpp.sh [BUILD_DIR] [RUNS] [ITERATIONS]
set -euo pipefail
build=${1:-build}
runs=${2:-5}
iterations=${3:-3}
python=${PYTHON:-/usr/bin/python3}
here=$(cd "$(dirname "$0")" && pwd)
peer=$build/bench/bench_binding_peer
make_fixture=$build/tests/make_fixture
for file in "$peer" "$make_fixture" "$build/python/tessel/__init__.py"; do
  [ -e "$file" ] || { echo "missing: $file (build $build first)" >&2; exit 2; }
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$make_fixture" "$dir/in.jpg" 6000x4000 420
echo "input: 6000x4000 4:2:0, $(stat -c %s "$dir/in.jpg") bytes; load: $(cut -d' ' -f1-3 /proc/loadavg)"

cpp() { "$peer" --repeat "$dir/in.jpg" "$dir/cpp.jpg" "$1"; }
py() { PYTHONPATH="$build/python" "$python" "$here/python_binding.py" "$dir/in.jpg" "$dir/py.jpg" "$1"; }
cpp 1 >/dev/null
py 1 >/dev/null
: >"$dir/cpp.txt"
: >"$dir/py.txt"
for _ in $(seq "$runs"); do
  cpp "$iterations" >>"$dir/cpp.txt"
  py "$iterations" >>"$dir/py.txt"
done
cmp -s "$dir/cpp.jpg" "$dir/py.jpg" || { echo "the two outputs differ" >&2; exit 1; }
"$python" - "$dir/cpp.txt" "$dir/py.txt" <<'PY'
import statistics, sys
def load(path):
    rows = [tuple(map(float, line.split())) for line in open(path) if line.strip()]
    return statistics.median(r[0] for r in rows), statistics.median(r[1] for r in rows), len(rows)
cw, cc, n = load(sys.argv[1])
pw, pc, _ = load(sys.argv[2])
print(f"C++ calls:      {cw * 1000:8.1f} ms wall, {cc * 1000:8.1f} ms CPU (median of {n})")
print(f"import tessel:  {pw * 1000:8.1f} ms wall, {pc * 1000:8.1f} ms CPU (median of {n})")
print(f"overhead: {100 * (pw / cw - 1):+.1f}% wall, {100 * (pc / cc - 1):+.1f}% CPU (goal: within 5%)")
PY
