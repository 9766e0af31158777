// SPDX-License-Identifier: MIT
// ApplyBitmapChanges: an unchanged rendering changes nothing, one changed pixel re-encodes
// exactly the blocks under it with their undo records, painted areas come back as painted,
// force, padding and rows beyond the image, bottom-up bitmaps, refusals and undo.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <tuple>

#include "actions/DllActionApplyBitmapChanges.h"
#include "image/DllImage.h"
#include "jpeg/CoefficientStore.h"
#include "tests/support/TesselTest.h"
#include "tests/support/UndoRecorder.h"

using namespace fixtures;

namespace {

jpeg_decompress_struct* Header(ITessel* image) {
  return static_cast<CDllImage*>(image)->HeaderDecompressor();
}

// The image rendered top-down, rows 3 x width bytes apart.
Bytes Render(ITessel* image) {
  Bytes bits(size_t{3} * image->GetWidth() * image->GetHeight());
  EXPECT_EQ(image->GetBitmap(bits.data(), 3 * image->GetWidth(), 0), 1);
  return bits;
}

// Where component c's block (row, column) lies in the store.
size_t BlockIndex(ITessel* image, int c, int row, int column) {
  const std::optional<StoreGeometry> g =
      StoreGeometry::ForImage(*Header(image), image->GetWidth(), image->GetHeight());
  return static_cast<size_t>(g->planes[c].BlockIndex(row, column));
}

// Every block of the store as (component, row, column).
std::set<std::tuple<int, int, int>> AllBlocks(ITessel* image) {
  const std::optional<StoreGeometry> g =
      StoreGeometry::ForImage(*Header(image), image->GetWidth(), image->GetHeight());
  std::set<std::tuple<int, int, int>> blocks;
  for (int c = 0; c < Header(image)->num_components; ++c) {
    for (int row = 0; row < g->planes[c].blockRows; ++row) {
      for (int column = 0; column < g->planes[c].blocksPerRow; ++column)
        blocks.insert({c, row, column});
    }
  }
  return blocks;
}

// The coordinate records of an undo record of re-encoded blocks, as (component, row, column).
std::vector<std::tuple<int, int, int>> RecordedBlocks(const std::vector<uint8_t>& record) {
  std::vector<std::tuple<int, int, int>> blocks;
  for (size_t at = 0; at + 140 <= record.size(); at += 140) {
    DCTCoordinate where;
    std::memcpy(&where, record.data() + at, sizeof where);
    blocks.emplace_back(where.iComponent, where.iRow, where.iColumn);
  }
  return blocks;
}

class ApplyTest : public testing::Test {
 protected:
  void Open(const Recipe& recipe) {
    image_ = OpenBytes(Write(recipe));
    ASSERT_TRUE(image_);
    image_->SetUndoStore(&undo_);
    original_ = Store(image_.get());
  }
  TSL_BOOL Apply(uint8_t* row0, int32_t stride, bool force = false) {
    pointer_ = row0;
    undo_.BeginEdit();
    const TSL_BOOL ok = image_->ApplyBitmapChanges(&pointer_, stride, force ? 1 : 0, &stats_);
    undo_.EndEdit(ok != 0);
    return ok;
  }
  void ExpectStats(int mcus, int blocks, int changedMcus, int changedBlocks) {
    EXPECT_EQ(stats_.iMCUs, mcus);
    EXPECT_EQ(stats_.iBlocks, blocks);
    EXPECT_EQ(stats_.iChangedMCUs, changedMcus);
    EXPECT_EQ(stats_.iChangedBlocks, changedBlocks);
  }
  // Undo restores the opened store bit for bit, reading what the edit wrote.
  void ExpectUndoRestores() {
    const std::vector<uint32_t> written = undo_.writes;
    EXPECT_EQ(undo_.Undo(image_.get()), 1);
    EXPECT_EQ(undo_.reads, written);
    EXPECT_EQ(Store(image_.get()), original_);
  }

  ImagePtr image_;
  UndoRecorder undo_;
  std::vector<int16_t> original_;
  uint8_t* pointer_ = nullptr;
  Statistics stats_{-7, -7, -7, -7};
};

}  // namespace

