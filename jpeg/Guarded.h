// SPDX-License-Identifier: MIT
// Guarded: runs the body of an interface method so that no exception leaves it.
#pragma once

// Nothing is thrown across the interface: a method that runs out of memory (or meets any other
// exception) returns its failure result instead. The JPEG library's fatal errors take the other
// way out, through the error record (jpeg/ErrorRecord.h).
template <typename Result, typename Body>
Result Guarded(Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}
