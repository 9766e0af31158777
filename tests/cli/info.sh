#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tessel info on generated samples: text and JSON reports, failures and exit codes.
source "$(dirname "$0")/lib.sh" "$@"

"$make_fixture" "$dir/a.jpg" 17x9 420
"$make_fixture" "$dir/g.jpg" 8x8 gray

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

# Failures: one line each on stderr, exit status 1, and the good file still reported.
printf 'not a jpeg' > "$dir/bad.jpg"
out=$(expect_status 1 "$tessel" info "$dir/missing.jpg" "$dir/bad.jpg" "$dir/g.jpg" 2>"$dir/err")
grep -qx "tessel: $dir/missing.jpg: no such file" "$dir/err" || fail "missing-file message: $(cat "$dir/err")"
grep -qx "tessel: $dir/bad.jpg: not a JPEG file it can read" "$dir/err" || fail "bad-file message: $(cat "$dir/err")"
grep -q "size: *8x8" <<<"$out" || fail "the readable file was not reported"

# Usage errors exit with 2.
expect_status 2 "$tessel" info >/dev/null 2>&1
expect_status 2 "$tessel" frobnicate >/dev/null 2>&1
echo "info: all checks passed"
