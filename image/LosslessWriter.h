// SPDX-License-Identifier: MIT
// The lossless writer: turns the coefficient store back into a JPEG data stream.
#pragma once

#include <cstdint>
#include <cstdio>

#include "image/Jpeg.h"
#include "tessel/tessel.h"

class CDllImage;

// Writes the open image of `image` as a sequential, Huffman-coded JPEG stream without restart
// markers: the header decompressor's critical parameters, the image's current size, the kept
// markers through the Exif model, and every real block of the store quantized again. The
// output goes to `destination` when it is given, else to `file`. `thumbnail` (length bytes, or
// null) is handed to the metadata writer. False when no image is open, when the image has more
// than four components (one scan cannot hold them), or on any library error; bytes already
// given to the destination stay there.
TSL_BOOL WriteLossless(CDllImage& image, FILE* file, jpeg_destination_mgr* destination,
                       const TesselSaveOptions& options, const uint8_t* thumbnail,
                       int32_t thumbnailLength);

// The quantization rule: sign(value) * floor((|value| + floor(q / 2)) / q), so halves round
// away from zero. Computed in 64 bits and saturated to the signed 16-bit range; a quantizer of
// 0 (which a damaged table can hold) gives 0, since every value it dequantized was 0.
int16_t QuantizeValue(int32_t value, int32_t quantizer);

// The same rule for one table, computed without division: the writer's fast path. For each of
// the 64 quantizers it keeps half the quantizer and a 40-bit reciprocal, which gives the exact
// quotient for every sum below 2^24 (a 16-bit value plus half a 16-bit quantizer is below 2^17).
struct QuantizerTable {
  uint32_t half[DCTSIZE2];
  uint64_t reciprocal[DCTSIZE2];
};
void PrepareQuantizerTable(const JQUANT_TBL& table, QuantizerTable* out);
// Quantizes one block of 64 stored values (natural order) into `out`. Returns false when a
// quantized value lies outside what a baseline Huffman code carries for 8-bit samples: AC
// values beyond +-1023, or a DC value outside -1024..1023 (so that every DC difference fits in
// 11 bits). No 8-bit image's DCT produces such values; only edits can.
bool QuantizeBlock(const int16_t* in, const QuantizerTable& table, JCOEF* out);
