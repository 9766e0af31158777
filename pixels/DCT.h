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

#include "image/Jpeg.h"
#include "pixels/ConverterCMYK.h"
#include "pixels/ConverterDummy.h"
#include "pixels/ConverterGrayscale.h"
#include "pixels/ConverterRGB.h"
#include "pixels/ConverterYCC.h"
#include "pixels/ConverterYCCK.h"
#include "pixels/SampleAreas.h"

class CDCT {
 public:
  // `info` is the image's header decompressor (after the coefficients were read); borrowed.
  explicit CDCT(jpeg_decompress_struct* info);
  virtual ~CDCT() = default;
  CDCT(const CDCT&) = delete;
  CDCT& operator=(const CDCT&) = delete;

  // True when DecodeRect can show the image: a colour space with a converter, one to four
  // components (at least as many as the colour space uses), every sampling factor 1 to 4 and
  // at most the largest one.
  bool CanDecode() const;

  // Coefficients a store must hold for the header's block counts (whole MCUs per component).
  int64_t StoreCoefficientCount() const;

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

  int32_t SamplingCode() const { return m_iSampling; }
  CColorSpaceConverter* Converter() const { return m_pConverter; }

 private:
  CColorSpaceConverter* m_pConverter;  // the converter in use: one of the six below
  CConverterDummy m_dummy;
  CConverterGrayscale m_grayscale;
  CConverterRGB m_rgb;
  CConverterYCC m_ycc;
  CConverterCMYK m_cmyk;
  CConverterYCCK m_ycck;
  jpeg_decompress_struct* m_pInfo;  // the header decompressor; borrowed, never freed
  // Fast-route selector: two bits (2h - 2) | (v - 1) for the largest factors, then for each
  // component in order. -1 when a factor lies outside 1..2 or there are more than four
  // components, so that such layouts never take a route made for another.
  int32_t m_iSampling;
  uint8_t m_aiMCU[kEncodeAreaBytes];  // the encode sample area
};
