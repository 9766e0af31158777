// SPDX-License-Identifier: MIT
// Grayscale conversion, with a direct copy for the usual one-block MCU.
#include "pixels/ConverterGrayscale.h"

#include <cstring>

namespace {

// Every factor 1: the MCU is one block and pixel (x, y) is sample (x, y) of component 0.
constexpr int32_t kSamplingOneToOne = 0;

void CopyOneBlock(const uint8_t* area, uint8_t* dst, int32_t width, int32_t height,
                  int32_t stride) {
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = area + DecodeSampleOffset(0, 0, y);
    uint8_t* out = dst + static_cast<ptrdiff_t>(y) * stride;
    for (int x = 0; x < width; ++x, out += 3) out[0] = out[1] = out[2] = in[x];
  }
}

}  // namespace

void CConverterGrayscale::ToPixels(const jpeg_decompress_struct& info, const uint8_t* area,
                                   uint8_t* dst, int32_t width, int32_t height, int32_t stride,
                                   int32_t sampling) {
  if (sampling == kSamplingOneToOne) {
    CopyOneBlock(area, dst, width, height, stride);
    return;
  }
  ToPixelsByRule<1>(info, area, dst, width, height, stride,
                    [](const uint8_t* s, uint8_t* out) { out[0] = out[1] = out[2] = s[0]; });
}

void CConverterGrayscale::FromPixels(const jpeg_decompress_struct& info, const uint8_t* src,
                                     uint8_t* area, int32_t stride) {
  FromPixelsByPlanes(info, src, area, stride, [](int b, int g, int r, uint8_t* planes) {
    planes[0] = static_cast<uint8_t>((b + g + r) / 3);
  });
}
