// SPDX-License-Identifier: MIT
// The three ways out of the image object: a file, the size of the lossless output, memory.
#pragma once

#include <cstdint>

#include "tessel/tessel.h"

class CDllImage;

// Writes the image to `path` (UTF-16; empty means the path of the last successful save)
// through a temporary file that replaces the target only once it is complete. A null path or
// options, an empty path before any save, no open image and every writer or file-system
// failure give false with the target untouched and no temporary file left. On failure errno
// holds the file system's reason, or 0 when the failure was not the file system's.
TSL_BOOL SaveImageFile(CDllImage& image, const char16_t* path, const TesselSaveOptions* options);

// The byte size of the lossless output with the default save options; 0 when it cannot be
// produced (or would not fit in a signed 32-bit count).
int32_t LosslessFileSize(CDllImage& image);

// Writes the lossless output with the default save options into the buffer; true when it fit.
TSL_BOOL SaveLosslessToMemory(CDllImage& image, uint8_t* buffer, int32_t capacity);
