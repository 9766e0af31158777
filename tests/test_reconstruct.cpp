// SPDX-License-Identifier: MIT
// The reconstruction filter and the Reconstruct edit: the filter against a plain version that
// computes every window on its own from an unchanged copy of the store, quantization cells,
// flat images, progress and stopping, and the edit's undo.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "image/DllImage.h"
#include "pixels/DCT.h"
#include "pixels/QuantizationCell.h"
#include "tests/support/TesselTest.h"
#include "tests/support/UndoRecorder.h"

using namespace fixtures;

namespace {

using Block = std::array<int16_t, 64>;

// Level by the rounding rule itself: half away from zero.
int32_t LevelByRounding(int32_t x, int32_t q) {
  return static_cast<int32_t>(std::lround(static_cast<double>(x) / q));
}

// --- The filter written out plainly ---------------------------------------------------------

// R(a0, a1, a2, a3), the odd-part rotation of both transforms.
std::array<int32_t, 4> Rotate(int32_t a0, int32_t a1, int32_t a2, int32_t a3) {
  int32_t z1 = a0 + a3, z2 = a1 + a2, z3 = a0 + a2, z4 = a1 + a3;
  const int32_t z5 = (z3 + z4) * 9633;
  const int32_t b0 = a0 * 2446, b1 = a1 * 16819, b2 = a2 * 25172, b3 = a3 * 12299;
  z1 *= -7373;
  z2 *= -20995;
  z3 = z3 * -16069 + z5;
  z4 = z4 * -3196 + z5;
  return {b0 + z1 + z3, b1 + z2 + z4, b2 + z2 + z3, b3 + z1 + z4};
}

int32_t D(int32_t x, int n) { return (x + (1 << (n - 1))) >> n; }

// The forward DCT step by step: rows keep two extra bits, columns descale to true DCT scale.
Block ForwardByTheSteps(const uint8_t* samples) {
  int32_t ws[64];
  for (int i = 0; i < 64; ++i) ws[i] = samples[i] - 128;
  for (int pass = 0; pass < 2; ++pass) {
    for (int line = 0; line < 8; ++line) {
      const int first = pass == 0 ? 8 * line : line, step = pass == 0 ? 1 : 8;
      int32_t in[8];
      for (int i = 0; i < 8; ++i) in[i] = ws[first + step * i];
      const int32_t t0 = in[0] + in[7], t7 = in[0] - in[7], t1 = in[1] + in[6];
      const int32_t t6 = in[1] - in[6], t2 = in[2] + in[5], t5 = in[2] - in[5];
      const int32_t t3 = in[3] + in[4], t4 = in[3] - in[4];
      const int32_t t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;
      const int32_t z1 = (t12 + t13) * 4433;
      const std::array<int32_t, 4> r = Rotate(t4, t5, t6, t7);
      const int odd = pass == 0 ? 11 : 18;
      int32_t out[8];
      out[0] = pass == 0 ? (t10 + t11) * 4 : D(t10 + t11, 5);
      out[4] = pass == 0 ? (t10 - t11) * 4 : D(t10 - t11, 5);
      out[2] = D(z1 + t13 * 6270, odd);
      out[6] = D(z1 - t12 * 15137, odd);
      out[7] = D(r[0], odd);
      out[5] = D(r[1], odd);
      out[3] = D(r[2], odd);
      out[1] = D(r[3], odd);
      for (int i = 0; i < 8; ++i) ws[first + step * i] = out[i];
    }
  }
  Block block;
  for (int i = 0; i < 64; ++i) block[i] = static_cast<int16_t>(ws[i]);
  return block;
}

struct ReferencePlane {
  int w, h;  // blocks per row and block rows, whole MCUs
  const UINT16* steps;
};

ReferencePlane GeometryOf(const jpeg_decompress_struct& info, int k) {
  const jpeg_component_info& c = info.comp_info[k];
  const int w = (c.width_in_blocks + c.h_samp_factor - 1) / c.h_samp_factor * c.h_samp_factor;
  const int h = (c.height_in_blocks + c.v_samp_factor - 1) / c.v_samp_factor * c.v_samp_factor;
  return {w, h, info.quant_tbl_ptrs[c.quant_tbl_no]->quantval};
}

// One component of one pass: every window of the plane computed on its own from the unchanged
// blocks, sums and window counts per pixel, the average, and each coefficient walked back
// into the values that quantize like the stored one.
void ReferenceComponent(jpeg_decompress_struct* info, const ReferencePlane& g,
                        const int16_t* original, int16_t* out) {
  CDCT dct(info);
  const int width = 8 * g.w, height = 8 * g.h;
  // Mid-grey beyond the grid, one block wide, as all-zero blocks decode.
  std::vector<uint8_t> samples(size_t(width + 8) * (height + 8), 128);
  for (int by = 0; by < g.h; ++by) {
    for (int bx = 0; bx < g.w; ++bx) {
      uint8_t block[64];
      dct.InverseBlock(original + (size_t(by) * g.w + bx) * 64, block);
      for (int i = 0; i < 64; ++i)
        samples[size_t(8 * by + i / 8) * (width + 8) + 8 * bx + i % 8] = block[i];
    }
  }
  std::vector<int32_t> sums(size_t(width) * height, 0), counts(size_t(width) * height, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if ((x + y) % 2 != 0) continue;
      uint8_t window[64];
      for (int i = 0; i < 64; ++i) window[i] = samples[size_t(y + i / 8) * (width + 8) + x + i % 8];
      Block coefficients = ForwardByTheSteps(window);
      for (int i = 0; i < 64; ++i) {
        const int32_t q = g.steps[i];
        if (q != 0) coefficients[i] = static_cast<int16_t>(LevelByRounding(coefficients[i], q) * q);
      }
      uint8_t back[64];
      dct.InverseBlock(coefficients.data(), back);
      for (int i = 0; i < 64; ++i) {
        const int py = y + i / 8, px = x + i % 8;
        if (py >= height || px >= width) continue;
        sums[size_t(py) * width + px] += back[i];
        counts[size_t(py) * width + px] += 1;
      }
    }
  }
  for (int by = 0; by < g.h; ++by) {
    for (int bx = 0; bx < g.w; ++bx) {
      uint8_t average[64];
      for (int i = 0; i < 64; ++i) {
        const size_t p = size_t(8 * by + i / 8) * width + 8 * bx + i % 8;
        average[i] = static_cast<uint8_t>(sums[p] / counts[p]);
      }
      const Block fresh = ForwardByTheSteps(average);
      const size_t at = (size_t(by) * g.w + bx) * 64;
      for (int i = 0; i < 64; ++i) {
        const int32_t q = g.steps[i], stored = original[at + i];
        int32_t value = fresh[i];
        if (q == 0) {
          value = stored;
        } else {
          while (LevelByRounding(value, q) != LevelByRounding(stored, q))
            value += value < stored ? 1 : -1;
        }
        out[at + i] = static_cast<int16_t>(value);
      }
    }
  }
}

