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

// Re-quantization of 16-bit coefficients through reciprocals of the steps instead of a
// division per value: the reconstruction filter re-quantizes some two thousand values per
// block, and divisions would be most of its time. For a 16-bit x the rounded magnitude
// n = |x| + floor(q / 2) fits in 16 bits, so with r = floor(65536 / q) the quotient
// (n r) >> 16 is floor(n / q) or one less, and one comparison puts it right: every level equals
// QuantizationLevel's. All arithmetic is 32-bit and branch-free so the block loop vectorizes.
class StepDivisors {
 public:
  // `steps`: 64 steps in natural order; a step of 0 quantizes nothing.
  explicit StepDivisors(const uint16_t* steps) {
    for (int i = 0; i < 64; ++i) {
      q_[i] = steps[i];
      half_[i] = steps[i] / 2u;
      reciprocal_[i] = steps[i] != 0 ? 65536u / steps[i] : 0;
    }
  }

  // Level of x at position i (a step of 0 gives 0).
  int32_t Level(int i, int16_t x) const {
    const uint32_t n = Magnitude(x) + half_[i];
    uint32_t k = (n * reciprocal_[i]) >> 16;
    k += (k + 1) * q_[i] <= n ? 1u : 0u;
    const int32_t level = q_[i] != 0 ? static_cast<int32_t>(k) : 0;
    return x < 0 ? -level : level;
  }

  // Replaces every coefficient by its level times its step; coefficients with a step of 0
  // stay as they are.
  void Requantize(int16_t* coefficients) const {
    for (int i = 0; i < 64; ++i) {
      const int16_t x = coefficients[i];
      const int32_t value = Level(i, x) * static_cast<int32_t>(q_[i]);
      coefficients[i] = static_cast<int16_t>(q_[i] != 0 ? value : x);
    }
  }

 private:
  static uint32_t Magnitude(int16_t x) {
    return static_cast<uint32_t>(x < 0 ? -int32_t{x} : int32_t{x});
  }

  uint32_t q_[64];
  uint32_t half_[64];
  uint32_t reciprocal_[64];  // floor(65536 / q), 0 for a step of 0
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
