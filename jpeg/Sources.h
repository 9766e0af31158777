// SPDX-License-Identifier: MIT
// Where the JPEG library reads a stream from: the caller's bytes or an open file.
#pragma once

#include <cstdint>
#include <cstdio>

#include "jpeg/Jpeg.h"

// A source manager over the caller's bytes, where running out of data is fatal. Lives in the
// caller's frame for the duration of one read; the library only borrows it.
struct MemorySource {
  jpeg_source_mgr pub;
};

// Prepares `source` over `size` bytes at `data` and attaches it to `cinfo`. Reaching the end of
// the bytes (a refill, or a skip past the end) raises a fatal library error: no end-of-image
// marker is invented.
void AttachMemorySource(j_decompress_ptr cinfo, MemorySource* source, const uint8_t* data,
                        int32_t size);

// Attaches a source that reads `file` from where it stands in pieces of 64 KB. As with the
// library's own stdio source, an empty file is fatal, while a file that ends early is completed
// with an end-of-image marker after a warning, so that what was read still decodes. The manager
// and its buffer come from the object's permanent pool and go with it.
void AttachFileSource(j_decompress_ptr cinfo, FILE* file);

// What a stream is read from: an open file (read from its start) or the caller's bytes.
struct JpegInput {
  FILE* file = nullptr;
  const uint8_t* data = nullptr;
  int32_t size = 0;
};

// Attaches `input` to `cinfo`: the library's stdio source on the file (rewound), or a memory
// source prepared in `memory`, which must outlive the reading.
void AttachJpegInput(j_decompress_ptr cinfo, const JpegInput& input, MemorySource* memory);
