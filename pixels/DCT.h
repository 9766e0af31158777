// SPDX-License-Identifier: MIT
// CDCT: moves image content between the coefficient store and pixels for one operation, with
// the system's own 8x8 integer DCTs and the colour converter of the image's colour space.
//
// Both transforms are the separable Loeffler-Ligtenberg-Moschytz integer DCT with 13-bit
// fixed-point multipliers and two extra bits of precision between the passes, on dequantized
// coefficients at true DCT scale (a flat block of sample s has DC = 8 (s - 128)), which is what
// the coefficient store holds: a block passes from store to samples and back without a
// quantization table. Arithmetic wraps modulo 2^32, and the inverse transform clamps through
// the range-limit table's transform view, so even absurd coefficients give defined samples.
#pragma once

#include <cstdint>

#include "jpeg/CoefficientStore.h"
#include "jpeg/Jpeg.h"
#include "pixels/ConverterCMYK.h"
#include "pixels/ConverterDummy.h"
#include "pixels/ConverterGrayscale.h"
#include "pixels/ConverterRGB.h"
#include "pixels/ConverterYCC.h"
#include "pixels/ConverterYCCK.h"
#include "pixels/SampleAreas.h"
#include "tessel/tessel.h"

class CDCT {
 public:
  // `info` is the image's header decompressor (after the coefficients were read); borrowed.
  explicit CDCT(const jpeg_decompress_struct* info);
  virtual ~CDCT() = default;
  CDCT(const CDCT&) = delete;
  CDCT& operator=(const CDCT&) = delete;

  // True when DecodeRect can show the image: a colour space with a converter, one to four
  // components (at least as many as the colour space uses), every sampling factor 1 to 4 and
  // at most the largest one.
  bool CanDecode() const;

  // True when a store of `count` values holds every block the header's block counts call for
  // (whole MCUs per component); false as well when the header describes no store at all.
  bool StoreHolds(int64_t count) const;

  // Decodes the MCUs that cover `width` x `height` pixels from pixel (x, y) (multiples of the
  // MCU size) into the 24-bit bitmap whose pixel (x, y) lands at bits (rows `stride` bytes
  // apart, negative for bottom-up). Writes exactly width x height pixels; blocks beyond the
  // store's grid decode as mid-grey. Does nothing when CanDecode() is false.
  void DecodeRect(const int16_t* store, uint8_t* bits, int32_t stride, int32_t x, int32_t y,
                  int32_t width, int32_t height);

  // Converts the whole MCU of pixels at bits into the encode sample area (MCUs up to 2 x 2
  // blocks; larger ones leave the area as it was).
  void LoadMCU(const uint8_t* bits, int32_t stride);

  // Forward DCT of block (blockX, blockY) of `component` in the encode sample area into 64
  // coefficients in natural order. A block outside the area leaves `out` untouched.
  void ForwardBlock(int component, int blockX, int blockY, int16_t* out);

  // Inverse DCT of 64 coefficients (natural order, used as they are) into 8 rows of 8 samples.
  void InverseBlock(const int16_t* coefficients, uint8_t* samples) const;

  // True when ReconstructCoefficients can filter the image: one to four components, each with
  // sampling factors 1 to 4 and a quantization table.
  bool CanReconstruct() const;

  // Values of band memory one reconstruction pass needs: two bands of eight pixel rows, one
  // block column wider than the widest component. 0 when CanReconstruct() is false.
  int64_t ReconstructBandValues() const;

  // One pass of the reconstruction filter over the whole store (pixels/Reconstruct.cpp): every
  // block is replaced by the average of the re-quantized 8x8 windows that cover its pixels,
  // then pulled back into the quantization cell of the value it replaces. `progress`, when
  // given, receives the percentage of block rows done after each one and stops the pass by
  // returning 0. Returns 1 when the pass finished, 0 when it was stopped (the rows done stay
  // rewritten), -1 when the image cannot be filtered or the band memory cannot be had (the
  // store is untouched). `bands`, when given, is the caller's memory of at least
  // ReconstructBandValues() values, so that passes after the first cannot fail.
  int32_t ReconstructCoefficients(int16_t* store, TesselProgressFunc progress,
                                  int32_t* bands = nullptr);

  int32_t SamplingCode() const { return m_iSampling; }
  CColorSpaceConverter* Converter() const { return m_pConverter; }

 private:
  // Filters component k's plane of the store; false when `progress` asked to stop.
  bool ReconstructComponent(int k, const PlaneGeometry& plane, int16_t* store, int32_t* bands,
                            int64_t* done, int64_t total, TesselProgressFunc progress);

  CColorSpaceConverter* m_pConverter;  // the converter in use: one of the six below
  CConverterDummy m_dummy;
  CConverterGrayscale m_grayscale;
  CConverterRGB m_rgb;
  CConverterYCC m_ycc;
  CConverterCMYK m_cmyk;
  CConverterYCCK m_ycck;
  const jpeg_decompress_struct* m_pInfo;  // the header decompressor; borrowed, never freed
  // Fast-route selector: two bits (2h - 2) | (v - 1) for the largest factors, then for each
  // component in order. -1 when a factor lies outside 1..2 or there are more than four
  // components, so that such layouts never take a route made for another.
  int32_t m_iSampling;
  uint8_t m_aiMCU[kEncodeAreaBytes];  // the encode sample area
};