// One whole pass of the plain filter.
std::vector<int16_t> ReferencePass(jpeg_decompress_struct* info,
                                   const std::vector<int16_t>& store) {
  std::vector<int16_t> out = store;
  size_t offset = 0;
  for (int k = 0; k < info->num_components; ++k) {
    const ReferencePlane g = GeometryOf(*info, k);
    ReferenceComponent(info, g, store.data() + offset, out.data() + offset);
    offset += size_t(64) * g.w * g.h;
  }
  return out;
}

jpeg_decompress_struct* Header(ITessel* image) {
  return static_cast<CDllImage*>(image)->HeaderDecompressor();
}

int16_t* StoreOf(ITessel* image) { return static_cast<CDllImage*>(image)->Coefficients(); }

// Progress calls of the last run, and the call (1-based) that asks to stop; 0 never stops.
std::vector<int32_t> g_progress;
size_t g_stopAtCall = 0;

int32_t RecordProgress(int32_t percent) {
  g_progress.push_back(percent);
  return g_stopAtCall != 0 && g_progress.size() >= g_stopAtCall ? 0 : 1;
}

void ResetProgress(size_t stopAtCall = 0) {
  g_progress.clear();
  g_stopAtCall = stopAtCall;
}

}  // namespace

TEST(QuantizationCell, CellsOfStoredValues) {
  struct Case {
    int32_t q, stored, low, high;
  };
  const Case cases[] = {
      {10, 30, 25, 34},  {10, 0, -4, 4}, {16, -32, -39, -24}, {16, 8, 8, 23},
      {16, -8, -23, -8}, {1, 7, 7, 7},   {3, 0, -1, 1},       {3, -2, -4, -2},
  };
  for (const Case& c : cases) {
    const QuantizationCell cell = CellOf(c.stored, c.q);
    EXPECT_EQ(cell.low, c.low) << "q " << c.q << " stored " << c.stored;
    EXPECT_EQ(cell.high, c.high) << "q " << c.q << " stored " << c.stored;
  }
}

