#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Prints which folder's C and C++ files include which other folder's headers, and fails when an
# include runs up the layer order. Usage: scripts/check-layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# Bottom to top; folders on one line share a rank and may include each other. `tessel` is the
# public header under include/, which depends on nothing.
layers=(
  "tessel"
  "platform"
  "jpeg"
  "metadata"
  "pixels"
  "actions"
  "image"
  "cli"
  "tests bench fuzz python"
)
declare -A rank
for i in "${!layers[@]}"; do
  for folder in ${layers[$i]}; do rank[$folder]=$i; done
done

# One "from to" line per file and included folder, from every tracked C or C++ file.
edges=$(git ls-files '*.h' '*.hpp' '*.c' '*.cc' '*.cpp' | while read -r file; do
  from=${file%%/*}
  [ "$from" = include ] && from=tessel
  grep -oE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[A-Za-z0-9_]+/' "$file" |
    sed -E 's/.*"([A-Za-z0-9_]+)\/$/\1/' | sed "s|^|$from |" || true
done | sort | uniq -c)

failed=0
echo "folder include graph (from -> to: include lines):"
while read -r count from to; do
  [ -z "$from" ] && continue
  [ "$from" = "$to" ] && continue
  mark=""
  if [ -z "${rank[$from]+x}" ] || [ -z "${rank[$to]+x}" ]; then
    mark="  <- folder not in the layer order"
    failed=1
  elif [ "${rank[$to]}" -gt "${rank[$from]}" ]; then
    mark="  <- runs up a layer"
    failed=1
  fi
  printf '  %-8s -> %-8s %4d%s\n' "$from" "$to" "$count" "$mark"
done <<<"$edges"

if [ $failed -ne 0 ]; then
  echo "layer check failed: the order is ${layers[*]} (bottom first)" >&2
  exit 1
fi
echo "layer check passed"
