// SPDX-License-Identifier: MIT
// An undo store for tests: one record per edit call, undone last in first out, with a log of
// the size of every Write and Read so that tests can check what an edit saved.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "tessel/tessel.h"

namespace fixtures {

class UndoRecorder final : public IUndoStore {
 public:
  // Starts the record of one edit call.
  void BeginEdit() {
    records_.emplace_back();
    writes.clear();
  }
  // A failed edit call leaves no record.
  void EndEdit(bool succeeded) {
    if (!succeeded && !records_.empty()) records_.pop_back();
  }
  // Undoes the newest edit of `image`, reading the newest record from its start; the record
  // is spent afterwards. Returns Undo's result.
  TSL_BOOL Undo(ITessel* image) {
    reads.clear();
    readPos_ = 0;
    const TSL_BOOL result = image->Undo();
    if (!records_.empty()) records_.pop_back();
    return result;
  }

  TSL_BOOL Write(const void* data, uint32_t size) override {
    if (records_.empty()) return 0;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    records_.back().insert(records_.back().end(), bytes, bytes + size);
    writes.push_back(size);
    return 1;
  }

  TSL_BOOL Read(void* data, uint32_t size) override {
    if (records_.empty() || readPos_ + size > records_.back().size()) return 0;
    std::memcpy(data, records_.back().data() + readPos_, size);
    readPos_ += size;
    reads.push_back(size);
    return 1;
  }

  // The newest record's bytes.
  const std::vector<uint8_t>& Record() const { return records_.back(); }
  size_t Records() const { return records_.size(); }

  std::vector<uint32_t> writes;  // sizes of the Write calls of the current edit
  std::vector<uint32_t> reads;   // sizes of the Read calls of the last Undo

 private:
  std::vector<std::vector<uint8_t>> records_;
  size_t readPos_ = 0;
};

}  // namespace fixtures