// Every fixture kind: the rendering handed back unchanged changes nothing and writes nothing,
// or, for MCUs wider than two blocks, the edit is refused with nothing touched.
TEST_F(ApplyTest, UnchangedRenderingChangesNothingOnEveryKind) {
  for (const Recipe& recipe : StandardKinds()) {
    SCOPED_TRACE(recipe.Name());
    Open(recipe);
    jpeg_decompress_struct* info = Header(image_.get());
    Bytes bits = Render(image_.get());
    const TSL_BOOL ok = Apply(bits.data(), 3 * image_->GetWidth());
    EXPECT_TRUE(undo_.writes.empty());
    EXPECT_EQ(Store(image_.get()), original_);
    if (info->max_h_samp_factor > 2 || info->max_v_samp_factor > 2) {
      EXPECT_EQ(ok, 0);
      ExpectStats(-7, -7, -7, -7);
      continue;
    }
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(stats_.iChangedMCUs, 0);
    EXPECT_EQ(stats_.iChangedBlocks, 0);
    const int mcuW = image_->GetMCUWidth(), mcuH = image_->GetMCUHeight();
    const int w = image_->GetWidth(), h = image_->GetHeight();
    EXPECT_EQ(stats_.iMCUs, ((w + mcuW - 1) / mcuW) * ((h + mcuH - 1) / mcuH));
    ExpectUndoRestores();
    stats_ = {-7, -7, -7, -7};
  }
}

struct PixelCase {
  const char* name;
  Recipe recipe;
  int x, y;
  std::vector<std::tuple<int, int, int>> blocks;  // (component, row, column), in record order
};

void PrintTo(const PixelCase& c, std::ostream* os) { *os << c.name; }

class OnePixel : public ApplyTest, public testing::WithParamInterface<PixelCase> {};

// One changed pixel re-encodes its MCU's blocks under that pixel: its own luminance block and
// the subsampled blocks that cover it. Every other block keeps its coefficients exactly.
TEST_P(OnePixel, ReencodesOnlyTheBlocksUnderIt) {
  const PixelCase& c = GetParam();
  Open(c.recipe);
  Bytes bits = Render(image_.get());
  uint8_t* pixel = &bits[(size_t(c.y) * image_->GetWidth() + c.x) * 3];
  for (int i = 0; i < 3; ++i) pixel[i] = static_cast<uint8_t>(255 - pixel[i]);
  ASSERT_EQ(Apply(bits.data(), 3 * image_->GetWidth()), 1);
  EXPECT_EQ(stats_.iChangedMCUs, 1);
  EXPECT_EQ(stats_.iChangedBlocks, static_cast<int>(c.blocks.size()));
  std::vector<uint32_t> expectedWrites;
  for (size_t i = 0; i < c.blocks.size(); ++i)
    expectedWrites.insert(expectedWrites.end(), {12, 128});
  EXPECT_EQ(undo_.writes, expectedWrites);
  EXPECT_EQ(undo_.Record().size(), 140 * c.blocks.size());
  EXPECT_EQ(RecordedBlocks(undo_.Record()), c.blocks);
  const std::vector<int16_t> after = Store(image_.get());
  std::set<size_t> reencoded;
  for (const auto& [component, row, column] : c.blocks) {
    reencoded.insert(BlockIndex(image_.get(), component, row, column));
  }
  // The saved bytes are the old coefficients.
  for (size_t i = 0; i < c.blocks.size(); ++i) {
    const auto& [component, row, column] = c.blocks[i];
    const size_t at = BlockIndex(image_.get(), component, row, column);
    EXPECT_EQ(std::memcmp(undo_.Record().data() + 140 * i + 12, &original_[at], 128), 0);
  }
  const auto [component, row, column] = c.blocks.front();
  const size_t luma = BlockIndex(image_.get(), component, row, column);
  EXPECT_FALSE(
      std::equal(after.begin() + luma, after.begin() + luma + 64, original_.begin() + luma));
  for (size_t at = 0; at < after.size(); at += 64) {
    if (reencoded.count(at)) continue;
    ASSERT_TRUE(std::equal(after.begin() + at, after.begin() + at + 64, original_.begin() + at))
        << "block at " << at << " changed";
  }
  ExpectUndoRestores();
}

