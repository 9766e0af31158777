// SPDX-License-Identifier: MIT
// The re-encoding writer: compresses the host's bitmap of the image at a chosen quality.
#pragma once

#include <cstdint>
#include <cstdio>

#include "jpeg/CoefficientStore.h"
#include "tessel/tessel.h"

class CExif;

// Compresses the 24-bit bitmap at options.pBitmap (row 0 at the top, rows options.iStride
// bytes apart, of the image's current width and height) into `file` at options.iQuality, in
// the JPEG colour space of the open image: grayscale stays one component, and the first
// component of a colour image is sampled 2x2 with options.bSubsample, 1x1 without. The image's
// kept markers follow the file header, with `thumbnail` (null or `thumbnailLength` bytes) as
// the new Exif thumbnail when one is asked for, written by the Exif model `exif`. Returns false
// when no store is loaded, there is no bitmap, or the library fails (CMYK and YCCK cannot be
// made from RGB pixels); the file then holds an incomplete stream that the caller discards.
bool WriteReencoded(const StoreView& image, CExif& exif, FILE* file,
                    const TesselSaveOptions& options, const uint8_t* thumbnail,
                    int32_t thumbnailLength);
