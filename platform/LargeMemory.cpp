// SPDX-License-Identifier: MIT
// Large allocations through the C library, with transparent huge pages asked for by madvise.
#include "platform/LargeMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

void* AllocateLarge(size_t bytes) noexcept {
  if (bytes < kHugePage) return std::malloc(bytes);
  // aligned_alloc wants a size that is a multiple of the alignment.
  if (bytes > SIZE_MAX - kHugePage) return nullptr;
  const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* memory = std::aligned_alloc(kHugePage, rounded);
  if (memory != nullptr) madvise(memory, rounded, MADV_HUGEPAGE);
  return memory;
}

void* AllocateLargeZeroed(size_t count, size_t size) noexcept {
  void* memory = std::calloc(count, size);
  if (memory == nullptr) return nullptr;
  const size_t bytes = count * size;
  if (bytes >= 2 * kHugePage) {
    // Huge pages can back the 2 MiB-aligned part inside the block.
    const uintptr_t start = reinterpret_cast<uintptr_t>(memory);
    const uintptr_t first = (start + kHugePage - 1) / kHugePage * kHugePage;
    const uintptr_t last = (start + bytes) / kHugePage * kHugePage;
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
  return memory;
}

void FreeLarge(void* memory) noexcept { std::free(memory); }
