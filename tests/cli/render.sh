#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tessel render on generated samples: pixels against djpeg (islow IDCT, box upsampling), PNG
# against PPM, whole-MCU sizes, failures and exit codes.
source "$(dirname "$0")/lib.sh" "$@"
skip_without djpeg

"$make_fixture" "$dir/444.jpg" 37x23 444
"$make_fixture" "$dir/420.jpg" 37x23 420
"$make_fixture" "$dir/411.jpg" 45x17 411
"$make_fixture" "$dir/gray.jpg" 19x11 gray

# PPM output is byte for byte what libjpeg's own decoder gives with the same integer IDCT and
# without fancy upsampling (at 4:4:4 there is nothing to upsample).
"$tessel" render "$dir/444.jpg" -o "$dir/444.ppm"
djpeg -dct int -ppm "$dir/444.jpg" | cmp -s - "$dir/444.ppm" || fail "4:4:4 differs from djpeg"
for s in 420 411; do
  "$tessel" render "$dir/$s.jpg" -o "$dir/$s.ppm"
  djpeg -dct int -nosmooth -ppm "$dir/$s.jpg" | cmp -s - "$dir/$s.ppm" || fail "$s differs from djpeg"
done
djpeg -dct int -pnm "$dir/gray.jpg" > "$dir/gray-djpeg.pgm"
"$tessel" render "$dir/gray.jpg" -o "$dir/gray.ppm"

# PNG holds the same pixels in RGB order; whole MCUs round 37x23 up to 48x32 with the image
# in the top-left corner.
"$tessel" render "$dir/420.jpg" -o "$dir/420.png"
"$tessel" render "$dir/420.jpg" -o "$dir/420-full.png" --full-mcu
python3 - "$dir" <<'PY'
import sys
from pictures import read_png, read_pnm
d = sys.argv[1]

def png(path):
    w, h, rows = read_png(path)
    return w, h, b"".join(rows)

magic, w, h, ppm = read_pnm(d + "/420.ppm")
assert (magic, w, h) == (b"P6", 37, 23), (magic, w, h)
pw, ph, pixels = png(d + "/420.png")
assert (pw, ph) == (37, 23) and pixels == ppm, "PNG and PPM differ"
fw, fh, full = png(d + "/420-full.png")
assert (fw, fh) == (48, 32), (fw, fh)
for y in range(23):
    assert full[y * 144:y * 144 + 111] == ppm[y * 111:(y + 1) * 111], "row %d" % y
_, gw, gh, gray = read_pnm(d + "/gray-djpeg.pgm")
_, _, _, rgb = read_pnm(d + "/gray.ppm")
assert rgb == bytes(v for g in gray for v in (g, g, g)), "gray differs from djpeg"
PY

# Failures: one line on stderr naming the file, exit status 1, no output left behind.
printf 'not a jpeg' > "$dir/bad.jpg"
for input in missing.jpg bad.jpg; do
  expect_status 1 "$tessel" render "$dir/$input" -o "$dir/out.png" 2>"$dir/err"
  [ "$(wc -l <"$dir/err")" -eq 1 ] || fail "expected one line for $input: $(cat "$dir/err")"
  grep -q "^tessel: $dir/$input: " "$dir/err" || fail "message for $input: $(cat "$dir/err")"
  [ ! -e "$dir/out.png" ] || fail "output written for $input"
done
expect_status 1 "$tessel" render "$dir/420.jpg" -o "$dir/no/such/dir/out.png" 2>"$dir/err"
grep -q "^tessel: $dir/no/such/dir/out.png: " "$dir/err" || fail "output message: $(cat "$dir/err")"

# Usage errors exit with 2.
expect_status 2 "$tessel" render "$dir/420.jpg" >/dev/null 2>&1
echo "render: all checks passed"
