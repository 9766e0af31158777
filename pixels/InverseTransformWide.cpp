// SPDX-License-Identifier: MIT
// The inverse DCT with AVX2: pass 1 transforms the eight columns at once (one row of
// coefficients a vector), the workspace is transposed, pass 2 transforms the eight rows at
// once, and the samples are transposed back. Every step is the plain transform's, in 32-bit
// lanes that wrap alike; the row shortcut for zero AC inputs is blended in lane by lane, since
// for absurd coefficients it can differ from the general steps, which overflow.
#include <immintrin.h>

#include "pixels/InverseTransform.h"

#define TSL_AVX2 __attribute__((target("avx2")))

namespace dct {
namespace {

using V = __m256i;

TSL_AVX2 inline V Add(V a, V b) { return _mm256_add_epi32(a, b); }
TSL_AVX2 inline V Sub(V a, V b) { return _mm256_sub_epi32(a, b); }
TSL_AVX2 inline V Mul(V a, int32_t multiplier) {
  return _mm256_mullo_epi32(a, _mm256_set1_epi32(multiplier));
}
template <int N>
TSL_AVX2 inline V Descale(V x) {
  return _mm256_srai_epi32(_mm256_add_epi32(x, _mm256_set1_epi32(1 << (N - 1))), N);
}

struct Odd {
  V o0, o1, o2, o3;
};
TSL_AVX2 inline Odd Rotate(V a0, V a1, V a2, V a3) {
  const V z5 = Mul(Add(Add(a0, a2), Add(a1, a3)), 9633);
  const V z1 = Mul(Add(a0, a3), -7373);
  const V z2 = Mul(Add(a1, a2), -20995);
  const V z3 = Add(Mul(Add(a0, a2), -16069), z5);
  const V z4 = Add(Mul(Add(a1, a3), -3196), z5);
  return Odd{Add(Add(Mul(a0, 2446), z1), z3), Add(Add(Mul(a1, 16819), z2), z4),
             Add(Add(Mul(a2, 25172), z2), z3), Add(Add(Mul(a3, 12299), z1), z4)};
}

struct Even {
  V t10, t11, t12, t13;
};
TSL_AVX2 inline Even InverseEven(V i0, V i2, V i4, V i6) {
  const V z1 = Mul(Add(i2, i6), 4433);
  const V t2 = Sub(z1, Mul(i6, 15137));
  const V t3 = Add(z1, Mul(i2, 6270));
  const V t0 = _mm256_slli_epi32(Add(i0, i4), 13);
  const V t1 = _mm256_slli_epi32(Sub(i0, i4), 13);
  return Even{Add(t0, t3), Add(t1, t2), Sub(t1, t2), Sub(t0, t3)};
}

// One 1-D pass over eight lanes: v[k] holds input k of every lane; outputs replace them.
template <int Shift>
TSL_AVX2 inline void Pass(V* v) {
  const Even e = InverseEven(v[0], v[2], v[4], v[6]);
  const Odd o = Rotate(v[7], v[5], v[3], v[1]);
  v[0] = Descale<Shift>(Add(e.t10, o.o3));
  v[1] = Descale<Shift>(Add(e.t11, o.o2));
  v[2] = Descale<Shift>(Add(e.t12, o.o1));
  v[3] = Descale<Shift>(Add(e.t13, o.o0));
  v[4] = Descale<Shift>(Sub(e.t13, o.o0));
  v[5] = Descale<Shift>(Sub(e.t12, o.o1));
  v[6] = Descale<Shift>(Sub(e.t11, o.o2));
  v[7] = Descale<Shift>(Sub(e.t10, o.o3));
}

TSL_AVX2 inline void Transpose(V* r) {
  const V t0 = _mm256_unpacklo_epi32(r[0], r[1]), t1 = _mm256_unpackhi_epi32(r[0], r[1]);
  const V t2 = _mm256_unpacklo_epi32(r[2], r[3]), t3 = _mm256_unpackhi_epi32(r[2], r[3]);
  const V t4 = _mm256_unpacklo_epi32(r[4], r[5]), t5 = _mm256_unpackhi_epi32(r[4], r[5]);
  const V t6 = _mm256_unpacklo_epi32(r[6], r[7]), t7 = _mm256_unpackhi_epi32(r[6], r[7]);
  const V u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
  const V u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
  const V u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
  const V u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
  r[0] = _mm256_permute2x128_si256(u0, u4, 0x20);
  r[1] = _mm256_permute2x128_si256(u1, u5, 0x20);
  r[2] = _mm256_permute2x128_si256(u2, u6, 0x20);
  r[3] = _mm256_permute2x128_si256(u3, u7, 0x20);
  r[4] = _mm256_permute2x128_si256(u0, u4, 0x31);
  r[5] = _mm256_permute2x128_si256(u1, u5, 0x31);
  r[6] = _mm256_permute2x128_si256(u2, u6, 0x31);
  r[7] = _mm256_permute2x128_si256(u3, u7, 0x31);
}

// The range-limit table's transform view computed: the low ten bits read as signed, plus
// 128; the packs that follow clamp to 0..255.
TSL_AVX2 inline V TransformView(V v) {
  return _mm256_add_epi32(_mm256_srai_epi32(_mm256_slli_epi32(v, 22), 22), _mm256_set1_epi32(128));
}

// Four rows of eight clamped samples (32-bit lanes) to 32 bytes in row order.
TSL_AVX2 inline void StoreRows(const V* rows, uint8_t* out) {
  const V bytes = _mm256_packus_epi16(_mm256_packs_epi32(rows[0], rows[1]),
                                      _mm256_packs_epi32(rows[2], rows[3]));
  const V order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  _mm256_storeu_si256(reinterpret_cast<V*>(out), _mm256_permutevar8x32_epi32(bytes, order));
}

}  // namespace

bool WideInverseSupported() { return __builtin_cpu_supports("avx2"); }

TSL_AVX2 void InverseTransformWide(const int16_t* in, uint8_t* out) {
  V v[8];
  for (int r = 0; r < 8; ++r) {
    v[r] = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * r)));
  }
  // Pass 1: a column whose AC inputs are zero gives 4 x DC everywhere, as the steps do.
  Pass<11>(v);
  Transpose(v);  // v[u] now holds workspace column u, one lane per row
  V acInputs = v[1];
  for (int u = 2; u < 8; ++u) acInputs = _mm256_or_si256(acInputs, v[u]);
  const V dcOnly = _mm256_cmpeq_epi32(acInputs, _mm256_setzero_si256());
  const V dcValue = Descale<5>(v[0]);
  Pass<18>(v);  // v[x] now holds output column x, one lane per row
  for (int x = 0; x < 8; ++x) v[x] = TransformView(_mm256_blendv_epi8(v[x], dcValue, dcOnly));
  Transpose(v);
  StoreRows(v, out);
  StoreRows(v + 4, out + 32);
}

}  // namespace dct
