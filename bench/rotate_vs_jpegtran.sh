#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Open plus lossless save of a generated 24-megapixel 4:2:0 file, against
# `jpegtran -copy all -optimize` on the same file in the same run: median wall time of RUNS
# alternating runs each, the ratio, and the peak resident memory beside the store's size.
# Usage: bench/save_vs_jpegtran.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-7}
bench=$build/bench/bench_rotate
make_fixture=$build/tests/make_fixture
for tool in "$bench" "$make_fixture" jpegtran /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$make_fixture" "$dir/in.jpg" 6000x4000 420
echo "input: 6000x4000 4:2:0, $(stat -c %s "$dir/in.jpg") bytes"

# Wall time with sub-millisecond resolution, peak memory, and CPU time (user + system: steadier
# than wall time on a busy machine) of one command.
run() {
  local start=$EPOCHREALTIME
  /usr/bin/time -f "%M %U %S" -o "$dir/rss" "$@" >"$dir/stdout"
  local end=$EPOCHREALTIME
  local rss user sys
  read -r rss user sys < <(tail -1 "$dir/rss")
  echo "$(python3 -c "print(f'{$end - $start:.4f}')") $rss $(python3 -c "print(f'{$user + $sys:.2f}')")"
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

: >"$dir/tessel.txt"
: >"$dir/jpegtran.txt"
for _ in $(seq "$runs"); do
  run "$bench" --once "$dir/in.jpg" "$dir/tessel.jpg" >>"$dir/tessel.txt"
  store=$(awk '/store_bytes/ {print $2}' "$dir/stdout")
  run jpegtran -rotate 90 -trim -copy all -optimize -outfile "$dir/jpegtran.jpg" "$dir/in.jpg" >>"$dir/jpegtran.txt"
done
t_tessel=$(cut -d' ' -f1 "$dir/tessel.txt" | median)
t_peer=$(cut -d' ' -f1 "$dir/jpegtran.txt" | median)
c_tessel=$(cut -d' ' -f3 "$dir/tessel.txt" | median)
c_peer=$(cut -d' ' -f3 "$dir/jpegtran.txt" | median)
rss_tessel=$(cut -d' ' -f2 "$dir/tessel.txt" | sort -n | tail -1)
rss_peer=$(cut -d' ' -f2 "$dir/jpegtran.txt" | sort -n | tail -1)
python3 - "$t_tessel" "$t_peer" "$rss_tessel" "$rss_peer" "$store" "$c_tessel" "$c_peer" \
  "$(stat -c %s "$dir/tessel.jpg")" "$(stat -c %s "$dir/jpegtran.jpg")" <<'PY'
import sys
t, p, rss, prss, store, ct, cp, size, psize = sys.argv[1:]
t, p, rss, prss, store = float(t), float(p), int(rss) * 1024, int(prss) * 1024, int(store)
print(f"tessel open+rotate+save:  {t * 1000:8.1f} ms (median)")
print(f"jpegtran -rotate 90 -trim -copy all -optimize: {p * 1000:8.1f} ms (median)")
print(f"time ratio tessel/jpegtran: {t / p:.3f}  (goal <= 0.8)")
print(f"CPU (user+sys, median): tessel {float(ct):.2f} s, jpegtran {float(cp):.2f} s, "
      f"ratio {float(ct) / float(cp):.3f}")
print(f"store: {store / 2**20:.1f} MiB; peak RSS tessel {rss / 2**20:.1f} MiB, "
      f"jpegtran {prss / 2**20:.1f} MiB (goal: tessel <= jpegtran)")
print(f"output bytes: tessel {size}, jpegtran {psize}")
PY
