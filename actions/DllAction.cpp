// SPDX-License-Identifier: MIT
// CDllAction: running, reverting, and the rectangle helpers SaveBlocks and RestoreBlocks.
#include "actions/DllAction.h"

#include <cstring>

#include "jpeg/CoefficientStore.h"

TSL_BOOL CDllAction::Do(EditableImage* image, IUndoStore* store) {
  if (m_bDone) return 0;
  m_pImage = image;
  m_pUndoStore = store;
  m_bDone = Execute() ? 1 : 0;
  return m_bDone;
}

TSL_BOOL CDllAction::Undo() {
  if (!CanUndo()) return 0;
  if (!Revert()) return 0;
  m_bDone = 0;
  return 1;
}

TSL_BOOL CDllAction::SaveBlocks(const MCURect& rect) { return TransferBlocks(rect, false); }

TSL_BOOL CDllAction::RestoreBlocks(const MCURect& rect) { return TransferBlocks(rect, true); }

TSL_BOOL CDllAction::TransferBlocks(const MCURect& rect, bool restore) {
  if (m_pUndoStore == nullptr) return 0;
  if (rect.Width() <= 0 || rect.bottom <= rect.top) return 1;
  const std::optional<StoreGeometry> geometry = m_pImage->Geometry();
  if (!geometry) return 0;
  int16_t* store = m_pImage->Coefficients();
  bool failed = false;
  for (int c = 0; c < geometry->components; ++c) {
    const PlaneGeometry& plane = geometry->planes[c];
    const int h = plane.h;
    const int v = plane.v;
    const uint32_t bytes = static_cast<uint32_t>(rect.Width()) * h * 64 * sizeof(int16_t);
    for (int64_t row = int64_t{rect.top} * v; row < int64_t{rect.bottom} * v; ++row) {
      int16_t* run = store + plane.BlockIndex(row, int64_t{rect.left} * h);
      if (failed) {
        // Only reached when restoring: what the store could not deliver becomes zero.
        std::memset(run, 0, bytes);
        continue;
      }
      const TSL_BOOL ok =
          restore ? m_pUndoStore->Read(run, bytes) : m_pUndoStore->Write(run, bytes);
      if (ok) continue;
      if (!restore) return 0;
      failed = true;
      std::memset(run, 0, bytes);
    }
  }
  return failed ? 0 : 1;
}
