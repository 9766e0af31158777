// SPDX-License-Identifier: MIT
// YCCK conversion.
#include "pixels/ConverterYCCK.h"

#include "pixels/RangeLimit.h"

void CConverterYCCK::ToPixels(const jpeg_decompress_struct& info, const uint8_t* area, uint8_t* dst,
                              int32_t width, int32_t height, int32_t stride, int32_t) {
  const uint8_t* clamp = m_pRangeLimit + kClampCentre;
  ToPixelsByRule<4>(info, area, dst, width, height, stride,
                    [clamp](const uint8_t* s, uint8_t* out) {
                      const Bgr c = Inverse(s[0], s[1], s[2]);
                      const int k = s[3];
                      out[0] = static_cast<uint8_t>(clamp[255 - c.blue] * k / 255);
                      out[1] = static_cast<uint8_t>(clamp[255 - c.green] * k / 255);
                      out[2] = static_cast<uint8_t>(clamp[255 - c.red] * k / 255);
                    });
}

void CConverterYCCK::FromPixels(const jpeg_decompress_struct& info, const uint8_t* src,
                                uint8_t* area, int32_t stride) {
  FromPixelsByPlanes(info, src, area, stride, [](int b, int g, int r, uint8_t* planes) {
    const Ycc c = Forward(255 - r, 255 - g, 255 - b);
    planes[0] = static_cast<uint8_t>(c.y);
    planes[1] = static_cast<uint8_t>(c.cb);
    planes[2] = static_cast<uint8_t>(c.cr);
    planes[3] = 255;
  });
}
