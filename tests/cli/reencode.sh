#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tessel reencode: colour space and sampling of the output, closeness to the source, refusals.
source "$(dirname "$0")/lib.sh" "$@"

"$make_fixture" "$dir/a.jpg" 64x48 420

# Usage errors exit with 2 and leave the file alone.
cp "$dir/a.jpg" "$dir/orig.jpg"
for args in "" "--quality 101" "--quality -1" "--quality x"; do
  # shellcheck disable=SC2086
  expect_status 2 "$tessel" reencode "$dir/a.jpg" $args >/dev/null 2>&1
  cmp -s "$dir/a.jpg" "$dir/orig.jpg" || fail "file changed by '$args'"
done

# A file that cannot be read: one line, exit 1.
expect_status 1 "$tessel" reencode "$dir/missing.jpg" --quality 80 2>"$dir/err"
grep -qx "tessel: $dir/missing.jpg: no such file" "$dir/err" || fail "message: $(cat "$dir/err")"

# Sampling and colour space, read back with tessel info.
"$make_fixture" "$dir/g.jpg" 40x30 gray
"$make_fixture" "$dir/c.jpg" 24x16 cmyk
layout() { "$tessel" info --json "$1" | python3 -c '
import json, sys
r = json.load(sys.stdin)
print(r["colourSpace"], r["width"], r["height"], ",".join("%dx%d" % (c["h"], c["v"]) for c in r["components"]))'; }
"$tessel" reencode "$dir/a.jpg" --quality 90 -o "$dir/a420.jpg"
[ "$(layout "$dir/a420.jpg")" = "YCbCr 64 48 2x2,1x1,1x1" ] || fail "4:2:0: $(layout "$dir/a420.jpg")"
"$tessel" reencode "$dir/a.jpg" --quality 90 --no-subsample -o "$dir/a444.jpg"
[ "$(layout "$dir/a444.jpg")" = "YCbCr 64 48 1x1,1x1,1x1" ] || fail "4:4:4: $(layout "$dir/a444.jpg")"
"$tessel" reencode "$dir/g.jpg" --quality 90 -o "$dir/g2.jpg"
[ "$(layout "$dir/g2.jpg")" = "Grayscale 40 30 1x1" ] || fail "gray: $(layout "$dir/g2.jpg")"
cmp -s "$dir/a.jpg" "$dir/orig.jpg" || fail "-o changed the input"

# The output shows the rendered source: at quality 95, 4:4:4, djpeg's decode of it is close to
# what tessel render shows of the source.
"$tessel" reencode "$dir/a.jpg" -q 95 --no-subsample -o "$dir/close.jpg"
"$tessel" render "$dir/a.jpg" -o "$dir/a.ppm"
djpeg -ppm "$dir/close.jpg" >"$dir/close.ppm"
python3 - "$dir/a.ppm" "$dir/close.ppm" <<'PY'
import sys
from pictures import read_pnm
a, b = (read_pnm(p) for p in sys.argv[1:])
assert a[:3] == b[:3], (a[:3], b[:3])
err = sum(abs(x - y) for x, y in zip(a[3], b[3])) / len(a[3])
assert err < 3, err
PY

# In place, then CMYK refused with the file untouched.
"$tessel" reencode "$dir/a.jpg" --quality 50
cmp -s "$dir/a.jpg" "$dir/orig.jpg" && fail "in-place re-encode left the file as it was"
cp "$dir/c.jpg" "$dir/c0.jpg"
expect_status 1 "$tessel" reencode "$dir/c.jpg" --quality 80 2>"$dir/err"
grep -qx "tessel: $dir/c.jpg: could not save" "$dir/err" || fail "CMYK message: $(cat "$dir/err")"
cmp -s "$dir/c.jpg" "$dir/c0.jpg" || fail "CMYK file changed"
[ ! -e "$dir/c.jpg.tmp" ] || fail "temporary file left"
echo ok
