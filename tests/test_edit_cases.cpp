// SPDX-License-Identifier: MIT
// The edits' own cases: crops of a 17x9 4:2:0 image with the runs they save, crops that enlarge
// or are refused, keep-partial mirrors and turns against a plain per-coefficient model, the
// refused trim, levels with their clamps, grayscale and the Exif orientation.
#include <gtest/gtest.h>

#include <climits>

#include "tests/support/ActionTest.h"

using namespace fixtures;

namespace {

// Layout of one component's plane in a captured state.
struct Plane {
  size_t offset;
  int cols, rows;
};

Plane PlaneOf(const ImageState& s, int component) {
  const int mcuW = 8 * s.maxH, mcuH = 8 * s.maxV;
  const int mx = (s.width + mcuW - 1) / mcuW, my = (s.height + mcuH - 1) / mcuH;
  size_t offset = 0;
  for (int c = 0; c < component; ++c)
    offset += size_t{64} * mx * s.comps[c][1] * my * s.comps[c][2];
  return Plane{offset, mx * static_cast<int>(s.comps[component][1]),
               my * static_cast<int>(s.comps[component][2])};
}

const int16_t* BlockOf(const ImageState& s, int component, int row, int col) {
  const Plane p = PlaneOf(s, component);
  return s.store.data() + p.offset + (size_t{1} * row * p.cols + col) * 64;
}

bool IsZeroBlock(const int16_t* block) {
  return std::all_of(block, block + 64, [](int16_t v) { return v == 0; });
}

// ---- Crop -------------------------------------------------------------------------------------

struct CropCase {
  const char* name;
  int left, top, right, bottom;
  int width, height;           // the size after the crop
  int mcuLeft, mcuTop;         // where the new grid starts in the old one, in MCUs
  std::vector<uint32_t> runs;  // byte counts written to the undo store
  unsigned lumaBlockColumns;   // the luminance block-column count afterwards
};

class Crop17x9 : public ::testing::TestWithParam<CropCase> {};

// A 17x9 4:2:0 image has a 2x1 MCU grid (16x16 MCUs); luminance planes are 4x2 blocks, chroma
// planes 2x1. The new grid shows the old grid shifted by (mcuLeft, mcuTop), zeros outside.
TEST_P(Crop17x9, GridRunsAndUndo) {
  const CropCase& c = GetParam();
  ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
  ASSERT_TRUE(image);
  LoggingStore store;
  image->SetUndoStore(&store);
  const ImageState before = Capture(image.get());
  store.memory.BeginEdit();
  ASSERT_TRUE(image->Crop(c.left, c.top, c.right, c.bottom));
  store.memory.EndEdit(true);
  const ImageState after = Capture(image.get());
  EXPECT_EQ(after.width, c.width);
  EXPECT_EQ(after.height, c.height);
  EXPECT_EQ(store.Sizes(true), c.runs);
  EXPECT_EQ(after.comps[0][4], c.lumaBlockColumns);
  for (int comp = 0; comp < 3; ++comp) {
    const int h = static_cast<int>(after.comps[comp][1]),
              v = static_cast<int>(after.comps[comp][2]);
    const Plane p = PlaneOf(after, comp), old = PlaneOf(before, comp);
    for (int r = 0; r < p.rows; ++r) {
      for (int x = 0; x < p.cols; ++x) {
        const int oldRow = r + c.mcuTop * v, oldCol = x + c.mcuLeft * h;
        const int16_t* got = BlockOf(after, comp, r, x);
        if (oldRow < 0 || oldRow >= old.rows || oldCol < 0 || oldCol >= old.cols) {
          EXPECT_TRUE(IsZeroBlock(got)) << "component " << comp << " block " << r << "," << x;
        } else {
          EXPECT_TRUE(std::equal(got, got + 64, BlockOf(before, comp, oldRow, oldCol)))
              << "component " << comp << " block " << r << "," << x;
        }
      }
    }
  }
  ASSERT_TRUE(image->Undo());
  store.memory.EndUndo(true);
  EXPECT_EQ(store.Sizes(false), c.runs);
  EXPECT_EQ(Capture(image.get()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Crop17x9,
    ::testing::Values(
        // The first MCU; the right MCU column is saved as four runs (Y two rows, Cb, Cr).
        CropCase{"FirstMcu", 0, 0, 8, 8, 8, 8, 0, 0, {256, 256, 128, 128}, 2},
        // Edges align to 0: same size and store, nothing saved, whole-MCU block counts.
        CropCase{"AlignsToOrigin", 3, 5, 17, 9, 17, 9, 0, 0, {}, 4},
        // One zero MCU column on the left, then the whole image.
        CropCase{"EnlargesLeft", -16, 0, 17, 9, 33, 9, -1, 0, {}, 6},
        // Beyond the image: all zero blocks, the whole old image saved as the left band.
        CropCase{"Beyond", 40, 0, 50, 9, 18, 9, 2, 0, {512, 512, 256, 256}, 4},
        // An empty rectangle becomes 1x1: the first MCU.
        CropCase{"Empty", 0, 0, 0, 0, 1, 1, 0, 0, {256, 256, 128, 128}, 2},
        // Edges round toward zero (-20 to -16, -5 to 0): a zero column on the left, the right
        // MCU column cut, zero rows below.
        CropCase{
            "NegativeAlignsTowardZero", -20, -5, 10, 30, 26, 30, -1, 0, {256, 256, 128, 128}, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Crop, FourBandsAroundAnInnerWindow) {
  // 48x48 4:4:4 (8x8 MCUs, 6x6 grid); the window is MCUs 1..3 x 2..4.
  ImagePtr image = OpenBytes(Write(Make(48, 48, "444")));
  ASSERT_TRUE(image);
  LoggingStore store;
  image->SetUndoStore(&store);
  const ImageState before = Capture(image.get());
  store.memory.BeginEdit();
  ASSERT_TRUE(image->Crop(9, 17, 32, 40));
  store.memory.EndEdit(true);
  EXPECT_EQ(image->GetWidth(), 24);
  EXPECT_EQ(image->GetHeight(), 24);
  // Per component: top band 2 rows of 6 blocks, left band 3 rows of 1, right band 3 rows of 2,
  // bottom band 1 row of 6; components one after the other within each band.
  std::vector<uint32_t> expected;
  const auto band = [&](int rows, int blocks) {
    for (int c = 0; c < 3; ++c) expected.insert(expected.end(), rows, blocks * 128u);
  };
  band(2, 6), band(3, 1), band(3, 2), band(1, 6);
  EXPECT_EQ(store.Sizes(true), expected);
  ASSERT_TRUE(image->Undo());
  store.memory.EndUndo(true);
  EXPECT_EQ(Capture(image.get()), before);
}

TEST(Crop, RefusedWhenTheNewStoreCannotBeCounted) {
  ImagePtr image = OpenBytes(Write(Make(17, 9, "444")));
  ASSERT_TRUE(image);
  LoggingStore store;
  image->SetUndoStore(&store);
  const ImageState before = Capture(image.get());
  const std::vector<std::array<int32_t, 4>> rects = {
      {0, 0, INT32_MAX, INT32_MAX},   // about 2^62 values
      {INT32_MIN, 0, INT32_MAX, 9},   // a width beyond 32 bits
      {0, INT32_MIN, 17, INT32_MAX},  // a height beyond 32 bits
      {0, 0, 65536, 65536},           // 3 x 2^32 values
  };
  for (const auto& [l, t, r, b] : rects) {
    store.memory.BeginEdit();
    const TSL_BOOL ok = image->Crop(l, t, r, b);
    store.memory.EndEdit(ok != 0);
    EXPECT_FALSE(ok) << l << "," << t << "," << r << "," << b;
  }
  EXPECT_TRUE(store.calls.empty());
  EXPECT_EQ(store.memory.Records(), 0u);
  EXPECT_EQ(Capture(image.get()), before);
  EXPECT_FALSE(image->Undo());
}

// ---- Flips and rotations --------------------------------------------------------------------

enum class Kind { kFlipH, kFlipV, kRotateLeft, kRotateRight };

TSL_BOOL Reorient(ITessel* image, Kind kind, int flag) {
  switch (kind) {
    case Kind::kFlipH:
      return image->FlipH(flag);
    case Kind::kFlipV:
      return image->FlipV(flag);
    case Kind::kRotateLeft:
      return image->RotateLeft(flag);
    case Kind::kRotateRight:
      return image->RotateRight(flag);
  }
  return 0;
}

// The expected block D(p, q) and its coefficient (i, j), straight from the definitions: where
// each block comes from, and which source coefficient with which sign.
int16_t Expected(const ImageState& s, Kind kind, int comp, int n, int p, int q, int i, int j) {
  int r = 0, x = 0, si = i, sj = j;
  bool negate = false;
  switch (kind) {
    case Kind::kFlipH:
      r = p, x = n - 1 - q, negate = j & 1;
      break;
    case Kind::kFlipV:
      r = n - 1 - p, x = q, negate = i & 1;
      break;
    case Kind::kRotateLeft:
      r = q, x = n - 1 - p, si = j, sj = i, negate = i & 1;
      break;
    case Kind::kRotateRight:
      r = n - 1 - q, x = p, si = j, sj = i, negate = j & 1;
      break;
  }
  const int16_t value = BlockOf(s, comp, r, x)[8 * si + sj];
  return negate ? static_cast<int16_t>(-value) : value;
}

struct ReorientCase {
  Kind kind;
  const char* name;
};

class KeepPartial : public ::testing::TestWithParam<std::tuple<ReorientCase, Recipe>> {};

// With keep-partial set, the partial edge MCU is kept whole: its filler blocks become image.
// Every block of the new store, filler included, is checked against the definitions.
TEST_P(KeepPartial, EveryBlockFollowsTheDefinitions) {
  const auto& [rc, recipe] = GetParam();
  ImagePtr image = OpenBytes(Write(recipe));
  ASSERT_TRUE(image);
  LoggingStore store;
  image->SetUndoStore(&store);
  const ImageState before = Capture(image.get());
  store.memory.BeginEdit();
  ASSERT_TRUE(Reorient(image.get(), rc.kind, 1));
  store.memory.EndEdit(true);
  EXPECT_TRUE(store.calls.empty());  // nothing is trimmed
  const ImageState after = Capture(image.get());
  const int mcuW = 8 * before.maxH, mcuH = 8 * before.maxV;
  const int wholeW = (before.width + mcuW - 1) / mcuW * mcuW;
  const int wholeH = (before.height + mcuH - 1) / mcuH * mcuH;
  const bool turns = rc.kind == Kind::kRotateLeft || rc.kind == Kind::kRotateRight;
  switch (rc.kind) {
    case Kind::kFlipH:
      EXPECT_EQ(after.width, wholeW);
      EXPECT_EQ(after.height, before.height);
      break;
    case Kind::kFlipV:
      EXPECT_EQ(after.width, before.width);
      EXPECT_EQ(after.height, wholeH);
      break;
    case Kind::kRotateLeft:
      EXPECT_EQ(after.width, before.height);
      EXPECT_EQ(after.height, wholeW);
      break;
    case Kind::kRotateRight:
      EXPECT_EQ(after.width, wholeH);
      EXPECT_EQ(after.height, before.width);
      break;
  }
  for (int comp = 0; comp < before.components; ++comp) {
    EXPECT_EQ(after.comps[comp][1], before.comps[comp][turns ? 2 : 1]);
    EXPECT_EQ(after.comps[comp][2], before.comps[comp][turns ? 1 : 2]);
    const Plane old = PlaneOf(before, comp), now = PlaneOf(after, comp);
    const bool horizontal = rc.kind == Kind::kFlipH || rc.kind == Kind::kRotateLeft;
    const int n = horizontal ? old.cols : old.rows;
    int wrong = 0;
    for (int p = 0; p < now.rows; ++p) {
      for (int q = 0; q < now.cols; ++q) {
        const int16_t* got = BlockOf(after, comp, p, q);
        for (int k = 0; k < 64; ++k) {
          wrong += got[k] != Expected(before, rc.kind, comp, n, p, q, k / 8, k % 8);
        }
      }
    }
    EXPECT_EQ(wrong, 0) << "coefficients differing in component " << comp;
  }
  if (turns) {
    for (size_t t = 0; t < before.quant.size(); ++t) {
      if (before.quant[t].empty()) continue;
      for (int k = 0; k < 64; ++k) {
        EXPECT_EQ(after.quant[t][k], before.quant[t][(k % 8) * 8 + k / 8]) << "table " << t;
      }
    }
  } else {
    EXPECT_EQ(after.quant, before.quant);
  }
  ASSERT_TRUE(image->Undo());
  EXPECT_EQ(Capture(image.get()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, KeepPartial,
    ::testing::Combine(::testing::Values(ReorientCase{Kind::kFlipH, "FlipH"},
                                         ReorientCase{Kind::kFlipV, "FlipV"},
                                         ReorientCase{Kind::kRotateLeft, "RotateLeft"},
                                         ReorientCase{Kind::kRotateRight, "RotateRight"}),
                       ::testing::Values(Make(17, 9, "420"), Make(37, 23, "411"),
                                         Make(33, 17, "422"), Make(17, 33, "440"),
                                         Make(19, 13, "444"), Make(13, 11, "gray", Space::kGray),
                                         Make(64, 32, "420"))),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).Name();
    });

TEST(Flip, SeventeenByNineKeepPartialShowsMirroredFillerOnTheLeft) {
  ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
  ASSERT_TRUE(image);
  const ImageState before = Capture(image.get());
  ASSERT_TRUE(image->FlipH(1));
  const ImageState after = Capture(image.get());
  EXPECT_EQ(after.width, 32);
  // Luminance column 3 was filler (zero after opening); mirrored it is column 0.
  for (int r = 0; r < 2; ++r) EXPECT_TRUE(IsZeroBlock(BlockOf(after, 0, r, 0)));
  EXPECT_FALSE(IsZeroBlock(BlockOf(after, 0, 0, 1)));
  EXPECT_EQ(BlockOf(after, 0, 0, 1)[1], static_cast<int16_t>(-BlockOf(before, 0, 0, 2)[1]));
}

TEST(Flip, TwiceWithKeepPartialOnWholeMcusGivesTheSameStore) {
  ImagePtr image = OpenBytes(Write(Make(64, 32, "420")));
  ASSERT_TRUE(image);
  const ImageState before = Capture(image.get());
  for (Kind kind : {Kind::kFlipH, Kind::kFlipV}) {
    ASSERT_TRUE(Reorient(image.get(), kind, 1));
    EXPECT_NE(Capture(image.get()).store, before.store);
    ASSERT_TRUE(Reorient(image.get(), kind, 1));
    EXPECT_EQ(Capture(image.get()), before);
  }
}

TEST(Rotate, LeftThenRightOnWholeMcusGivesTheSameImage) {
  ImagePtr image = OpenBytes(Write(Make(64, 32, "422")));
  ASSERT_TRUE(image);
  const ImageState before = Capture(image.get());
  ASSERT_TRUE(image->RotateLeft(1));
  EXPECT_EQ(image->GetMCUWidth(), 8);
  EXPECT_EQ(image->GetMCUHeight(), 16);
  EXPECT_EQ(image->GetWidth(), 32);
  EXPECT_EQ(image->GetHeight(), 64);
  ASSERT_TRUE(image->RotateRight(1));
  EXPECT_EQ(Capture(image.get()), before);
}

TEST(Rotate, LeftOnFourTwoTwoTrimsTheOldRightEdge) {
  ImagePtr image = OpenBytes(Write(Make(33, 17, "422")));
  ASSERT_TRUE(image);
  ASSERT_TRUE(image->RotateLeft(0));
  EXPECT_EQ(image->GetWidth(), 17);
  EXPECT_EQ(image->GetHeight(), 32);
  const jpeg_decompress_struct& info = *Impl(image.get())->HeaderDecompressor();
  EXPECT_EQ(info.comp_info[0].h_samp_factor, 1);
  EXPECT_EQ(info.comp_info[0].v_samp_factor, 2);
  EXPECT_EQ(image->GetMCUWidth(), 8);
  EXPECT_EQ(image->GetMCUHeight(), 16);
}

// A trim that would leave nothing is refused, after the band has gone to the store: the host
// discards what a refused call wrote.
TEST(Flip, VerticalTrimOfAnImageLowerThanOneMcuIsRefused) {
  ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
  ASSERT_TRUE(image);
  LoggingStore store;
  image->SetUndoStore(&store);
  const ImageState before = Capture(image.get());
  store.memory.BeginEdit();
  const TSL_BOOL ok = image->FlipV(0);
  store.memory.EndEdit(ok != 0);
  EXPECT_FALSE(ok);
  EXPECT_EQ(store.Sizes(true), (std::vector<uint32_t>{512, 512, 256, 256}));
  EXPECT_EQ(store.memory.Records(), 0u);
  EXPECT_EQ(Capture(image.get()), before);
  EXPECT_FALSE(image->Undo());
  // Without a store nothing is written and the answer is the same.
  ImagePtr bare = OpenBytes(Write(Make(17, 9, "420")));
  EXPECT_FALSE(bare->FlipV(0));
  EXPECT_TRUE(bare->FlipV(1));
  EXPECT_EQ(bare->GetHeight(), 16);
}

// An APP1 Exif segment whose IFD0 holds only Orientation = `value` (little-endian TIFF).
Marker ExifOrientation(uint16_t value) {
  Bytes p = {'E', 'x',  'i',  'f', 0,
             0,   'I',  'I',  42,  0,
             8,   0,    0,    0,   1,
             0,   0x12, 0x01, 3,   0,
             1,   0,    0,    0,   static_cast<uint8_t>(value),
             0,   0,    0,    0,   0,
             0,   0};
  return Marker{JPEG_APP0 + 1, p};
}

TEST(Orientation, EveryTurnAndMirrorResetsItAndUndoGivesItBack) {
  Recipe recipe = Make(32, 32, "420");
  recipe.markers = {ExifOrientation(6)};
  const Bytes jpeg = Write(recipe);
  for (Kind kind : {Kind::kFlipH, Kind::kFlipV, Kind::kRotateLeft, Kind::kRotateRight}) {
    ImagePtr image = OpenBytes(jpeg);
    ASSERT_TRUE(image);
    if (image->GetOrientation() != 6) GTEST_SKIP() << "the Exif reader does not read it yet";
    tessel::MemoryUndoStore store;
    image->SetUndoStore(&store);
    store.BeginEdit();
    store.EndEdit(Reorient(image.get(), kind, 0) != 0);
    EXPECT_EQ(image->GetOrientation(), 1);
    EXPECT_TRUE(image->Undo());
    EXPECT_EQ(image->GetOrientation(), 6);
  }
}

// ---- Levels ---------------------------------------------------------------------------------

// Sets the DC of every block of component 0 to `dc` (no undo record).
void SetLumaDC(ITessel* image, int16_t dc) {
  int16_t* values = nullptr;
  int32_t count = 0;
  image->GetCoefficients(&values, &count);
  const ImageState s = Capture(image);
  const Plane p = PlaneOf(s, 0);
  for (int b = 0; b < p.cols * p.rows; ++b) values[p.offset + size_t{64} * b] = dc;
}

TEST(Levels, OffsetsBecomeDcDeltasWithClamps) {
  struct Case {
    int32_t offset;
    int16_t start, result;
  };
  const std::vector<Case> cases = {
      {1, 0, 10},           {50, 0, 510},     {100, 0, 1020},    {-7, 0, -71},  {100, 2000, 2286},
      {-100, -2000, -2304}, {-250, 0, -1020}, {250, 1500, 2286}, {0, 123, 123},
  };
  for (const Case& c : cases) {
    ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
    ASSERT_TRUE(image);
    SetLumaDC(image.get(), c.start);
    const ImageState before = Capture(image.get());
    ASSERT_TRUE(image->Levels(c.offset, 0, 0));
    const ImageState after = Capture(image.get());
    const Plane y = PlaneOf(after, 0);
    for (size_t k = 0; k < after.store.size(); ++k) {
      const bool lumaDC = k < y.offset + size_t{64} * y.cols * y.rows && k % 64 == 0;
      EXPECT_EQ(after.store[k], lumaDC ? c.result : before.store[k])
          << "offset " << c.offset << " value " << k;
    }
  }
}

TEST(Levels, EachComponentHasItsOffsetAndOnlyNonZeroOffsetsAreRecorded) {
  ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
  ASSERT_TRUE(image);
  LoggingStore store;
  image->SetUndoStore(&store);
  const ImageState before = Capture(image.get());
  store.memory.BeginEdit();
  ASSERT_TRUE(image->Levels(0, 20, -30));
  store.memory.EndEdit(true);
  // Cb and Cr: 2x1 blocks each, one 16-bit DC per block.
  EXPECT_EQ(store.Sizes(true), (std::vector<uint32_t>{4, 4}));
  const ImageState after = Capture(image.get());
  for (int comp = 0; comp < 3; ++comp) {
    const int delta = comp == 0 ? 0 : comp == 1 ? 204 : -306;
    EXPECT_EQ(BlockOf(after, comp, 0, 0)[0], BlockOf(before, comp, 0, 0)[0] + delta);
    EXPECT_EQ(BlockOf(after, comp, 0, 0)[1], BlockOf(before, comp, 0, 0)[1]);
  }
  ASSERT_TRUE(image->Undo());
  store.memory.EndUndo(true);
  EXPECT_EQ(store.Sizes(false), store.Sizes(true));
  EXPECT_EQ(Capture(image.get()), before);
}

TEST(Levels, AllZeroOffsetsSucceedWithAnEmptyRecord) {
  ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
  ASSERT_TRUE(image);
  LoggingStore store;
  image->SetUndoStore(&store);
  const ImageState before = Capture(image.get());
  store.memory.BeginEdit();
  ASSERT_TRUE(image->Levels(0, 0, 0));
  store.memory.EndEdit(true);
  EXPECT_EQ(Capture(image.get()), before);
  EXPECT_TRUE(image->Undo());
  EXPECT_TRUE(store.calls.empty());
}

TEST(Levels, GrayscaleUsesTheFirstOffsetAndOtherSpacesAreRefused) {
  ImagePtr gray = OpenBytes(Write(Make(13, 11, "gray", Space::kGray)));
  ASSERT_TRUE(gray);
  LoggingStore store;
  gray->SetUndoStore(&store);
  EXPECT_TRUE(gray->CanLevels());
  const ImageState before = Capture(gray.get());
  store.memory.BeginEdit();
  ASSERT_TRUE(gray->Levels(5, 60, 70));
  store.memory.EndEdit(true);
  EXPECT_EQ(store.Sizes(true), (std::vector<uint32_t>{2 * 2 * 2}));
  EXPECT_EQ(BlockOf(Capture(gray.get()), 0, 1, 1)[0], BlockOf(before, 0, 1, 1)[0] + 51);
  for (Space space : {Space::kCMYK, Space::kYCCK, Space::kRGB}) {
    ImagePtr image = OpenBytes(Write(Make(19, 11, space == Space::kRGB ? "444" : "", space)));
    ASSERT_TRUE(image);
    LoggingStore other;
    image->SetUndoStore(&other);
    const ImageState untouched = Capture(image.get());
    EXPECT_FALSE(image->CanLevels());
    EXPECT_FALSE(image->Levels(10, 10, 10));
    EXPECT_FALSE(image->Grayscale());
    EXPECT_TRUE(other.calls.empty());
    EXPECT_EQ(Capture(image.get()), untouched);
  }
}

// ---- Grayscale ------------------------------------------------------------------------------

TEST(Grayscale, SeventeenByNineKeepsTheCountedLuminanceBlocksAndUndoes) {
  ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
  ASSERT_TRUE(image);
  tessel::MemoryUndoStore store;
  image->SetUndoStore(&store);
  const ImageState before = Capture(image.get());
  EXPECT_TRUE(image->CanGrayscale());
  store.BeginEdit();
  ASSERT_TRUE(image->Grayscale());
  store.EndEdit(true);
  const ImageState after = Capture(image.get());
  EXPECT_TRUE(image->IsGrayscale());
  EXPECT_FALSE(image->CanGrayscale());
  EXPECT_EQ(image->GetMCUWidth(), 8);
  EXPECT_EQ(image->GetMCUHeight(), 8);
  EXPECT_EQ(after.components, 1);
  ASSERT_EQ(after.store.size(), size_t{3 * 2 * 64});
  for (int r = 0; r < 2; ++r) {
    for (int x = 0; x < 3; ++x) {
      EXPECT_TRUE(std::equal(BlockOf(after, 0, r, x), BlockOf(after, 0, r, x) + 64,
                             BlockOf(before, 0, r, x)));
    }
  }
  ASSERT_TRUE(image->Undo());
  store.EndUndo(true);
  EXPECT_FALSE(image->IsGrayscale());
  EXPECT_TRUE(image->CanGrayscale());
  EXPECT_EQ(image->GetMCUWidth(), 16);
  EXPECT_EQ(Capture(image.get()), before);
  EXPECT_FALSE(OpenBytes(Write(Make(13, 11, "gray", Space::kGray)))->Grayscale());
}

// After a crop the luminance counts are whole-MCU counts; the grayscale store still has the
// layout of an 8x8-MCU image of that size.
TEST(Grayscale, AfterACropTheStoreFollowsTheImageSize) {
  ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
  ASSERT_TRUE(image);
  ASSERT_TRUE(image->Crop(3, 5, 17, 9));
  ASSERT_EQ(Capture(image.get()).comps[0][4], 4u);
  ASSERT_TRUE(image->Grayscale());
  const ImageState after = Capture(image.get());
  EXPECT_EQ(after.store.size(), size_t{3 * 2 * 64});
  EXPECT_EQ(after.comps[0][4], 3u);
  EXPECT_EQ(after.comps[0][5], 2u);
}

TEST(Grayscale, RefusedWhenLuminanceIsSampledBelowTheLargestFactors) {
  Recipe recipe = Make(32, 32, "420");
  recipe.sampling = {{1, 1}, {2, 2}, {1, 1}};
  ImagePtr image = OpenBytes(Write(recipe));
  ASSERT_TRUE(image);
  EXPECT_FALSE(image->CanGrayscale());
  EXPECT_FALSE(image->Grayscale());
  EXPECT_TRUE(image->CanLevels());
}

TEST(Grayscale, KeepsTheLuminanceQuantizationTable) {
  ImagePtr image = OpenBytes(Write(Make(16, 16, "444")));
  ASSERT_TRUE(image);
  // As if the file had numbered its luminance table 1.
  Impl(image.get())->HeaderDecompressor()->comp_info[0].quant_tbl_no = 1;
  ASSERT_TRUE(image->Grayscale());
  EXPECT_EQ(Impl(image.get())->HeaderDecompressor()->comp_info[0].quant_tbl_no, 1);
}

}  // namespace
