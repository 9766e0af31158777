// SPDX-License-Identifier: MIT
// The coefficient reconstruction filter: smooths block edges in the coefficient domain while
// every coefficient keeps the quantization level it had.
//
// Each component is filtered on its own, at its own resolution. Every 8x8 window whose top-left
// pixel has an even sum of row and column is forward-transformed, re-quantized with the
// component's table and transformed back; every pixel becomes the average of the windows that
// cover it, and the block of averages is transformed and clamped into the quantization cells
// of the coefficients it replaces. Windows only look right and down from the block they start
// in, so block (by, bx) is rewritten right after the last window over any of its pixels, and
// the pass reads exactly what an unchanged store would give. Window sums are collected in two
// bands of eight pixel rows: the current block row's, and what its windows spill into the
// next one. Windows that reach past the right or bottom edge read mid-grey (all-zero blocks),
// and their sums outside the grid are dropped.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "pixels/DCT.h"
#include "pixels/QuantizationCell.h"

namespace {

// The band memory reaches one block column past the right edge.
int64_t BandRowLength(int64_t blocksPerRow) { return 8 * blocksPerRow + 8; }

// Component k's quantization steps: 64 in natural order.
const UINT16* StepsOf(const jpeg_decompress_struct& info, int k) {
  return info.quant_tbl_ptrs[info.comp_info[k].quant_tbl_no]->quantval;
}

bool ValidQuantTable(const jpeg_decompress_struct& info, int number) {
  return number >= 0 && number < NUM_QUANT_TBLS && info.quant_tbl_ptrs[number] != nullptr;
}

}  // namespace

bool CDCT::CanReconstruct() const {
  const jpeg_decompress_struct& info = *m_pInfo;
  if (info.num_components < 1 || info.num_components > kMaxComponents) return false;
  if (!StoreGeometry::ForBlockCounts(info)) return false;
  for (int k = 0; k < info.num_components; ++k) {
    const jpeg_component_info& c = info.comp_info[k];
    if (c.h_samp_factor < 1 || c.h_samp_factor > kMaxDecodeFactor || c.v_samp_factor < 1 ||
        c.v_samp_factor > kMaxDecodeFactor || !ValidQuantTable(info, c.quant_tbl_no)) {
      return false;
    }
  }
  return true;
}

int64_t CDCT::ReconstructBandValues() const {
  if (!CanReconstruct()) return 0;
  const std::optional<StoreGeometry> geometry = StoreGeometry::ForBlockCounts(*m_pInfo);
  int64_t widest = 0;
  for (int k = 0; k < geometry->components; ++k) {
    widest = std::max<int64_t>(widest, geometry->planes[k].blocksPerRow);
  }
  return 2 * 8 * BandRowLength(widest);
}

int32_t CDCT::ReconstructCoefficients(int16_t* store, TesselProgressFunc progress, int32_t* bands) {
  if (store == nullptr || !CanReconstruct()) return -1;
  std::unique_ptr<int32_t[]> own;
  if (bands == nullptr) {
    own.reset(new (std::nothrow) int32_t[static_cast<size_t>(ReconstructBandValues())]);
    if (own == nullptr) return -1;
    bands = own.get();
  }
  const std::optional<StoreGeometry> geometry = StoreGeometry::ForBlockCounts(*m_pInfo);
  int64_t total = 0;
  for (int k = 0; k < geometry->components; ++k) total += geometry->planes[k].blockRows;
  int64_t done = 0;
  for (int k = 0; k < geometry->components; ++k) {
    if (!ReconstructComponent(k, geometry->planes[k], store, bands, &done, total, progress)) {
      return 0;
    }
  }
  return 1;
}

