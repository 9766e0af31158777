// SPDX-License-Identifier: MIT
// The common body of the actions that mirror or quarter-turn the image.
#pragma once

#include <cstdint>

#include "actions/BlockCounts.h"
#include "actions/BlockPlacement.h"
#include "actions/DllAction.h"
#include "jpeg/CoefficientStore.h"

// FlipH, FlipV, RotateLeft and RotateRight are one algorithm driven by a row of the table
// below: which partial edges the kind brings to the left or top, whether it exchanges the
// axes, and the block transform each way.
//
// Only the right and bottom edges may end inside an MCU. An edge that comes to the left or top
// cannot stay partial: with keep-partial zero its partial MCU column (row) is dropped and saved
// to the undo store; otherwise it is kept whole, and its filler blocks become part of the
// image. The new store holds the kept blocks, each moved and transformed; the new size is the
// kept size (whole MCUs along a trimmed axis). A kind that turns exchanges the axes of the new
// planes and the new size, and transposes the header's sampling factors, quantization tables
// and block counts. A transpose (no edge comes to the left or top) and a transverse (both do,
// as in a half turn) fit the table as one more row each.
class CDllActionReorient : public CDllAction {
 protected:
  struct Kind {
    bool trimsWidth;          // the right edge comes to the left or top
    bool trimsHeight;         // the bottom edge comes to the left or top
    bool turns;               // rows become columns
    BlockTransform forward;   // what the edit does to each block
    BlockTransform backward;  // what the revert does to each block
  };
  static constexpr Kind kFlipH{true, false, false, BlockTransform::kMirrorH,
                               BlockTransform::kMirrorH};
  static constexpr Kind kFlipV{false, true, false, BlockTransform::kMirrorV,
                               BlockTransform::kMirrorV};
  static constexpr Kind kRotateLeft{true, false, true, BlockTransform::kTurnLeft,
                                    BlockTransform::kTurnRight};
  static constexpr Kind kRotateRight{false, true, true, BlockTransform::kTurnRight,
                                     BlockTransform::kTurnLeft};

  CDllActionReorient(const Kind& kind, int32_t keepPartial)
      : m_iKeepPartial(keepPartial), m_kind(kind) {}

  TSL_BOOL Execute() override;
  TSL_BOOL Revert() override;

  int32_t m_iKeepPartial;       // non-zero: keep a partial edge MCU whole instead of dropping it
  int32_t m_iWidthBefore = 0;   // image width when Execute ran
  int32_t m_iHeightBefore = 0;  // image height when Execute ran
  uint16_t m_wOrientation = 1;  // the Exif orientation before the edit

 private:
  // MCU columns and rows kept of the image before the edit (`old`).
  BlockRegion KeptMcus(const StoreGeometry& old) const;
  // The image after the edit: the kept size, turned when the kind turns.
  std::optional<StoreGeometry> Reoriented(const StoreGeometry& old, BlockRegion kept) const;
  // Saves (or reads back) the MCU bands of the image before the edit that the edit drops: the
  // right band over every row, then the bottom band under the kept columns.
  void TransferDropped(const StoreGeometry& old, BlockRegion kept, bool restore);
  // Exchanges the horizontal and vertical sampling factors (largest and per component) and
  // transposes every quantization table; with `counts` the block counts are exchanged too.
  void TransposeHeader(bool counts);

  const Kind m_kind;
  BlockCounts m_counts;  // the block counts before the edit, given back by the revert
};
