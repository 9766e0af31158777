// SPDX-License-Identifier: MIT
// CDllActionApplyBitmapChanges: comparing, re-encoding the changed blocks, and the revert.
#include "actions/DllActionApplyBitmapChanges.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "jpeg/CoefficientStore.h"
#include "pixels/DCT.h"

namespace {

// The pixel grid the edit walks, besides the store's planes: 8x8 cells and MCU rows of pixels.
int64_t CellsPerRow(const StoreGeometry& g) { return g.mcuColumns * (g.mcuWidth / 8); }
int64_t RowBytes(const StoreGeometry& g) { return 3 * g.mcuColumns * g.mcuWidth; }

// What the forward path handles: whatever DecodeRect shows, with MCUs of at most 2 x 2 blocks
// (LoadMCU's sample area holds four blocks per component), and no component the converter
// leaves out: re-encoding one from nothing would wipe it.
bool CanEncode(const CDCT& dct, const jpeg_decompress_struct& info) {
  return dct.CanDecode() && info.max_h_samp_factor <= kMaxEncodeFactor &&
         info.max_v_samp_factor <= kMaxEncodeFactor &&
         info.num_components == ConverterComponents(info.jpeg_color_space);
}

// The store's shape, or none when the store does not hold what the header describes.
std::optional<StoreGeometry> GeometryOf(EditableImage& image, const CDCT& dct) {
  std::optional<StoreGeometry> g = image.Geometry();
  if (!g || g->width <= 0 || g->height <= 0 || g->values > image.CoefficientCount() ||
      !dct.StoreHolds(image.CoefficientCount())) {
    return std::nullopt;
  }
  return g;
}

// Every MCU and every block that shows pixels of the image.
Statistics Totals(const StoreGeometry& g) {
  Statistics stats{};
  stats.iMCUs = static_cast<int32_t>(g.mcuColumns * g.mcuRows);
  int64_t blocks = 0;
  for (int c = 0; c < g.components; ++c) blocks += g.ImageBlocksAcross(c) * g.ImageBlocksDown(c);
  stats.iBlocks = static_cast<int32_t>(blocks);
  return stats;
}

// One run of the edit over the image, MCU row by MCU row.
class Applier {
 public:
  Applier(CDCT& dct, const StoreGeometry& g, int16_t* store, bool force, IUndoStore* undo)
      : dct_(dct),
        g_(g),
        hMax_(g.mcuWidth / 8),
        vMax_(g.mcuHeight / 8),
        store_(store),
        force_(force),
        undo_(undo),
        stats_(Totals(g)) {}

