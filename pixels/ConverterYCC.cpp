// SPDX-License-Identifier: MIT
// YCbCr conversion tables, the conversion formulas and the fast routes of the usual layouts.
#include "pixels/ConverterYCC.h"

#include <bit>
#include <cstring>

#include "pixels/RangeLimit.h"

namespace {

// Sampling codes with a fast route (three components, luma factors as named, chroma 1x1).
constexpr int32_t kSampling444 = 0;
constexpr int32_t kSampling440 = 80;   // luma 1x2
constexpr int32_t kSampling422 = 160;  // luma 2x1
constexpr int32_t kSampling420 = 240;  // luma 2x2

YccTables BuildTables() {
  YccTables t{};
  for (int i = 0; i < 256; ++i) {
    const int32_t x = i - 128;
    t.crToRed[i] = (91881 * x + 32768) >> 16;
    t.cbToBlue[i] = (116130 * x + 32768) >> 16;
    t.crToGreen[i] = -46802 * x;
    t.cbToGreen[i] = -22554 * x + 32768;
    t.encode[0][i] = 19595 * i;
    t.encode[1][i] = 38470 * i;
    t.encode[2][i] = 7471 * i + 32768;
    t.encode[3][i] = -11059 * i;
    t.encode[4][i] = -21709 * i;
    t.encode[5][i] = 32768 * i + 8421375;
    t.encode[6][i] = -27439 * i;
    t.encode[7][i] = -5329 * i;
  }
  return t;
}

// The colour terms of one chroma sample, shared by every pixel it covers.
struct ChromaTerms {
  int32_t blue[64], green[64], red[64];
};

void ComputeChromaTerms(const YccTables& t, const uint8_t* cb, const uint8_t* cr,
                        ChromaTerms* terms) {
  for (int i = 0; i < 64; ++i) {
    terms->blue[i] = t.cbToBlue[cb[i]];
    terms->green[i] = (t.cbToGreen[cb[i]] + t.crToGreen[cr[i]]) >> 16;
    terms->red[i] = t.crToRed[cr[i]];
  }
}

inline void StoreLittleEndian(uint64_t word, uint8_t* out) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &word, 8);
  } else {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(word >> (8 * i));
  }
}

// Eight pixels of one luma block row: 24 bytes gathered into three 64-bit words, so that the
// bitmap takes three stores instead of twenty-four.
template <int HShift>
inline void ConvertFullRun(const uint8_t* clamp, const uint8_t* luma, const int32_t* blue,
                           const int32_t* green, const int32_t* red, int x0, uint8_t* out) {
  uint64_t word = 0;
  int filled = 0;
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) {
    const int c = (x0 + i) >> HShift;
    const int32_t lum = luma[i];
    const uint64_t bytes[3] = {clamp[lum + blue[c]], clamp[lum + green[c]], clamp[lum + red[c]]};
#pragma GCC unroll 3
    for (int ch = 0; ch < 3; ++ch) {
      // The first byte of the bitmap is the word's lowest.
      word |= bytes[ch] << (8 * filled);
      if (++filled == 8) {
        StoreLittleEndian(word, out);
        out += 8;
        word = 0;
        filled = 0;
      }
    }
  }
}

// Layouts whose chroma is one block: luma sample (x, y) goes with chroma sample
// (x >> HShift, y >> VShift). The luma row is walked in runs of one block width.
template <int HShift, int VShift>
void ToPixelsOneChromaBlock(const YccTables& t, const uint8_t* clamp, const uint8_t* area,
                            uint8_t* dst, int32_t width, int32_t height, int32_t stride) {
  ChromaTerms terms;
  ComputeChromaTerms(t, area + DecodeBlockOffset(1, 0, 0), area + DecodeBlockOffset(2, 0, 0),
                     &terms);
  for (int y = 0; y < height; ++y) {
    const int chromaRow = 8 * (y >> VShift);
    const int32_t* blue = terms.blue + chromaRow;
    const int32_t* green = terms.green + chromaRow;
    const int32_t* red = terms.red + chromaRow;
    uint8_t* out = dst + static_cast<ptrdiff_t>(y) * stride;
    for (int x0 = 0; x0 < width; x0 += 8) {
      const uint8_t* luma = area + DecodeSampleOffset(0, x0, y);
      if (width - x0 >= 8) {
        ConvertFullRun<HShift>(clamp, luma, blue, green, red, x0, out);
        out += 24;
        continue;
      }
      for (int i = 0; i < width - x0; ++i, out += 3) {
        const int c = (x0 + i) >> HShift;
        const int32_t lum = luma[i];
        out[0] = clamp[lum + blue[c]];
        out[1] = clamp[lum + green[c]];
        out[2] = clamp[lum + red[c]];
      }
    }
  }
}

}  // namespace

const YccTables& CConverterYCC::Tables() {
  static const YccTables tables = BuildTables();
  return tables;
}

Ycc CConverterYCC::Forward(int red, int green, int blue) {
  const YccTables& t = Tables();
  return Ycc{(t.encode[0][red] + t.encode[1][green] + t.encode[2][blue]) >> 16,
             (t.encode[3][red] + t.encode[4][green] + t.encode[5][blue]) >> 16,
             (t.encode[5][red] + t.encode[6][green] + t.encode[7][blue]) >> 16};
}

Bgr CConverterYCC::Inverse(int y, int cb, int cr) {
  const YccTables& t = Tables();
  return Bgr{y + t.cbToBlue[cb], y + ((t.cbToGreen[cb] + t.crToGreen[cr]) >> 16),
             y + t.crToRed[cr]};
}

void CConverterYCC::SetRangeLimit(const uint8_t* table) {
  m_pRangeLimit = table;
  Tables();
}

void CConverterYCC::ToPixels(const jpeg_decompress_struct& info, const uint8_t* area, uint8_t* dst,
                             int32_t width, int32_t height, int32_t stride, int32_t sampling) {
  const YccTables& t = Tables();
  const uint8_t* clamp = m_pRangeLimit + kClampCentre;
  switch (sampling) {
    case kSampling444:
      return ToPixelsOneChromaBlock<0, 0>(t, clamp, area, dst, width, height, stride);
    case kSampling440:
      return ToPixelsOneChromaBlock<0, 1>(t, clamp, area, dst, width, height, stride);
    case kSampling422:
      return ToPixelsOneChromaBlock<1, 0>(t, clamp, area, dst, width, height, stride);
    case kSampling420:
      return ToPixelsOneChromaBlock<1, 1>(t, clamp, area, dst, width, height, stride);
    default:
      break;
  }
  ToPixelsByRule<3>(info, area, dst, width, height, stride,
                    [clamp](const uint8_t* s, uint8_t* out) {
                      const Bgr c = Inverse(s[0], s[1], s[2]);
                      out[0] = clamp[c.blue];
                      out[1] = clamp[c.green];
                      out[2] = clamp[c.red];
                    });
}

void CConverterYCC::FromPixels(const jpeg_decompress_struct& info, const uint8_t* src,
                               uint8_t* area, int32_t stride) {
  FromPixelsByPlanes(info, src, area, stride, [](int b, int g, int r, uint8_t* planes) {
    const Ycc c = Forward(r, g, b);
    planes[0] = static_cast<uint8_t>(c.y);
    planes[1] = static_cast<uint8_t>(c.cb);
    planes[2] = static_cast<uint8_t>(c.cr);
  });
}
