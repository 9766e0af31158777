// SPDX-License-Identifier: MIT
// The plain inverse DCT and the choice of implementation.
#include "pixels/InverseTransform.h"

#include <cstring>

#include "pixels/FixedPoint.h"
#include "pixels/RangeLimit.h"

namespace dct {
namespace {

// Even part of the inverse transform from inputs 0, 2, 4, 6.
struct Even {
  Wrap t10, t11, t12, t13;
};
inline Even InverseEven(Wrap i0, Wrap i2, Wrap i4, Wrap i6) {
  const Wrap z1 = Mul(i2 + i6, 4433);   // 0.541196100
  const Wrap t2 = z1 - Mul(i6, 15137);  // 1.847759065
  const Wrap t3 = z1 + Mul(i2, 6270);   // 0.765366865
  const Wrap t0 = (i0 + i4) << kConstBits;
  const Wrap t1 = (i0 - i4) << kConstBits;
  return Even{t0 + t3, t1 + t2, t1 - t2, t0 - t3};
}

// Inverse pass 1 on column u: coefficient rows to workspace rows, with two extra bits.
inline void InverseColumn(const int16_t* in, int32_t* ws) {
  if ((in[8] | in[16] | in[24] | in[32] | in[40] | in[48] | in[56]) == 0) {
    const int32_t dc = in[0] * (1 << kPass1Bits);
    for (int r = 0; r < 8; ++r) ws[8 * r] = dc;
    return;
  }
  const Even e = InverseEven(W(in[0]), W(in[16]), W(in[32]), W(in[48]));
  const Odd o = Rotate(W(in[56]), W(in[40]), W(in[24]), W(in[8]));
  constexpr int kShift = kConstBits - kPass1Bits;
  ws[0] = Descale<kShift>(e.t10 + o.o3);
  ws[8] = Descale<kShift>(e.t11 + o.o2);
  ws[16] = Descale<kShift>(e.t12 + o.o1);
  ws[24] = Descale<kShift>(e.t13 + o.o0);
  ws[32] = Descale<kShift>(e.t13 - o.o0);
  ws[40] = Descale<kShift>(e.t12 - o.o1);
  ws[48] = Descale<kShift>(e.t11 - o.o2);
  ws[56] = Descale<kShift>(e.t10 - o.o3);
}

// Inverse pass 2 on one workspace row: removes the precision bits and the factor 8 of the
// two passes, and adds the level shift through the transform view.
inline void InverseRow(const int32_t* ws, const uint8_t* view, uint8_t* out) {
  const auto sample = [view](int32_t v) { return view[v & kTransformMask]; };
  if ((ws[1] | ws[2] | ws[3] | ws[4] | ws[5] | ws[6] | ws[7]) == 0) {
    std::memset(out, sample(Descale<kPass1Bits + 3>(W(ws[0]))), 8);
    return;
  }
  const Even e = InverseEven(W(ws[0]), W(ws[2]), W(ws[4]), W(ws[6]));
  const Odd o = Rotate(W(ws[7]), W(ws[5]), W(ws[3]), W(ws[1]));
  constexpr int kShift = kConstBits + kPass1Bits + 3;
  out[0] = sample(Descale<kShift>(e.t10 + o.o3));
  out[1] = sample(Descale<kShift>(e.t11 + o.o2));
  out[2] = sample(Descale<kShift>(e.t12 + o.o1));
  out[3] = sample(Descale<kShift>(e.t13 + o.o0));
  out[4] = sample(Descale<kShift>(e.t13 - o.o0));
  out[5] = sample(Descale<kShift>(e.t12 - o.o1));
  out[6] = sample(Descale<kShift>(e.t11 - o.o2));
  out[7] = sample(Descale<kShift>(e.t10 - o.o3));
}

// True when every coefficient but the DC is zero (the usual case for chroma and flat areas).
inline bool OnlyDC(const int16_t* in) {
  uint64_t words[16];
  std::memcpy(words, in, sizeof(words));
  uint64_t any = static_cast<uint16_t>(in[1] | in[2] | in[3]);
  for (int i = 1; i < 16; ++i) any |= words[i];
  return any == 0;
}

// What both passes give for a block with only a DC value, in one step.
inline void FillDC(const int16_t* in, const uint8_t* view, uint8_t* out) {
  const int32_t dc = in[0] * (1 << kPass1Bits);
  std::memset(out, view[Descale<kPass1Bits + 3>(W(dc)) & kTransformMask], 64);
}

}  // namespace

void InverseTransformPlain(const int16_t* in, uint8_t* out) {
  const uint8_t* view = RangeLimitTable() + kTransformCentre;
  if (OnlyDC(in)) {
    FillDC(in, view, out);
    return;
  }
  int32_t ws[64];
  for (int u = 0; u < 8; ++u) InverseColumn(in + u, ws + u);
  for (int y = 0; y < 8; ++y) InverseRow(ws + 8 * y, view, out + 8 * y);
}

void InverseTransform(const int16_t* in, uint8_t* out) {
  static const bool wide = WideInverseSupported();
  if (!wide) {
    InverseTransformPlain(in, out);
  } else if (OnlyDC(in)) {
    FillDC(in, RangeLimitTable() + kTransformCentre, out);
  } else {
    InverseTransformWide(in, out);
  }
}

}  // namespace dct
