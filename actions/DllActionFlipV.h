// SPDX-License-Identifier: MIT
// CDllActionFlipV: mirrors the image top to bottom, losslessly.
#pragma once

#include "actions/DllActionReorient.h"

class CDllActionFlipV final : public CDllActionReorient {
 public:
  explicit CDllActionFlipV(int32_t keepPartial) : CDllActionReorient(kFlipV, keepPartial) {}
};
