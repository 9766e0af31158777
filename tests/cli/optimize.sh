#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tessel optimize end to end: in place, -o to a file and a directory, parallel jobs, a failing
# file among good ones, kept times, and the sizes printed. djpeg checks the pixels.
source "$(dirname "$0")/lib.sh" "$@"
pixels() { djpeg -pnm "$1" | sha256sum | cut -d' ' -f1; }
size() { stat -c %s "$1"; }

"$make_fixture" "$dir/a.jpg" 300x200 420
"$make_fixture" "$dir/b.jpg" 97x61 422 restart
"$make_fixture" "$dir/c.jpg" 80x80 gray arithmetic
"$make_fixture" "$dir/d.jpg" 64x40 rgb
for f in a b c d; do cp "$dir/$f.jpg" "$dir/$f.orig"; done

# In place, several jobs: sizes printed per file in order, pixels unchanged, files sequential.
out=$("$tessel" optimize -j 3 "$dir/a.jpg" "$dir/b.jpg" "$dir/c.jpg" "$dir/d.jpg")
[ "$(wc -l <<<"$out")" -eq 4 ] || fail "expected four lines: $out"
i=0
for f in a b c d; do
  i=$((i + 1))
  line=$(sed -n "${i}p" <<<"$out")
  want="$dir/$f.jpg: $(size "$dir/$f.orig") -> $(size "$dir/$f.jpg") bytes"
  [[ "$line" == "$want"* ]] || fail "line $i: '$line' does not start with '$want'"
  [ "$(pixels "$dir/$f.jpg")" = "$(pixels "$dir/$f.orig")" ] || fail "$f.jpg pixels changed"
  trace=$(djpeg -verbose -verbose -outfile /dev/null "$dir/$f.jpg" 2>&1)
  grep -q "Start Of Frame 0xc[01]" <<<"$trace" || fail "$f.jpg is not sequential Huffman"
  [ "$(grep -c "Start Of Scan" <<<"$trace")" -eq 1 ] || fail "$f.jpg has several scans"
  ! grep -qi "restart" <<<"$trace" || fail "$f.jpg has restart markers"
  [ ! -e "$dir/$f.jpg.tmp" ] || fail "$f.jpg.tmp left behind"
done
# The baseline file with standard tables gets smaller.
[ "$(size "$dir/a.jpg")" -lt "$(size "$dir/a.orig")" ] || fail "a.jpg did not get smaller"

# -o to a file leaves the input alone; -o to a directory takes every file under its name.
cp "$dir/a.orig" "$dir/e.jpg"
"$tessel" optimize "$dir/e.jpg" -o "$dir/e-out.jpg" | grep -q "written to $dir/e-out.jpg" ||
  fail "-o file not reported"
cmp -s "$dir/e.jpg" "$dir/a.orig" || fail "-o changed the input"
cmp -s "$dir/e-out.jpg" "$dir/a.jpg" || fail "-o output differs from the in-place output"
mkdir "$dir/out"
"$tessel" optimize -j 1 "$dir/b.orig" "$dir/c.orig" -o "$dir/out" >/dev/null
[ -s "$dir/out/b.orig" ] && [ -s "$dir/out/c.orig" ] || fail "-o directory not filled"

# -o with several files and no directory, or two files of one name: usage errors (exit 2).
expect_status 2 "$tessel" optimize "$dir/b.orig" "$dir/c.orig" -o "$dir/none.jpg" 2>"$dir/err"
mkdir "$dir/sub"; cp "$dir/b.orig" "$dir/sub/"
expect_status 2 "$tessel" optimize "$dir/b.orig" "$dir/sub/b.orig" -o "$dir/out" 2>/dev/null
expect_status 2 "$tessel" optimize -j 0 "$dir/b.orig" 2>/dev/null
grep -q "must name an existing directory" "$dir/err" || fail "usage message: $(cat "$dir/err")"
[ ! -e "$dir/none.jpg" ] || fail "a usage error wrote a file"

# A failing file among good ones: reported, left exactly as it was, the others done, exit 1.
cp "$dir/a.orig" "$dir/g1.jpg"
cp "$dir/a.orig" "$dir/g2.jpg"
printf 'not a jpeg' >"$dir/bad.jpg"
cp "$dir/bad.jpg" "$dir/bad.orig"
mkdir "$dir/g3.jpg.tmp"  # the temporary file cannot be made: the save fails
cp "$dir/a.orig" "$dir/g3.jpg"
out=$(expect_status 1 "$tessel" optimize -j 2 "$dir/g1.jpg" "$dir/bad.jpg" "$dir/g3.jpg" \
  "$dir/missing.jpg" "$dir/g2.jpg" 2>"$dir/err")
grep -qx "tessel: $dir/bad.jpg: not a JPEG file it can read" "$dir/err" || fail "bad: $(cat "$dir/err")"
grep -qx "tessel: $dir/missing.jpg: no such file" "$dir/err" || fail "missing: $(cat "$dir/err")"
grep -q "^tessel: $dir/g3.jpg: could not save" "$dir/err" || fail "g3: $(cat "$dir/err")"
cmp -s "$dir/bad.jpg" "$dir/bad.orig" || fail "the bad file was changed"
cmp -s "$dir/g3.jpg" "$dir/a.orig" || fail "the file that could not be saved was changed"
[ -d "$dir/g3.jpg.tmp" ] || fail "the directory in the way was removed"
cmp -s "$dir/g1.jpg" "$dir/a.jpg" && cmp -s "$dir/g2.jpg" "$dir/a.jpg" || fail "good files not optimized"
[ "$(wc -l <<<"$out")" -eq 2 ] || fail "expected two size lines: $out"

# --keep-times keeps the modification time to the nanosecond; a read-only file stays so.
cp "$dir/a.orig" "$dir/t.jpg"
touch -d '2001-02-03 04:05:06.123456789' "$dir/t.jpg"
chmod 0444 "$dir/t.jpg"
before=$(stat -c %y "$dir/t.jpg")
"$tessel" optimize --keep-times "$dir/t.jpg" >/dev/null
[ "$(stat -c %y "$dir/t.jpg")" = "$before" ] || fail "time not kept: $(stat -c %y "$dir/t.jpg")"
[ "$(stat -c %a "$dir/t.jpg")" = "444" ] || fail "mode not kept: $(stat -c %a "$dir/t.jpg")"
cmp -s "$dir/t.jpg" "$dir/a.jpg" || fail "t.jpg not optimized"
echo "optimize: all checks passed"
