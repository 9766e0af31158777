// SPDX-License-Identifier: MIT
// Contents of the range-limit table.
#include "pixels/RangeLimit.h"

#include <array>

namespace {

constexpr std::array<uint8_t, kRangeLimitBytes> MakeTable() {
  std::array<uint8_t, kRangeLimitBytes> table{};
  for (int i = 0; i < kRangeLimitBytes; ++i) {
    if (i < 256) {
      table[i] = 0;
    } else if (i < 512) {
      table[i] = static_cast<uint8_t>(i - 256);
    } else if (i < 896) {
      table[i] = 255;
    } else if (i < 1280) {
      table[i] = 0;
    } else {
      table[i] = static_cast<uint8_t>(i - 1280);
    }
  }
  return table;
}

// Constant-initialised: no start-up order or once-only guard to worry about.
alignas(64) constexpr std::array<uint8_t, kRangeLimitBytes> kTable = MakeTable();

}  // namespace

const uint8_t* RangeLimitTable() { return kTable.data(); }
