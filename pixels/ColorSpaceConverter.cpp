// SPDX-License-Identifier: MIT
// The converters' shared routines: the general sample lookup and the downsampling of planes.
#include "pixels/ColorSpaceConverter.h"

namespace {

// Ratio codes of a component's resolution against the MCU's.
constexpr int kSameResolution = 0;
constexpr int kHalfHeight = 1;
constexpr int kHalfWidth = 2;
constexpr int kHalfBoth = 3;

// One 8x8 output block of component plane P, by ratio; (top, left) is the plane position of the
// block's first full-resolution sample.
void DownsampleBlock(const uint8_t* plane, int rowLength, int ratio, int top, int left,
                     uint8_t* out) {
  const auto p = [&](int row, int col) { return int{plane[row * rowLength + col]}; };
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 8; ++j) {
      const int odd = j & 1;
      int value = 0;
      switch (ratio) {
        case kSameResolution:
          value = p(top + i, left + j);
          break;
        case kHalfHeight:
          value = (p(2 * i, left + j) + p(2 * i + 1, left + j) + odd) >> 1;
          break;
        case kHalfWidth:
          value = (p(top + i, 2 * j) + p(top + i, 2 * j + 1) + odd) >> 1;
          break;
        default:
          value = (p(2 * i, 2 * j) + p(2 * i, 2 * j + 1) + p(2 * i + 1, 2 * j) +
                   p(2 * i + 1, 2 * j + 1) + 1 + odd) >>
                  2;
          break;
      }
      out[8 * i + j] = static_cast<uint8_t>(value);
    }
  }
}

}  // namespace

void CColorSpaceConverter::DownsampleMCU(const jpeg_decompress_struct& info, const uint8_t* planes,
                                         uint8_t* area, int rowLength) {
  const int maxH = info.max_h_samp_factor, maxV = info.max_v_samp_factor;
  if (maxH < 1 || maxH > kMaxEncodeFactor || maxV < 1 || maxV > kMaxEncodeFactor) return;
  const int components =
      info.num_components < kMaxComponents ? info.num_components : kMaxComponents;
  for (int k = 0; k < components; ++k) {
    const int h = info.comp_info[k].h_samp_factor, v = info.comp_info[k].v_samp_factor;
    if (h < 1 || h > maxH || v < 1 || v > maxV) continue;
    const int ratio = ((maxH / h) * 2 - 2) | (maxV / v - 1);
    if (ratio > kHalfBoth || (maxH % h) != 0 || (maxV % v) != 0) continue;
    const uint8_t* plane = planes + kEncodeComponentBytes * k;
    for (int l = 0; l < v; ++l) {
      for (int m = 0; m < h; ++m) {
        DownsampleBlock(plane, rowLength, ratio, 8 * l, 8 * m,
                        area + EncodeBlockOffset(k, l, m, h));
      }
    }
  }
}

SampleGrid::SampleGrid(const jpeg_decompress_struct& info, int components) {
  const int maxH = info.max_h_samp_factor, maxV = info.max_v_samp_factor;
  for (int k = 0; k < components; ++k) {
    const int h = info.comp_info[k].h_samp_factor, v = info.comp_info[k].v_samp_factor;
    for (int i = 0; i < 8 * maxH && i < kMaxMcuSide; ++i) {
      const int sx = i * h / maxH;
      columns_[k][i] = static_cast<int16_t>(DecodeSampleOffset(k, sx, 0));
    }
    for (int i = 0; i < 8 * maxV && i < kMaxMcuSide; ++i) {
      const int sy = i * v / maxV;
      rows_[k][i] = static_cast<int16_t>(DecodeSampleOffset(0, 0, sy));
    }
  }
}

int ConverterComponents(int colourSpace) {
  switch (colourSpace) {
    case JCS_GRAYSCALE:
      return 1;
    case JCS_RGB:
    case JCS_YCbCr:
      return 3;
    case JCS_CMYK:
    case JCS_YCCK:
      return 4;
    default:
      return 0;
  }
}
