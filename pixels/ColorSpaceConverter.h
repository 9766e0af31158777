// SPDX-License-Identifier: MIT
// CColorSpaceConverter: the interface of the colour converters that turn the component samples
// of one MCU into 24-bit pixels (blue, green, red) and back, and the helpers they share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jpeg/Jpeg.h"
#include "pixels/SampleAreas.h"

class CColorSpaceConverter {
 public:
  virtual ~CColorSpaceConverter() = default;

  // Takes the address of the range-limit table's first byte (see pixels/RangeLimit.h).
  virtual void SetRangeLimit(const uint8_t* table) = 0;

  // Writes pixel (x, y) for x < width (1 to mcuW) and y < height (1 to mcuH) of the MCU held
  // in the decode sample area `area` at dst + y x stride + 3x, as blue, green, red. `sampling`
  // is CDCT's sampling code; it only selects faster routes that give the same pixels as the
  // general lookup rule, so any value that names no such route (e.g. -1) means that rule.
  virtual void ToPixels(const jpeg_decompress_struct& info, const uint8_t* area, uint8_t* dst,
                        int32_t width, int32_t height, int32_t stride, int32_t sampling) = 0;

  // Reads the mcuW x mcuH pixels at src (pixel (x, y) at src + y x stride + 3x) and fills the
  // encode sample area `area`. Does nothing for MCUs larger than 2 x 2 blocks or images with
  // more than four components.
  virtual void FromPixels(const jpeg_decompress_struct& info, const uint8_t* src, uint8_t* area,
                          int32_t stride) = 0;

  // Reduces full-resolution planes (plane k at byte 256k, mcuH rows of `rowLength` samples)
  // to each component's resolution and writes its blocks into the encode sample area.
  // Subsampled values are averages with an alternating bias, so that rounding does not drift
  // one way across a row. Components with a ratio above 2 are skipped.
  static void DownsampleMCU(const jpeg_decompress_struct& info, const uint8_t* planes,
                            uint8_t* area, int rowLength);
};

// The general lookup rule: pixel (x, y) of an MCU takes, from component k with factors h and
// v, the sample sx = x h / max_h_samp_factor, sy = y v / max_v_samp_factor of the decode
// sample area. The offsets are tabulated once per MCU so that the pixel loop only adds.
class SampleGrid {
 public:
  SampleGrid(const jpeg_decompress_struct& info, int components);
  int Offset(int k, int x, int y) const { return rows_[k][y] + columns_[k][x]; }

 private:
  static constexpr int kMaxMcuSide = 8 * kMaxDecodeFactor;
  int16_t rows_[kMaxComponents][kMaxMcuSide];
  int16_t columns_[kMaxComponents][kMaxMcuSide];
};

// Components the converter of a colour space (the library's code) reads and writes: 1 for
// grayscale, 3 for RGB and YCbCr, 4 for CMYK and YCCK, 0 for a space without a converter.
int ConverterComponents(int colourSpace);

// ToPixels by the general rule for a converter that reads `Components` components; `pixel`
// turns the samples s[0..Components-1] into the three bytes at out.
template <int Components, typename Pixel>
void ToPixelsByRule(const jpeg_decompress_struct& info, const uint8_t* area, uint8_t* dst,
                    int32_t width, int32_t height, int32_t stride, Pixel pixel) {
  const SampleGrid grid(info, Components);
  for (int y = 0; y < height; ++y) {
    uint8_t* out = dst + static_cast<ptrdiff_t>(y) * stride;
    for (int x = 0; x < width; ++x, out += 3) {
      uint8_t s[Components];
      for (int k = 0; k < Components; ++k) s[k] = area[grid.Offset(k, x, y)];
      pixel(s, out);
    }
  }
}

// The first step of every FromPixels: `plane` turns the bytes blue, green, red of one pixel
// into the values of planes 0..3 (it writes as many as the converter has). Then the planes
// are downsampled into the encode sample area. Nothing is written for MCUs larger than the
// encode sample area holds.
template <typename Plane>
void FromPixelsByPlanes(const jpeg_decompress_struct& info, const uint8_t* src, uint8_t* area,
                        int32_t stride, Plane plane) {
  const int mcuW = 8 * info.max_h_samp_factor, mcuH = 8 * info.max_v_samp_factor;
  if (info.max_h_samp_factor < 1 || info.max_h_samp_factor > kMaxEncodeFactor ||
      info.max_v_samp_factor < 1 || info.max_v_samp_factor > kMaxEncodeFactor ||
      info.num_components < 1 || info.num_components > kMaxComponents) {
    return;
  }
  // Planes the converter does not write stay zero rather than undefined.
  uint8_t planes[kEncodeAreaBytes] = {};
  for (int y = 0; y < mcuH; ++y) {
    const uint8_t* in = src + static_cast<ptrdiff_t>(y) * stride;
    for (int x = 0; x < mcuW; ++x, in += 3) {
      uint8_t values[kMaxComponents] = {};
      plane(in[0], in[1], in[2], values);
      for (int k = 0; k < kMaxComponents; ++k) {
        planes[kEncodeComponentBytes * k + y * mcuW + x] = values[k];
      }
    }
  }
  CColorSpaceConverter::DownsampleMCU(info, planes, area, mcuW);
}
