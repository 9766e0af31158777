#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tessel info on generated samples: text and JSON reports, failures and exit codes.
source "$(dirname "$0")/lib.sh" "$@"

"$make_fixture" "$dir/a.jpg" 17x9 420
"$make_fixture" "$dir/g.jpg" 8x8 gray
"$make_fixture" "$dir/444.jpg" 16x16 444

out=$("$tessel" info "$dir/a.jpg")
grep -q "size: *17x9" <<<"$out" || fail "size missing: $out"
grep -q "MCU: *16x16" <<<"$out" || fail "MCU missing: $out"
grep -q "colour space: YCbCr" <<<"$out" || fail "colour space missing: $out"
grep -q "component 0: *sampling 2x2, blocks 3x2 (store 4x2)" <<<"$out" || fail "component 0: $out"
grep -q "coefficients: 768" <<<"$out" || fail "coefficient count: $out"

json=$("$tessel" info --json "$dir/a.jpg" "$dir/g.jpg")
[ "$(wc -l <<<"$json")" -eq 2 ] || fail "expected two JSON lines: $json"
python3 - "$json" <<'PY'
import json, sys
a, g = [json.loads(line) for line in sys.argv[1].splitlines()]
assert a["width"] == 17 and a["height"] == 9 and a["mcu"] == [16, 16], a
assert a["colourSpace"] == "YCbCr" and a["coefficients"] == 768, a
assert [c["h"] for c in a["components"]] == [2, 1, 1], a
assert g["colourSpace"] == "Grayscale" and g["coefficients"] == 64, g
PY

# Header-only still reports the layout and the count the store would hold.
"$tessel" info --header-only "$dir/a.jpg" | grep -q "coefficients: 768" || fail "header-only count"

# Which metadata segments the header holds, as the JPEG library reads markers: stray bytes
# and fill bytes before a marker are skipped, and only the APP0 and APP1 segments themselves
# count, not a comment that holds the same words.
python3 - "$dir/a.jpg" "$dir" <<'PY'
import sys
src, d = sys.argv[1:3]
data = open(src, "rb").read()
assert data[2:4] == b"\xff\xe0", "the fixture starts with its JFIF APP0"
end = 4 + (data[4] << 8 | data[5])
def segment(code, payload):
    return bytes([0xFF, code, (len(payload) + 2) >> 8, (len(payload) + 2) & 255]) + payload
exif = segment(0xE1, b"Exif\0\0II*\0\x08\0\0\0\0\0\0\0\0\0")
variants = {
    "stray": data[:2] + b"ab\0" + data[2:],
    "fill": data[:2] + b"\xff\xff" + data[2:],
    "exif": data[:2] + exif + data[end:],
    "words": data[:2] + segment(0xFE, b"JFIF\0 and Exif\0\0 in a comment") + data[end:],
}
for name, content in variants.items():
    open("%s/%s.jpg" % (d, name), "wb").write(content)
PY
while read -r name want; do
  out=$("$tessel" info "$dir/$name.jpg")
  grep -qx "  segments: *$want" <<<"$out" || fail "segments of $name: $out"
done <<'CASES'
a JFIF, no Exif
stray JFIF, no Exif
fill JFIF, no Exif
exif no JFIF, Exif
words no JFIF, no Exif
CASES

# Failures: one line each on stderr, exit status 1, and the good file still reported.
printf 'not a jpeg' > "$dir/bad.jpg"
out=$(expect_status 1 "$tessel" info "$dir/missing.jpg" "$dir/bad.jpg" "$dir/g.jpg" 2>"$dir/err")
grep -qx "tessel: $dir/missing.jpg: no such file" "$dir/err" || fail "missing-file message: $(cat "$dir/err")"
grep -qx "tessel: $dir/bad.jpg: not a JPEG file it can read" "$dir/err" || fail "bad-file message: $(cat "$dir/err")"
grep -q "size: *8x8" <<<"$out" || fail "the readable file was not reported"

# A frame of 65500x65500 in three full-resolution components needs about 12.9 billion
# coefficients: no store can hold them, but the header-only report still counts them.
python3 - "$dir/444.jpg" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
pos = 2
while data[pos + 1] != 0xC0:
    pos += 2 + (data[pos + 2] << 8 | data[pos + 3])
data[pos + 5:pos + 9] = b"\xff\xdc\xff\xdc"
open(sys.argv[1], "wb").write(data)
PY
out=$("$tessel" info --header-only "$dir/444.jpg")
grep -q "component 2: *sampling 1x1, blocks 8188x8188 (store 8188x8188)" <<<"$out" ||
  fail "components of a huge frame: $out"
grep -q "coefficients: 12872322048" <<<"$out" || fail "coefficients of a huge frame: $out"

# Usage errors exit with 2.
expect_status 2 "$tessel" info >/dev/null 2>&1
expect_status 2 "$tessel" frobnicate >/dev/null 2>&1
echo "info: all checks passed"
