// SPDX-License-Identifier: MIT
// CConverterDummy: the converter of colour spaces the system cannot show; it writes nothing.
#pragma once

#include "pixels/ColorSpaceConverter.h"

class CConverterDummy : public CColorSpaceConverter {
 public:
  void SetRangeLimit(const uint8_t*) override {}
  void ToPixels(const jpeg_decompress_struct&, const uint8_t*, uint8_t*, int32_t, int32_t, int32_t,
                int32_t) override {}
  void FromPixels(const jpeg_decompress_struct&, const uint8_t*, uint8_t*, int32_t) override {}
};
