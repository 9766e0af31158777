// SPDX-License-Identifier: MIT
// RGB conversion: components 0, 1, 2 are red, green, blue; pixels store blue first.
#include "pixels/ConverterRGB.h"

void CConverterRGB::ToPixels(const jpeg_decompress_struct& info, const uint8_t* area, uint8_t* dst,
                             int32_t width, int32_t height, int32_t stride, int32_t) {
  ToPixelsByRule<3>(info, area, dst, width, height, stride, [](const uint8_t* s, uint8_t* out) {
    out[0] = s[2];
    out[1] = s[1];
    out[2] = s[0];
  });
}

void CConverterRGB::FromPixels(const jpeg_decompress_struct& info, const uint8_t* src,
                               uint8_t* area, int32_t stride) {
  FromPixelsByPlanes(info, src, area, stride, [](int b, int g, int r, uint8_t* planes) {
    planes[0] = static_cast<uint8_t>(r);
    planes[1] = static_cast<uint8_t>(g);
    planes[2] = static_cast<uint8_t>(b);
  });
}
