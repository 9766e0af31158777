// SPDX-License-Identifier: MIT
// The reference the lossless writer is compared with: the same stream made the plain way.
#pragma once

#include <cstdio>

#include "image/DllImage.h"

namespace fixtures {

// Writes the open image as the library's lossless writer does, but hands the JPEG library its
// own virtual block arrays, filled one MCU row at a time from a staging buffer before the
// stream is written: a second, quantized copy of every coefficient, where the writer quantizes
// each row when the library reads it. Both must give the same bytes. False when the writer
// would refuse (a value beyond what a baseline Huffman code carries) or the library fails.
bool WriteStaged(CDllImage& image, FILE* file, const TesselSaveOptions& options);

}  // namespace fixtures
