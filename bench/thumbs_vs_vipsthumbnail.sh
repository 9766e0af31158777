#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Thumbnails per second: `tessel thumbs` over 20 copies of a 12-megapixel 4:2:0 file into
# 160x120 boxes, beside vipsthumbnail over the same files in the same run (once as one batch,
# once started per file as a file browser would), best of RUNS, wall-clock and CPU time.
# Usage: bench/thumbs_vs_vipsthumbnail.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-3}
tessel=$build/cli/tessel
make_fixture=$build/tests/make_fixture
for tool in "$tessel" "$make_fixture" vipsthumbnail djpeg /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (build first; scripts/install-deps.sh)" >&2; exit 1; }
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
count=20
"$make_fixture" "$dir/source.jpg" 4000x3000 420
files=()
for i in $(seq -w 1 $count); do
  cp "$dir/source.jpg" "$dir/f$i.jpg"
  files+=("$dir/f$i.jpg")
done
mkdir "$dir/out"

# Prints "WALL CPU" in seconds, the best of $runs runs (files stay in the page cache after the
# first run of the first command, so every command reads them warm).
measure() {
  local best=""
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S" -o "$dir/time" "$@" >/dev/null 2>"$dir/stderr" ||
      { cat "$dir/stderr" >&2; exit 1; }
    read -r wall user sys <"$dir/time"
    line=$(python3 -c "print($wall, round($user + $sys, 2))")
    if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if $wall < ${best%% *} else 1)"; then
      best=$line
    fi
  done
  echo "$best"
}

cat "${files[@]}" >/dev/null
tessel_t=$(measure "$tessel" thumbs "${files[@]}" --size 160x120 -o "$dir/sheet.png")
vips_batch_t=$(measure vipsthumbnail --size 160x120 -o "$dir/out/%s.jpg" "${files[@]}")
vips_each_t=$(measure bash -c 'out=$1; shift; for f; do vipsthumbnail --size 160x120 -o "$out/%s.jpg" "$f"; done' \
  _ "$dir/out" "${files[@]}")
# For reference: the library's scaled decode alone, as djpeg does it, started per file.
djpeg_t=$(measure bash -c 'for f; do djpeg -scale 1/8 -dct fast -nosmooth "$f" >/dev/null; done' \
  _ "${files[@]}")

python3 - "$count" "$tessel_t" "$vips_batch_t" "$vips_each_t" "$djpeg_t" "$(nproc)" <<'PY'
import sys
n = int(sys.argv[1])
rows = [("tessel thumbs (one run, all files)", sys.argv[2]),
        ("vipsthumbnail (one run, all files)", sys.argv[3]),
        ("vipsthumbnail (one run per file)", sys.argv[4]),
        ("djpeg -scale 1/8 (one run per file)", sys.argv[5])]
print(f"{n} files of 4000x3000 4:2:0 into 160x120 boxes, {sys.argv[6]} cores, best of runs")
print(f"{'':38} {'wall s':>8} {'thumbs/s':>9} {'cpu s':>7} {'thumbs/cpu-s':>13}")
values = []
for name, t in rows:
    wall, cpu = (float(x) for x in t.split())
    values.append((wall, cpu))
    print(f"{name:38} {wall:8.2f} {n / wall:9.1f} {cpu:7.2f} {n / cpu:13.1f}")
tw, tc = values[0]
for (name, _), (w, c) in zip(rows[1:3], values[1:3]):
    print(f"tessel vs {name}: {w / tw:.2f}x wall, {c / tc:.2f}x cpu")
PY
