// SPDX-License-Identifier: MIT
// Where the JPEG library writes a stream: a byte counter, the host's memory buffer, or a fixed
// buffer of the caller's.
#pragma once

#include <cstdint>

#include "jpeg/Jpeg.h"

// Counts the bytes of a stream without keeping them: the library writes into a scratch buffer
// that is counted and reused each time it fills.
struct CountingDestination {
  jpeg_destination_mgr mgr;  // first member: the library's `dest` points here
  JOCTET* buffer;            // the scratch buffer
  int32_t size;              // its size in bytes
  int64_t total;             // bytes counted so far
};

// Prepares `dest` over `scratch` (`size` bytes). The count can go past 2^31 - 1 without
// overflowing; the caller decides what such a size means.
void InitCountingDestination(CountingDestination* dest, JOCTET* scratch, int32_t size);

// Writes a stream into the caller's buffer. The library asks for more room as soon as the last
// free byte is used, even when no byte follows; that one call is tolerated (the output then
// wraps to the buffer's start), and termination fails if any byte was written after it. A
// stream longer than the capacity therefore ends in a library error, and the buffer's content
// is then unspecified.
struct MemoryDestination {
  jpeg_destination_mgr mgr;  // first member: the library's `dest` points here
  JOCTET* buffer;            // the caller's buffer
  int32_t capacity;          // its size in bytes (positive)
  int32_t wrapped;           // the buffer filled up once
};

// Prepares `dest` over `buffer` of `capacity` bytes (positive).
void InitMemoryDestination(MemoryDestination* dest, JOCTET* buffer, int32_t capacity);

// Writes a stream into a fixed buffer where running out of room is fatal. The library asks for
// more room as soon as the last free byte is used, so a stream must leave a byte to spare.
struct FixedDestination {
  jpeg_destination_mgr mgr;  // first member: the library's `dest` points here
  JOCTET* buffer;            // the caller's buffer
  int32_t capacity;          // its size in bytes (positive)

  // Bytes written so far.
  int32_t Length() const { return capacity - static_cast<int32_t>(mgr.free_in_buffer); }
};

// Prepares `dest` over `buffer` of `capacity` bytes (positive).
void InitFixedDestination(FixedDestination* dest, JOCTET* buffer, int32_t capacity);
