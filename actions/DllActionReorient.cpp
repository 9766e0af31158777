// SPDX-License-Identifier: MIT
// Mirrors and quarter turns of the coefficient store, and their reverts.
#include "actions/DllActionReorient.h"

#include <utility>

#include "actions/NewStore.h"

namespace {

void TransposeQuantTable(JQUANT_TBL* table) {
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < i; ++j) std::swap(table->quantval[8 * i + j], table->quantval[8 * j + i]);
  }
}

// The sampling of a turned image: each component's factors trade places.
SamplingFactors Transposed(SamplingFactors sampling) {
  std::swap(sampling.hMax, sampling.vMax);
  for (int c = 0; c < sampling.components; ++c) std::swap(sampling.h[c], sampling.v[c]);
  return sampling;
}

// The blocks of plane `plane` that lie in `mcus` MCUs from the top-left corner.
BlockRegion BlocksIn(BlockRegion mcus, const PlaneGeometry& plane) {
  return BlockRegion{mcus.cols * plane.h, mcus.rows * plane.v};
}

}  // namespace

BlockRegion CDllActionReorient::KeptMcus(const StoreGeometry& old) const {
  // Dropping a partial MCU floors the side; keeping it leaves the grid, which already holds it.
  const bool drop = m_iKeepPartial == 0;
  return BlockRegion{m_kind.trimsWidth && drop ? old.width / old.mcuWidth : old.mcuColumns,
                     m_kind.trimsHeight && drop ? old.height / old.mcuHeight : old.mcuRows};
}

std::optional<StoreGeometry> CDllActionReorient::Reoriented(const StoreGeometry& old,
                                                            BlockRegion kept) const {
  const SamplingFactors sampling = SamplingFactors::Of(*m_pImage->HeaderDecompressor());
  const int64_t width = m_kind.trimsWidth ? kept.cols * old.mcuWidth : old.width;
  const int64_t height = m_kind.trimsHeight ? kept.rows * old.mcuHeight : old.height;
  if (!m_kind.turns) return StoreGeometry::ForImage(sampling, width, height);
  return StoreGeometry::ForImage(Transposed(sampling), height, width);
}

void CDllActionReorient::TransferDropped(const StoreGeometry& old, BlockRegion kept, bool restore) {
  const auto i32 = [](int64_t value) { return static_cast<int32_t>(value); };
  const auto transfer = [&](const MCURect& band) {
    if (restore) {
      RestoreBlocks(band);
    } else {
      SaveBlocks(band);
    }
  };
  if (kept.cols < old.mcuColumns) {
    transfer(MCURect(i32(kept.cols), 0, i32(old.mcuColumns), i32(old.mcuRows)));
  }
  if (kept.rows < old.mcuRows) {
    transfer(MCURect(0, i32(kept.rows), i32(kept.cols), i32(old.mcuRows)));
  }
}

void CDllActionReorient::TransposeHeader(bool counts) {
  jpeg_decompress_struct& info = *m_pImage->HeaderDecompressor();
  std::swap(info.max_h_samp_factor, info.max_v_samp_factor);
  for (int c = 0; c < info.num_components; ++c) {
    jpeg_component_info& comp = info.comp_info[c];
    std::swap(comp.h_samp_factor, comp.v_samp_factor);
    if (counts) std::swap(comp.width_in_blocks, comp.height_in_blocks);
  }
  for (JQUANT_TBL* table : info.quant_tbl_ptrs) {
    if (table != nullptr) TransposeQuantTable(table);
  }
}

TSL_BOOL CDllActionReorient::Execute() {
  const std::optional<StoreGeometry> old = m_pImage->Geometry();
  if (!old) return 0;
  const BlockRegion kept = KeptMcus(*old);
  // The band is written before the size check on purpose: a host discards whatever a refused
  // edit wrote, so the order costs nothing and keeps every record of a trim alike.
  if (m_pUndoStore != nullptr) TransferDropped(*old, kept, false);
  if (kept.cols == 0 || kept.rows == 0) return 0;
  const std::optional<StoreGeometry> shape = Reoriented(*old, kept);
  std::optional<NewStore> store = shape ? NewStore::Allocate(*shape) : std::nullopt;
  if (!store) return 0;

  int16_t* values = m_pImage->Coefficients();
  for (int c = 0; c < old->components; ++c) {
    const PlaneGeometry& plane = old->planes[c];
    PlaceBlocks(m_kind.forward, BlocksOf(values, plane), BlocksIn(kept, plane), store->Plane(c));
  }
  m_iWidthBefore = m_pImage->Width();
  m_iHeightBefore = m_pImage->Height();
  jpeg_decompress_struct& info = *m_pImage->HeaderDecompressor();
  m_counts.Capture(info);
  // A trimmed axis now holds the kept MCUs' blocks; the other keeps its count.
  for (int c = 0; c < old->components; ++c) {
    const BlockRegion blocks = BlocksIn(kept, old->planes[c]);
    if (m_kind.trimsWidth) info.comp_info[c].width_in_blocks = static_cast<JDIMENSION>(blocks.cols);
    if (m_kind.trimsHeight)
      info.comp_info[c].height_in_blocks = static_cast<JDIMENSION>(blocks.rows);
  }
  store->HandTo(*m_pImage);
  if (m_kind.turns) TransposeHeader(true);
  m_wOrientation = m_pImage->ExifOrientation();
  m_pImage->SetExifOrientation(1);
  return 1;
}

TSL_BOOL CDllActionReorient::Revert() {
  const std::optional<StoreGeometry> current = m_pImage->Geometry();
  if (!current) return 0;
  const SamplingFactors sampling = SamplingFactors::Of(*m_pImage->HeaderDecompressor());
  const std::optional<StoreGeometry> old = StoreGeometry::ForImage(
      m_kind.turns ? Transposed(sampling) : sampling, m_iWidthBefore, m_iHeightBefore);
  std::optional<NewStore> store = old ? NewStore::Allocate(*old) : std::nullopt;
  if (!store) return 0;

  // Every current block goes back; the bands the edit dropped come from the undo store.
  int16_t* values = m_pImage->Coefficients();
  for (int c = 0; c < current->components; ++c) {
    const PlaneGeometry& plane = current->planes[c];
    PlaceBlocks(m_kind.backward, BlocksOf(values, plane),
                BlockRegion{plane.blocksPerRow, plane.blockRows}, store->Plane(c));
  }
  // The current grid is the kept MCUs, turned when the kind turns.
  const BlockRegion kept = m_kind.turns ? BlockRegion{current->mcuRows, current->mcuColumns}
                                        : BlockRegion{current->mcuColumns, current->mcuRows};
  store->HandTo(*m_pImage);
  if (m_kind.turns) TransposeHeader(false);
  m_counts.Restore(*m_pImage->HeaderDecompressor());
  TransferDropped(*old, kept, true);
  m_pImage->SetExifOrientation(m_wOrientation);
  return 1;
}