INSTANTIATE_TEST_SUITE_P(
    EverySampling, OnePixel,
    testing::Values(
        // MCU (1, 0) of 16 x 16 pixels: luminance block (1, 3), chroma blocks (0, 1).
        PixelCase{"s420", Make(40, 40, "420"), 29, 13, {{0, 1, 3}, {1, 0, 1}, {2, 0, 1}}},
        PixelCase{"s444", Make(24, 16, "444"), 9, 10, {{0, 1, 1}, {1, 1, 1}, {2, 1, 1}}},
        // MCUs of 16 x 8: pixel (9, 10) is in MCU column 0, row 1.
        PixelCase{"s422", Make(40, 24, "422"), 9, 10, {{0, 1, 1}, {1, 1, 0}, {2, 1, 0}}},
        // MCUs of 8 x 16: MCU column 1, row 0; the luminance block is the lower one.
        PixelCase{"s440", Make(24, 40, "440"), 9, 10, {{0, 1, 1}, {1, 0, 1}, {2, 0, 1}}},
        PixelCase{"gray", Make(24, 16, "gray", Space::kGray), 9, 10, {{0, 1, 1}}},
        PixelCase{"cmyk",
                  Make(19, 11, "444", Space::kCMYK),
                  17,
                  3,
                  {{0, 0, 2}, {1, 0, 2}, {2, 0, 2}, {3, 0, 2}}}),
    [](const testing::TestParamInfo<PixelCase>& info) { return std::string(info.param.name); });

// A painted MCU comes back as painted (within the rounding of the transforms and colour
// conversion), and the rest of the picture is untouched.
TEST_F(ApplyTest, PaintedMcuComesBackAsPainted) {
  Open(Make(48, 32, "420"));
  const int w = 48;
  Bytes bits = Render(image_.get());
  const Bytes before = bits;
  const uint8_t colour[3] = {40, 200, 90};
  for (int y = 16; y < 32; ++y) {
    for (int x = 16; x < 32; ++x) std::memcpy(&bits[(size_t(y) * w + x) * 3], colour, 3);
  }
  ASSERT_EQ(Apply(bits.data(), 3 * w), 1);
  // 3 x 2 MCUs; 6 x 4 luminance blocks and 3 x 2 of each chroma component.
  ExpectStats(6, 36, 1, 6);
  const Bytes rendered = Render(image_.get());
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < w; ++x) {
      const size_t at = (size_t(y) * w + x) * 3;
      for (int i = 0; i < 3; ++i) {
        if (x >= 16 && x < 32 && y >= 16) {
          ASSERT_LE(std::abs(rendered[at + i] - colour[i]), 3) << x << "," << y;
        } else {
          ASSERT_EQ(rendered[at + i], before[at + i]) << x << "," << y;
        }
      }
    }
  }
  ExpectUndoRestores();
}

// Force re-encodes every block of the store, filler blocks included, so the changed block
// count exceeds the count of blocks that cover the image.
TEST_F(ApplyTest, ForceReencodesEveryBlock) {
  Open(Make(37, 23, "420"));
  Bytes bits = Render(image_.get());
  ASSERT_EQ(Apply(bits.data(), 3 * 37, true), 1);
  // 3 x 2 MCUs of 6 blocks; 5 x 3 luminance and 3 x 2 of each chroma block cover the image.
  ExpectStats(6, 27, 6, 36);
  EXPECT_EQ(undo_.Record().size(), 36u * 140);
  const std::vector<std::tuple<int, int, int>> recorded = RecordedBlocks(undo_.Record());
  const std::set<std::tuple<int, int, int>> distinct(recorded.begin(), recorded.end());
  EXPECT_EQ(distinct.size(), recorded.size());
  EXPECT_EQ(distinct, AllBlocks(image_.get()));
  ExpectUndoRestores();
}

// Bytes past 3 x width in each row and rows at or below the height are never compared.
TEST_F(ApplyTest, PaddingAndRowsBeyondTheImageAreIgnored) {
  Open(Make(37, 23, "420"));
  const int w = 37, h = 23, stride = 3 * w + 13;
  const Bytes tight = Render(image_.get());
  Bytes bits(size_t(stride) * (h + 9), 0x5A);
  for (int y = 0; y < h; ++y)
    std::memcpy(&bits[size_t(y) * stride], &tight[size_t(y) * 3 * w], 3 * w);
  ASSERT_EQ(Apply(bits.data(), stride), 1);
  ExpectStats(6, 27, 0, 0);
  EXPECT_TRUE(undo_.writes.empty());
  EXPECT_EQ(Store(image_.get()), original_);
}

