// SPDX-License-Identifier: MIT
// CConverterYCC: JFIF YCbCr (ITU-R BT.601 full range) in 16-bit fixed point, and the tables
// it shares with the CMYK and YCCK converters.
#pragma once

#include <cstdint>

#include "pixels/ColorSpaceConverter.h"

// The YCbCr tables, built once per process and read-only afterwards.
struct YccTables {
  // Decoding, one entry per sample value i (x = i - 128):
  int32_t crToRed[256];    // (91881 x + 32768) >> 16
  int32_t cbToBlue[256];   // (116130 x + 32768) >> 16
  int32_t crToGreen[256];  // -46802 x, kept at 16-bit scale
  int32_t cbToGreen[256];  // -22554 x + 32768, kept at 16-bit scale (carries the rounding)
  // Encoding, eight sections of 256 entries: red, green, blue to Y; red, green, blue to Cb;
  // green and blue to Cr (section 5, blue to Cb, doubles as red to Cr). The constant of
  // sections 2 and 5 adds the rounding and, for chroma, the offset 128 << 16.
  int32_t encode[8][256];
};

// Luminance and chroma of one pixel, or the colour before clamping.
struct Ycc {
  int32_t y, cb, cr;
};
struct Bgr {
  int32_t blue, green, red;
};

class CConverterYCC : public CColorSpaceConverter {
 public:
  // Stores the table and makes sure the YCbCr tables exist.
  void SetRangeLimit(const uint8_t* table) override;
  // Fast routes for the sampling codes 0 (4:4:4), 80 (4:4:0), 160 (4:2:2) and 240 (4:2:0).
  void ToPixels(const jpeg_decompress_struct& info, const uint8_t* area, uint8_t* dst,
                int32_t width, int32_t height, int32_t stride, int32_t sampling) override;
  void FromPixels(const jpeg_decompress_struct& info, const uint8_t* src, uint8_t* area,
                  int32_t stride) override;

  static const YccTables& Tables();
  // F: RGB to YCbCr; each result lies in 0..255.
  static Ycc Forward(int red, int green, int blue);
  // I: YCbCr to blue, green, red before any clamping.
  static Bgr Inverse(int y, int cb, int cr);

 protected:
  const uint8_t* m_pRangeLimit = nullptr;  // the range-limit table's first byte; not owned
};
