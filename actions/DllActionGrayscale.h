// SPDX-License-Identifier: MIT
// CDllActionGrayscale: turns a YCbCr image into a grayscale one by keeping only its luminance.
#pragma once

#include <cstdint>

#include "actions/DllAction.h"
#include "jpeg/Jpeg.h"

// The luminance coefficients are kept untouched, so the result is exact. The new store holds
// ceil(W / 8) x ceil(H / 8) luminance blocks (the grid of an 8x8-MCU grayscale image), whatever
// block counts earlier edits recorded. The undo record holds the component records, every
// colour plane, and then the luminance blocks the new store leaves out, so that an undo gives
// back every block, filler included.
class CDllActionGrayscale final : public CDllAction {
 public:
  CDllActionGrayscale() = default;

 protected:
  TSL_BOOL Execute() override;
  TSL_BOOL Revert() override;

 private:
  int32_t m_iColourSpace = 0;  // the header decompressor's JPEG colour space before the edit
  int32_t m_iComponents = 0;   // the number of components before the edit
  // The component records before the edit. The undo record holds them too, but they hold
  // pointers into the header decompressor, so the revert trusts only its own copy.
  jpeg_component_info m_aRecords[MAX_COMPONENTS] = {};
};
