// SPDX-License-Identifier: MIT
// The coefficient loader: reads every DCT coefficient of a JPEG stream into a new store.
#pragma once

#include <cstdint>
#include <cstdio>

#include "jpeg/CoefficientStore.h"
#include "jpeg/Jpeg.h"
#include "jpeg/Sources.h"

// Reads the stream again with a temporary decompression object and fills a store laid out
// for `header` (the header decompressor of the same stream): each coefficient times its
// quantizer, filler blocks zero. On failure `store` stays empty and false is returned.
// `lendStore` lets the library decode straight into the store (the fast path); without it the
// library's own arrays are copied, which gives the identical store.
bool LoadCoefficients(const jpeg_decompress_struct& header, const JpegInput& input,
                      CoefficientArray* store, int32_t* count, bool lendStore = true);
