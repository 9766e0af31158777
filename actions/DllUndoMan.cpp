// SPDX-License-Identifier: MIT
// CDllUndoMan: the action list behind every edit and Undo.
#include "actions/DllUndoMan.h"

TSL_BOOL CDllUndoMan::DoAction(CDllAction* action) {
  std::unique_ptr<CDllAction> owned(action);
  if (owned == nullptr || m_pImage == nullptr || m_pImage->Coefficients() == nullptr) return 0;
  // Reserve first, so that keeping a successful action cannot fail after the image changed.
  m_vActions.reserve(m_vActions.size() + 1);
  if (!owned->Do(m_pImage, m_pUndoStore)) return 0;
  m_vActions.push_back(std::move(owned));
  return 1;
}

TSL_BOOL CDllUndoMan::Undo() {
  if (m_vActions.empty()) return 0;
  CDllAction& last = *m_vActions.back();
  // An action that ran without a store cannot be reverted and is dropped all the same; one
  // whose revert could not get memory is still done and stays, so the host may try again.
  if (!last.Undo() && last.CanUndo()) return 0;
  m_vActions.pop_back();
  return 1;
}

void CDllUndoMan::Clear() {
  for (auto& action : m_vActions) action.reset();
  m_vActions.clear();
}
