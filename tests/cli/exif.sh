#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tessel info's Exif values and captions, and tessel orient, on samples that exiftool tags.
source "$(dirname "$0")/lib.sh" "$@"
skip_without exiftool

"$make_fixture" "$dir/a.jpg" 32x16 420
exiftool -q -overwrite_original -Make=Camera -Model="Model 7" -Orientation#=3 \
  -DateTimeOriginal="2015:06:30 14:05:09" -SubSecTimeOriginal=50 -ExposureTime=1/250 \
  -FNumber=2.8 -ISO=100 -FocalLength=6.3 -FocalLengthIn35mmFormat=28 -UserComment=hello \
  -GPSLatitude=48.8566 -GPSLatitudeRef=N -GPSLongitude=2.3522 -GPSLongitudeRef=E \
  -GPSAltitude=12 -GPSAltitudeRef#=1 -ExifImageWidth=1600 -ExifImageHeight=1200 "$dir/a.jpg"

# exiftool stores the f-number 2.8 as 280/100, which reads as "F2.80".
out=$("$tessel" info "$dir/a.jpg")
for want in "segments: *JFIF, Exif" "make: *Camera" "model: *Model 7" \
  "date taken: *2015-06-30 14:05:09.50" "exposure: *1/250s" "f-number: *F2.80" "ISO: *ISO100" \
  "focal length: *6.3mm" "35mm focal: *28mm" "user comment: *hello" \
  "GPS: *N 48° 51.396', E 2° 21.132', -12m" "orientation: *3"; do
  grep -q "$want" <<<"$out" || fail "missing '$want' in: $out"
done

json=$("$tessel" info --json "$dir/a.jpg")
python3 - "$json" <<'PY'
import json, sys
e = json.loads(sys.argv[1])["exif"]
assert e["make"] == "Camera" and e["orientation"] == 3, e
assert e["dateTaken"] == "2015-06-30 14:05:09.50", e
assert e["gps"]["latitude"] == "N 48\u00b0 51.396'" and e["gps"]["altitude"] == "-12m", e
assert e["exifSegment"] and e["jfifSegment"] and e["thumbnail"] == [0, 0], e
assert e["userComment"] == "hello" and e["iso"] == "ISO100", e
PY

# Captions in the locale's language, with and without sub-seconds.
[ "$("$tessel" info --format '%M: %d' --locale 0x0809 --date 'dddd d MMMM yyyy' "$dir/a.jpg")" \
  = "Camera: Tuesday 30 June 2015" ] || fail "en-GB caption"
[ "$("$tessel" info --format '%d %t' --locale 0x0407 --date 'dddd d MMMM' --time 'HH:mm:ss' \
  --subsec "$dir/a.jpg")" = "Dienstag 30 Juni 14:05:09.50" ] || fail "de-DE caption"
[ "$("$tessel" info --format '100%% %e %f' "$dir/a.jpg")" = "100% 1/250s F2.80" ] || fail "codes"
expect_status 2 "$tessel" info --format x --locale banana "$dir/a.jpg" >/dev/null 2>&1

# Orientation: set, saved, read back by exiftool; the pixel dimensions follow the image.
"$tessel" orient 6 "$dir/a.jpg"
[ "$(exiftool -n -s3 -Orientation "$dir/a.jpg")" = 6 ] || fail "orientation not saved"
[ "$(exiftool -n -s3 -ExifImageWidth -ExifImageHeight "$dir/a.jpg" | tr '\n' ' ')" = "32 16 " ] \
  || fail "pixel dimensions not patched"
"$tessel" orient 8 -o "$dir/b.jpg" --strip-metadata "$dir/a.jpg"
[ -z "$(exiftool -s3 -Orientation "$dir/b.jpg")" ] || fail "--strip-metadata kept Exif"
expect_status 2 "$tessel" orient 9 "$dir/a.jpg" 2>/dev/null
expect_status 1 "$tessel" orient 2 "$dir/b.jpg" 2>"$dir/err"
grep -qx "tessel: $dir/b.jpg: has no Exif orientation to change" "$dir/err" || fail "$(cat "$dir/err")"
echo "exif: all checks passed"