// A bottom-up bitmap (negative stride, pointer at image row 0, the last row in memory) gives
// the same edit as the same pixels top-down.
TEST_F(ApplyTest, BottomUpBitmapGivesTheSameEdit) {
  const Recipe recipe = Make(37, 23, "420");
  const int w = 37, h = 23, row = 3 * w;
  Open(recipe);
  Bytes topDown = Render(image_.get());
  for (int x = 20; x < 30; ++x) topDown[size_t(17) * row + 3 * x + 1] ^= 0xFF;
  ASSERT_EQ(Apply(topDown.data(), row), 1);
  const std::vector<int16_t> expected = Store(image_.get());
  const Statistics expectedStats = stats_;

  Open(recipe);
  Bytes bottomUp(topDown.size());
  for (int y = 0; y < h; ++y)
    std::memcpy(&bottomUp[size_t(h - 1 - y) * row], &topDown[size_t(y) * row], row);
  ASSERT_EQ(Apply(&bottomUp[size_t(h - 1) * row], -row), 1);
  EXPECT_EQ(Store(image_.get()), expected);
  ExpectStats(expectedStats.iMCUs, expectedStats.iBlocks, expectedStats.iChangedMCUs,
              expectedStats.iChangedBlocks);
  EXPECT_GT(stats_.iChangedBlocks, 0);
  ExpectUndoRestores();
}

// A null pixel pointer skips every MCU row: the totals are reported and nothing changes.
TEST_F(ApplyTest, NullPixelPointerChangesNothing) {
  Open(Make(37, 23, "420"));
  EXPECT_EQ(Apply(nullptr, 3 * 37), 1);
  ExpectStats(6, 27, 0, 0);
  EXPECT_TRUE(undo_.writes.empty());
  EXPECT_EQ(Store(image_.get()), original_);
}

TEST_F(ApplyTest, BadArgumentsAreRefusedWithNothingTouched) {
  Open(Make(37, 23, "420"));
  Bytes bits = Render(image_.get());
  bits[0] ^= 0xFF;
  uint8_t* row0 = bits.data();
  // No address of a pixel pointer.
  undo_.BeginEdit();
  EXPECT_EQ(image_->ApplyBitmapChanges(nullptr, 3 * 37, 0, &stats_), 0);
  undo_.EndEdit(false);
  // Rows closer together than a row of pixels.
  undo_.BeginEdit();
  EXPECT_EQ(image_->ApplyBitmapChanges(&row0, 3 * 37 - 1, 0, &stats_), 0);
  undo_.EndEdit(false);
  EXPECT_TRUE(undo_.writes.empty());
  ExpectStats(-7, -7, -7, -7);
  EXPECT_EQ(Store(image_.get()), original_);
  // A null statistics address only means no counts.
  undo_.BeginEdit();
  EXPECT_EQ(image_->ApplyBitmapChanges(&row0, 3 * 37, 0, nullptr), 1);
  undo_.EndEdit(true);
  EXPECT_EQ(undo_.writes.size(), 2u * 3);
}

// A component that the colour converter does not produce would be re-encoded from nothing:
// such an image (here a three-component image described as grayscale) is refused.
TEST_F(ApplyTest, ComponentsTheConverterLeavesOutAreNotWiped) {
  Open(Make(24, 16, "444"));
  jpeg_decompress_struct* info = Header(image_.get());
  const J_COLOR_SPACE space = info->jpeg_color_space;
  info->jpeg_color_space = JCS_GRAYSCALE;
  Bytes bits = Render(image_.get());
  bits[5] ^= 0x80;
  const TSL_BOOL ok = Apply(bits.data(), 3 * 24);
  info->jpeg_color_space = space;
  EXPECT_EQ(ok, 0);
  EXPECT_TRUE(undo_.writes.empty());
  EXPECT_EQ(Store(image_.get()), original_);
}

TEST(ApplyWithoutImage, IsRefused) {
  ImagePtr image = NewImage();
  uint8_t pixels[3] = {};
  uint8_t* row0 = pixels;
  Statistics stats{};
  EXPECT_EQ(image->ApplyBitmapChanges(&row0, 3, 0, &stats), 0);
}

// Without a store the blocks are re-encoded and Undo leaves them so.
TEST_F(ApplyTest, WithoutAStoreEditsAndCannotBeUndone) {
  Open(Make(24, 16, "444"));
  image_->SetUndoStore(nullptr);
  Bytes bits = Render(image_.get());
  bits[5] ^= 0x80;
  uint8_t* row0 = bits.data();
  ASSERT_EQ(image_->ApplyBitmapChanges(&row0, 3 * 24, 0, &stats_), 1);
  EXPECT_EQ(stats_.iChangedBlocks, 3);
  const std::vector<int16_t> edited = Store(image_.get());
  EXPECT_NE(edited, original_);
  EXPECT_EQ(image_->Undo(), 1);
  EXPECT_EQ(Store(image_.get()), edited);
}
