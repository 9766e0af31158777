// SPDX-License-Identifier: MIT
// A JPEG library source manager over the caller's bytes, where running out of data is fatal.
#pragma once

#include <cstdint>

#include "image/Jpeg.h"

// Lives in the caller's frame for the duration of one read; the library only borrows it.
struct MemorySource {
  jpeg_source_mgr pub;
};

// Prepares `source` over `size` bytes at `data` and attaches it to `cinfo`. Reaching the end of
// the bytes (a refill, or a skip past the end) raises a fatal library error: no end-of-image
// marker is invented.
void AttachMemorySource(j_decompress_ptr cinfo, MemorySource* source, const uint8_t* data,
                        int32_t size);
