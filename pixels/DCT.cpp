// SPDX-License-Identifier: MIT
// CDCT: the integer transforms, MCU decoding into bitmaps and MCU loading from bitmaps.
#include "pixels/DCT.h"

#include <cstddef>
#include <cstring>
#include <optional>

#include "pixels/FixedPoint.h"
#include "pixels/InverseTransform.h"
#include "pixels/RangeLimit.h"

namespace {

using namespace dct;

// One forward pass over eight values a `step` apart. Pass 1 (rows) keeps two extra bits and
// the factor 8; pass 2 (columns) removes both, leaving true DCT scale.
template <int EvenShift, int OddShift, bool ScaleEven>
inline void ForwardLine(const int32_t* in, int step, int32_t* out) {
  const Wrap i0 = W(in[0]), i1 = W(in[step]), i2 = W(in[2 * step]), i3 = W(in[3 * step]);
  const Wrap i4 = W(in[4 * step]), i5 = W(in[5 * step]), i6 = W(in[6 * step]);
  const Wrap i7 = W(in[7 * step]);
  const Wrap t0 = i0 + i7, t7 = i0 - i7, t1 = i1 + i6, t6 = i1 - i6;
  const Wrap t2 = i2 + i5, t5 = i2 - i5, t3 = i3 + i4, t4 = i3 - i4;
  const Wrap t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;
  if constexpr (ScaleEven) {
    out[0] = static_cast<int32_t>((t10 + t11) << kPass1Bits);
    out[4 * step] = static_cast<int32_t>((t10 - t11) << kPass1Bits);
  } else {
    out[0] = Descale<EvenShift>(t10 + t11);
    out[4 * step] = Descale<EvenShift>(t10 - t11);
  }
  const Wrap z1 = Mul(t12 + t13, 4433);
  out[2 * step] = Descale<OddShift>(z1 + Mul(t13, 6270));
  out[6 * step] = Descale<OddShift>(z1 - Mul(t12, 15137));
  const Odd r = Rotate(t4, t5, t6, t7);
  out[7 * step] = Descale<OddShift>(r.o0);
  out[5 * step] = Descale<OddShift>(r.o1);
  out[3 * step] = Descale<OddShift>(r.o2);
  out[step] = Descale<OddShift>(r.o3);
}

void ForwardTransform(const uint8_t* samples, int16_t* out) {
  int32_t ws[64];
  for (int i = 0; i < 64; ++i) ws[i] = samples[i] - 128;
  for (int row = 0; row < 8; ++row) {
    ForwardLine<0, kConstBits - kPass1Bits, true>(ws + 8 * row, 1, ws + 8 * row);
  }
  for (int col = 0; col < 8; ++col) {
    ForwardLine<kPass1Bits + 3, kConstBits + kPass1Bits + 3, false>(ws + col, 8, ws + col);
  }
  for (int i = 0; i < 64; ++i) out[i] = static_cast<int16_t>(ws[i]);
}

// Two bits per sampling pair: bit 1 for a horizontal factor of 2, bit 0 for a vertical one.
int32_t SamplingPair(int h, int v) { return (2 * h - 2) | (v - 1); }

bool FactorsWithin(int h, int v, int limit) { return h >= 1 && h <= limit && v >= 1 && v <= limit; }

int32_t ComputeSamplingCode(const jpeg_decompress_struct& info) {
  if (info.num_components < 1 || info.num_components > kMaxComponents ||
      !FactorsWithin(info.max_h_samp_factor, info.max_v_samp_factor, 2)) {
    return -1;
  }
  int32_t code = SamplingPair(info.max_h_samp_factor, info.max_v_samp_factor);
  for (int k = 0; k < info.num_components; ++k) {
    const jpeg_component_info& c = info.comp_info[k];
    if (!FactorsWithin(c.h_samp_factor, c.v_samp_factor, 2)) return -1;
    code = (code << 2) | SamplingPair(c.h_samp_factor, c.v_samp_factor);
  }
  return code;
}

}  // namespace

CDCT::CDCT(const jpeg_decompress_struct* info)
    : m_pConverter(&m_dummy), m_pInfo(info), m_iSampling(-1), m_aiMCU{} {
  switch (info->jpeg_color_space) {
    case JCS_GRAYSCALE:
      m_pConverter = &m_grayscale;
      break;
    case JCS_RGB:
      m_pConverter = &m_rgb;
      break;
    case JCS_YCbCr:
      m_pConverter = &m_ycc;
      break;
    case JCS_CMYK:
      m_pConverter = &m_cmyk;
      break;
    case JCS_YCCK:
      m_pConverter = &m_ycck;
      break;
    default:
      break;
  }
  m_pConverter->SetRangeLimit(RangeLimitTable());
  m_iSampling = ComputeSamplingCode(*info);
}

