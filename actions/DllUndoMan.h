// SPDX-License-Identifier: MIT
// CDllUndoMan: runs actions, keeps those that succeeded, and reverts the newest on request.
#pragma once

#include <memory>
#include <vector>

#include "actions/DllAction.h"
#include "actions/EditableImage.h"

class CDllUndoMan {
 public:
  explicit CDllUndoMan(EditableImage* image) : m_pImage(image) {}
  virtual ~CDllUndoMan() { Clear(); }
  CDllUndoMan(const CDllUndoMan&) = delete;
  CDllUndoMan& operator=(const CDllUndoMan&) = delete;

  // Kept actions keep the store they ran with.
  void SetUndoStore(IUndoStore* store) { m_pUndoStore = store; }
  // Takes ownership of `action` in every case (a null action is refused).
  TSL_BOOL DoAction(CDllAction* action);
  // Reverts and drops the newest action. FALSE when there is none, or when its revert could not
  // get memory: the image and the action are then kept as they were.
  TSL_BOOL Undo();
  // Destroys every kept action, oldest first. The store is not told.
  void Clear();

 private:
  EditableImage* m_pImage;                              // the owning image object
  IUndoStore* m_pUndoStore = nullptr;                   // handed to every action that runs
  std::vector<std::unique_ptr<CDllAction>> m_vActions;  // done actions, oldest first
};
