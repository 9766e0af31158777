// SPDX-License-Identifier: MIT
// CDllActionApplyBitmapChanges: comparing, re-encoding the changed blocks, and the revert.
#include "actions/DllActionApplyBitmapChanges.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "image/CoefficientStore.h"
#include "image/DllImage.h"
#include "pixels/DCT.h"

namespace {

// The image as the edit sees it: MCU grid, sampling and where each plane lies in the store.
struct Geometry {
  int64_t width = 0, height = 0;
  int mcuW = 0, mcuH = 0;
  int hMax = 0, vMax = 0;
  int64_t columns = 0, rows = 0;  // MCU columns C and rows R
  int components = 0;
  int h[MAX_COMPONENTS] = {}, v[MAX_COMPONENTS] = {};
  PlaneLayout planes[MAX_COMPONENTS] = {};

  int64_t CellsPerRow() const { return columns * hMax; }   // 8x8 cells across one MCU row
  int64_t RowBytes() const { return 3 * columns * mcuW; }  // one row of the row buffer
};

// What the forward path handles: whatever DecodeRect shows, with MCUs of at most 2 x 2 blocks
// (LoadMCU's sample area holds four blocks per component), and no component the converter
// leaves out: re-encoding one from nothing would wipe it.
bool CanEncode(const CDCT& dct, const jpeg_decompress_struct& info) {
  return dct.CanDecode() && info.max_h_samp_factor <= kMaxEncodeFactor &&
         info.max_v_samp_factor <= kMaxEncodeFactor &&
         info.num_components == ConverterComponents(info.jpeg_color_space);
}

// False when the store does not hold what the header describes.
bool ComputeGeometry(CDllImage& image, const CDCT& dct, Geometry* g) {
  const jpeg_decompress_struct& info = *image.HeaderDecompressor();
  g->width = image.Width();
  g->height = image.Height();
  g->hMax = info.max_h_samp_factor;
  g->vMax = info.max_v_samp_factor;
  g->mcuW = 8 * g->hMax;
  g->mcuH = 8 * g->vMax;
  if (g->width <= 0 || g->height <= 0) return false;
  g->columns = CeilDiv(g->width, g->mcuW);
  g->rows = CeilDiv(g->height, g->mcuH);
  g->components = info.num_components;
  for (int c = 0; c < g->components; ++c) {
    g->h[c] = info.comp_info[c].h_samp_factor;
    g->v[c] = info.comp_info[c].v_samp_factor;
  }
  const int64_t values = ComputeStoreLayout(info, g->width, g->height, g->planes);
  return values >= 0 && values <= image.CoefficientCount() &&
         dct.StoreCoefficientCount() <= image.CoefficientCount();
}

Statistics Totals(const Geometry& g) {
  Statistics stats{};
  stats.iMCUs = static_cast<int32_t>(g.columns * g.rows);
  int64_t blocks = 0;
  for (int c = 0; c < g.components; ++c) {
    blocks += CeilDiv(g.width, g.mcuW / g.h[c]) * CeilDiv(g.height, g.mcuH / g.v[c]);
  }
  stats.iBlocks = static_cast<int32_t>(blocks);
  return stats;
}

// One run of the edit over the image, MCU row by MCU row.
class Applier {
 public:
  Applier(CDCT& dct, const Geometry& g, int16_t* store, bool force, IUndoStore* undo)
      : dct_(dct), g_(g), store_(store), force_(force), undo_(undo), stats_(Totals(g)) {}