// The cell is exactly the run of values with the stored value's level, by the rounding rule.
TEST(QuantizationCell, HoldsExactlyTheValuesOfTheSameLevel) {
  for (int32_t q : {1, 2, 3, 7, 8, 10, 16, 17, 40, 255, 1000}) {
    for (int32_t stored = -300; stored <= 300; stored += 7) {
      const int32_t level = LevelByRounding(stored, q);
      ASSERT_EQ(QuantizationLevel(stored, q), level) << q << " " << stored;
      const QuantizationCell cell = CellOf(stored, q);
      ASSERT_LE(cell.low, stored);
      ASSERT_GE(cell.high, stored);
      EXPECT_NE(LevelByRounding(cell.low - 1, q), level) << q << " " << stored;
      EXPECT_NE(LevelByRounding(cell.high + 1, q), level) << q << " " << stored;
      for (int32_t x = cell.low; x <= cell.high; ++x) {
        ASSERT_EQ(LevelByRounding(x, q), level) << q << " " << stored << " " << x;
      }
    }
  }
}

// The filter's reciprocal route gives the level of the plain division for every step and the
// values around every cell edge, and for every 16-bit value with a spread of steps.
TEST(QuantizationCell, ReciprocalLevelsEqualTheDivision) {
  uint32_t seed = 12345;
  const auto random = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int16_t>((seed >> 8) & 0xFFFF);
  };
  size_t checked = 0, wrong = 0;
  std::string first;
  const auto check = [&](const StepDivisors& divisors, int32_t q, int32_t x) {
    if (x < -32768 || x > 32767) return;
    ++checked;
    if (divisors.Level(0, static_cast<int16_t>(x)) == QuantizationLevel(x, q)) return;
    if (wrong++ == 0) first = "q " + std::to_string(q) + " x " + std::to_string(x);
  };
  uint16_t steps[64];
  for (int32_t q = 1; q <= 65535; ++q) {
    std::fill(steps, steps + 64, static_cast<uint16_t>(q));
    const StepDivisors divisors(steps);
    const int32_t half = q / 2;
    for (int32_t m = 0; m * int64_t{q} <= 32768 + q; m += m < 4 ? 1 : 1 + m / 2) {
      for (int32_t d :
           {-half - 1, -half, -half + 1, -1, 0, 1, q - half - 2, q - half - 1, q - half}) {
        check(divisors, q, m * q + d);
        check(divisors, q, -(m * q + d));
      }
    }
    for (int i = 0; i < 16; ++i) check(divisors, q, random());
  }
  for (int32_t q : {1, 2, 3, 5, 7, 8, 10, 16, 99, 100, 255, 256, 1023, 4097, 32767, 32768, 65535}) {
    std::fill(steps, steps + 64, static_cast<uint16_t>(q));
    const StepDivisors divisors(steps);
    for (int32_t x = -32768; x <= 32767; ++x) check(divisors, q, x);
  }
  EXPECT_EQ(wrong, 0u) << "first: " << first;
  EXPECT_GT(checked, 1000000u);
}

// Whole blocks with mixed steps, zero steps among them, against the plain rule.
TEST(QuantizationCell, RequantizeEqualsThePlainRule) {
  uint32_t seed = 99;
  const auto random = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (int round = 0; round < 2000; ++round) {
    uint16_t steps[64];
    int16_t block[64], expected[64];
    for (int i = 0; i < 64; ++i) {
      const uint32_t pick = random() % 8;
      steps[i] = static_cast<uint16_t>(pick == 0 ? 0 : pick < 6 ? 1 + random() % 64 : random());
      block[i] = static_cast<int16_t>(random() & 0xFFFF);
      expected[i] =
          steps[i] == 0
              ? block[i]
              : static_cast<int16_t>(QuantizationLevel(block[i], steps[i]) * int32_t{steps[i]});
    }
    StepDivisors(steps).Requantize(block);
    ASSERT_TRUE(std::equal(block, block + 64, expected)) << "round " << round;
  }
}

