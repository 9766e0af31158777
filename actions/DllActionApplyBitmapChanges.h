// SPDX-License-Identifier: MIT
// CDllActionApplyBitmapChanges: brings the pixels a host changed in a rendered bitmap back into
// the coefficient store, re-encoding only the 8x8 blocks whose pixels differ.
//
// The current coefficients are decoded again one MCU row at a time, exactly as GetBitmap
// decodes them, and compared byte for byte with the host's rows. Every 8x8 pixel cell with a
// difference marks the blocks under it: a luminance block its own cell, a subsampled block
// every cell it covers. Only marked blocks go through the forward DCT, from the host's pixels
// (and, outside the image, from the current decode); every other block keeps its coefficients
// exactly. Each re-encoded block's old coefficients go to the undo store behind a coordinate
// record, so the edit is undone block by block.
#pragma once

#include <cstdint>

#include "actions/DllAction.h"

// The undo record written before each re-encoded block's 64 old coefficients: where the block
// lies in its component's plane. Three signed 32-bit values, 12 bytes, as they lie in memory.
struct DCTCoordinate {
  int32_t iComponent;  // component index
  int32_t iColumn;     // block column in the component's plane
  int32_t iRow;        // block row in the component's plane
};
static_assert(sizeof(DCTCoordinate) == 12, "the undo record is 12 bytes");

class CDllActionApplyBitmapChanges final : public CDllAction {
 public:
  // `ppBits` holds the address of a variable of the host's that points at image row 0 of a
  // 24-bit bitmap (blue, green, red) of the image's size, rows `stride` bytes apart (negative
  // for bottom-up). A non-zero `force` treats every block as changed. `stats` may be null.
  CDllActionApplyBitmapChanges(uint8_t** ppBits, int32_t stride, int32_t force, Statistics* stats)
      : m_ppBits(ppBits), m_iStride(stride), m_pStatistics(stats), m_iForce(force) {}

 protected:
  // FALSE, with nothing changed or written, when there is no pixel pointer address, when the
  // rows are closer than a row of pixels, or when the image is one the encoder cannot handle:
  // largest sampling factors above 2, more than four components, a colour space without a
  // converter, or components beyond those its converter writes. A null pixel pointer changes
  // nothing and succeeds.
  TSL_BOOL Execute() override;
  TSL_BOOL Revert() override;

 private:
  uint8_t** m_ppBits;          // address of the host's pointer to image row 0
  int32_t m_iStride;           // the host bitmap's row distance in bytes
  Statistics* m_pStatistics;   // where the counts go at the end of Execute; may be null
  int32_t m_iSavedBlocks = 0;  // blocks written to the undo store
  int32_t m_iForce;            // non-zero: every block counts as changed
};
