// SPDX-License-Identifier: MIT
// The common body of the four actions that mirror or quarter-turn the image.
#pragma once

#include <cstdint>

#include "actions/BlockCounts.h"
#include "actions/BlockPlacement.h"
#include "actions/DllAction.h"

// FlipH, FlipV, RotateLeft and RotateRight differ only in the block transform, the axis whose
// partial edge MCU they trim or keep, and whether they exchange the axes of the header.
//
// The edge that ends inside an MCU (right or bottom) comes to the left or top, where it cannot
// stay partial. With keep-partial zero the partial MCU column (row) is dropped and saved to the
// undo store; otherwise it is kept whole, and its filler blocks become part of the image.
class CDllActionReorient : public CDllAction {
 protected:
  enum class Kind { kFlipH, kFlipV, kRotateLeft, kRotateRight };
  CDllActionReorient(Kind kind, int32_t keepPartial) : m_iKeepPartial(keepPartial), m_kind(kind) {}

  TSL_BOOL Execute() override;
  TSL_BOOL Revert() override;

  int32_t m_iKeepPartial;       // non-zero: keep a partial edge MCU whole instead of dropping it
  int32_t m_iExtentBefore = 0;  // width (FlipH, RotateLeft) or height (others) before the edit
  uint16_t m_wOrientation = 1;  // the Exif orientation before the edit

 private:
  // FlipH and RotateLeft trim the horizontal axis, FlipV and RotateRight the vertical one.
  bool TrimsWidth() const { return m_kind == Kind::kFlipH || m_kind == Kind::kRotateLeft; }
  bool Turns() const { return m_kind == Kind::kRotateLeft || m_kind == Kind::kRotateRight; }
  BlockTransform Forward() const;
  BlockTransform Backward() const;
  // Exchanges the horizontal and vertical sampling factors (largest and per component) and
  // transposes every quantization table; with `counts` the block counts are exchanged too.
  void TransposeHeader(bool counts);

  const Kind m_kind;
  BlockCounts m_counts;  // the block counts before the edit, given back by the revert
};