struct FilterCase {
  const char* name;
  Recipe recipe;
  bool zeroSteps;  // a malformed table with zero steps
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.name; }

class ReconstructFilter : public testing::TestWithParam<FilterCase> {};

// The pass gives, to the bit, what the plain version gives, and no coefficient leaves the
// level it had.
TEST_P(ReconstructFilter, MatchesThePlainFilter) {
  ImagePtr image = OpenBytes(Write(GetParam().recipe));
  ASSERT_TRUE(image);
  jpeg_decompress_struct* info = Header(image.get());
  if (GetParam().zeroSteps) {
    UINT16* steps = info->quant_tbl_ptrs[info->comp_info[0].quant_tbl_no]->quantval;
    steps[0] = 0;
    steps[9] = 0;
  }
  const std::vector<int16_t> before = Store(image.get());
  const std::vector<int16_t> expected = ReferencePass(info, before);
  CDCT dct(info);
  ASSERT_EQ(dct.ReconstructCoefficients(StoreOf(image.get()), nullptr), 1);
  const std::vector<int16_t> after = Store(image.get());
  ASSERT_EQ(after.size(), expected.size());
  size_t differences = 0, changed = 0;
  for (size_t i = 0; i < after.size(); ++i) {
    differences += after[i] != expected[i];
    changed += after[i] != before[i];
  }
  EXPECT_EQ(differences, 0u);
  EXPECT_GT(changed, 0u) << "the filter changed nothing";
  size_t offset = 0;
  for (int k = 0; k < info->num_components; ++k) {
    const ReferencePlane g = GeometryOf(*info, k);
    for (size_t i = 0; i < size_t(64) * g.w * g.h; ++i) {
      const int32_t q = g.steps[i % 64];
      if (q == 0) {
        ASSERT_EQ(after[offset + i], before[offset + i]) << "zero step moved, component " << k;
      } else {
        ASSERT_EQ(LevelByRounding(after[offset + i], q), LevelByRounding(before[offset + i], q))
            << "component " << k << " value " << i;
      }
    }
    offset += size_t(64) * g.w * g.h;
  }
}

Recipe WithQuality(Recipe recipe, int quality) {
  recipe.quality = quality;
  recipe.seed = 7;
  return recipe;
}

