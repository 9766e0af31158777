// SPDX-License-Identifier: MIT
// The store's geometry: its planes against libjpeg's own block counts for every fixture kind,
// the header's block counts describing the same store after any edit and undo (the transforms
// read the layout from the header, the store and the writers from the size), and the limits of
// what a store may hold.
#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "jpeg/CoefficientStore.h"
#include "tests/support/ActionTest.h"

using namespace fixtures;

namespace {

class GeometryKind : public ::testing::TestWithParam<Recipe> {};

// Plane shapes, offsets and the count against the layout the store is filled with (whole MCUs
// of each component, component after component), and the blocks that show the image against
// the counts libjpeg computes for the same stream.
TEST_P(GeometryKind, PlanesFollowTheMcuGridAndLibjpegsBlockCounts) {
  const Bytes jpeg = Write(GetParam());
  Coefficients expected;
  ASSERT_TRUE(ReadCoefficients(jpeg, &expected));
  ImagePtr image = OpenBytes(jpeg);
  ASSERT_TRUE(image);
  const std::optional<StoreGeometry> g = Impl(image.get())->View().Geometry();
  ASSERT_TRUE(g);
  const int64_t mcuColumns = (expected.width + 8 * expected.maxH - 1) / (8 * expected.maxH);
  const int64_t mcuRows = (expected.height + 8 * expected.maxV - 1) / (8 * expected.maxV);
  EXPECT_EQ(g->mcuColumns, mcuColumns);
  EXPECT_EQ(g->mcuRows, mcuRows);
  ASSERT_EQ(g->components, static_cast<int>(expected.components.size()));
  int64_t offset = 0;
  for (int c = 0; c < g->components; ++c) {
    const Component& want = expected.components[c];
    const PlaneGeometry& plane = g->planes[c];
    EXPECT_EQ(plane.blocksPerRow, mcuColumns * want.h) << "component " << c;
    EXPECT_EQ(plane.blockRows, mcuRows * want.v) << "component " << c;
    EXPECT_EQ(plane.offset, offset) << "component " << c;
    EXPECT_EQ(g->ImageBlocksAcross(c), want.widthInBlocks) << "component " << c;
    EXPECT_EQ(g->ImageBlocksDown(c), want.heightInBlocks) << "component " << c;
    offset += plane.Values();
  }
  EXPECT_EQ(g->values, offset);
  EXPECT_EQ(g->values, static_cast<int64_t>(ExpectedStore(expected).size()));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, GeometryKind, ::testing::ValuesIn(StandardKinds()),
                         [](const auto& info) { return info.param.Name(); });

// The geometry the header's block counts describe is the store's, plane for plane.
void ExpectCountsDescribeStore(ITessel* image) {
  const StoreView view = Impl(image)->View();
  const std::optional<StoreGeometry> bySize = view.Geometry();
  const std::optional<StoreGeometry> byCounts = StoreGeometry::ForBlockCounts(*view.header);
  ASSERT_TRUE(bySize);
  ASSERT_TRUE(byCounts);
  EXPECT_EQ(byCounts->values, view.count);
  EXPECT_EQ(bySize->values, view.count);
  ASSERT_EQ(byCounts->components, bySize->components);
  for (int c = 0; c < bySize->components; ++c) {
    EXPECT_EQ(byCounts->planes[c].blocksPerRow, bySize->planes[c].blocksPerRow)
        << "component " << c;
    EXPECT_EQ(byCounts->planes[c].blockRows, bySize->planes[c].blockRows) << "component " << c;
    EXPECT_EQ(byCounts->planes[c].offset, bySize->planes[c].offset) << "component " << c;
  }
}

TEST(StoreGeometry, HeaderCountsDescribeTheStoreAfterEveryEditAndUndo) {
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    const Recipe recipe = RandomRecipe(rng, seed);
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " " << recipe.Name());
    ImagePtr image = OpenBytes(Write(recipe));
    ASSERT_TRUE(image);
    tessel::MemoryUndoStore store;
    image->SetUndoStore(&store);
    int done = 0;
    for (int n = 0; n < 8; ++n) {
      const NamedEdit edit = RandomEdit(rng);
      store.BeginEdit();
      const TSL_BOOL ok = edit.run(image.get());
      store.EndEdit(ok != 0);
      done += ok ? 1 : 0;
      SCOPED_TRACE(::testing::Message() << "after " << edit.name);
      ExpectCountsDescribeStore(image.get());
    }
    for (; done > 0; --done) {
      ASSERT_TRUE(image->Undo());
      store.EndUndo(true);
      ExpectCountsDescribeStore(image.get());
    }
  }
}

