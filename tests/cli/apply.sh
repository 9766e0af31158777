#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tessel apply end to end: render, paint a rectangle into the PNG, apply; only the blocks under
# the rectangle change, the statistics say so, an unchanged rendering rewrites nothing, and
# pictures of another size or format are refused.
set -euo pipefail
tessel=$1
make_fixture=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# PNG reading and writing in plain Python (zlib only), and painting.
cat >"$dir/png.py" <<'PY'
import struct, sys, zlib

def read(path):
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
        rows.append(bytearray(line))
        prev = line
    return w, h, rows

def write(path, w, h, rows, colour=2):
    channels = 4 if colour == 6 else 3
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + bytes(r) for r in rows)
    assert all(len(r) == channels * w for r in rows)
    open(path, "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, colour, 0, 0, 0))
                           + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))

def paint(src, dst, x0, y0, x1, y1, rgb):
    w, h, rows = read(src)
    for y in range(y0, y1):
        for x in range(x0, x1):
            assert tuple(rows[y][3 * x:3 * x + 3]) != rgb, "the paint must change every pixel"
            rows[y][3 * x:3 * x + 3] = bytes(rgb)
    write(dst, w, h, rows)

# Pixels outside the rectangle of cells [cx0, cx1) x [cy0, cy1) (in pixels) are unchanged; the
# painted ones came back close to the paint.
def compare(before, after, x0, y0, x1, y1, cx0, cy0, cx1, cy1, rgb):
    w, h, a = read(before)
    _, _, b = read(after)
    painted, unpainted = [], []
    for y in range(h):
        for x in range(w):
            pa, pb = a[y][3 * x:3 * x + 3], b[y][3 * x:3 * x + 3]
            if not (cx0 <= x < cx1 and cy0 <= y < cy1):
                assert pa == pb, "pixel %d,%d outside the changed cells differs" % (x, y)
            if x0 <= x < x1 and y0 <= y < y1:
                painted.append(max(abs(pb[i] - rgb[i]) for i in range(3)))
                unpainted.append(max(abs(pa[i] - rgb[i]) for i in range(3)))
    # Quantization and chroma subsampling blur the paint's sharp edges, but it arrived.
    now, was = sum(painted) / len(painted), sum(unpainted) / len(unpainted)
    assert now < was / 3, "painted pixels are %.1f from the paint, %.1f before" % (now, was)

if __name__ == "__main__":
    cmd = sys.argv[1]
    args = sys.argv[2:]
    if cmd == "paint":
        paint(args[0], args[1], *map(int, args[2:6]), tuple(map(int, args[6:9])))
    elif cmd == "compare":
        compare(args[0], args[1], *map(int, args[2:10]), tuple(map(int, args[10:13])))
    elif cmd == "resize":
        w, h, rows = read(args[0])
        write(args[1], w - 1, h, [r[:3 * (w - 1)] for r in rows])
    elif cmd == "rgba":
        w, h, rows = read(args[0])
        write(args[1], w, h, [bytearray(b for x in range(w) for b in r[3 * x:3 * x + 3] + b"\xff") for r in rows], 6)
PY
png() { python3 "$dir/png.py" "$@"; }

# 4:4:4, 40 x 24: MCUs are 8 x 8. The rectangle x 10..20, y 5..12 covers cells 1..2 by 0..1:
# 4 MCUs of 3 blocks.
"$make_fixture" "$dir/444.jpg" 40x24 444
"$tessel" render "$dir/444.jpg" -o "$dir/444.png"
png paint "$dir/444.png" "$dir/444-painted.png" 10 5 21 13 250 10 200
out=$("$tessel" apply "$dir/444.jpg" "$dir/444-painted.png" -o "$dir/444-applied.jpg")
[ "$out" = "$dir/444.jpg: 4 of 15 MCUs and 12 of 45 blocks changed" ] || fail "4:4:4 statistics: $out"
"$tessel" render "$dir/444-applied.jpg" -o "$dir/444-applied.png"
png compare "$dir/444.png" "$dir/444-applied.png" 10 5 21 13 8 0 24 16 250 10 200

# 4:2:0, 48 x 32: MCUs are 16 x 16. The rectangle x 20..27, y 9..12 lies in MCU (1, 0) and
# covers two of its luminance blocks; both chroma blocks of that MCU are re-encoded.
"$make_fixture" "$dir/420.jpg" 48x32 420
"$tessel" render "$dir/420.jpg" -o "$dir/420.png"
png paint "$dir/420.png" "$dir/420-painted.png" 20 9 28 13 20 240 30
cp "$dir/420.jpg" "$dir/420-inplace.jpg"
out=$("$tessel" apply "$dir/420-inplace.jpg" "$dir/420-painted.png")
[ "$out" = "$dir/420-inplace.jpg: 1 of 6 MCUs and 4 of 36 blocks changed" ] || fail "4:2:0 statistics: $out"
cmp -s "$dir/420.jpg" "$dir/420-inplace.jpg" && fail "the file was not rewritten in place"
"$tessel" render "$dir/420-inplace.jpg" -o "$dir/420-applied.png"
png compare "$dir/420.png" "$dir/420-applied.png" 20 9 28 13 16 0 32 16 20 240 30

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
png resize "$dir/420.png" "$dir/narrow.png"
png rgba "$dir/420.png" "$dir/rgba.png"
printf 'not a png' >"$dir/text.png"
cp "$dir/420.jpg" "$dir/keep.jpg"
for picture in narrow.png rgba.png text.png missing.png; do
  set +e
  "$tessel" apply "$dir/keep.jpg" "$dir/$picture" >"$dir/out" 2>"$dir/err"
  rc=$?
  set -e
  [ $rc -eq 1 ] || fail "exit status $rc for $picture"
  [ "$(wc -l <"$dir/err")" -eq 1 ] || fail "expected one line for $picture: $(cat "$dir/err")"
  grep -q "^tessel: $dir/$picture: " "$dir/err" || fail "message for $picture: $(cat "$dir/err")"
  cmp -s "$dir/420.jpg" "$dir/keep.jpg" || fail "$picture changed the JPEG"
done
grep -q "is 47x32 pixels, but $dir/keep.jpg is 48x32" <("$tessel" apply "$dir/keep.jpg" "$dir/narrow.png" 2>&1 || true) ||
  fail "the size message does not give both sizes"
set +e
"$tessel" apply "$dir/missing.jpg" "$dir/420.png" 2>"$dir/err"; rc=$?
set -e
[ $rc -eq 1 ] && grep -q "^tessel: $dir/missing.jpg: no such file" "$dir/err" || fail "missing JPEG: $rc $(cat "$dir/err")"
echo "apply: all checks passed"