INSTANTIATE_TEST_SUITE_P(
    EverySampling, ReconstructFilter,
    testing::Values(FilterCase{"s444", Make(23, 17, "444"), false},
                    FilterCase{"s422", Make(40, 24, "422"), false},
                    FilterCase{"s440", Make(17, 33, "440"), false},
                    FilterCase{"s420", Make(37, 23, "420"), false},
                    FilterCase{"gray", Make(29, 21, "gray", Space::kGray), false},
                    FilterCase{"cmyk", Make(19, 11, "444", Space::kCMYK), false},
                    FilterCase{"s420_q20", WithQuality(Make(33, 18, "420"), 20), false},
                    FilterCase{"s420_q95", WithQuality(Make(24, 16, "420"), 95), false},
                    FilterCase{"zero_steps", Make(21, 19, "420"), true}),
    [](const testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

TEST(ReconstructFilter, AllZeroStoreStaysZero) {
  ImagePtr image = OpenBytes(Write(Make(37, 23, "420")));
  ASSERT_TRUE(image);
  std::vector<int16_t> zeros(Store(image.get()).size(), 0);
  ASSERT_TRUE(image->SetCoefficients(zeros.data(), static_cast<int32_t>(zeros.size())));
  CDCT dct(Header(image.get()));
  EXPECT_EQ(dct.ReconstructCoefficients(StoreOf(image.get()), nullptr), 1);
  EXPECT_EQ(Store(image.get()), zeros);
}

// A flat grey other than mid-grey meets the mid-grey beyond the grid only in the last block
// row and column; everywhere else every window is the same flat block.
TEST(ReconstructFilter, FlatGreyChangesOnlyAtTheBottomAndRightEdges) {
  ImagePtr image = OpenBytes(Write(Make(40, 32, "gray", Space::kGray)));
  ASSERT_TRUE(image);
  const int w = 5, h = 4;
  std::vector<int16_t> flat(Store(image.get()).size(), 0);
  ASSERT_EQ(flat.size(), size_t(64) * w * h);
  for (size_t b = 0; b < flat.size() / 64; ++b) flat[64 * b] = 8 * (200 - 128);
  ASSERT_TRUE(image->SetCoefficients(flat.data(), static_cast<int32_t>(flat.size())));
  CDCT dct(Header(image.get()));
  ASSERT_EQ(dct.ReconstructCoefficients(StoreOf(image.get()), nullptr), 1);
  const std::vector<int16_t> after = Store(image.get());
  for (int by = 0; by < h; ++by) {
    for (int bx = 0; bx < w; ++bx) {
      const size_t at = (size_t(by) * w + bx) * 64;
      const bool same = std::equal(after.begin() + at, after.begin() + at + 64, flat.begin() + at);
      EXPECT_EQ(same, by < h - 1 && bx < w - 1) << "block " << by << "," << bx;
    }
  }
}

TEST(ReconstructFilter, ProgressCountsBlockRowsOfEveryComponent) {
  struct Case {
    Recipe recipe;
    std::vector<int32_t> expected;
  };
  const Case cases[] = {
      {Make(16, 24, "gray", Space::kGray), {33, 66, 100}},
      // 4 luminance block rows and 2 of each chroma component.
      {Make(32, 32, "420"), {12, 25, 37, 50, 62, 75, 87, 100}},
  };
  for (const Case& c : cases) {
    ImagePtr image = OpenBytes(Write(c.recipe));
    ASSERT_TRUE(image);
    CDCT dct(Header(image.get()));
    ResetProgress();
    EXPECT_EQ(dct.ReconstructCoefficients(StoreOf(image.get()), RecordProgress), 1);
    EXPECT_EQ(g_progress, c.expected) << c.recipe.Name();
  }
}

// A stop at the first call leaves the first block row of the first component rewritten, as a
// whole pass would have rewritten it, and nothing else.
TEST(ReconstructFilter, StopAfterTheFirstBlockRow) {
  ImagePtr image = OpenBytes(Write(Make(37, 23, "420")));
  ASSERT_TRUE(image);
  jpeg_decompress_struct* info = Header(image.get());
  const std::vector<int16_t> before = Store(image.get());
  const std::vector<int16_t> full = ReferencePass(info, before);
  CDCT dct(info);
  ResetProgress(1);
  EXPECT_EQ(dct.ReconstructCoefficients(StoreOf(image.get()), RecordProgress), 0);
  EXPECT_EQ(g_progress.size(), 1u);
  const std::vector<int16_t> after = Store(image.get());
  const size_t firstRow = size_t(64) * GeometryOf(*info, 0).w;
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + firstRow, full.begin()));
  EXPECT_NE(std::vector<int16_t>(after.begin(), after.begin() + firstRow),
            std::vector<int16_t>(before.begin(), before.begin() + firstRow));
  EXPECT_TRUE(std::equal(after.begin() + firstRow, after.end(), before.begin() + firstRow));
}

// --- The Reconstruct edit -------------------------------------------------------------------

class ReconstructEdit : public testing::Test {
 protected:
  void SetUp() override {
    image_ = OpenBytes(Write(Make(37, 23, "420")));
    ASSERT_TRUE(image_);
    image_->SetUndoStore(&undo_);
    original_ = Store(image_.get());
  }
  TSL_BOOL Run(int32_t passes, TesselProgressFunc progress) {
    undo_.BeginEdit();
    const TSL_BOOL ok = image_->Reconstruct(passes, progress);
    undo_.EndEdit(ok != 0);
    return ok;
  }
  // Block rows of every component: one Write each for the whole image.
  size_t BlockRows() {
    jpeg_decompress_struct* info = Header(image_.get());
    size_t rows = 0;
    for (int k = 0; k < info->num_components; ++k) rows += GeometryOf(*info, k).h;
    return rows;
  }

