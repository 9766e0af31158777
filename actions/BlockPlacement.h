// SPDX-License-Identifier: MIT
// Moving whole 8x8 blocks between coefficient planes for mirrors and quarter turns.
//
// A mirror or quarter turn of a JPEG image is exact in the DCT domain: each block goes to its
// mirrored or turned place, and its 64 coefficients are rearranged and sign-flipped. Mirroring
// left to right negates every coefficient of odd horizontal frequency (the odd cosines change
// sign when the sample order is reversed); mirroring top to bottom does the same for odd vertical
// frequencies. A quarter turn is a transposition (swap the frequency axes) followed by a mirror:
// counter-clockwise negates the odd rows of the transposed block, clockwise its odd columns.
//
// The grid of blocks is anchored at the top-left corner, so only the right and bottom edges may
// end inside an MCU. A transform that brings one of those edges to the left or top, where it
// cannot stay partial, leaves the caller to decide how many blocks along that axis it keeps: the
// caller names the region of blocks it keeps from the top-left corner, and the blocks beyond it
// are simply not used.
#pragma once

#include <cstdint>

// The rearrangements, named after what they do to the picture.
enum class BlockTransform {
  kMirrorH,    // left to right: D(i, j) = S(i, j), negated for odd j
  kMirrorV,    // top to bottom: D(i, j) = S(i, j), negated for odd i
  kTurnLeft,   // counter-clockwise: D(i, j) = S(j, i), negated for odd i
  kTurnRight,  // clockwise: D(i, j) = S(j, i), negated for odd j
};

// Applies `transform` to the 64 natural-order coefficients of one block. Uses SSE2 where the
// target has it; TransformBlockPlain is the scalar definition it must equal, value for value.
void TransformBlock(BlockTransform transform, const int16_t* src, int16_t* dst);
void TransformBlockPlain(BlockTransform transform, const int16_t* src, int16_t* dst);

// One component's plane: `cols` blocks per row, `rows` rows, 64 values per block.
struct BlockPlane {
  int16_t* blocks;
  int64_t cols;
  int64_t rows;
  int16_t* At(int64_t row, int64_t col) const { return blocks + (row * cols + col) * 64; }
};

// The top-left `cols` x `rows` blocks of a plane.
struct BlockRegion {
  int64_t cols;
  int64_t rows;
};

// Places the blocks of region `kept` of `src` (rows r < kept.rows, columns x < kept.cols) into
// `dst`, transformed:
//   kMirrorH:   (r, x) -> (r, kept.cols - 1 - x)
//   kMirrorV:   (r, x) -> (kept.rows - 1 - r, x)
//   kTurnLeft:  (r, x) -> (kept.cols - 1 - x, r)
//   kTurnRight: (r, x) -> (x, kept.rows - 1 - r)
// REQUIRES: `kept` lies inside `src` and every destination inside `dst`; `dst` may be larger
// than the blocks placed (a revert restores into the larger plane the edit trimmed), and its
// other blocks are left as they are.
void PlaceBlocks(BlockTransform transform, const BlockPlane& src, BlockRegion kept,
                 const BlockPlane& dst);
