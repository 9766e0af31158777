// SPDX-License-Identifier: MIT
// CConverterCMYK: four-component CMYK images holding inverted ink values (255 means no ink).
#pragma once

#include "pixels/ConverterYCC.h"

class CConverterCMYK : public CConverterYCC {
 public:
  // Cyan, magenta and yellow pass through YCbCr and back (the rounding of that round trip
  // is part of the result) and are then scaled by K / 255.
  void ToPixels(const jpeg_decompress_struct& info, const uint8_t* area, uint8_t* dst,
                int32_t width, int32_t height, int32_t stride, int32_t sampling) override;
  // Planes red, green, blue and a K of 255.
  void FromPixels(const jpeg_decompress_struct& info, const uint8_t* src, uint8_t* area,
                  int32_t stride) override;
};
