// SPDX-License-Identifier: MIT
// Allocation of the coefficient array and the store layout formulas.
#include "image/CoefficientStore.h"

#include <sys/mman.h>

#include <cstdlib>

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

void CoefficientDeleter::operator()(int16_t* values) const noexcept { std::free(values); }

CoefficientArray AllocateCoefficients(size_t count) noexcept {
  if (count == 0) count = 1;
  if (count > SIZE_MAX / sizeof(int16_t)) return CoefficientArray();
  size_t bytes = count * sizeof(int16_t);
  void* memory = nullptr;
  if (bytes >= kHugePage) {
    // aligned_alloc wants a size that is a multiple of the alignment.
    size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    memory = std::aligned_alloc(kHugePage, rounded);
    if (memory != nullptr) madvise(memory, rounded, MADV_HUGEPAGE);
  } else {
    memory = std::malloc(bytes);
  }
  return CoefficientArray(static_cast<int16_t*>(memory));
}

CoefficientArray AllocateZeroedCoefficients(size_t count) noexcept {
  if (count == 0) count = 1;
  void* memory = std::calloc(count, sizeof(int16_t));
  if (memory == nullptr) return CoefficientArray();
  const size_t bytes = count * sizeof(int16_t);
  if (bytes >= 2 * kHugePage) {
    // Huge pages can back the 2 MiB-aligned part inside the block.
    const uintptr_t start = reinterpret_cast<uintptr_t>(memory);
    const uintptr_t first = (start + kHugePage - 1) / kHugePage * kHugePage;
    const uintptr_t last = (start + bytes) / kHugePage * kHugePage;
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
  return CoefficientArray(static_cast<int16_t*>(memory));
}

int64_t ComputeStoreLayout(const jpeg_decompress_struct& info, int64_t width, int64_t height,
                           PlaneLayout* planes) {
  const int64_t mcuWidth = int64_t{8} * info.max_h_samp_factor;
  const int64_t mcuHeight = int64_t{8} * info.max_v_samp_factor;
  if (mcuWidth <= 0 || mcuHeight <= 0 || width < 0 || height < 0) return -1;
  const int64_t mcuColumns = CeilDiv(width, mcuWidth);
  const int64_t mcuRows = CeilDiv(height, mcuHeight);
  int64_t total = 0;
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& comp = info.comp_info[c];
    const int64_t blocksPerRow = mcuColumns * comp.h_samp_factor;
    const int64_t blockRows = mcuRows * comp.v_samp_factor;
    // Widths and heights are 32-bit and factors at most 4, so each count fits in 34 bits; test
    // them before multiplying so that no product can wrap.
    if (blocksPerRow > INT32_MAX || blockRows > INT32_MAX ||
        blocksPerRow * blockRows > kMaxCoefficientCount / 64) {
      return -1;
    }
    const int64_t values = 64 * blocksPerRow * blockRows;
    if (total + values > kMaxCoefficientCount) return -1;
    if (planes != nullptr && c < MAX_COMPONENTS) {
      planes[c] =
          PlaneLayout{static_cast<int32_t>(blocksPerRow), static_cast<int32_t>(blockRows), total};
    }
    total += values;
  }
  return total;
}
