// SPDX-License-Identifier: MIT
// CDllActionRotateRight: turns the image a quarter turn clockwise, losslessly.
#pragma once

#include "actions/DllActionReorient.h"

class CDllActionRotateRight final : public CDllActionReorient {
 public:
  explicit CDllActionRotateRight(int32_t keepPartial)
      : CDllActionReorient(kRotateRight, keepPartial) {}
};
