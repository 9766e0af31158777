// SPDX-License-Identifier: MIT
// The vectorised block rearrangements equal their scalar definitions, for random blocks and the
// extreme values (-32768 negates to itself in 16-bit two's complement).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "actions/BlockPlacement.h"

namespace {

TEST(BlockTransforms, FastPathEqualsPlainDefinition) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> value(-32768, 32767);
  std::vector<std::vector<int16_t>> blocks;
  for (int n = 0; n < 200; ++n) {
    std::vector<int16_t> block(64);
    for (int16_t& v : block) v = static_cast<int16_t>(value(rng));
    blocks.push_back(block);
  }
  blocks.push_back(std::vector<int16_t>(64, -32768));
  blocks.push_back(std::vector<int16_t>(64, 32767));
  std::vector<int16_t> ramp(64);
  for (int k = 0; k < 64; ++k) ramp[k] = static_cast<int16_t>(k + 1);
  blocks.push_back(ramp);
  for (BlockTransform t : {BlockTransform::kMirrorH, BlockTransform::kMirrorV,
                           BlockTransform::kTurnLeft, BlockTransform::kTurnRight}) {
    for (const auto& block : blocks) {
      int16_t fast[64], plain[64];
      TransformBlock(t, block.data(), fast);
      TransformBlockPlain(t, block.data(), plain);
      ASSERT_TRUE(std::equal(fast, fast + 64, plain)) << "transform " << static_cast<int>(t);
    }
  }
  // The definitions on a ramp: value (i, j) is 8i + j + 1.
  int16_t out[64];
  TransformBlockPlain(BlockTransform::kTurnLeft, ramp.data(), out);
  EXPECT_EQ(out[8 * 1 + 2], -(8 * 2 + 1 + 1));  // D(1, 2) = -S(2, 1)
  EXPECT_EQ(out[8 * 2 + 1], 8 * 1 + 2 + 1);     // D(2, 1) = S(1, 2)
  TransformBlockPlain(BlockTransform::kTurnRight, ramp.data(), out);
  EXPECT_EQ(out[8 * 1 + 2], 8 * 2 + 1 + 1);     // D(1, 2) = S(2, 1)
  EXPECT_EQ(out[8 * 2 + 1], -(8 * 1 + 2 + 1));  // D(2, 1) = -S(1, 2)
  TransformBlockPlain(BlockTransform::kMirrorH, ramp.data(), out);
  EXPECT_EQ(out[1], -2);
  EXPECT_EQ(out[8], 9);
  TransformBlockPlain(BlockTransform::kMirrorV, ramp.data(), out);
  EXPECT_EQ(out[1], 2);
  EXPECT_EQ(out[8], -9);
}

}  // namespace
