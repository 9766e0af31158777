// SPDX-License-Identifier: MIT
// Cropping (and extending) the coefficient store by whole MCUs, and the revert.
#include "actions/DllActionCrop.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "actions/NewStore.h"
#include "jpeg/CoefficientStore.h"

namespace {

// Copies a window of MCU columns of one plane row by row between two grids. Block row k of
// `to` shows block row `rowOffset + k` of `from`, and MCU column p of `to` shows MCU column
// `columnOffset + p` of `from`; what `from` does not cover is zero when `zeroOutside`, else left
// as it is.
struct GridCopy {
  const int16_t* from;
  int64_t fromColumns, fromRows;  // MCU columns and block rows of `from`
  int16_t* to;
  int64_t toColumns, toRows;  // MCU columns and block rows of `to`
  int64_t columnOffset, rowOffset;
  int64_t h;  // blocks per MCU column
  bool zeroOutside;

  void Run() const {
    const int64_t blockValues = 64 * h;  // values of one MCU column in one block row
    for (int64_t k = 0; k < toRows; ++k) {
      int16_t* out = to + k * toColumns * blockValues;
      const int64_t l = rowOffset + k;
      if (l < 0 || l >= fromRows) {
        if (zeroOutside) std::memset(out, 0, toColumns * blockValues * sizeof(int16_t));
        continue;
      }
      const int64_t first = std::clamp<int64_t>(columnOffset, 0, fromColumns);
      const int64_t last = std::clamp<int64_t>(columnOffset + toColumns, 0, fromColumns);
      const int64_t start = std::clamp<int64_t>(first - columnOffset, 0, toColumns);
      const int64_t count = std::max<int64_t>(last - first, 0);
      if (zeroOutside) {
        std::memset(out, 0, start * blockValues * sizeof(int16_t));
        std::memset(out + (start + count) * blockValues, 0,
                    (toColumns - start - count) * blockValues * sizeof(int16_t));
      }
      if (count > 0) {
        std::memcpy(out + start * blockValues, from + (l * fromColumns + first) * blockValues,
                    count * blockValues * sizeof(int16_t));
      }
    }
  }
};

// Truncating division toward zero, as C's.
int64_t DivTrunc(int64_t a, int64_t b) { return a / b; }

}  // namespace

CDllActionCrop::Window CDllActionCrop::WindowOf(const StoreGeometry& old) const {
  Window w{};
  w.left = m_iLeft / old.mcuWidth;
  w.top = m_iTop / old.mcuHeight;
  w.right = w.left + CeilDiv(int64_t{m_iRight} - m_iLeft, old.mcuWidth);
  w.bottom = w.top + CeilDiv(int64_t{m_iBottom} - m_iTop, old.mcuHeight);
  w.columns = old.mcuColumns;
  w.rows = old.mcuRows;
  return w;
}

void CDllActionCrop::TransferBands(const Window& w, bool restore) {
  const auto i32 = [](int64_t v) { return static_cast<int32_t>(v); };
  const int64_t c0 = w.columns, r0 = w.rows;
  // At most four bands; a fixed array, so that a revert never needs memory once it has begun.
  MCURect bands[4] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
  int count = 0;
  if (w.top > 0) bands[count++] = MCURect(0, 0, i32(c0), i32(std::min(w.top, r0)));
  const bool middle = w.top < r0 && w.bottom >= 0;
  const int64_t middleTop = std::max<int64_t>(w.top, 0), middleBottom = std::min(w.bottom, r0);
  if (middle && w.left > 0)
    bands[count++] = MCURect(0, i32(middleTop), i32(std::min(w.left, c0)), i32(middleBottom));
  if (middle && w.right < c0)
    bands[count++] =
        MCURect(i32(std::max<int64_t>(w.right, 0)), i32(middleTop), i32(c0), i32(middleBottom));
  if (w.bottom < r0)
    bands[count++] = MCURect(0, i32(std::max<int64_t>(w.bottom, 0)), i32(c0), i32(r0));
  for (int i = 0; i < count; ++i) {
    const MCURect& band = bands[i];
    if (restore) {
      RestoreBlocks(band);
    } else {
      SaveBlocks(band);
    }
  }
}

