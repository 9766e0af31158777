// SPDX-License-Identifier: MIT
// CConverterGrayscale: one-component images; the sample becomes blue, green and red alike.
#pragma once

#include "pixels/ColorSpaceConverter.h"

class CConverterGrayscale : public CColorSpaceConverter {
 public:
  void SetRangeLimit(const uint8_t*) override {}
  void ToPixels(const jpeg_decompress_struct& info, const uint8_t* area, uint8_t* dst,
                int32_t width, int32_t height, int32_t stride, int32_t sampling) override;
  // The plane value is the plain average (B + G + R) / 3, rounded down.
  void FromPixels(const jpeg_decompress_struct& info, const uint8_t* src, uint8_t* area,
                  int32_t stride) override;
};
