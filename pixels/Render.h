// SPDX-License-Identifier: MIT
// GetBitmap's body: rendering the whole current image into a host's 24-bit bitmap.
#pragma once

#include <cstdint>

#include "jpeg/CoefficientStore.h"
#include "tessel/tessel.h"

// Decodes the image's coefficient store into the bitmap whose row 0 is at `bits`, rows
// `stride` bytes apart (negative for bottom-up buffers), 3 bytes a pixel (blue, green, red).
// With `fullMCU` non-zero the size is rounded up to whole MCUs. Returns 0, leaving the
// bitmap untouched, when no store is loaded, `bits` is null, |stride| is below three bytes a
// pixel, or the image cannot be shown (a colour space without a converter, more than four
// components, sampling factors outside 1 to 4, a store smaller than the header describes).
TSL_BOOL RenderBitmap(const StoreView& image, uint8_t* bits, int32_t stride, int32_t fullMCU);
