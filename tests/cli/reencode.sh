#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tessel reencode: refusals and their messages.
set -euo pipefail
tessel=$1
make_fixture=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$make_fixture" "$dir/a.jpg" 64x48 420

# Usage errors exit with 2 and leave the file alone.
cp "$dir/a.jpg" "$dir/orig.jpg"
for args in "" "--quality 101" "--quality -1" "--quality x"; do
  set +e
  # shellcheck disable=SC2086
  "$tessel" reencode "$dir/a.jpg" $args >/dev/null 2>&1; rc=$?
  set -e
  [ $rc -eq 2 ] || fail "exit status $rc for '$args'"
  cmp -s "$dir/a.jpg" "$dir/orig.jpg" || fail "file changed by '$args'"
done

# A file that cannot be read: one line, exit 1.
set +e
"$tessel" reencode "$dir/missing.jpg" --quality 80 2>"$dir/err"; rc=$?
set -e
[ $rc -eq 1 ] || fail "exit status $rc for a missing file"
grep -qx "tessel: $dir/missing.jpg: no such file" "$dir/err" || fail "message: $(cat "$dir/err")"
echo ok
