// SPDX-License-Identifier: MIT
// CDllActionFlipH: mirrors the image left to right, losslessly.
#pragma once

#include "actions/DllActionReorient.h"

class CDllActionFlipH final : public CDllActionReorient {
 public:
  explicit CDllActionFlipH(int32_t keepPartial) : CDllActionReorient(kFlipH, keepPartial) {}
};
