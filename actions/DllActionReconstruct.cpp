// SPDX-License-Identifier: MIT
// CDllActionReconstruct: the filter passes and their undo.
#include "actions/DllActionReconstruct.h"

#include <memory>
#include <new>

#include "jpeg/CoefficientStore.h"
#include "pixels/DCT.h"

MCURect CDllActionReconstruct::WholeImage() const {
  const std::optional<StoreGeometry> geometry = m_pImage->Geometry();
  if (!geometry) return MCURect(0, 0, 0, 0);
  return MCURect(0, 0, static_cast<int32_t>(geometry->mcuColumns),
                 static_cast<int32_t>(geometry->mcuRows));
}

TSL_BOOL CDllActionReconstruct::Execute() {
  int16_t* store = m_pImage->Coefficients();
  if (store == nullptr) return 0;
  CDCT dct(m_pImage->HeaderDecompressor());
  if (!dct.CanReconstruct() || !dct.StoreHolds(m_pImage->CoefficientCount())) return 0;
  // The bands of every pass are had before anything changes, so that running out of memory
  // leaves the image as it was.
  std::unique_ptr<int32_t[]> bands(new (std::nothrow)
                                       int32_t[static_cast<size_t>(dct.ReconstructBandValues())]);
  if (bands == nullptr) return 0;
  if (m_pUndoStore != nullptr) SaveBlocks(WholeImage());
  for (int32_t pass = 0; pass < m_iPasses; ++pass) {
    // A stop asked for by the progress function ends the edit, not the action: the rows done
    // stay rewritten and Undo restores the whole image.
    if (dct.ReconstructCoefficients(store, m_pProgress, bands.get()) != 1) break;
  }
  return 1;
}

TSL_BOOL CDllActionReconstruct::Revert() {
  RestoreBlocks(WholeImage());
  return 1;
}