TSL_BOOL CDllActionCrop::Execute() {
  const std::optional<StoreGeometry> old = m_pImage->Geometry();
  if (!old) return 0;
  // Align the left and top edges (truncating toward zero) and never let the image be empty.
  const int64_t left = DivTrunc(m_iLeft, old->mcuWidth) * old->mcuWidth;
  const int64_t top = DivTrunc(m_iTop, old->mcuHeight) * old->mcuHeight;
  const int64_t right = std::max<int64_t>(m_iRight, left + 1);
  const int64_t bottom = std::max<int64_t>(m_iBottom, top + 1);
  // The new size must be an image size and its store countable in 32 bits; refuse before
  // anything changes.
  if (right - left > INT32_MAX || bottom - top > INT32_MAX) return 0;
  jpeg_decompress_struct& info = *m_pImage->HeaderDecompressor();
  const std::optional<StoreGeometry> shape =
      StoreGeometry::ForImage(info, right - left, bottom - top);
  std::optional<NewStore> store = shape ? NewStore::Allocate(*shape) : std::nullopt;
  if (!store) return 0;

  m_iLeft = static_cast<int32_t>(left);
  m_iTop = static_cast<int32_t>(top);
  m_iRight = static_cast<int32_t>(right);
  m_iBottom = static_cast<int32_t>(bottom);
  m_iWidthBefore = m_pImage->Width();
  m_iHeightBefore = m_pImage->Height();
  m_counts.Capture(info);
  const Window w = WindowOf(*old);
  if (m_pUndoStore != nullptr) TransferBands(w, false);
  CopyWindow(*old, w, *shape, store->Values(), true);
  store->HandTo(*m_pImage);
  for (int c = 0; c < shape->components; ++c) {
    info.comp_info[c].width_in_blocks = static_cast<JDIMENSION>(shape->planes[c].blocksPerRow);
    info.comp_info[c].height_in_blocks = static_cast<JDIMENSION>(shape->planes[c].blockRows);
  }
  return 1;
}

TSL_BOOL CDllActionCrop::Revert() {
  const std::optional<StoreGeometry> current = m_pImage->Geometry();
  const std::optional<StoreGeometry> old =
      StoreGeometry::ForImage(*m_pImage->HeaderDecompressor(), m_iWidthBefore, m_iHeightBefore);
  std::optional<NewStore> store = current && old ? NewStore::Allocate(*old) : std::nullopt;
  if (!store) return 0;

  // The window goes back into the old grid; the bands around it are read from the store below.
  const Window w = WindowOf(*old);
  CopyWindow(*old, w, *current, store->Values(), false);
  store->HandTo(*m_pImage);
  m_counts.Restore(*m_pImage->HeaderDecompressor());
  TransferBands(w, true);
  return 1;
}

void CDllActionCrop::CopyWindow(const StoreGeometry& old, const Window& w,
                                const StoreGeometry& cropped, int16_t* to, bool toCropped) {
  const int16_t* from = m_pImage->Coefficients();
  for (int c = 0; c < old.components; ++c) {
    const PlaneGeometry& outer = old.planes[c];
    const PlaneGeometry& inner = cropped.planes[c];
    GridCopy copy{};
    copy.h = outer.h;
    if (toCropped) {
      // Block row k of the window shows block row (top x v + k) of the old grid.
      copy.from = from + outer.offset;
      copy.fromColumns = w.columns;
      copy.fromRows = outer.blockRows;
      copy.to = to + inner.offset;
      copy.toColumns = w.right - w.left;
      copy.toRows = inner.blockRows;
      copy.columnOffset = w.left;
      copy.rowOffset = w.top * outer.v;
      copy.zeroOutside = true;
    } else {
      copy.from = from + inner.offset;
      copy.fromColumns = w.right - w.left;
      copy.fromRows = inner.blockRows;
      copy.to = to + outer.offset;
      copy.toColumns = w.columns;
      copy.toRows = outer.blockRows;
      copy.columnOffset = -w.left;
      copy.rowOffset = -w.top * outer.v;
      copy.zeroOutside = false;
    }
    copy.Run();
  }
}