// A store holds at most 2^31 - 1 values: 33554431 blocks of one plane, or planes whose sum
// stays below; beyond it, or for sides and factors that describe no image, there is no
// geometry (and nothing wraps on the way).
TEST(StoreGeometry, LimitsOfWhatAStoreHolds) {
  SamplingFactors gray = SamplingFactors::Gray();
  SamplingFactors three;
  three.components = 3;
  three.hMax = three.vMax = 1;
  for (int c = 0; c < 3; ++c) three.h[c] = three.v[c] = 1;
  SamplingFactors zero = gray;
  zero.h[0] = 0;
  SamplingFactors none;
  struct Case {
    const char* name;
    SamplingFactors factors;
    int64_t width, height;
    int64_t values;  // -1: no geometry
  };
  const Case cases[] = {
      {"empty image", gray, 0, 0, 0},
      {"one pixel", gray, 1, 1, 64},
      {"largest plane", gray, 8 * int64_t{33554431}, 8, int64_t{33554431} * 64},
      {"one block more", gray, 8 * int64_t{33554432}, 8, -1},
      {"planes just fit", three, 8 * int64_t{11184810}, 8, int64_t{11184810} * 64 * 3},
      {"planes sum past the limit", three, 8 * int64_t{11184811}, 8, -1},
      {"side past 32 bits of blocks", gray, 8 * (int64_t{INT32_MAX} + 1), 1, -1},
      {"largest side", gray, INT64_MAX, INT64_MAX, -1},
      {"negative side", gray, -8, 8, -1},
      {"zero factor", zero, 8, 8, -1},
      {"no component", none, 8, 8, -1},
  };
  for (const Case& c : cases) {
    const std::optional<StoreGeometry> g = StoreGeometry::ForImage(c.factors, c.width, c.height);
    if (c.values < 0) {
      EXPECT_FALSE(g) << c.name;
    } else {
      ASSERT_TRUE(g) << c.name;
      EXPECT_EQ(g->values, c.values) << c.name;
    }
  }
}

// The header's counts are rounded up to whole MCUs; the widest component sets the grid.
TEST(StoreGeometry, BlockCountsRoundUpToWholeMcus) {
  jpeg_component_info components[3] = {};
  jpeg_decompress_struct info{};
  info.num_components = 3;
  info.comp_info = components;
  info.max_h_samp_factor = 2;
  info.max_v_samp_factor = 2;
  const int factors[3][4] = {{2, 2, 3, 2}, {1, 1, 2, 1}, {1, 1, 2, 1}};  // h, v, wide, high
  for (int c = 0; c < 3; ++c) {
    components[c].h_samp_factor = factors[c][0];
    components[c].v_samp_factor = factors[c][1];
    components[c].width_in_blocks = static_cast<JDIMENSION>(factors[c][2]);
    components[c].height_in_blocks = static_cast<JDIMENSION>(factors[c][3]);
  }
  const std::optional<StoreGeometry> g = StoreGeometry::ForBlockCounts(info);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->mcuColumns, 2);
  EXPECT_EQ(g->mcuRows, 1);
  EXPECT_EQ(g->planes[0].blocksPerRow, 4);
  EXPECT_EQ(g->planes[0].blockRows, 2);
  EXPECT_EQ(g->planes[1].blocksPerRow, 2);
  EXPECT_EQ(g->planes[1].blockRows, 1);
  EXPECT_EQ(g->planes[2].offset, 64 * (8 + 2));
  EXPECT_EQ(g->values, 64 * (8 + 2 + 2));
}

}  // namespace
