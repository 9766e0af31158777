// SPDX-License-Identifier: MIT
// Quantization levels and cells of dequantized coefficients: which values a decoder cannot
// tell apart from a stored one, so that the reconstruction filter may move it within them.
#pragma once

#include <cstdint>

// Quantization level of x with step q (q > 0), rounding half away from zero.
inline int32_t QuantizationLevel(int32_t x, int32_t q) {
  const int32_t half = q / 2;
  return x >= 0 ? (x + half) / q : -((-x + half) / q);
}

// The values from low to high (inclusive) that quantize to the same level as `stored`.
struct QuantizationCell {
  int32_t low;
  int32_t high;
};

// The cell of `stored` with step q (q > 0). With q = 10 the cell of 30 (level 3) is 25 to 34;
// the cell of 0 is symmetric about 0.
inline QuantizationCell CellOf(int32_t stored, int32_t q) {
  const int32_t half = q / 2;
  const int32_t n = QuantizationLevel(stored, q);
  const int32_t e = n * q;
  if (e > 0) return {e - half, q * (n + 1) - half - 1};
  if (e < 0) return {e + half - q + 1, e + half};
  return {-((q - 1) / 2), (q - 1) / 2};
}
