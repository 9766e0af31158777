#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tessel rotate, flip, crop, grayscale, levels and shell on generated samples: the pixels equal
# jpegtran's for the same edit, in place and with -o, --keep-partial, --keep-times, failures
# that leave the file alone, and a shell script of edits and undos equal to the same edits done
# one by one.
source "$(dirname "$0")/lib.sh" "$@"
need jpegtran djpeg python3

# Pixels as libjpeg decodes them: integer IDCT, no fancy upsampling.
pixels() { djpeg -dct int -nosmooth -ppm "$1"; }
same_pixels() { cmp -s <(pixels "$1") <(pixels "$2"); }
size_of() { "$tessel" info "$1" | sed -n 's/^ *size: *//p'; }

# Every edit beside jpegtran's, for each sampling, at sizes that are and are not whole MCUs.
cases='rotate right:-rotate 90 -trim
rotate left:-rotate 270 -trim
rotate 180:-rotate 180 -trim
flip h:-flip horizontal -trim
flip v:-flip vertical -trim
crop 9,5,30,20:-crop 21x15+9+5
crop 21x15+9+5:-crop 21x15+9+5
grayscale:-grayscale'
for sampling in 420 422 440 411 444 gray; do
  for size in 37x23 64x32; do
    in=$dir/in.jpg
    "$make_fixture" "$in" "$size" "$sampling"
    while IFS=: read -r ours peer; do
      [ "$sampling" = gray ] && [ "$ours" = grayscale ] && continue
      read -ra words <<<"$ours"
      "$tessel" "${words[@]}" "$in" -o "$dir/ours.jpg" || fail "$ours on $sampling $size"
      read -ra words <<<"$peer"
      jpegtran "${words[@]}" -outfile "$dir/peer.jpg" "$in"
      same_pixels "$dir/ours.jpg" "$dir/peer.jpg" ||
        fail "'$ours' differs from jpegtran '$peer' on $sampling $size"
    done <<<"$cases"
  done
done

# In place: the file itself is rewritten; -o leaves the input alone.
"$make_fixture" "$dir/a.jpg" 37x23 420
cp "$dir/a.jpg" "$dir/orig.jpg"
"$tessel" rotate right "$dir/a.jpg" -o "$dir/b.jpg"
cmp -s "$dir/a.jpg" "$dir/orig.jpg" || fail "-o changed the input"
"$tessel" rotate right "$dir/a.jpg"
cmp -s "$dir/a.jpg" "$dir/b.jpg" || fail "in-place result differs from -o result"
[ "$(size_of "$dir/a.jpg")" = 16x37 ] || fail "rotated size $(size_of "$dir/a.jpg")"

# --keep-partial keeps the partial edge MCU: the size grows to whole MCUs on that axis.
cp "$dir/orig.jpg" "$dir/k.jpg"
"$tessel" rotate right --keep-partial "$dir/k.jpg"
[ "$(size_of "$dir/k.jpg")" = 32x37 ] || fail "keep-partial rotation size $(size_of "$dir/k.jpg")"
"$tessel" flip h --keep-partial "$dir/orig.jpg" -o "$dir/k.jpg"
[ "$(size_of "$dir/k.jpg")" = 48x23 ] || fail "keep-partial flip size $(size_of "$dir/k.jpg")"

# Crops beyond the image extend it; levels raise the brightness.
"$tessel" crop -16,0,40,23 "$dir/orig.jpg" -o "$dir/c.jpg"
[ "$(size_of "$dir/c.jpg")" = 56x23 ] || fail "enlarging crop size $(size_of "$dir/c.jpg")"
"$tessel" levels 20,0,0 "$dir/orig.jpg" -o "$dir/l.jpg"
python3 - <(pixels "$dir/orig.jpg") <(pixels "$dir/l.jpg") <<'PY'
import sys
from pictures import read_pnm
def mean(path):
    samples = read_pnm(path)[3]
    return sum(samples) / len(samples)
a, b = (mean(p) for p in sys.argv[1:3])
assert b > a + 20, (a, b)
PY

# --keep-times keeps the modification time.
cp "$dir/orig.jpg" "$dir/t.jpg"
touch -d '2001-02-03 04:05:06' "$dir/t.jpg"
"$tessel" flip h --keep-times "$dir/t.jpg"
[ "$(stat -c %Y "$dir/t.jpg")" = "$(date -d '2001-02-03 04:05:06' +%s)" ] || fail "--keep-times"

