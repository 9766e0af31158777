#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Open plus lossless save of a generated 24-megapixel 4:2:0 file, against
# `jpegtran -copy all -optimize` on the same file in the same run: median wall time of RUNS
# alternating runs each, the ratio, and the peak resident memory beside the store's size.
# Usage: bench/save_vs_jpegtran.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-7}
bench=$build/bench/bench_save
make_fixture=$build/tests/make_fixture
for tool in "$bench" "$make_fixture" jpegtran /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$make_fixture" "$dir/in.jpg" 6000x4000 420
echo "input: 6000x4000 4:2:0, $(stat -c %s "$dir/in.jpg") bytes"

# Wall time with sub-millisecond resolution, and peak memory, of one command.
run() {
  local start=$EPOCHREALTIME
  /usr/bin/time -f "%M" -o "$dir/rss" "$@" >"$dir/stdout"
  local end=$EPOCHREALTIME
  echo "$(python3 -c "print(f'{$end - $start:.4f}')") $(tail -1 "$dir/rss")"
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

: >"$dir/tessel.txt"
: >"$dir/jpegtran.txt"
for _ in $(seq "$runs"); do
  run "$bench" --once "$dir/in.jpg" "$dir/tessel.jpg" >>"$dir/tessel.txt"
  store=$(awk '/store_bytes/ {print $2}' "$dir/stdout")
  run jpegtran -copy all -optimize -outfile "$dir/jpegtran.jpg" "$dir/in.jpg" >>"$dir/jpegtran.txt"
done
t_tessel=$(cut -d' ' -f1 "$dir/tessel.txt" | median)
t_peer=$(cut -d' ' -f1 "$dir/jpegtran.txt" | median)
rss_tessel=$(cut -d' ' -f2 "$dir/tessel.txt" | sort -n | tail -1)
rss_peer=$(cut -d' ' -f2 "$dir/jpegtran.txt" | sort -n | tail -1)
python3 - "$t_tessel" "$t_peer" "$rss_tessel" "$rss_peer" "$store" \
  "$(stat -c %s "$dir/tessel.jpg")" "$(stat -c %s "$dir/jpegtran.jpg")" <<'PY'
import sys
t, p, rss, prss, store, size, psize = sys.argv[1:]
t, p, rss, prss, store = float(t), float(p), int(rss) * 1024, int(prss) * 1024, int(store)
print(f"tessel open+save:         {t * 1000:8.1f} ms (median)")
print(f"jpegtran -copy all -opt:  {p * 1000:8.1f} ms (median)")
print(f"time ratio tessel/jpegtran: {t / p:.3f}  (goal <= 1)")
print(f"store: {store / 2**20:.1f} MiB; tessel peak RSS {rss / 2**20:.1f} MiB = {rss / store:.2f}x store "
      f"(goal <= 2.1x); jpegtran peak RSS {prss / 2**20:.1f} MiB")
print(f"output bytes: tessel {size}, jpegtran {psize}")
PY
