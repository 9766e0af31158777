// SPDX-License-Identifier: MIT
// The error record: a JPEG library error manager whose fatal errors jump back to the caller.
#pragma once

#include <csetjmp>
#include <cstdio>

#include "jpeg/Jpeg.h"

// The library's error manager followed by a jump buffer. A fatal library error leaves through
// longjmp to the buffer, so code between the setjmp and the library calls must not own objects
// with destructors (see TSL_ARM_ERRORS).
struct ErrorRecord {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

// Prepares the record with jpeg_std_error and replaces error_exit (jump back) and
// output_message (silent). Returns the manager to store in a library object's `err`.
jpeg_error_mgr* PrepareErrorRecord(ErrorRecord& record);

// Arms the record's jump buffer in the calling function. Evaluates to false on the direct path
// and to true when a fatal library error jumped back. Must be used in the function that owns
// the library objects, as `if (TSL_ARM_ERRORS(record)) { clean up; return failure; }`.
#define TSL_ARM_ERRORS(record) (setjmp((record).jump) != 0)
