// SPDX-License-Identifier: MIT
// CMYK conversion.
#include "pixels/ConverterCMYK.h"

#include "pixels/RangeLimit.h"

void CConverterCMYK::ToPixels(const jpeg_decompress_struct& info, const uint8_t* area, uint8_t* dst,
                              int32_t width, int32_t height, int32_t stride, int32_t) {
  const uint8_t* clamp = m_pRangeLimit + kClampCentre;
  ToPixelsByRule<4>(info, area, dst, width, height, stride,
                    [clamp](const uint8_t* s, uint8_t* out) {
                      const Ycc ycc = Forward(255 - s[0], 255 - s[1], 255 - s[2]);
                      const Bgr c = Inverse(ycc.y & 0xFF, ycc.cb & 0xFF, ycc.cr & 0xFF);
                      const int k = s[3];
                      out[0] = static_cast<uint8_t>(clamp[255 - c.blue] * k / 255);
                      out[1] = static_cast<uint8_t>(clamp[255 - c.green] * k / 255);
                      out[2] = static_cast<uint8_t>(clamp[255 - c.red] * k / 255);
                    });
}

void CConverterCMYK::FromPixels(const jpeg_decompress_struct& info, const uint8_t* src,
                                uint8_t* area, int32_t stride) {
  FromPixelsByPlanes(info, src, area, stride, [](int b, int g, int r, uint8_t* planes) {
    planes[0] = static_cast<uint8_t>(r);
    planes[1] = static_cast<uint8_t>(g);
    planes[2] = static_cast<uint8_t>(b);
    planes[3] = 255;
  });
}
