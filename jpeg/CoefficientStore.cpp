// SPDX-License-Identifier: MIT
// Allocation of the coefficient array and the store's geometry.
#include "jpeg/CoefficientStore.h"

#include <algorithm>

#include "platform/LargeMemory.h"

namespace {

// Each count is tested before it is multiplied, so that no product can wrap.
bool PlaneFits(int64_t mcuColumns, int64_t mcuRows, int h, int v) {
  if (mcuColumns > INT32_MAX / h || mcuRows > INT32_MAX / v) return false;
  return mcuColumns * h * (mcuRows * v) <= kMaxCoefficientCount / 64;
}

bool FactorsValid(const SamplingFactors& sampling) {
  if (sampling.components < 1 || sampling.components > MAX_COMPONENTS) return false;
  if (sampling.hMax < 1 || sampling.vMax < 1) return false;
  for (int c = 0; c < sampling.components; ++c) {
    if (sampling.h[c] < 1 || sampling.v[c] < 1) return false;
  }
  return true;
}

// The planes of an MCU grid, component after component; empty when a plane or the whole store
// would exceed kMaxCoefficientCount values.
std::optional<StoreGeometry> ForGrid(const SamplingFactors& sampling, int64_t mcuColumns,
                                     int64_t mcuRows) {
  StoreGeometry g;
  g.components = sampling.components;
  g.mcuWidth = 8 * sampling.hMax;
  g.mcuHeight = 8 * sampling.vMax;
  g.mcuColumns = mcuColumns;
  g.mcuRows = mcuRows;
  for (int c = 0; c < sampling.components; ++c) {
    const int h = sampling.h[c];
    const int v = sampling.v[c];
    if (!PlaneFits(mcuColumns, mcuRows, h, v)) return std::nullopt;
    PlaneGeometry& plane = g.planes[c];
    plane.h = h;
    plane.v = v;
    plane.blocksPerRow = static_cast<int32_t>(mcuColumns * h);
    plane.blockRows = static_cast<int32_t>(mcuRows * v);
    plane.offset = g.values;
    if (g.values + plane.Values() > kMaxCoefficientCount) return std::nullopt;
    g.values += plane.Values();
  }
  return g;
}

}  // namespace

void CoefficientDeleter::operator()(int16_t* values) const noexcept { FreeLarge(values); }

CoefficientArray AllocateCoefficients(size_t count) noexcept {
  if (count == 0) count = 1;
  if (count > SIZE_MAX / sizeof(int16_t)) return CoefficientArray();
  return CoefficientArray(static_cast<int16_t*>(AllocateLarge(count * sizeof(int16_t))));
}

CoefficientArray AllocateZeroedCoefficients(size_t count) noexcept {
  if (count == 0) count = 1;
  return CoefficientArray(static_cast<int16_t*>(AllocateLargeZeroed(count, sizeof(int16_t))));
}

SamplingFactors SamplingFactors::Of(const jpeg_decompress_struct& info) {
  SamplingFactors s = Of(info.comp_info, std::min(info.num_components, MAX_COMPONENTS));
  s.hMax = info.max_h_samp_factor;
  s.vMax = info.max_v_samp_factor;
  return s;
}

SamplingFactors SamplingFactors::Of(const jpeg_component_info* components, int count) {
  SamplingFactors s;
  s.components = count;
  for (int c = 0; c < count; ++c) {
    s.h[c] = components[c].h_samp_factor;
    s.v[c] = components[c].v_samp_factor;
    s.hMax = std::max(s.hMax, s.h[c]);
    s.vMax = std::max(s.vMax, s.v[c]);
  }
  return s;
}

SamplingFactors SamplingFactors::Gray() {
  SamplingFactors s;
  s.components = 1;
  s.hMax = s.vMax = s.h[0] = s.v[0] = 1;
  return s;
}

std::optional<StoreGeometry> StoreGeometry::ForImage(const SamplingFactors& sampling, int64_t width,
                                                     int64_t height) {
  if (!FactorsValid(sampling) || width < 0 || height < 0) return std::nullopt;
  std::optional<StoreGeometry> g =
      ForGrid(sampling, CeilDiv(width, 8 * sampling.hMax), CeilDiv(height, 8 * sampling.vMax));
  if (g) {
    g->width = width;
    g->height = height;
  }
  return g;
}

std::optional<StoreGeometry> StoreGeometry::ForBlockCounts(const jpeg_decompress_struct& info) {
  const SamplingFactors sampling = SamplingFactors::Of(info);
  if (!FactorsValid(sampling)) return std::nullopt;
  int64_t columns = 0;
  int64_t rows = 0;
  for (int c = 0; c < sampling.components; ++c) {
    columns = std::max(columns, CeilDiv(info.comp_info[c].width_in_blocks, sampling.h[c]));
    rows = std::max(rows, CeilDiv(info.comp_info[c].height_in_blocks, sampling.v[c]));
  }
  std::optional<StoreGeometry> g = ForGrid(sampling, columns, rows);
  if (g) {
    g->width = columns * g->mcuWidth;
    g->height = rows * g->mcuHeight;
  }
  return g;
}
