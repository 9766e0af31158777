#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tessel thumbs: sheet layout, pictures against djpeg's scaled decode, names, skipped files.
source "$(dirname "$0")/lib.sh" "$@"

for i in 1 2 3; do "$make_fixture" "$dir/p$i.jpg" 640x480 420; done
"$make_fixture" "$dir/tall.jpg" 300x900 gray
printf 'not a jpeg' > "$dir/bad.jpg"

# Two unreadable files among four good ones: each reported, exit 1, the sheet still written
# with the good ones packed three to a row (two rows of 160x120 boxes and 12-pixel names).
expect_status 1 "$tessel" thumbs "$dir/p1.jpg" "$dir/bad.jpg" "$dir/p2.jpg" "$dir/missing.jpg" \
  "$dir/tall.jpg" "$dir/p3.jpg" --columns 3 -o "$dir/sheet.png" 2>"$dir/err"
grep -qx "tessel: $dir/bad.jpg: not a JPEG file it can read" "$dir/err" || fail "bad: $(cat "$dir/err")"
grep -qx "tessel: $dir/missing.jpg: no such file" "$dir/err" || fail "missing: $(cat "$dir/err")"
[ "$(wc -l <"$dir/err")" -eq 2 ] || fail "unexpected messages: $(cat "$dir/err")"
[ "$(pictures size "$dir/sheet.png")" = 480x264 ] || fail "sheet size $(pictures size "$dir/sheet.png")"

# The picture of one box agrees with djpeg's own scaled decode (fast DCT, no smoothing):
# 640x480 in a 160x120 box without frames is decoded at 1/2 and fitted to 157x118 at 1,1.
"$tessel" thumbs "$dir/p1.jpg" --frame none --background 102030 -o "$dir/one.ppm"
djpeg -scale 1/2 -dct fast -nosmooth -ppm "$dir/p1.jpg" >"$dir/half.ppm"
python3 - "$dir/one.ppm" "$dir/half.ppm" <<'PY'
import sys
from pictures import read_pnm
def ppm(path):
    magic, w, h, data = read_pnm(path)
    assert magic == b'P6'
    return w, h, data
sw, sh, sheet = ppm(sys.argv[1])
dw, dh, dec = ppm(sys.argv[2])
assert (sw, sh) == (160, 132), (sw, sh)
assert (dw, dh) == (320, 240), (dw, dh)
px = lambda buf, width, x, y: tuple(buf[(y * width + x) * 3:(y * width + x) * 3 + 3])
bg = (0x10, 0x20, 0x30)
x0, y0, w, h = 1, 1, 157, 118
for y in range(120):
    for x in range(160):
        got = px(sheet, sw, x, y)
        if x0 <= x < x0 + w and y0 <= y < y0 + h:
            r, j = y - y0, x - x0
            want = px(dec, dw, j * dw // w, r * dh // h)
        else:
            want = bg
        assert got == want, (x, y, got, want)
# The name strip has ink (light on this dark background) and nothing else.
strip = [px(sheet, sw, x, y) for y in range(120, 132) for x in range(160)]
assert any(p == (255, 255, 255) for p in strip), 'no name drawn'
assert all(p in (bg, (255, 255, 255)) for p in strip), 'stray colours in the name strip'
PY

# Nothing readable: exit 1 and no sheet.
expect_status 1 "$tessel" thumbs "$dir/bad.jpg" -o "$dir/none.png" 2>/dev/null
[ ! -e "$dir/none.png" ] || fail "a sheet was written with no thumbnails"

# Usage errors exit with 2 and write nothing.
for args in "--size 10x10" "--size 0x50" "--size 160" "--frame white,blue" "--background 12345" \
  "--columns 0"; do
  # shellcheck disable=SC2086
  expect_status 2 "$tessel" thumbs "$dir/p1.jpg" $args -o "$dir/usage.png" 2>/dev/null
  [ ! -e "$dir/usage.png" ] || fail "a sheet was written for $args"
done
expect_status 2 "$tessel" thumbs "$dir/p1.jpg" >/dev/null 2>&1
echo ok