  // False when the row buffer or the change map cannot be had.
  bool Allocate() {
    try {
      rowBuffer_.resize(static_cast<size_t>(RowBytes(g_) * g_.mcuHeight));
      changeMap_.resize(static_cast<size_t>(CellsPerRow(g_) * vMax_));
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  // MCU row j against the host's bitmap (image row 0 at bits).
  void ApplyRow(int64_t j, const uint8_t* bits, int32_t stride) {
    dct_.DecodeRect(store_, rowBuffer_.data(), static_cast<int32_t>(RowBytes(g_)), 0,
                    static_cast<int32_t>(j * g_.mcuHeight),
                    static_cast<int32_t>(g_.mcuColumns * g_.mcuWidth), g_.mcuHeight);
    if (!force_) MarkChangedCells(j, bits, stride);
    for (int64_t l = 0; l < g_.mcuColumns; ++l) {
      if (!force_ && !McuChanged(l)) continue;
      ++stats_.iChangedMCUs;
      CopyHostPixels(j, l, bits, stride);
      dct_.LoadMCU(rowBuffer_.data() + 3 * l * g_.mcuWidth, static_cast<int32_t>(RowBytes(g_)));
      for (int c = 0; c < g_.components; ++c) {
        for (int by = 0; by < g_.planes[c].v; ++by) {
          for (int bx = 0; bx < g_.planes[c].h; ++bx) {
            if (force_ || BlockChanged(c, l, bx, by)) Reencode(c, l, j, bx, by);
          }
        }
      }
    }
  }

  const Statistics& Counts() const { return stats_; }
  int32_t SavedBlocks() const { return saved_; }

 private:
  const uint8_t* HostRow(const uint8_t* bits, int32_t stride, int64_t y) const {
    return bits + static_cast<ptrdiff_t>(y) * stride;
  }

  // Compares the image's pixels of MCU row j, 8 pixels (one cell) at a time: any differing
  // byte marks its cell. Padding bytes and rows beyond the image are never looked at.
  void MarkChangedCells(int64_t j, const uint8_t* bits, int32_t stride) {
    std::memset(changeMap_.data(), 0, changeMap_.size());
    const int64_t imageBytes = 3 * g_.width;
    for (int k = 0; k < g_.mcuHeight && j * g_.mcuHeight + k < g_.height; ++k) {
      const uint8_t* decoded = rowBuffer_.data() + k * RowBytes(g_);
      const uint8_t* host = HostRow(bits, stride, j * g_.mcuHeight + k);
      uint8_t* cells = changeMap_.data() + (k / 8) * CellsPerRow(g_);
      for (int64_t start = 0, cx = 0; start < imageBytes; start += 24, ++cx) {
        const size_t length = static_cast<size_t>(std::min<int64_t>(24, imageBytes - start));
        if (std::memcmp(decoded + start, host + start, length) != 0) cells[cx] = 1;
      }
    }
  }

  bool AnyMarked(int64_t cy, int64_t cx, int rows, int columns) const {
    for (int m = 0; m < rows; ++m) {
      for (int n = 0; n < columns; ++n) {
        if (changeMap_[static_cast<size_t>((cy + m) * CellsPerRow(g_) + cx + n)]) return true;
      }
    }
    return false;
  }

  bool McuChanged(int64_t l) const { return AnyMarked(0, l * hMax_, vMax_, hMax_); }

  // A block is changed when any cell under its pixels is marked.
  bool BlockChanged(int c, int64_t l, int bx, int by) const {
    const int sh = hMax_ / g_.planes[c].h, sv = vMax_ / g_.planes[c].v;
    return AnyMarked(int64_t{by} * sv, l * hMax_ + int64_t{bx} * sh, sv, sh);
  }

  // The host's pixels of MCU (j, l) inside the image replace the decoded ones; the MCU's
  // pixels beyond the image keep the current decode.
  void CopyHostPixels(int64_t j, int64_t l, const uint8_t* bits, int32_t stride) {
    const int64_t x0 = l * g_.mcuWidth;
    const size_t bytes = static_cast<size_t>(3 * std::min<int64_t>(g_.mcuWidth, g_.width - x0));
    for (int k = 0; k < g_.mcuHeight && j * g_.mcuHeight + k < g_.height; ++k) {
      std::memcpy(rowBuffer_.data() + k * RowBytes(g_) + 3 * x0,
                  HostRow(bits, stride, j * g_.mcuHeight + k) + 3 * x0, bytes);
    }
  }

  void Reencode(int c, int64_t l, int64_t j, int bx, int by) {
    ++stats_.iChangedBlocks;
    const PlaneGeometry& plane = g_.planes[c];
    const DCTCoordinate where{c, static_cast<int32_t>(l * plane.h + bx),
                              static_cast<int32_t>(j * plane.v + by)};
    int16_t* block = store_ + plane.BlockIndex(where.iRow, where.iColumn);
    if (undo_ != nullptr) {
      undo_->Write(&where, sizeof where);
      undo_->Write(block, 64 * sizeof(int16_t));
      ++saved_;
    }
    dct_.ForwardBlock(c, bx, by, block);
  }

  CDCT& dct_;
  const StoreGeometry& g_;
  int hMax_;  // 8x8 cells across one MCU
  int vMax_;  // 8x8 cells down one MCU
  int16_t* store_;
  bool force_;
  IUndoStore* undo_;
  Statistics stats_;
  int32_t saved_ = 0;
  std::vector<uint8_t> rowBuffer_;  // one MCU row of pixels, C x MW by MH
  std::vector<uint8_t> changeMap_;  // one byte per 8x8 cell: vMax_ rows of C x hMax_
};

}  // namespace

TSL_BOOL CDllActionApplyBitmapChanges::Execute() {
  m_iSavedBlocks = 0;
  int16_t* store = m_pImage->Coefficients();
  if (m_ppBits == nullptr || store == nullptr) return 0;
  CDCT dct(m_pImage->HeaderDecompressor());
  if (!CanEncode(dct, *m_pImage->HeaderDecompressor())) return 0;
  const std::optional<StoreGeometry> g = GeometryOf(*m_pImage, dct);
  // Rows closer together than a row of pixels cannot hold the image.
  if (!g || std::llabs(int64_t{m_iStride}) < 3 * g->width) return 0;
  Applier applier(dct, *g, store, m_iForce != 0, m_pUndoStore);
  if (!applier.Allocate()) return 0;
  for (int64_t j = 0; j < g->mcuRows; ++j) {
    const uint8_t* bits = *m_ppBits;
    if (bits != nullptr) applier.ApplyRow(j, bits, m_iStride);
  }
  m_iSavedBlocks = applier.SavedBlocks();
  if (m_pStatistics != nullptr) *m_pStatistics = applier.Counts();
  return 1;
}

TSL_BOOL CDllActionApplyBitmapChanges::Revert() {
  const std::optional<StoreGeometry> g = m_pImage->Geometry();
  int16_t* store = m_pImage->Coefficients();
  for (int32_t i = 0; i < m_iSavedBlocks; ++i) {
    DCTCoordinate where{-1, -1, -1};
    m_pUndoStore->Read(&where, sizeof where);
    // A record that names no block of this image (a store that gave back other bytes) is
    // read past, so that the records after it stay in step.
    int16_t scratch[64];
    int16_t* block = scratch;
    if (g && where.iComponent >= 0 && where.iComponent < g->components && where.iColumn >= 0 &&
        where.iColumn < g->planes[where.iComponent].blocksPerRow && where.iRow >= 0 &&
        where.iRow < g->planes[where.iComponent].blockRows) {
      block = store + g->planes[where.iComponent].BlockIndex(where.iRow, where.iColumn);
    }
    m_pUndoStore->Read(block, 64 * sizeof(int16_t));
  }
  return 1;
}