# Refused edits: one line on stderr, exit 1, the file untouched.
"$make_fixture" "$dir/small.jpg" 17x9 420
cp "$dir/small.jpg" "$dir/small0.jpg"
expect_status 1 "$tessel" flip v "$dir/small.jpg" 2>"$dir/err"
grep -qx "tessel: $dir/small.jpg: the image is smaller than one MCU (16x16); use --keep-partial" \
  "$dir/err" || fail "refused flip message: $(cat "$dir/err")"
cmp -s "$dir/small.jpg" "$dir/small0.jpg" || fail "a refused edit changed the file"
"$make_fixture" "$dir/cmyk.jpg" 19x11 cmyk
expect_status 1 "$tessel" levels 10,0,0 "$dir/cmyk.jpg" 2>"$dir/err"
grep -q "levels work on grayscale and YCbCr images only" "$dir/err" ||
  fail "levels on CMYK: $(cat "$dir/err")"
expect_status 1 "$tessel" grayscale "$dir/missing.jpg" 2>"$dir/err"
grep -qx "tessel: $dir/missing.jpg: no such file" "$dir/err" || fail "missing file: $(cat "$dir/err")"
expect_status 2 "$tessel" rotate sideways "$dir/small.jpg" 2>/dev/null
expect_status 2 "$tessel" crop 1,2,3 "$dir/small.jpg" 2>/dev/null

# The shell: edits and undos in one session equal the same edits done one by one.
cp "$dir/orig.jpg" "$dir/s.jpg"
out=$("$tessel" shell "$dir/s.jpg" <<EOF2
rotate right
flip h
undo
# comments and blank lines are skipped

rotate 180
undo
crop 8,8,30,20
levels 20,0,0
grayscale
undo
info
save $dir/shell.jpg
quit
flip h
EOF2
)
expected="ok 16x37
ok 16x37
ok 16x37
ok 16x32
ok 16x37
ok 30x20
ok 30x20
ok 30x20
ok 30x20
ok 30x20 mcu 16x16 colour undo 3
ok saved $dir/shell.jpg
ok bye"
[ "$out" = "$expected" ] || fail "shell answers:
$out"
cp "$dir/orig.jpg" "$dir/direct.jpg"
"$tessel" rotate right "$dir/direct.jpg"
"$tessel" crop 8,8,30,20 "$dir/direct.jpg"
"$tessel" levels 20,0,0 "$dir/direct.jpg"
cmp -s "$dir/shell.jpg" "$dir/direct.jpg" || fail "shell result differs from the direct edits"
cmp -s "$dir/s.jpg" "$dir/orig.jpg" || fail "the shell changed its file without save"

# save without a path writes the file itself; errors answer and make the exit status 1.
out=$(printf 'flip h\nbogus\nflip x\nundo\nundo\nsave\n' | expect_status 1 "$tessel" shell "$dir/s.jpg")
expected="ok 32x23
error: unknown command: bogus
error: cannot read 'x'
ok 37x23
error: nothing to undo
ok saved $dir/s.jpg"
[ "$out" = "$expected" ] || fail "shell error answers:
$out"
same_pixels "$dir/s.jpg" "$dir/orig.jpg" || fail "undone edits changed the saved pixels"

# Each edit's usage line when its arguments are wrong, and a half turn refused by its second
# mirror: the first is taken back, so the image and its undo history are as they were.
out=$(printf '%s\n' "rotate" "flip h v" "crop" "grayscale now" "levels" "rotate 180" "info" |
  expect_status 1 "$tessel" shell "$dir/small.jpg")
expected="error: usage: rotate left|right|180 [--keep-partial]
error: usage: flip h|v [--keep-partial]
error: usage: crop L,T,R,B|WxH+X+Y
error: usage: grayscale
error: usage: levels A,B,C
error: the image is smaller than one MCU (16x16); use --keep-partial
ok 17x9 mcu 16x16 colour undo 0"
[ "$out" = "$expected" ] || fail "shell usage answers:
$out"

# render writes the current image, as libjpeg decodes the same image saved.
out=$(printf 'rotate right\nrender %s\nsave %s\n' "$dir/r.ppm" "$dir/r.jpg" |
  "$tessel" shell "$dir/orig.jpg")
[ "$out" = "ok 16x37
ok rendered $dir/r.ppm
ok saved $dir/r.jpg" ] || fail "render answers: $out"
cmp -s "$dir/r.ppm" <(pixels "$dir/r.jpg") || fail "rendered pixels differ from the saved image's"
echo "edit: all checks passed"
