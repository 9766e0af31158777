// SPDX-License-Identifier: MIT
// CDllAction: running, reverting, and the rectangle helpers SaveBlocks and RestoreBlocks.
#include "actions/DllAction.h"

#include <cstring>

#include "image/CoefficientStore.h"
#include "image/DllImage.h"

TSL_BOOL CDllAction::Do(CDllImage* image, IUndoStore* store) {
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
  const jpeg_decompress_struct& info = *m_pImage->HeaderDecompressor();
  PlaneLayout planes[MAX_COMPONENTS];
  if (ComputeStoreLayout(info, m_pImage->Width(), m_pImage->Height(), planes) < 0) return 0;
  int16_t* store = m_pImage->Coefficients();
  const int components =
      info.num_components < MAX_COMPONENTS ? info.num_components : MAX_COMPONENTS;
  bool failed = false;
  for (int c = 0; c < components; ++c) {
    const int h = info.comp_info[c].h_samp_factor;
    const int v = info.comp_info[c].v_samp_factor;
    const PlaneLayout& plane = planes[c];
    const uint32_t bytes = static_cast<uint32_t>(rect.Width()) * h * 64 * sizeof(int16_t);
    for (int64_t row = int64_t{rect.top} * v; row < int64_t{rect.bottom} * v; ++row) {
      int16_t* run =
          store + plane.offset + (row * plane.blocksPerRow + int64_t{rect.left} * h) * 64;
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
