// SPDX-License-Identifier: MIT
// The coefficient store's array and the layout arithmetic every part of the system shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "image/Jpeg.h"

// Frees an array made by AllocateCoefficients.
struct CoefficientDeleter {
  void operator()(int16_t* values) const noexcept;
};

// One contiguous array of signed 16-bit dequantized DCT coefficients: component after
// component, block rows of whole MCUs, 64 values per block in natural (row-major) order.
using CoefficientArray = std::unique_ptr<int16_t[], CoefficientDeleter>;

// The largest coefficient count a store may hold (the count is a signed 32-bit value).
inline constexpr int64_t kMaxCoefficientCount = 2147483647;

// Allocates `count` values without initialising them. Large arrays are aligned to 2 MiB and
// advised as huge pages, so faulting them in costs one fault per 2 MiB instead of per 4 KiB.
// Returns null when the memory cannot be had (never throws).
CoefficientArray AllocateCoefficients(size_t count) noexcept;

// The same, with every value zero. Large arrays come straight from the kernel's zeroed pages,
// so nothing is written until the values are used.
CoefficientArray AllocateZeroedCoefficients(size_t count) noexcept;

// Plane geometry of one component in the store.
struct PlaneLayout {
  int32_t blocksPerRow;  // Bc: MCU columns times h
  int32_t blockRows;     // Rc: MCU rows times v
  int64_t offset;        // Oc: index of the plane's first value in the store
  int64_t Values() const { return int64_t{64} * blocksPerRow * blockRows; }
};

// Layout of a store for an image of `width` x `height` pixels described by `info` (its
// components' sampling factors and the largest factors). Returns the total value count, or -1
// when it exceeds kMaxCoefficientCount. `planes` receives one entry per component (at most
// MAX_COMPONENTS entries are written; it may be null).
int64_t ComputeStoreLayout(const jpeg_decompress_struct& info, int64_t width, int64_t height,
                           PlaneLayout* planes);

// Ceiling division for non-negative values.
constexpr int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }
