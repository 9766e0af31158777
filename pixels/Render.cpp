// SPDX-License-Identifier: MIT
// Rendering the image object's coefficients into a host bitmap.
#include "pixels/Render.h"

#include <cstdlib>

#include "image/DllImage.h"
#include "pixels/DCT.h"

namespace {

int64_t RoundUp(int64_t value, int64_t multiple) {
  return multiple > 0 ? (value + multiple - 1) / multiple * multiple : value;
}

}  // namespace

TSL_BOOL RenderBitmap(CDllImage& image, uint8_t* bits, int32_t stride, int32_t fullMCU) {
  if (image.Coefficients() == nullptr || bits == nullptr) return 0;
  CDCT dct(image.HeaderDecompressor());
  // A store that the header describes differently would be read past its end.
  if (!dct.CanDecode() || dct.StoreCoefficientCount() > image.CoefficientCount()) return 0;
  int64_t width = image.GetWidth(), height = image.GetHeight();
  if (fullMCU != 0) {
    width = RoundUp(width, image.GetMCUWidth());
    height = RoundUp(height, image.GetMCUHeight());
  }
  if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return 0;
  // Rows closer together than a row of pixels would overwrite each other.
  if (std::llabs(int64_t{stride}) < 3 * width) return 0;
  dct.DecodeRect(image.Coefficients(), bits, stride, 0, 0, static_cast<int32_t>(width),
                 static_cast<int32_t>(height));
  return 1;
}
