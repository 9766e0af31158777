// SPDX-License-Identifier: MIT
// Fixed-point pieces shared by the forward and inverse DCT: wrapping 32-bit arithmetic, the
// rounding shift and the odd-part rotation with its 13-bit multipliers.
#pragma once

#include <cstdint>

namespace dct {

// Wrapping arithmetic: values are carried as uint32_t, whose sums and products wrap modulo
// 2^32 as the transforms require, and read back as signed only to shift.
using Wrap = uint32_t;

constexpr Wrap W(int32_t value) { return static_cast<Wrap>(value); }

// x times a 13-bit fixed-point multiplier (a constant standing for multiplier / 8192).
constexpr Wrap Mul(Wrap x, int32_t multiplier) { return x * static_cast<Wrap>(multiplier); }

// D(x, n): shift right by n with rounding, (x + 2^(n-1)) >> n, arithmetic.
template <int N>
constexpr int32_t Descale(Wrap x) {
  return static_cast<int32_t>(x + (Wrap{1} << (N - 1))) >> N;
}

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;  // extra precision carried between the passes

// Odd-part rotation shared by both transforms.
struct Odd {
  Wrap o0, o1, o2, o3;
};
inline Odd Rotate(Wrap a0, Wrap a1, Wrap a2, Wrap a3) {
  const Wrap z5 = Mul(a0 + a2 + a1 + a3, 9633);  // 1.175875602
  const Wrap z1 = Mul(a0 + a3, -7373);           // -0.899976223
  const Wrap z2 = Mul(a1 + a2, -20995);          // -2.562915447
  const Wrap z3 = Mul(a0 + a2, -16069) + z5;     // -1.961570560
  const Wrap z4 = Mul(a1 + a3, -3196) + z5;      // -0.390180644
  return Odd{Mul(a0, 2446) + z1 + z3,            // 0.298631336
             Mul(a1, 16819) + z2 + z4,           // 2.053119869
             Mul(a2, 25172) + z2 + z3,           // 3.072711026
             Mul(a3, 12299) + z1 + z4};          // 1.501321110
}

}  // namespace dct
