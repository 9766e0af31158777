#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every fuzz_* target built in BUILD_DIR for SECONDS each, seeded from the shared corpus
# when it is there (../shared/corpus or $TESSEL_CORPUS) and from generated JPEG files otherwise,
# plus fuzz/seeds/TARGET when a target has seeds of its own. Inputs that crash a target are
# kept in BUILD_DIR/fuzz-artifacts. Usage: fuzz/run.sh BUILD_DIR SECONDS
set -euo pipefail
usage="usage: fuzz/run.sh BUILD_DIR SECONDS"
[ $# -eq 2 ] || { echo "$usage" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seeds: up to 200 small corpus files, or a handful made with cjpeg from a generated picture.
seeds=$work/seeds
mkdir -p "$seeds"
corpus=${TESSEL_CORPUS:-$root/../shared/corpus}
if [ -d "$corpus" ]; then
  n=0
  while IFS= read -r -d '' file; do
    cp "$file" "$seeds/$n.jpg"
    n=$((n + 1))
  done < <(find "$corpus" -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) -size -256k -print0 |
    sort -z | head -z -n 200)
else
  python3 - "$work/picture.ppm" <<'PY'
import sys
w, h = 37, 23
pixels = bytes((x * 7 + y * 3 + c * 50) % 256 for y in range(h) for x in range(w) for c in range(3))
open(sys.argv[1], "wb").write(b"P6 %d %d 255\n" % (w, h) + pixels)
PY
  n=0
  for options in "" "-grayscale" "-sample 2x2" "-sample 2x1 -progressive" "-arithmetic" \
    "-restart 1" "-rgb" "-quality 20 -optimize"; do
    # shellcheck disable=SC2086
    cjpeg $options -outfile "$seeds/$n.jpg" "$work/picture.ppm" 2>/dev/null
    n=$((n + 1))
  done
fi

shopt -s nullglob
targets=("$build"/fuzz/fuzz_* "$build"/fuzz_*)
[ ${#targets[@]} -gt 0 ] || { echo "fuzz/run.sh: no fuzz_* targets in $build" >&2; exit 1; }
mkdir -p "$build/fuzz-artifacts"
failed=0
for target in "${targets[@]}"; do
  [ -x "$target" ] && [ -f "$target" ] || continue
  name=$(basename "$target")
  mkdir -p "$work/$name"
  extra=()
  [ -d "$root/fuzz/seeds/$name" ] && extra+=("$root/fuzz/seeds/$name")
  echo "== $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$build/fuzz-artifacts/$name-" -print_final_stats=1 \
    "$work/$name" "$seeds" "${extra[@]}" >"$work/$name.log" 2>&1; then
    tail -n 40 "$work/$name.log" >&2
    echo "fuzz/run.sh: $name failed; its input is in $build/fuzz-artifacts" >&2
    failed=1
  fi
  grep -E "^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)" "$work/$name.log" |
    sed 's/^/  /' || true
done
exit $failed
