// SPDX-License-Identifier: MIT
// Block rearrangements for mirrors and quarter turns, and the placement loops that apply them.
#include "actions/BlockPlacement.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Blocks are moved in square tiles so that a quarter turn, which reads along rows and writes
// along columns, touches few cache lines at a time: 8 x 8 blocks are 8 KiB on each side.
constexpr int64_t kTile = 8;

// 16-bit two's-complement negation (-32768 stays -32768).
inline int16_t Negate(int16_t value) { return static_cast<int16_t>(-static_cast<int32_t>(value)); }

inline void MirrorHPlain(const int16_t* src, int16_t* dst) {
  for (int k = 0; k < 64; ++k) dst[k] = (k & 1) ? Negate(src[k]) : src[k];
}

inline void MirrorVPlain(const int16_t* src, int16_t* dst) {
  for (int k = 0; k < 64; ++k) dst[k] = (k & 8) ? Negate(src[k]) : src[k];
}

inline void TurnLeftPlain(const int16_t* src, int16_t* dst) {
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 8; ++j) dst[8 * i + j] = (i & 1) ? Negate(src[8 * j + i]) : src[8 * j + i];
  }
}

inline void TurnRightPlain(const int16_t* src, int16_t* dst) {
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 8; ++j) dst[8 * i + j] = (j & 1) ? Negate(src[8 * j + i]) : src[8 * j + i];
  }
}

#if defined(__SSE2__)
// Eight rows of eight coefficients in eight registers. Negation is two's complement: x ^ m - m
// with m all ones negates, with m zero keeps; 0 - x wraps -32768 to itself, as the plain path.
struct Rows {
  __m128i r[8];
};

inline Rows Load(const int16_t* src) {
  Rows rows;
  for (int i = 0; i < 8; ++i)
    rows.r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src) + i);
  return rows;
}

inline void Store(const Rows& rows, int16_t* dst) {
  for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst) + i, rows.r[i]);
}

// Row i of the result is column i of the source: three rounds of interleaving.
inline Rows Transpose(const Rows& s) {
  __m128i a[8], b[8];
  for (int i = 0; i < 4; ++i) {
    a[2 * i] = _mm_unpacklo_epi16(s.r[2 * i], s.r[2 * i + 1]);
    a[2 * i + 1] = _mm_unpackhi_epi16(s.r[2 * i], s.r[2 * i + 1]);
  }
  b[0] = _mm_unpacklo_epi32(a[0], a[2]);
  b[1] = _mm_unpackhi_epi32(a[0], a[2]);
  b[2] = _mm_unpacklo_epi32(a[1], a[3]);
  b[3] = _mm_unpackhi_epi32(a[1], a[3]);
  b[4] = _mm_unpacklo_epi32(a[4], a[6]);
  b[5] = _mm_unpackhi_epi32(a[4], a[6]);
  b[6] = _mm_unpacklo_epi32(a[5], a[7]);
  b[7] = _mm_unpackhi_epi32(a[5], a[7]);
  Rows t;
  for (int i = 0; i < 4; ++i) {
    t.r[2 * i] = _mm_unpacklo_epi64(b[i], b[i + 4]);
    t.r[2 * i + 1] = _mm_unpackhi_epi64(b[i], b[i + 4]);
  }
  return t;
}

inline void NegateOddRows(Rows& rows) {
  const __m128i zero = _mm_setzero_si128();
  for (int i = 1; i < 8; i += 2) rows.r[i] = _mm_sub_epi16(zero, rows.r[i]);
}

inline void NegateOddColumns(Rows& rows) {
  const __m128i odd = _mm_set_epi16(-1, 0, -1, 0, -1, 0, -1, 0);
  for (__m128i& row : rows.r) row = _mm_sub_epi16(_mm_xor_si128(row, odd), odd);
}

inline void MirrorH(const int16_t* src, int16_t* dst) {
  Rows rows = Load(src);
  NegateOddColumns(rows);
  Store(rows, dst);
}

inline void MirrorV(const int16_t* src, int16_t* dst) {
  Rows rows = Load(src);
  NegateOddRows(rows);
  Store(rows, dst);
}

inline void TurnLeft(const int16_t* src, int16_t* dst) {
  Rows rows = Transpose(Load(src));
  NegateOddRows(rows);
  Store(rows, dst);
}

