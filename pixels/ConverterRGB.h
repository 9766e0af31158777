// SPDX-License-Identifier: MIT
// CConverterRGB: images stored as red, green and blue components, copied without conversion.
#pragma once

#include "pixels/ColorSpaceConverter.h"

class CConverterRGB : public CColorSpaceConverter {
 public:
  void SetRangeLimit(const uint8_t*) override {}
  void ToPixels(const jpeg_decompress_struct& info, const uint8_t* area, uint8_t* dst,
                int32_t width, int32_t height, int32_t stride, int32_t sampling) override;
  void FromPixels(const jpeg_decompress_struct& info, const uint8_t* src, uint8_t* area,
                  int32_t stride) override;
};