bool CDCT::CanDecode() const {
  const jpeg_decompress_struct& info = *m_pInfo;
  const int used = ConverterComponents(info.jpeg_color_space);
  if (used == 0 || info.num_components < used || info.num_components > kMaxComponents ||
      !FactorsWithin(info.max_h_samp_factor, info.max_v_samp_factor, kMaxDecodeFactor)) {
    return false;
  }
  for (int k = 0; k < info.num_components; ++k) {
    const jpeg_component_info& c = info.comp_info[k];
    if (!FactorsWithin(c.h_samp_factor, c.v_samp_factor, kMaxDecodeFactor) ||
        c.h_samp_factor > info.max_h_samp_factor || c.v_samp_factor > info.max_v_samp_factor) {
      return false;
    }
  }
  return true;
}

bool CDCT::StoreHolds(int64_t count) const {
  const std::optional<StoreGeometry> geometry = StoreGeometry::ForBlockCounts(*m_pInfo);
  return geometry && geometry->values <= count;
}

void CDCT::DecodeRect(const int16_t* store, uint8_t* bits, int32_t stride, int32_t x, int32_t y,
                      int32_t width, int32_t height) {
  if (!CanDecode() || width <= 0 || height <= 0 || x < 0 || y < 0) return;
  const std::optional<StoreGeometry> geometry = StoreGeometry::ForBlockCounts(*m_pInfo);
  if (!geometry) return;
  const jpeg_decompress_struct& info = *m_pInfo;
  const int mcuW = geometry->mcuWidth, mcuH = geometry->mcuHeight;
  const int components = info.num_components;
  const int16_t aiDummyCoefs[64] = {};
  alignas(64) uint8_t aiMCU[kDecodeAreaBytes];
  const int64_t nx = (int64_t{width} + mcuW - 1) / mcuW;
  const int64_t ny = (int64_t{height} + mcuH - 1) / mcuH;
  const int64_t mx0 = x / mcuW, my0 = y / mcuH;
  for (int64_t i = 0; i < ny; ++i) {
    const int mcuHeight = (i + 1) * mcuH > height ? static_cast<int>(height % mcuH) : mcuH;
    uint8_t* rowBits = bits + static_cast<ptrdiff_t>(stride) * mcuH * i;
    for (int64_t j = 0; j < nx; ++j) {
      for (int k = 0; k < components; ++k) {
        const PlaneGeometry& s = geometry->planes[k];
        for (int l = 0; l < s.v; ++l) {
          const int64_t by = (my0 + i) * s.v + l;
          for (int m = 0; m < s.h; ++m) {
            const int64_t bx = (mx0 + j) * s.h + m;
            const bool inside = by < s.blockRows && bx < s.blocksPerRow;
            const int16_t* source = inside ? store + s.BlockIndex(by, bx) : aiDummyCoefs;
            dct::InverseTransform(source, aiMCU + DecodeBlockOffset(k, l, m));
          }
        }
      }
      const int mcuWidth = (j + 1) * mcuW > width ? static_cast<int>(width % mcuW) : mcuW;
      m_pConverter->ToPixels(info, aiMCU, rowBits + 3 * mcuW * j, mcuWidth, mcuHeight, stride,
                             m_iSampling);
    }
  }
}

void CDCT::LoadMCU(const uint8_t* bits, int32_t stride) {
  m_pConverter->FromPixels(*m_pInfo, bits, m_aiMCU, stride);
}

void CDCT::ForwardBlock(int component, int blockX, int blockY, int16_t* out) {
  if (component < 0 || component >= m_pInfo->num_components || component >= kMaxComponents) {
    return;
  }
  const int h = m_pInfo->comp_info[component].h_samp_factor;
  const int v = m_pInfo->comp_info[component].v_samp_factor;
  if (blockX < 0 || blockX >= h || blockY < 0 || blockY >= v ||
      blockY * h + blockX >= kEncodeComponentBytes / 64) {
    return;
  }
  ForwardTransform(m_aiMCU + EncodeBlockOffset(component, blockY, blockX, h), out);
}

void CDCT::InverseBlock(const int16_t* coefficients, uint8_t* samples) const {
  dct::InverseTransform(coefficients, samples);
}
