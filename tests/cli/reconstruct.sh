#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tessel reconstruct end to end: the smoothed picture has weaker block edges, a saved JPEG keeps
# every quantization level, progress lines, Ctrl-C stops without saving, and failures.
source "$(dirname "$0")/lib.sh" "$@"

# A coarsely quantized picture, so that block edges show.
"$make_fixture" "$dir/a.jpg" 64x48 420 q=15
"$tessel" render "$dir/a.jpg" -o "$dir/a.ppm"
"$tessel" reconstruct "$dir/a.jpg" --passes 2 -o "$dir/smooth.ppm" 2>"$dir/progress"
grep -qx "reconstruct: pass 1 of 2: 100%" "$dir/progress" || fail "no end of pass 1: $(cat "$dir/progress")"
grep -qx "reconstruct: pass 2 of 2: 100%" "$dir/progress" || fail "no end of pass 2: $(cat "$dir/progress")"

# On a terminal the progress is a bar redrawn in place, full at the end of each pass.
if command -v script >/dev/null; then
  script -qec "'$tessel' reconstruct '$dir/a.jpg' --passes 2 -o '$dir/tty.ppm'" /dev/null >"$dir/tty" 2>&1
  bar="reconstruct: pass 2 of 2 \\[##############################\\] 100%"
  grep -q "$bar" "$dir/tty" || fail "no full bar on a terminal: $(od -c "$dir/tty" | head -n 5)"
  [ "$(tr -cd '\r' <"$dir/tty" | wc -c)" -ge 8 ] || fail "the bar is not redrawn in place"
  cmp -s "$dir/tty.ppm" "$dir/smooth.ppm" || fail "the result depends on the terminal"
fi

# Luminance steps across the 8-pixel block edges, against steps inside the blocks.
python3 - "$dir/a.ppm" "$dir/smooth.ppm" <<'PY'
import sys
from pictures import read_pnm

def edge_ratio(path):
    _, w, h, px = read_pnm(path)
    luma = lambda x, y: sum(px[3 * (y * w + x) + i] for i in range(3))
    edge, inner = [], []
    for y in range(h):
        for x in range(w - 1):
            (edge if x % 8 == 7 else inner).append(abs(luma(x + 1, y) - luma(x, y)))
    return (sum(edge) / len(edge)) / (sum(inner) / len(inner))

before, after = edge_ratio(sys.argv[1]), edge_ratio(sys.argv[2])
assert after < before * 0.9, "block edges %.3f before, %.3f after" % (before, after)
PY

# Saved as JPEG, every coefficient quantizes back to its level: the rendering is unchanged.
cp "$dir/a.jpg" "$dir/inplace.jpg"
"$tessel" reconstruct "$dir/inplace.jpg" >/dev/null 2>&1
"$tessel" render "$dir/inplace.jpg" -o "$dir/inplace.ppm"
cmp -s "$dir/a.ppm" "$dir/inplace.ppm" || fail "a saved JPEG changed its quantization levels"

# Ctrl-C: the progress function asks the filter to stop; nothing is saved, exit 130.
"$make_fixture" "$dir/big.jpg" 1200x900 420
cp "$dir/big.jpg" "$dir/big-before.jpg"
expect_status 130 timeout --preserve-status -s INT 1 "$tessel" reconstruct "$dir/big.jpg" \
  --passes 1000 -o "$dir/big-out.jpg" 2>"$dir/err"
grep -q "^tessel: $dir/big.jpg: interrupted; nothing saved$" "$dir/err" || fail "message: $(tail -n 2 "$dir/err")"
[ ! -e "$dir/big-out.jpg" ] || fail "an interrupted run saved"
cmp -s "$dir/big.jpg" "$dir/big-before.jpg" || fail "an interrupted run changed the input"

# Failures and usage errors.
expect_status 1 "$tessel" reconstruct "$dir/missing.jpg" 2>"$dir/err"
grep -q "^tessel: $dir/missing.jpg: no such file" "$dir/err" || fail "missing: $(cat "$dir/err")"
expect_status 2 "$tessel" reconstruct "$dir/a.jpg" --passes 0 >/dev/null 2>&1
echo "reconstruct: all checks passed"
