// SPDX-License-Identifier: MIT
// The lossless writer: turns the coefficient store back into a JPEG data stream.
#pragma once

#include <cstdint>
#include <cstdio>

#include "jpeg/CoefficientStore.h"
#include "jpeg/ErrorRecord.h"
#include "jpeg/Jpeg.h"
#include "tessel/tessel.h"

class CExif;

// Writes `image` as a sequential, Huffman-coded JPEG stream without restart markers: the
// header decompressor's critical parameters, the image's current size, the kept markers
// through the Exif model `exif`, and every real block of the store quantized again. The library
// reports its errors through `errors`. The output goes to `destination` when it is given, else
// to `file`. `thumbnail` (length bytes, or null) is handed to the metadata writer. False when
// no store is loaded, when the image has more than four components (one scan cannot hold
// them), when a quantized value lies beyond what a baseline Huffman code carries, or on any
// library error; bytes already given to the destination stay there.
TSL_BOOL WriteLossless(const StoreView& image, CExif& exif, ErrorRecord& errors, FILE* file,
                       jpeg_destination_mgr* destination, const TesselSaveOptions& options,
                       const uint8_t* thumbnail, int32_t thumbnailLength);

// The quantization rule: sign(value) * floor((|value| + floor(q / 2)) / q), so halves round
// away from zero. Computed in 64 bits and saturated to the signed 16-bit range; a quantizer of
// 0 (which a damaged table can hold) gives 0, since every value it dequantized was 0.
int16_t QuantizeValue(int32_t value, int32_t quantizer);

// The same rule for one table, computed without division: the writer's fast path. For each of
// the 64 quantizers it keeps half the quantizer, a 40-bit reciprocal (the portable path: exact
// for every sum below 2^24, and a 16-bit value plus half a 16-bit quantizer is below 2^17) and
// the quantizer's inverse as a double (the vector path; see QuantizeBlock).
struct QuantizerTable {
  uint32_t half[DCTSIZE2];
  uint64_t reciprocal[DCTSIZE2];
  double inverse[DCTSIZE2];
};
void PrepareQuantizerTable(const JQUANT_TBL& table, QuantizerTable* out);
// Quantizes one block of 64 stored values (natural order) into `out`. Returns false when a
// quantized value lies outside what a baseline Huffman code carries for 8-bit samples: AC
// values beyond +-1023, or a DC value outside -1024..1023 (so that every DC difference fits in
// 11 bits). No 8-bit image's DCT produces such values; only edits can. Uses the vector path
// where the processor has one, else the portable path; both equal QuantizeValue.
bool QuantizeBlock(const int16_t* in, const QuantizerTable& table, JCOEF* out);
// The portable path alone, for comparison.
bool QuantizeBlockPortable(const int16_t* in, const QuantizerTable& table, JCOEF* out);
