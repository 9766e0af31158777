// SPDX-License-Identifier: MIT
// The coefficient store's shape: the owning array, where each component's blocks lie in it,
// and the view of an open image that rendering and the writers read.
//
// The store is one contiguous array of signed 16-bit dequantized DCT coefficients: component
// after component, each a plane of block rows of whole MCUs, 64 values per block in natural
// (row-major) order. An image of W x H pixels whose largest sampling factors are Hmax and Vmax
// has ceil(W / 8 Hmax) MCU columns and ceil(H / 8 Vmax) MCU rows; a component sampled h x v
// has h blocks across and v block rows in each MCU. The blocks past the image's right and
// bottom edges are filler: stored, edited and undone like the others, never written to a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "jpeg/Jpeg.h"

// Ceiling division for non-negative values and a positive divisor; cannot overflow.
constexpr int64_t CeilDiv(int64_t value, int64_t divisor) {
  return value / divisor + (value % divisor != 0 ? 1 : 0);
}

// `value` (non-negative) rounded up to a multiple of `multiple` (positive).
constexpr int64_t RoundUp(int64_t value, int64_t multiple) {
  return CeilDiv(value, multiple) * multiple;
}

// The largest coefficient count a store may hold (the count is a signed 32-bit value).
inline constexpr int64_t kMaxCoefficientCount = 2147483647;

// Frees an array made by AllocateCoefficients or AllocateZeroedCoefficients.
struct CoefficientDeleter {
  void operator()(int16_t* values) const noexcept;
};

// The store's values, owned.
using CoefficientArray = std::unique_ptr<int16_t[], CoefficientDeleter>;

// Allocates `count` values without initialising them. Returns null when the memory cannot be
// had (never throws).
CoefficientArray AllocateCoefficients(size_t count) noexcept;

// The same, with every value zero.
CoefficientArray AllocateZeroedCoefficients(size_t count) noexcept;

// The sampling factors that shape the store besides the image's size.
struct SamplingFactors {
  int components = 0;          // 1 to MAX_COMPONENTS
  int hMax = 0;                // largest horizontal factor: an MCU is 8 hMax pixels wide
  int vMax = 0;                // largest vertical factor: an MCU is 8 vMax pixels high
  int h[MAX_COMPONENTS] = {};  // each component's blocks across one MCU
  int v[MAX_COMPONENTS] = {};  // each component's block rows in one MCU

  // The factors of a header decompressor (its first MAX_COMPONENTS components).
  static SamplingFactors Of(const jpeg_decompress_struct& info);
  // The factors of `count` component records, the largest ones taken from them.
  static SamplingFactors Of(const jpeg_component_info* components, int count);
  // One component sampled 1 x 1: a grayscale image.
  static SamplingFactors Gray();
};

// Where one component's blocks lie in the store.
struct PlaneGeometry {
  int32_t h = 0;             // blocks across one MCU (the component's horizontal factor)
  int32_t v = 0;             // block rows in one MCU (its vertical factor)
  int32_t blocksPerRow = 0;  // MCU columns x h
  int32_t blockRows = 0;     // MCU rows x v
  int64_t offset = 0;        // index of the plane's first value in the store

  int64_t Blocks() const { return int64_t{blocksPerRow} * blockRows; }
  int64_t Values() const { return 64 * Blocks(); }
  // Index in the store of the first value of block (row, column) of the plane.
  int64_t BlockIndex(int64_t row, int64_t column) const {
    return offset + (row * blocksPerRow + column) * 64;
  }
};

// The shape of a whole store: its MCU grid and one plane per component, in component order.
struct StoreGeometry {
  int components = 0;
  int32_t mcuWidth = 0;   // pixels: 8 hMax
  int32_t mcuHeight = 0;  // pixels: 8 vMax
  int64_t mcuColumns = 0;
  int64_t mcuRows = 0;
  int64_t width = 0;   // the image's width in pixels (whole MCUs for ForBlockCounts)
  int64_t height = 0;  // its height likewise
  int64_t values = 0;  // the store's value count: every plane's values
  PlaneGeometry planes[MAX_COMPONENTS];

  // The store of a `width` x `height` image sampled as given. Empty when a factor or a side is
  // out of range, or when a plane or the store would hold more than kMaxCoefficientCount
  // values.
  static std::optional<StoreGeometry> ForImage(const SamplingFactors& sampling, int64_t width,
                                               int64_t height);
  static std::optional<StoreGeometry> ForImage(const jpeg_decompress_struct& info, int64_t width,
                                               int64_t height) {
    return ForImage(SamplingFactors::Of(info), width, height);
  }
  // The store a header decompressor's block counts call for: the MCU grid that holds every
  // component's width_in_blocks x height_in_blocks blocks. The edits keep those counts in
  // whole MCUs or at the image's own, so this is the image's store; it is what a header alone
  // (without the image's size) can tell.
  static std::optional<StoreGeometry> ForBlockCounts(const jpeg_decompress_struct& info);

  // Blocks of component c that cover pixels of the image across and down:
  // ceil(width x h / mcuWidth) and ceil(height x v / mcuHeight).
  int64_t ImageBlocksAcross(int c) const { return CeilDiv(width * planes[c].h, mcuWidth); }
  int64_t ImageBlocksDown(int c) const { return CeilDiv(height * planes[c].v, mcuHeight); }
};

// What rendering, the writers and the thumbnail encoder read of an open image.
struct StoreView {
  const jpeg_decompress_struct* header = nullptr;  // the header decompressor: describes the image
  const int16_t* values = nullptr;                 // the store; null when no store is loaded
  int32_t count = 0;                               // values in the store
  int32_t width = 0;                               // the image's current width in pixels
  int32_t height = 0;                              // and height

  bool HasStore() const { return values != nullptr; }
  // The store's shape at the image's current size; empty when no store is loaded.
  std::optional<StoreGeometry> Geometry() const {
    if (!HasStore()) return std::nullopt;
    return StoreGeometry::ForImage(*header, width, height);
  }
};