inline void TurnRight(const int16_t* src, int16_t* dst) {
  Rows rows = Transpose(Load(src));
  NegateOddColumns(rows);
  Store(rows, dst);
}
#else
inline void MirrorH(const int16_t* src, int16_t* dst) { MirrorHPlain(src, dst); }
inline void MirrorV(const int16_t* src, int16_t* dst) { MirrorVPlain(src, dst); }
inline void TurnLeft(const int16_t* src, int16_t* dst) { TurnLeftPlain(src, dst); }
inline void TurnRight(const int16_t* src, int16_t* dst) { TurnRightPlain(src, dst); }
#endif

void PlaceMirrorH(const BlockPlane& src, BlockRegion kept, const BlockPlane& dst) {
  for (int64_t r = 0; r < kept.rows; ++r) {
    const int16_t* in = src.At(r, 0);
    int16_t* out = dst.At(r, kept.cols - 1);
    for (int64_t x = 0; x < kept.cols; ++x, in += 64, out -= 64) MirrorH(in, out);
  }
}

void PlaceMirrorV(const BlockPlane& src, BlockRegion kept, const BlockPlane& dst) {
  for (int64_t r = 0; r < kept.rows; ++r) {
    const int16_t* in = src.At(r, 0);
    int16_t* out = dst.At(kept.rows - 1 - r, 0);
    for (int64_t x = 0; x < kept.cols; ++x, in += 64, out += 64) MirrorV(in, out);
  }
}

// Source rows [0, rows) and columns [0, cols) in tiles; `move` places one block.
template <typename Move>
void ForEachTiled(int64_t rows, int64_t cols, Move move) {
  for (int64_t r0 = 0; r0 < rows; r0 += kTile) {
    const int64_t r1 = std::min(rows, r0 + kTile);
    for (int64_t x0 = 0; x0 < cols; x0 += kTile) {
      const int64_t x1 = std::min(cols, x0 + kTile);
      for (int64_t r = r0; r < r1; ++r) {
        for (int64_t x = x0; x < x1; ++x) move(r, x);
      }
    }
  }
}

void PlaceTurnLeft(const BlockPlane& src, BlockRegion kept, const BlockPlane& dst) {
  ForEachTiled(kept.rows, kept.cols,
               [&](int64_t r, int64_t x) { TurnLeft(src.At(r, x), dst.At(kept.cols - 1 - x, r)); });
}

void PlaceTurnRight(const BlockPlane& src, BlockRegion kept, const BlockPlane& dst) {
  ForEachTiled(kept.rows, kept.cols, [&](int64_t r, int64_t x) {
    TurnRight(src.At(r, x), dst.At(x, kept.rows - 1 - r));
  });
}

}  // namespace

void TransformBlock(BlockTransform transform, const int16_t* src, int16_t* dst) {
  switch (transform) {
    case BlockTransform::kMirrorH:
      return MirrorH(src, dst);
    case BlockTransform::kMirrorV:
      return MirrorV(src, dst);
    case BlockTransform::kTurnLeft:
      return TurnLeft(src, dst);
    case BlockTransform::kTurnRight:
      return TurnRight(src, dst);
  }
}

void TransformBlockPlain(BlockTransform transform, const int16_t* src, int16_t* dst) {
  switch (transform) {
    case BlockTransform::kMirrorH:
      return MirrorHPlain(src, dst);
    case BlockTransform::kMirrorV:
      return MirrorVPlain(src, dst);
    case BlockTransform::kTurnLeft:
      return TurnLeftPlain(src, dst);
    case BlockTransform::kTurnRight:
      return TurnRightPlain(src, dst);
  }
}

void PlaceBlocks(BlockTransform transform, const BlockPlane& src, BlockRegion kept,
                 const BlockPlane& dst) {
  switch (transform) {
    case BlockTransform::kMirrorH:
      return PlaceMirrorH(src, kept, dst);
    case BlockTransform::kMirrorV:
      return PlaceMirrorV(src, kept, dst);
    case BlockTransform::kTurnLeft:
      return PlaceTurnLeft(src, kept, dst);
    case BlockTransform::kTurnRight:
      return PlaceTurnRight(src, kept, dst);
  }
}
