// SPDX-License-Identifier: MIT
// The Exif values the tool shows: read through the library's caption text, plus the tool's
// own look at which metadata segments a file holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tessel/tessel.h"

namespace cli {

// The values of an opened image, as display text; empty where the file has none.
struct ExifReport {
  bool jfif = false;  // the file has a JFIF APP0 segment
  bool exif = false;  // the file has an Exif APP1 segment
  std::string make, model;
  std::string dateTaken;  // "2015-06-30 14:05:09.50": sub-seconds when the file has them
  std::string exposure;   // "1/250s", or from the shutter speed value
  std::string fNumber;    // "F2.8", or from the aperture value
  std::string iso;        // "ISO100"
  std::string focalLength, focalLength35;  // "6.3mm", "28mm"
  std::string userComment;
  std::string latitude, longitude, altitude;  // "N 48° 51.396'", ..., "-12m"; empty without GPS
  int orientation = 1;
  int thumbnailWidth = 0, thumbnailHeight = 0;
};

// Reads the report of `image`, opened from `bytes`, whose header segments the tool walks itself.
ExifReport ReadExifReport(ITessel* image, const std::vector<uint8_t>& bytes);

// The caption text of `image` for a template, in UTF-8.
std::string FormatExif(ITessel* image, const std::string& templ, uint32_t locale,
                       const std::string& datePicture, const std::string& timePicture,
                       bool withSubSeconds, bool useFileDate);

// A locale identifier given as decimal or 0x-hexadecimal; nothing when it is not a number.
std::optional<uint32_t> ParseLocale(const std::string& text);

}  // namespace cli
