// SPDX-License-Identifier: MIT
// CDllActionLevels: shifts the brightness of each component by offsetting every block's DC.
#pragma once

#include <cstdint>

#include "actions/DllAction.h"

// Raising a block's DC coefficient by d raises each of its 64 samples by d / 8, exactly, with
// no other coefficient touched. Offsets are percentages of full scale (-100..100): 100 moves the
// DC by 1020, i.e. the samples by 127.5. DC values stay within what 8-bit samples can give.
class CDllActionLevels final : public CDllAction {
 public:
  CDllActionLevels(int32_t offset0, int32_t offset1, int32_t offset2)
      : m_iOffset0(offset0), m_iOffset1(offset1), m_iOffset2(offset2) {}

 protected:
  TSL_BOOL Execute() override;
  TSL_BOOL Revert() override;

 private:
  int32_t OffsetOf(int component) const;

  int32_t m_iOffset0;  // for component 0, as given
  int32_t m_iOffset1;  // for component 1, as given
  int32_t m_iOffset2;  // for every further component, as given
};