  // False when the row buffer or the change map cannot be had.
  bool Allocate() {
    try {
      rowBuffer_.resize(static_cast<size_t>(g_.RowBytes() * g_.mcuH));
      changeMap_.resize(static_cast<size_t>(g_.CellsPerRow() * g_.vMax));
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  // MCU row j against the host's bitmap (image row 0 at bits).
  void ApplyRow(int64_t j, const uint8_t* bits, int32_t stride) {
    dct_.DecodeRect(store_, rowBuffer_.data(), static_cast<int32_t>(g_.RowBytes()), 0,
                    static_cast<int32_t>(j * g_.mcuH), static_cast<int32_t>(g_.columns * g_.mcuW),
                    g_.mcuH);
    if (!force_) MarkChangedCells(j, bits, stride);
    for (int64_t l = 0; l < g_.columns; ++l) {
      if (!force_ && !McuChanged(l)) continue;
      ++stats_.iChangedMCUs;
      CopyHostPixels(j, l, bits, stride);
      dct_.LoadMCU(rowBuffer_.data() + 3 * l * g_.mcuW, static_cast<int32_t>(g_.RowBytes()));
      for (int c = 0; c < g_.components; ++c) {
        for (int by = 0; by < g_.v[c]; ++by) {
          for (int bx = 0; bx < g_.h[c]; ++bx) {
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
    for (int k = 0; k < g_.mcuH && j * g_.mcuH + k < g_.height; ++k) {
      const uint8_t* decoded = rowBuffer_.data() + k * g_.RowBytes();
      const uint8_t* host = HostRow(bits, stride, j * g_.mcuH + k);
      uint8_t* cells = changeMap_.data() + (k / 8) * g_.CellsPerRow();
      for (int64_t start = 0, cx = 0; start < imageBytes; start += 24, ++cx) {
        const size_t length = static_cast<size_t>(std::min<int64_t>(24, imageBytes - start));
        if (std::memcmp(decoded + start, host + start, length) != 0) cells[cx] = 1;
      }
    }
  }

  bool AnyMarked(int64_t cy, int64_t cx, int rows, int columns) const {
    for (int m = 0; m < rows; ++m) {
      for (int n = 0; n < columns; ++n) {
        if (changeMap_[static_cast<size_t>((cy + m) * g_.CellsPerRow() + cx + n)]) return true;
      }
    }
    return false;
  }

  bool McuChanged(int64_t l) const { return AnyMarked(0, l * g_.hMax, g_.vMax, g_.hMax); }

  // A block is changed when any cell under its pixels is marked.
  bool BlockChanged(int c, int64_t l, int bx, int by) const {
    const int sh = g_.hMax / g_.h[c], sv = g_.vMax / g_.v[c];
    return AnyMarked(int64_t{by} * sv, l * g_.hMax + int64_t{bx} * sh, sv, sh);
  }

  // The host's pixels of MCU (j, l) inside the image replace the decoded ones; the MCU's
  // pixels beyond the image keep the current decode.
  void CopyHostPixels(int64_t j, int64_t l, const uint8_t* bits, int32_t stride) {
    const int64_t x0 = l * g_.mcuW;
    const size_t bytes = static_cast<size_t>(3 * std::min<int64_t>(g_.mcuW, g_.width - x0));
    for (int k = 0; k < g_.mcuH && j * g_.mcuH + k < g_.height; ++k) {
      std::memcpy(rowBuffer_.data() + k * g_.RowBytes() + 3 * x0,
                  HostRow(bits, stride, j * g_.mcuH + k) + 3 * x0, bytes);
    }
  }

  void Reencode(int c, int64_t l, int64_t j, int bx, int by) {
    ++stats_.iChangedBlocks;
    const DCTCoordinate where{c, static_cast<int32_t>(l * g_.h[c] + bx),
                              static_cast<int32_t>(j * g_.v[c] + by)};
    const PlaneLayout& plane = g_.planes[c];
    int16_t* block =
        store_ + plane.offset + (int64_t{where.iRow} * plane.blocksPerRow + where.iColumn) * 64;
    if (undo_ != nullptr) {
      undo_->Write(&where, sizeof where);
      undo_->Write(block, 64 * sizeof(int16_t));
      ++saved_;
    }
    dct_.ForwardBlock(c, bx, by, block);
  }

  CDCT& dct_;
  const Geometry& g_;
  int16_t* store_;
  bool force_;
  IUndoStore* undo_;
  Statistics stats_;
  int32_t saved_ = 0;
  std::vector<uint8_t> rowBuffer_;  // one MCU row of pixels, C x MW by MH
  std::vector<uint8_t> changeMap_;  // one byte per 8x8 cell: Vmax rows of C x Hmax
};

}  // namespace

TSL_BOOL CDllActionApplyBitmapChanges::Execute() {
  m_iSavedBlocks = 0;
  int16_t* store = m_pImage->Coefficients();
  if (m_ppBits == nullptr || store == nullptr) return 0;
  CDCT dct(m_pImage->HeaderDecompressor());
  Geometry g;
  if (!CanEncode(dct, *m_pImage->HeaderDecompressor()) || !ComputeGeometry(*m_pImage, dct, &g)) {
    return 0;
  }
  // Rows closer together than a row of pixels cannot hold the image.
  if (std::llabs(int64_t{m_iStride}) < 3 * g.width) return 0;
  Applier applier(dct, g, store, m_iForce != 0, m_pUndoStore);
  if (!applier.Allocate()) return 0;
  for (int64_t j = 0; j < g.rows; ++j) {
    const uint8_t* bits = *m_ppBits;
    if (bits != nullptr) applier.ApplyRow(j, bits, m_iStride);
  }
  m_iSavedBlocks = applier.SavedBlocks();
  if (m_pStatistics != nullptr) *m_pStatistics = applier.Counts();
  return 1;
}

TSL_BOOL CDllActionApplyBitmapChanges::Revert() {
  const jpeg_decompress_struct& info = *m_pImage->HeaderDecompressor();
  PlaneLayout planes[MAX_COMPONENTS];
  const int64_t values = ComputeStoreLayout(info, m_pImage->Width(), m_pImage->Height(), planes);
  int16_t* store = m_pImage->Coefficients();
  const int components = info.num_components;
  for (int32_t i = 0; i < m_iSavedBlocks; ++i) {
    DCTCoordinate where{-1, -1, -1};
    m_pUndoStore->Read(&where, sizeof where);
    // A record that names no block of this image (a store that gave back other bytes) is
    // read past, so that the records after it stay in step.
    int16_t scratch[64];
    int16_t* block = scratch;
    if (store != nullptr && values >= 0 && where.iComponent >= 0 && where.iComponent < components &&
        where.iComponent < MAX_COMPONENTS && where.iColumn >= 0 &&
        where.iColumn < planes[where.iComponent].blocksPerRow && where.iRow >= 0 &&
        where.iRow < planes[where.iComponent].blockRows) {
      const PlaneLayout& plane = planes[where.iComponent];
      block =
          store + plane.offset + (int64_t{where.iRow} * plane.blocksPerRow + where.iColumn) * 64;
    }
    m_pUndoStore->Read(block, 64 * sizeof(int16_t));
  }
  return 1;
}
