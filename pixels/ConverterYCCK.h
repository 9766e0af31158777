// SPDX-License-Identifier: MIT
// CConverterYCCK: four-component images whose inverted C, M, Y inks are stored as YCbCr,
// with an inverted K (255 means no ink).
#pragma once

#include "pixels/ConverterYCC.h"

class CConverterYCCK : public CConverterYCC {
 public:
  void ToPixels(const jpeg_decompress_struct& info, const uint8_t* area, uint8_t* dst,
                int32_t width, int32_t height, int32_t stride, int32_t sampling) override;
  // Y, Cb, Cr of the inverted pixel and a K of 255.
  void FromPixels(const jpeg_decompress_struct& info, const uint8_t* src, uint8_t* area,
                  int32_t stride) override;
};