  ImagePtr image_;
  UndoRecorder undo_;
  std::vector<int16_t> original_;
};

TEST_F(ReconstructEdit, NoPassStillSavesTheWholeImage) {
  EXPECT_EQ(Run(0, nullptr), 1);
  EXPECT_EQ(Store(image_.get()), original_);
  EXPECT_EQ(undo_.writes.size(), BlockRows());
  EXPECT_EQ(undo_.Record().size(), original_.size() * sizeof(int16_t));
  EXPECT_EQ(undo_.Undo(image_.get()), 1);
  EXPECT_EQ(undo_.reads, undo_.writes);
  EXPECT_EQ(Store(image_.get()), original_);
}

TEST_F(ReconstructEdit, TwoPassesReportProgressTwiceAndUndo) {
  ResetProgress();
  EXPECT_EQ(Run(2, RecordProgress), 1);
  const size_t rows = BlockRows();
  ASSERT_EQ(g_progress.size(), 2 * rows);
  for (size_t pass = 0; pass < 2; ++pass) {
    EXPECT_TRUE(
        std::is_sorted(g_progress.begin() + pass * rows, g_progress.begin() + (pass + 1) * rows));
    EXPECT_EQ(g_progress[(pass + 1) * rows - 1], 100);
  }
  jpeg_decompress_struct* info = Header(image_.get());
  EXPECT_EQ(Store(image_.get()), ReferencePass(info, ReferencePass(info, original_)));
  EXPECT_EQ(undo_.Undo(image_.get()), 1);
  EXPECT_EQ(Store(image_.get()), original_);
}

TEST_F(ReconstructEdit, StopAtTheFirstCallKeepsTheEditAndUndoes) {
  ResetProgress(1);
  EXPECT_EQ(Run(3, RecordProgress), 1);
  EXPECT_EQ(g_progress.size(), 1u) << "no further pass runs after a stop";
  const std::vector<int16_t> after = Store(image_.get());
  const size_t firstRow = size_t(64) * GeometryOf(*Header(image_.get()), 0).w;
  EXPECT_NE(std::vector<int16_t>(after.begin(), after.begin() + firstRow),
            std::vector<int16_t>(original_.begin(), original_.begin() + firstRow));
  EXPECT_TRUE(std::equal(after.begin() + firstRow, after.end(), original_.begin() + firstRow));
  EXPECT_EQ(undo_.Undo(image_.get()), 1);
  EXPECT_EQ(Store(image_.get()), original_);
}

TEST_F(ReconstructEdit, WithoutAStoreRunsAndCannotBeUndone) {
  image_->SetUndoStore(nullptr);
  EXPECT_EQ(image_->Reconstruct(1, nullptr), 1);
  const std::vector<int16_t> filtered = Store(image_.get());
  EXPECT_EQ(filtered, ReferencePass(Header(image_.get()), original_));
  EXPECT_EQ(image_->Undo(), 1);
  EXPECT_EQ(Store(image_.get()), filtered);
}

// Images the filter cannot handle are refused before anything is written or changed.
TEST_F(ReconstructEdit, RefusesAComponentWithoutAQuantizationTable) {
  jpeg_decompress_struct* info = Header(image_.get());
  const int number = info->comp_info[1].quant_tbl_no;
  JQUANT_TBL* table = info->quant_tbl_ptrs[number];
  info->quant_tbl_ptrs[number] = nullptr;
  EXPECT_EQ(Run(1, nullptr), 0);
  EXPECT_EQ(CDCT(info).ReconstructCoefficients(StoreOf(image_.get()), nullptr), -1);
  info->quant_tbl_ptrs[number] = table;
  EXPECT_TRUE(undo_.writes.empty());
  EXPECT_EQ(Store(image_.get()), original_);
  EXPECT_EQ(undo_.Undo(image_.get()), 0) << "a refused edit is not kept";
}

TEST(ReconstructEditWithoutImage, IsRefused) {
  ImagePtr image = NewImage();
  EXPECT_EQ(image->Reconstruct(1, nullptr), 0);
}
