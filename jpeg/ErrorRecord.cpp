// SPDX-License-Identifier: MIT
// The error record's two replaced operations.
#include "jpeg/ErrorRecord.h"

namespace {

// Never returns to the library: the record that the failing object points to is reached
// through its error manager, which is the record's first member.
[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* record = reinterpret_cast<ErrorRecord*>(cinfo->err);
  std::longjmp(record->jump, 1);
}

// Warnings (corrupt data the library can decode past) neither stop the work nor show anything.
void OutputMessage(j_common_ptr) {}

}  // namespace

jpeg_error_mgr* PrepareErrorRecord(ErrorRecord& record) {
  jpeg_error_mgr* mgr = jpeg_std_error(&record.mgr);
  mgr->error_exit = ErrorExit;
  mgr->output_message = OutputMessage;
  return mgr;
}
