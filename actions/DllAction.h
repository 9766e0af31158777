// SPDX-License-Identifier: MIT
// CDllAction: the base of every undoable edit, and MCURect, the rectangle actions save.
#pragma once

#include <cstdint>

#include "actions/EditableImage.h"
#include "tessel/tessel.h"

// A rectangle of MCUs of the image as it is when the record is used; right and bottom are
// exclusive.
struct MCURect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
  MCURect(int32_t l, int32_t t, int32_t r, int32_t b) : left(l), top(t), right(r), bottom(b) {}
  int32_t Width() const { return right - left; }
};

// An edit of the open image that writes what it destroys to the host's undo store and can
// later put everything back.
class CDllAction {
 public:
  CDllAction() = default;
  virtual ~CDllAction() = default;
  CDllAction(const CDllAction&) = delete;
  CDllAction& operator=(const CDllAction&) = delete;

  // Runs the action once against `image` with `store` (which may be null).
  TSL_BOOL Do(EditableImage* image, IUndoStore* store);
  // Reverts a done action; FALSE (nothing changed) when it ran without a store, or when the
  // revert could not get memory, in which case the action stays done and may be undone later.
  TSL_BOOL Undo();
  TSL_BOOL CanUndo() const { return m_pUndoStore != nullptr && m_bDone != 0; }

 protected:
  // Applies the edit, or returns FALSE with the image unchanged.
  virtual TSL_BOOL Execute() = 0;
  // Takes the edit back. FALSE only when memory for the restored store could not be had; the
  // image is then left exactly as the edit made it. Bytes the store cannot deliver do not make
  // it fail: the coefficients they held come back as zeros.
  virtual TSL_BOOL Revert() = 0;

  // Write (or read back) the blocks of an MCU rectangle: for each component and each of its
  // block rows in the rectangle, one contiguous run. FALSE as soon as the store fails; when
  // restoring, the run that failed and every later run of the rectangle are then set to zero,
  // so that the rectangle never holds bytes the store did not deliver.
  TSL_BOOL SaveBlocks(const MCURect& rect);
  TSL_BOOL RestoreBlocks(const MCURect& rect);

  EditableImage* m_pImage = nullptr;   // the image the action works on; set by Do
  IUndoStore* m_pUndoStore = nullptr;  // the store in force when the action ran; may be null
  TSL_BOOL m_bDone = 0;                // non-zero while the action's effect is in place

 private:
  TSL_BOOL TransferBlocks(const MCURect& rect, bool restore);
};
