// SPDX-License-Identifier: MIT
// Reading and writing the tool's image files: 8-bit RGB PNG (libpng) and binary PPM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// An image in memory: rows top-down, 3 bytes a pixel in red, green, blue order.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width * height * 3 bytes
};

// Writes `image` as an 8-bit RGB PNG, or as binary PPM (P6) when the path ends in ".ppm".
// On failure returns false and sets `error` to a one-line reason.
bool WriteImageFile(const std::string& path, const RgbImage& image, std::string* error);

// Reads a PNG. Only 8-bit RGB without alpha or interlacing is accepted, so that the pixels
// are exactly what was written; anything else is refused with a reason in `error`.
bool ReadRgbPng(const std::string& path, RgbImage* image, std::string* error);

// Converts between the library's 24-bit bitmaps (blue, green, red) and RGB rows.
// `stride` is the bitmap's signed row distance; `row0` its first image row.
void BitmapToRgb(const uint8_t* row0, int32_t stride, RgbImage* image);
void RgbToBitmap(const RgbImage& image, uint8_t* row0, int32_t stride);

}  // namespace cli
