// SPDX-License-Identifier: MIT
// Rendering an image's coefficients into a host bitmap.
#include "pixels/Render.h"

#include <cstdlib>

#include "pixels/DCT.h"

TSL_BOOL RenderBitmap(const StoreView& image, uint8_t* bits, int32_t stride, int32_t fullMCU) {
  if (!image.HasStore() || bits == nullptr) return 0;
  CDCT dct(image.header);
  // A store that the header describes differently would be read past its end.
  if (!dct.CanDecode() || !dct.StoreHolds(image.count)) return 0;
  int64_t width = image.width, height = image.height;
  if (fullMCU != 0) {
    width = RoundUp(width, 8 * image.header->max_h_samp_factor);
    height = RoundUp(height, 8 * image.header->max_v_samp_factor);
  }
  if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return 0;
  // Rows closer together than a row of pixels would overwrite each other.
  if (std::llabs(int64_t{stride}) < 3 * width) return 0;
  dct.DecodeRect(image.values, bits, stride, 0, 0, static_cast<int32_t>(width),
                 static_cast<int32_t>(height));
  return 1;
}
