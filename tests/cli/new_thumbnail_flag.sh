#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# --new-thumbnail[=SIZE] of the saving commands: a bare flag never takes the next file name as
# its size, SIZE is given after "=", and sizes outside 32..256 are usage errors.
source "$(dirname "$0")/lib.sh" "$@"

"$make_fixture" "$dir/a.jpg" 64x48 420
"$tessel" optimize --new-thumbnail "$dir/a.jpg" >/dev/null || fail "bare flag before the file"
"$tessel" optimize "$dir/a.jpg" --new-thumbnail >/dev/null || fail "bare flag after the file"
"$tessel" optimize --new-thumbnail=200 "$dir/a.jpg" >/dev/null || fail "--new-thumbnail=200"
for bad in 31 257 abc; do
  expect_status 2 "$tessel" optimize --new-thumbnail=$bad "$dir/a.jpg" >/dev/null 2>&1
done
echo ok
