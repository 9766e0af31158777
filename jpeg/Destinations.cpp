// SPDX-License-Identifier: MIT
// The counting, memory and fixed destinations. Their operations are library callbacks: they own no
// object with a destructor, since a library error leaves them through longjmp.
#include "jpeg/Destinations.h"

namespace {

CountingDestination* Counting(j_compress_ptr cinfo) {
  return reinterpret_cast<CountingDestination*>(cinfo->dest);
}

MemoryDestination* Memory(j_compress_ptr cinfo) {
  return reinterpret_cast<MemoryDestination*>(cinfo->dest);
}

// A fatal error of a destination: message code 0 and the error record's exit.
[[noreturn]] void Fail(j_compress_ptr cinfo) {
  cinfo->err->msg_code = 0;
  cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
  // error_exit never returns; this keeps the promise of [[noreturn]] if it did.
  __builtin_unreachable();
}

// Neither start nor end of a stream needs work here.
void Nothing(j_compress_ptr) {}

boolean EmptyCounting(j_compress_ptr cinfo) {
  CountingDestination* dest = Counting(cinfo);
  dest->total += dest->size;
  dest->mgr.next_output_byte = dest->buffer;
  dest->mgr.free_in_buffer = static_cast<size_t>(dest->size);
  return TRUE;
}

void TermCounting(j_compress_ptr cinfo) {
  CountingDestination* dest = Counting(cinfo);
  dest->total += dest->size - static_cast<int64_t>(dest->mgr.free_in_buffer);
}

boolean EmptyMemory(j_compress_ptr cinfo) {
  MemoryDestination* dest = Memory(cinfo);
  if (dest->wrapped) Fail(cinfo);
  dest->wrapped = 1;
  dest->mgr.next_output_byte = dest->buffer;
  dest->mgr.free_in_buffer = static_cast<size_t>(dest->capacity);
  return TRUE;
}

void TermMemory(j_compress_ptr cinfo) {
  MemoryDestination* dest = Memory(cinfo);
  if (dest->wrapped && dest->mgr.free_in_buffer != static_cast<size_t>(dest->capacity)) {
    Fail(cinfo);
  }
}

// The fixed buffer is full: the stream does not fit.
boolean EmptyFixed(j_compress_ptr cinfo) { Fail(cinfo); }

// Sets a manager's operations and points it at the `size` bytes at `buffer`.
void Point(jpeg_destination_mgr* mgr, JOCTET* buffer, int32_t size,
           boolean (*empty)(j_compress_ptr), void (*term)(j_compress_ptr)) {
  mgr->init_destination = Nothing;
  mgr->empty_output_buffer = empty;
  mgr->term_destination = term;
  mgr->next_output_byte = buffer;
  mgr->free_in_buffer = static_cast<size_t>(size);
}

}  // namespace

void InitCountingDestination(CountingDestination* dest, JOCTET* scratch, int32_t size) {
  Point(&dest->mgr, scratch, size, EmptyCounting, TermCounting);
  dest->buffer = scratch;
  dest->size = size;
  dest->total = 0;
}

void InitMemoryDestination(MemoryDestination* dest, JOCTET* buffer, int32_t capacity) {
  Point(&dest->mgr, buffer, capacity, EmptyMemory, TermMemory);
  dest->buffer = buffer;
  dest->capacity = capacity;
  dest->wrapped = 0;
}

void InitFixedDestination(FixedDestination* dest, JOCTET* buffer, int32_t capacity) {
  Point(&dest->mgr, buffer, capacity, EmptyFixed, Nothing);
  dest->buffer = buffer;
  dest->capacity = capacity;
}
