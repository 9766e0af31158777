// SPDX-License-Identifier: MIT
// libFuzzer target: arbitrary bytes through OpenFromMemory (full and header-only) and the
// queries that read what was opened.
#include <cstddef>
#include <cstdint>

#include "tessel/tessel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  ITessel* image = nullptr;
  if (CreateTesselObject(&image) != TSL_S_OK) return 0;
  for (int32_t headerOnly = 1; headerOnly >= 0; --headerOnly) {
    if (image->OpenFromMemory(data, static_cast<int32_t>(size), headerOnly)) {
      int16_t* values = nullptr;
      int32_t count = 0;
      image->GetCoefficients(&values, &count);
      int64_t sum = 0;
      for (int32_t i = 0; i < count; ++i) sum += values[i];
      volatile int64_t sink = sum + image->GetWidth() + image->GetMCUWidth();
      (void)sink;
    }
  }
  image->Release();
  return 0;
}
