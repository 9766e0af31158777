// SPDX-License-Identifier: MIT
// Offsetting DC coefficients per component, and putting the old values back.
#include "actions/DllActionLevels.h"

#include <algorithm>
#include <memory>
#include <new>

#include "jpeg/CoefficientStore.h"

namespace {

constexpr int32_t kMaxOffset = 100;
// A DC of 8 * (s - 128) for samples s of 0..255, with room for the rounding of the transform.
constexpr int32_t kMinDC = -2304;
constexpr int32_t kMaxDC = 2286;

int32_t DeltaOf(int32_t offset) { return std::clamp(offset, -kMaxOffset, kMaxOffset) * 1020 / 100; }

// A scratch run of one DC value per block of the largest plane.
std::unique_ptr<int16_t[]> ScratchFor(const StoreGeometry& geometry) {
  int64_t blocks = 0;
  for (int c = 0; c < geometry.components; ++c) {
    blocks = std::max(blocks, geometry.planes[c].Blocks());
  }
  return std::unique_ptr<int16_t[]>(new (std::nothrow) int16_t[blocks > 0 ? blocks : 1]);
}

}  // namespace

int32_t CDllActionLevels::OffsetOf(int component) const {
  return component == 0 ? m_iOffset0 : component == 1 ? m_iOffset1 : m_iOffset2;
}

TSL_BOOL CDllActionLevels::Execute() {
  const jpeg_decompress_struct& info = *m_pImage->HeaderDecompressor();
  if (info.jpeg_color_space != JCS_GRAYSCALE && info.jpeg_color_space != JCS_YCbCr) return 0;
  const std::optional<StoreGeometry> geometry = m_pImage->Geometry();
  if (!geometry) return 0;
  std::unique_ptr<int16_t[]> saved = ScratchFor(*geometry);
  if (saved == nullptr) return 0;

  int16_t* store = m_pImage->Coefficients();
  for (int c = 0; c < geometry->components; ++c) {
    const int32_t delta = DeltaOf(OffsetOf(c));
    if (delta == 0) continue;
    const int64_t blocks = geometry->planes[c].Blocks();
    int16_t* dc = store + geometry->planes[c].offset;
    for (int64_t i = 0; i < blocks; ++i, dc += 64) {
      saved[i] = *dc;
      *dc = static_cast<int16_t>(std::clamp(*dc + delta, kMinDC, kMaxDC));
    }
    if (m_pUndoStore != nullptr) {
      m_pUndoStore->Write(saved.get(), static_cast<uint32_t>(blocks * sizeof(int16_t)));
    }
  }
  return 1;
}

TSL_BOOL CDllActionLevels::Revert() {
  const std::optional<StoreGeometry> geometry = m_pImage->Geometry();
  if (!geometry) return 0;
  std::unique_ptr<int16_t[]> saved = ScratchFor(*geometry);
  if (saved == nullptr) return 0;

  int16_t* store = m_pImage->Coefficients();
  for (int c = 0; c < geometry->components; ++c) {
    // A non-zero offset always gives a non-zero delta, so these are the runs Execute wrote.
    if (OffsetOf(c) == 0) continue;
    const int64_t blocks = geometry->planes[c].Blocks();
    // Values the store cannot deliver stay as the edit left them: still a sound image.
    if (!m_pUndoStore->Read(saved.get(), static_cast<uint32_t>(blocks * sizeof(int16_t)))) continue;
    int16_t* dc = store + geometry->planes[c].offset;
    for (int64_t i = 0; i < blocks; ++i, dc += 64) *dc = saved[i];
  }
  return 1;
}
