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

// Levels for one step through its reciprocal instead of a division: the reconstruction filter
// re-quantizes some two thousand values per block, and a division per value would be most of
// its time. The quotient from the reciprocal is at most one too small, and one comparison
// puts that right, so Level(x) equals QuantizationLevel(x, q) for every 16-bit x.
class StepDivisor {
 public:
  explicit StepDivisor(uint32_t q = 1)
      : q_(q), half_(q / 2), reciprocal_(q != 0 ? (uint64_t{1} << 32) / q : 0) {}

  // REQUIRES: q > 0 and |x| < 2^30.
  int32_t Level(int32_t x) const {
    const uint32_t n = static_cast<uint32_t>(x >= 0 ? x : -x) + half_;
    uint32_t k = static_cast<uint32_t>((uint64_t{n} * reciprocal_) >> 32);
    if ((k + 1) * q_ <= n) ++k;
    return x >= 0 ? static_cast<int32_t>(k) : -static_cast<int32_t>(k);
  }

 private:
  uint32_t q_;
  uint32_t half_;
  uint64_t reciprocal_;  // floor(2^32 / q)
};

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
