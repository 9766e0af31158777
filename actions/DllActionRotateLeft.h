// SPDX-License-Identifier: MIT
// CDllActionRotateLeft: turns the image a quarter turn counter-clockwise, losslessly.
#pragma once

#include "actions/DllActionReorient.h"

class CDllActionRotateLeft final : public CDllActionReorient {
 public:
  explicit CDllActionRotateLeft(int32_t keepPartial)
      : CDllActionReorient(kRotateLeft, keepPartial) {}
};
