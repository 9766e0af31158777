// SPDX-License-Identifier: MIT
// Pixel edits on the real-file corpus: an unchanged rendering applied back changes nothing,
// one painted block re-encodes only its MCU, and a filter pass keeps every quantization level
// and is undone bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "image/DllImage.h"
#include "pixels/QuantizationCell.h"
#include "tests/support/TesselTest.h"
#include "tests/support/UndoRecorder.h"

using namespace fixtures;

namespace {

// Reconstruction costs about seventy transforms a block; larger files are left to the
// generated fixtures so the suite stays fast under the sanitizers.
constexpr int64_t kMaxFilteredPixels = 160000;

jpeg_decompress_struct* Header(ITessel* image) {
  return static_cast<CDllImage*>(image)->HeaderDecompressor();
}

bool Encodable(ITessel* image) {
  const jpeg_decompress_struct* info = Header(image);
  return info->max_h_samp_factor <= 2 && info->max_v_samp_factor <= 2;
}

}  // namespace

TEST(PixelEditsCorpus, AppliedRenderingsChangeOnlyWhatWasPainted) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  int applied = 0;
  for (const auto& path : files) {
    ImagePtr image = OpenBytes(ReadFile(path));
    if (!image) continue;
    SCOPED_TRACE(path.string());
    UndoRecorder undo;
    image->SetUndoStore(&undo);
    const int w = image->GetWidth(), h = image->GetHeight();
    Bytes bits(size_t{3} * w * h);
    if (!image->GetBitmap(bits.data(), 3 * w, 0)) continue;
    const std::vector<int16_t> original = Store(image.get());
    uint8_t* row0 = bits.data();
    Statistics stats{};
    undo.BeginEdit();
    const TSL_BOOL ok = image->ApplyBitmapChanges(&row0, 3 * w, 0, &stats);
    undo.EndEdit(ok != 0);
    EXPECT_EQ(ok != 0, Encodable(image.get()));
    EXPECT_TRUE(undo.writes.empty());
    EXPECT_EQ(Store(image.get()), original);
    if (!ok) continue;
    EXPECT_EQ(stats.iChangedBlocks, 0);
    // Invert one pixel in the middle: one MCU changes, and undo restores it.
    uint8_t* pixel = &bits[(size_t(h / 2) * w + w / 2) * 3];
    for (int i = 0; i < 3; ++i) pixel[i] = static_cast<uint8_t>(255 - pixel[i]);
    undo.BeginEdit();
    ASSERT_EQ(image->ApplyBitmapChanges(&row0, 3 * w, 0, &stats), 1);
    undo.EndEdit(true);
    EXPECT_EQ(stats.iChangedMCUs, 1);
    EXPECT_GE(stats.iChangedBlocks, 1);
    EXPECT_EQ(undo.Record().size(), size_t(140) * stats.iChangedBlocks);
    EXPECT_EQ(undo.Undo(image.get()), 1);
    EXPECT_EQ(undo.Undo(image.get()), 1);
    EXPECT_EQ(Store(image.get()), original);
    ++applied;
  }
  EXPECT_GT(applied, 0) << "no corpus file could be edited";
}

TEST(PixelEditsCorpus, FilterKeepsEveryLevelAndUndoes) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  int filtered = 0;
  for (const auto& path : files) {
    ImagePtr image = OpenBytes(ReadFile(path));
    if (!image || int64_t{image->GetWidth()} * image->GetHeight() > kMaxFilteredPixels) continue;
    SCOPED_TRACE(path.string());
    UndoRecorder undo;
    image->SetUndoStore(&undo);
    const std::vector<int16_t> original = Store(image.get());
    undo.BeginEdit();
    const TSL_BOOL ok = image->Reconstruct(1, nullptr);
    undo.EndEdit(ok != 0);
    if (!ok) {
      EXPECT_TRUE(undo.writes.empty());
      EXPECT_EQ(Store(image.get()), original);
      continue;
    }
    const std::vector<int16_t> after = Store(image.get());
    const jpeg_decompress_struct* info = Header(image.get());
    size_t offset = 0, moved = 0;
    int32_t largestStep = 0;
    for (int k = 0; k < info->num_components; ++k) {
      const jpeg_component_info& c = info->comp_info[k];
      const size_t w =
          (c.width_in_blocks + c.h_samp_factor - 1) / c.h_samp_factor * c.h_samp_factor;
      const size_t h =
          (c.height_in_blocks + c.v_samp_factor - 1) / c.v_samp_factor * c.v_samp_factor;
      const UINT16* steps = info->quant_tbl_ptrs[c.quant_tbl_no]->quantval;
      for (size_t i = 0; i < 64 * w * h; ++i) {
        const int32_t q = steps[i % 64];
        moved += after[offset + i] != original[offset + i];
        largestStep = std::max(largestStep, q);
        if (q == 0) continue;
        ASSERT_EQ(QuantizationLevel(after[offset + i], q),
                  QuantizationLevel(original[offset + i], q))
            << "component " << k << " value " << i;
      }
      offset += 64 * w * h;
    }
    // Steps of 1 leave every coefficient a cell of one value (a quality-100 file).
    if (largestStep > 2) {
      EXPECT_GT(moved, 0u) << "largest step " << largestStep;
    }
    EXPECT_EQ(undo.Undo(image.get()), 1);
    EXPECT_EQ(Store(image.get()), original);
    ++filtered;
  }
  EXPECT_GT(filtered, 0) << "no corpus file was small enough to filter";
}
