#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tessel apply end to end: render, paint a rectangle into the PNG, apply; only the blocks under
# the rectangle change, the statistics say so, an unchanged rendering rewrites nothing, and
# pictures of another size or format are refused.
source "$(dirname "$0")/lib.sh" "$@"

# 4:4:4, 40 x 24: MCUs are 8 x 8. The rectangle x 10..20, y 5..12 covers cells 1..2 by 0..1:
# 4 MCUs of 3 blocks.
"$make_fixture" "$dir/444.jpg" 40x24 444
"$tessel" render "$dir/444.jpg" -o "$dir/444.png"
pictures paint "$dir/444.png" "$dir/444-painted.png" 10 5 21 13 250 10 200
out=$("$tessel" apply "$dir/444.jpg" "$dir/444-painted.png" -o "$dir/444-applied.jpg")
[ "$out" = "$dir/444.jpg: 4 of 15 MCUs and 12 of 45 blocks changed" ] || fail "4:4:4 statistics: $out"
"$tessel" render "$dir/444-applied.jpg" -o "$dir/444-applied.png"
pictures compare "$dir/444.png" "$dir/444-applied.png" 10 5 21 13 8 0 24 16 250 10 200

# 4:2:0, 48 x 32: MCUs are 16 x 16. The rectangle x 20..27, y 9..12 lies in MCU (1, 0) and
# covers two of its luminance blocks; both chroma blocks of that MCU are re-encoded.
"$make_fixture" "$dir/420.jpg" 48x32 420
"$tessel" render "$dir/420.jpg" -o "$dir/420.png"
pictures paint "$dir/420.png" "$dir/420-painted.png" 20 9 28 13 20 240 30
cp "$dir/420.jpg" "$dir/420-inplace.jpg"
out=$("$tessel" apply "$dir/420-inplace.jpg" "$dir/420-painted.png")
[ "$out" = "$dir/420-inplace.jpg: 1 of 6 MCUs and 4 of 36 blocks changed" ] || fail "4:2:0 statistics: $out"
cmp -s "$dir/420.jpg" "$dir/420-inplace.jpg" && fail "the file was not rewritten in place"
"$tessel" render "$dir/420-inplace.jpg" -o "$dir/420-applied.png"
pictures compare "$dir/420.png" "$dir/420-applied.png" 20 9 28 13 16 0 32 16 20 240 30

# The unchanged rendering: nothing changes and the file is not rewritten.
cp "$dir/420.jpg" "$dir/same.jpg"
out=$("$tessel" apply "$dir/same.jpg" "$dir/420.png")
[ "$out" = "$dir/same.jpg: 0 of 6 MCUs and 0 of 36 blocks changed" ] || fail "unchanged: $out"
cmp -s "$dir/420.jpg" "$dir/same.jpg" || fail "an unchanged picture rewrote the file"

# --force re-encodes every block; 37 x 23 has filler blocks beyond its edges.
"$make_fixture" "$dir/odd.jpg" 37x23 420
"$tessel" render "$dir/odd.jpg" -o "$dir/odd.png"
out=$("$tessel" apply "$dir/odd.jpg" "$dir/odd.png" --force -o "$dir/odd-forced.jpg")
[ "$out" = "$dir/odd.jpg: 6 of 6 MCUs and 36 of 27 blocks changed (edge filler blocks included)" ] ||
  fail "force: $out"
[ -s "$dir/odd-forced.jpg" ] || fail "forced output missing"

# Refusals: one line naming the picture, exit 1, the JPEG untouched.
pictures narrower "$dir/420.png" "$dir/narrow.png"
pictures rgba "$dir/420.png" "$dir/rgba.png"
printf 'not a png' >"$dir/text.png"
cp "$dir/420.jpg" "$dir/keep.jpg"
for picture in narrow.pictures rgba.png text.png missing.png; do
  expect_status 1 "$tessel" apply "$dir/keep.jpg" "$dir/$picture" >"$dir/out" 2>"$dir/err"
  [ "$(wc -l <"$dir/err")" -eq 1 ] || fail "expected one line for $picture: $(cat "$dir/err")"
  grep -q "^tessel: $dir/$picture: " "$dir/err" || fail "message for $picture: $(cat "$dir/err")"
  cmp -s "$dir/420.jpg" "$dir/keep.jpg" || fail "$picture changed the JPEG"
done
grep -q "is 47x32 pixels, but $dir/keep.jpg is 48x32" <("$tessel" apply "$dir/keep.jpg" "$dir/narrow.png" 2>&1 || true) ||
  fail "the size message does not give both sizes"
expect_status 1 "$tessel" apply "$dir/missing.jpg" "$dir/420.png" 2>"$dir/err"
grep -q "^tessel: $dir/missing.jpg: no such file" "$dir/err" || fail "missing JPEG: $(cat "$dir/err")"
echo "apply: all checks passed"
