// SPDX-License-Identifier: MIT
// CDllActionCrop: cuts the image to a rectangle (or extends it with zero blocks), losslessly.
#pragma once

#include <cstdint>

#include "actions/BlockCounts.h"
#include "actions/DllAction.h"
#include "jpeg/CoefficientStore.h"

// The left and top edges move down to MCU boundaries; the right and bottom edges stay where the
// caller put them, so the last MCU column and row may be partial. The new MCU grid is a window
// on the old one that may reach beyond it on any side: MCUs inside the old grid are copied
// unchanged, MCUs outside it are zero blocks. What the window leaves out is saved to the undo
// store as up to four bands: top, left, right, bottom.
class CDllActionCrop final : public CDllAction {
 public:
  CDllActionCrop(int32_t left, int32_t top, int32_t right, int32_t bottom)
      : m_iLeft(left), m_iTop(top), m_iRight(right), m_iBottom(bottom) {}

 protected:
  TSL_BOOL Execute() override;
  TSL_BOOL Revert() override;

 private:
  // The window in MCUs of the old grid (C0 x R0 MCUs); edges may lie outside 0..C0, 0..R0.
  struct Window {
    int64_t left, top, right, bottom;  // right and bottom exclusive
    int64_t columns, rows;             // C0 and R0
  };
  Window WindowOf(const StoreGeometry& old) const;
  // Saves (or reads back) the bands of the old grid outside the window, in the image geometry
  // of the old grid (which must be the image's current one).
  void TransferBands(const Window& w, bool restore);
  // Copies the window's blocks from the current store into `to`, a store of the other grid:
  // from the old grid into the cropped one (`toCropped`, zero outside the old grid), or back.
  void CopyWindow(const StoreGeometry& old, const Window& w, const StoreGeometry& cropped,
                  int16_t* to, bool toCropped);

  int32_t m_iLeft;              // left edge in pixels; Execute aligns it to the MCU grid
  int32_t m_iTop;               // top edge in pixels; Execute aligns it to the MCU grid
  int32_t m_iRight;             // right edge, exclusive; raised so that the image is not empty
  int32_t m_iBottom;            // bottom edge, exclusive; raised likewise
  int32_t m_iWidthBefore = 0;   // image width when Execute ran
  int32_t m_iHeightBefore = 0;  // image height when Execute ran
  BlockCounts m_counts;         // block counts when Execute ran, given back by the revert
};
