#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tessel render on generated samples: pixels against djpeg (islow IDCT, box upsampling), PNG
# against PPM, whole-MCU sizes, failures and exit codes.
set -euo pipefail
tessel=$1
make_fixture=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v djpeg >/dev/null || { echo "djpeg not installed: skipped"; exit 0; }

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
import struct, sys, zlib
d = sys.argv[1]

def pnm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    magic, w, h = fields[0], int(fields[1]), int(fields[2])
    return magic, w, h, data[pos + 1:]

def png(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            w, h, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert (depth, colour, interlace) == (8, 2, 0), "not 8-bit RGB"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride, rows, prev = zlib.decompress(idat), 3 * w, [], bytearray(3 * w)
    for y in range(h):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b, c = prev[i], prev[i - 3] if i >= 3 else 0
            if f == 1: line[i] = (line[i] + a) & 255
            elif f == 2: line[i] = (line[i] + b) & 255
            elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return w, h, b"".join(rows)

magic, w, h, ppm = pnm(d + "/420.ppm")
assert (magic, w, h) == (b"P6", 37, 23), (magic, w, h)
pw, ph, pixels = png(d + "/420.png")
assert (pw, ph) == (37, 23) and pixels == ppm, "PNG and PPM differ"
fw, fh, full = png(d + "/420-full.png")
assert (fw, fh) == (48, 32), (fw, fh)
for y in range(23):
    assert full[y * 144:y * 144 + 111] == ppm[y * 111:(y + 1) * 111], "row %d" % y
_, gw, gh, gray = pnm(d + "/gray-djpeg.pgm")
_, _, _, rgb = pnm(d + "/gray.ppm")
assert rgb == bytes(v for g in gray for v in (g, g, g)), "gray differs from djpeg"
PY

# Failures: one line on stderr naming the file, exit status 1, no output left behind.
printf 'not a jpeg' > "$dir/bad.jpg"
for input in missing.jpg bad.jpg; do
  set +e
  "$tessel" render "$dir/$input" -o "$dir/out.png" 2>"$dir/err"
  rc=$?
  set -e
  [ $rc -eq 1 ] || fail "exit status $rc for $input"
  [ "$(wc -l <"$dir/err")" -eq 1 ] || fail "expected one line for $input: $(cat "$dir/err")"
  grep -q "^tessel: $dir/$input: " "$dir/err" || fail "message for $input: $(cat "$dir/err")"
  [ ! -e "$dir/out.png" ] || fail "output written for $input"
done
set +e
"$tessel" render "$dir/420.jpg" -o "$dir/no/such/dir/out.png" 2>"$dir/err"; rc=$?
set -e
[ $rc -eq 1 ] || fail "exit status $rc for an unwritable output"
grep -q "^tessel: $dir/no/such/dir/out.png: " "$dir/err" || fail "output message: $(cat "$dir/err")"

# Usage errors exit with 2.
set +e
"$tessel" render "$dir/420.jpg" >/dev/null 2>&1; rc=$?
set -e
[ $rc -eq 2 ] || fail "missing -o gave $rc"
echo "render: all checks passed"
