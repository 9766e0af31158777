// SPDX-License-Identifier: MIT
// CDllActionReconstruct: runs the coefficient reconstruction filter over the whole image a
// given number of times, undone from a copy of the whole store.
#pragma once

#include <cstdint>

#include "actions/DllAction.h"

class CDllActionReconstruct final : public CDllAction {
 public:
  // `passes` of 0 or less runs no pass; `progress` may be null.
  CDllActionReconstruct(int32_t passes, TesselProgressFunc progress)
      : m_iPasses(passes), m_pProgress(progress) {}

 protected:
  // FALSE, with nothing changed or written, for images the filter cannot handle (more than
  // four components, missing quantization tables) or when the band memory cannot be had.
  // Otherwise TRUE, also when the progress function stopped the filter part-way.
  TSL_BOOL Execute() override;
  TSL_BOOL Revert() override;

 private:
  // Every block of every component, filler blocks included.
  MCURect WholeImage() const;

  int32_t m_iPasses;               // how many times the filter runs
  TesselProgressFunc m_pProgress;  // handed to every pass; returns 0 to stop; may be null
};