namespace {

// The 16 x 16 samples of blocks (by, bx) to (by + 1, bx + 1), mid-grey beyond the grid.
void FillExtraSamples(const CDCT& dct, const int16_t* section, const PlaneGeometry& plane,
                      int64_t by, int64_t bx, uint8_t* extra) {
  static const int16_t aiDummyCoefs[64] = {};
  for (int dy = 0; dy < 2; ++dy) {
    for (int dx = 0; dx < 2; ++dx) {
      const bool inside = by + dy < plane.blockRows && bx + dx < plane.blocksPerRow;
      const int16_t* block =
          inside ? section + ((by + dy) * plane.blocksPerRow + bx + dx) * 64 : aiDummyCoefs;
      uint8_t samples[64];
      dct.InverseBlock(block, samples);
      for (int i = 0; i < 8; ++i)
        std::memcpy(extra + (8 * dy + i) * 16 + 8 * dx, samples + 8 * i, 8);
    }
  }
}

// Pulls each new coefficient into the cell of the stored one and writes it over the block. A
// step of 0 has no cells: that coefficient keeps its stored value.
void ClampIntoCells(const int16_t* fresh, const UINT16* steps, int16_t* block) {
  for (int i = 0; i < 64; ++i) {
    const int32_t q = steps[i];
    if (q == 0) continue;
    const QuantizationCell cell = CellOf(block[i], q);
    const int32_t value = std::max(std::min(int32_t{fresh[i]}, cell.high), cell.low);
    block[i] = static_cast<int16_t>(value);
  }
}

}  // namespace

bool CDCT::ReconstructComponent(int k, const PlaneGeometry& plane, int16_t* store, int32_t* bands,
                                int64_t* done, int64_t total, TesselProgressFunc progress) {
  int16_t* section = store + plane.offset;
  const UINT16* steps = StepsOf(*m_pInfo, k);
  const int64_t rowLen = BandRowLength(plane.blocksPerRow);
  const size_t bandValues = static_cast<size_t>(8 * rowLen);
  int32_t* current = bands;
  int32_t* next = bands + bandValues;
  std::fill(bands, bands + 2 * bandValues, 0);
  uint8_t* slot = m_aiMCU + EncodeBlockOffset(k, 0, 0, 1);
  const StepDivisors divisors(steps);
  uint8_t aiExtraSamples[16 * 16];
  uint8_t aiDCT[64];
  int16_t block[64];
  for (int64_t by = 0; by < plane.blockRows; ++by) {
    std::swap(current, next);
    std::fill(next, next + bandValues, 0);
    for (int64_t bx = 0; bx < plane.blocksPerRow; ++bx) {
      FillExtraSamples(*this, section, plane, by, bx, aiExtraSamples);
      // The 32 windows that start in this block: offsets with an even sum.
      for (int sy = 0; sy < 8; ++sy) {
        for (int sx = sy & 1; sx < 8; sx += 2) {
          for (int i = 0; i < 8; ++i)
            std::memcpy(slot + 8 * i, aiExtraSamples + (sy + i) * 16 + sx, 8);
          ForwardBlock(k, 0, 0, block);
          divisors.Requantize(block);
          InverseBlock(block, aiDCT);
          for (int i = 0; i < 8; ++i) {
            const int row = sy + i;
            int32_t* sums =
                (row < 8 ? current + row * rowLen : next + (row - 8) * rowLen) + 8 * bx + sx;
            for (int j = 0; j < 8; ++j) sums[j] += aiDCT[8 * i + j];
          }
        }
      }
      // Every pixel of the block is now covered by all its windows: average them. Only the
      // first block row and column see fewer than 8 x 8 window positions.
      for (int i = 0; i < 8; ++i) {
        const int ny = by > 0 ? 8 : i + 1;
        for (int j = 0; j < 8; ++j) {
          const int nx = bx > 0 ? 8 : j + 1;
          const int count = (nx * ny + 1) / 2;
          slot[8 * i + j] = static_cast<uint8_t>(current[i * rowLen + 8 * bx + j] / count);
        }
      }
      ForwardBlock(k, 0, 0, block);
      ClampIntoCells(block, steps, section + (by * plane.blocksPerRow + bx) * 64);
    }
    ++*done;
    if (progress != nullptr && progress(static_cast<int32_t>(*done * 100 / total)) == 0) {
      return false;
    }
  }
  return true;
}
