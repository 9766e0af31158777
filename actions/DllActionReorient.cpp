// SPDX-License-Identifier: MIT
// Mirrors and quarter turns of the coefficient store, and their reverts.
#include "actions/DllActionReorient.h"

#include <utility>

#include "image/CoefficientStore.h"
#include "image/DllImage.h"

namespace {

// One component's plane of the store, as a block grid.
BlockPlane PlaneOf(int16_t* store, const PlaneLayout& layout) {
  return BlockPlane{store + layout.offset, layout.blocksPerRow, layout.blockRows};
}

void TransposeQuantTable(JQUANT_TBL* table) {
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < i; ++j) std::swap(table->quantval[8 * i + j], table->quantval[8 * j + i]);
  }
}

}  // namespace

BlockTransform CDllActionReorient::Forward() const {
  switch (m_kind) {
    case Kind::kFlipH:
      return BlockTransform::kMirrorH;
    case Kind::kFlipV:
      return BlockTransform::kMirrorV;
    case Kind::kRotateLeft:
      return BlockTransform::kTurnLeft;
    case Kind::kRotateRight:
      break;
  }
  return BlockTransform::kTurnRight;
}

// Mirrors are their own inverse; a turn is undone by the opposite turn.
BlockTransform CDllActionReorient::Backward() const {
  switch (m_kind) {
    case Kind::kRotateLeft:
      return BlockTransform::kTurnRight;
    case Kind::kRotateRight:
      return BlockTransform::kTurnLeft;
    default:
      return Forward();
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
  jpeg_decompress_struct& info = *m_pImage->HeaderDecompressor();
  const int64_t width = m_pImage->Width();
  const int64_t height = m_pImage->Height();
  const int64_t mcuWidth = m_pImage->GetMCUWidth();
  const int64_t mcuHeight = m_pImage->GetMCUHeight();
  const int64_t columns = CeilDiv(width, mcuWidth);
  const int64_t rows = CeilDiv(height, mcuHeight);
  const int64_t extent = TrimsWidth() ? width : height;
  const int64_t mcu = TrimsWidth() ? mcuWidth : mcuHeight;
  const int64_t a = CeilDiv(extent, mcu);
  const int64_t b = m_iKeepPartial ? a : extent / mcu;
  m_iExtentBefore = static_cast<int32_t>(extent);

  // The band is written before the size check on purpose: a host discards whatever a refused
  // edit wrote, so the order costs nothing and keeps every record of a trim alike.
  if (m_pUndoStore != nullptr && b < a) {
    SaveBlocks(TrimsWidth() ? MCURect(static_cast<int32_t>(b), 0, static_cast<int32_t>(a),
                                      static_cast<int32_t>(rows))
                            : MCURect(0, static_cast<int32_t>(b), static_cast<int32_t>(columns),
                                      static_cast<int32_t>(a)));
  }
  if (b == 0) return 0;

  PlaneLayout oldPlanes[MAX_COMPONENTS];
  if (ComputeStoreLayout(info, width, height, oldPlanes) < 0) return 0;
  const int components = info.num_components;
  BlockPlane newPlanes[MAX_COMPONENTS];
  int64_t total = 0;
  for (int c = 0; c < components; ++c) {
    const jpeg_component_info& comp = info.comp_info[c];
    const int64_t n = b * (TrimsWidth() ? comp.h_samp_factor : comp.v_samp_factor);
    const int64_t cols = oldPlanes[c].blocksPerRow;
    const int64_t blockRows = oldPlanes[c].blockRows;
    switch (m_kind) {
      case Kind::kFlipH:
        newPlanes[c] = BlockPlane{nullptr, n, blockRows};
        break;
      case Kind::kFlipV:
        newPlanes[c] = BlockPlane{nullptr, cols, n};
        break;
      case Kind::kRotateLeft:
        newPlanes[c] = BlockPlane{nullptr, blockRows, n};
        break;
      case Kind::kRotateRight:
        newPlanes[c] = BlockPlane{nullptr, n, cols};
        break;
    }
    total += newPlanes[c].cols * newPlanes[c].rows * 64;
  }
  // Never larger than the old store, whose count fits.
  CoefficientArray values = AllocateCoefficients(static_cast<size_t>(total));
  if (values == nullptr) return 0;

  m_counts.Capture(info);
  int16_t* store = m_pImage->Coefficients();
  int64_t offset = 0;
  for (int c = 0; c < components; ++c) {
    jpeg_component_info& comp = info.comp_info[c];
    newPlanes[c].blocks = values.get() + offset;
    offset += newPlanes[c].cols * newPlanes[c].rows * 64;
    // The blocks kept along the trimmed axis of the source plane.
    const int64_t n = b * (TrimsWidth() ? comp.h_samp_factor : comp.v_samp_factor);
    PlaceBlocks(Forward(), PlaneOf(store, oldPlanes[c]), n, newPlanes[c]);
    if (TrimsWidth()) {
      comp.width_in_blocks = static_cast<JDIMENSION>(b * comp.h_samp_factor);
    } else {
      comp.height_in_blocks = static_cast<JDIMENSION>(b * comp.v_samp_factor);
    }
  }
  m_pImage->ReplaceStore(std::move(values), static_cast<int32_t>(total));
  if (Turns()) TransposeHeader(true);

  const int64_t kept = b * mcu;
  switch (m_kind) {
    case Kind::kFlipH:
      m_pImage->SetSize(static_cast<int32_t>(kept), static_cast<int32_t>(height));
      break;
    case Kind::kFlipV:
      m_pImage->SetSize(static_cast<int32_t>(width), static_cast<int32_t>(kept));
      break;
    case Kind::kRotateLeft:
      m_pImage->SetSize(static_cast<int32_t>(height), static_cast<int32_t>(kept));
      break;
    case Kind::kRotateRight:
      m_pImage->SetSize(static_cast<int32_t>(kept), static_cast<int32_t>(width));
      break;
  }
  m_wOrientation = m_pImage->Exif().GetOrientation();
  m_pImage->Exif().SetOrientation(1);
  return 1;
}

TSL_BOOL CDllActionReorient::Revert() {
  jpeg_decompress_struct& info = *m_pImage->HeaderDecompressor();
  const int64_t width = m_pImage->Width();
  const int64_t height = m_pImage->Height();
  // The axis that was trimmed, in the current orientation: a turn carried it to the other one.
  const bool currentHorizontal = TrimsWidth() != Turns();
  const int64_t mcu = currentHorizontal ? m_pImage->GetMCUWidth() : m_pImage->GetMCUHeight();
  const int64_t a = CeilDiv(m_iExtentBefore, mcu);
  const int64_t b = CeilDiv(currentHorizontal ? width : height, mcu);

  PlaneLayout planes[MAX_COMPONENTS];
  if (ComputeStoreLayout(info, width, height, planes) < 0) return 0;
  const int components = info.num_components;
  // The planes before the edit, in the current orientation's factors: the trimmed axis holds a
  // MCUs again; for turns the axes trade places.
  BlockPlane oldPlanes[MAX_COMPONENTS];
  int64_t total = 0;
  for (int c = 0; c < components; ++c) {
    const jpeg_component_info& comp = info.comp_info[c];
    const int64_t cols = planes[c].blocksPerRow;
    const int64_t rows = planes[c].blockRows;
    switch (m_kind) {
      case Kind::kFlipH:
        oldPlanes[c] = BlockPlane{nullptr, a * comp.h_samp_factor, rows};
        break;
      case Kind::kFlipV:
        oldPlanes[c] = BlockPlane{nullptr, cols, a * comp.v_samp_factor};
        break;
      case Kind::kRotateLeft:
        oldPlanes[c] = BlockPlane{nullptr, a * comp.v_samp_factor, cols};
        break;
      case Kind::kRotateRight:
        oldPlanes[c] = BlockPlane{nullptr, rows, a * comp.h_samp_factor};
        break;
    }
    total += oldPlanes[c].cols * oldPlanes[c].rows * 64;
  }
  if (total > kMaxCoefficientCount) return 0;
  CoefficientArray values = AllocateCoefficients(static_cast<size_t>(total));
  if (values == nullptr) return 0;

  int16_t* store = m_pImage->Coefficients();
  int64_t offset = 0;
  for (int c = 0; c < components; ++c) {
    oldPlanes[c].blocks = values.get() + offset;
    offset += oldPlanes[c].cols * oldPlanes[c].rows * 64;
    const BlockPlane current = PlaneOf(store, planes[c]);
    // Every current block goes back; the placement of the inverse transform uses them all.
    const int64_t n =
        (Backward() == BlockTransform::kMirrorH || Backward() == BlockTransform::kTurnLeft)
            ? current.cols
            : current.rows;
    PlaceBlocks(Backward(), current, n, oldPlanes[c]);
  }
  m_pImage->ReplaceStore(std::move(values), static_cast<int32_t>(total));
  if (Turns()) TransposeHeader(false);
  m_counts.Restore(info);

  switch (m_kind) {
    case Kind::kFlipH:
      m_pImage->SetSize(m_iExtentBefore, static_cast<int32_t>(height));
      break;
    case Kind::kFlipV:
      m_pImage->SetSize(static_cast<int32_t>(width), m_iExtentBefore);
      break;
    case Kind::kRotateLeft:
      m_pImage->SetSize(m_iExtentBefore, static_cast<int32_t>(width));
      break;
    case Kind::kRotateRight:
      m_pImage->SetSize(static_cast<int32_t>(height), m_iExtentBefore);
      break;
  }
  if (b < a) {
    const int32_t columns =
        static_cast<int32_t>(CeilDiv(m_pImage->Width(), m_pImage->GetMCUWidth()));
    const int32_t rows =
        static_cast<int32_t>(CeilDiv(m_pImage->Height(), m_pImage->GetMCUHeight()));
    RestoreBlocks(TrimsWidth()
                      ? MCURect(static_cast<int32_t>(b), 0, static_cast<int32_t>(a), rows)
                      : MCURect(0, static_cast<int32_t>(b), columns, static_cast<int32_t>(a)));
  }
  m_pImage->Exif().SetOrientation(m_wOrientation);
  return 1;
}
