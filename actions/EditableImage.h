// SPDX-License-Identifier: MIT
// EditableImage: what an edit may read and change of the image it works on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "jpeg/CoefficientStore.h"
#include "jpeg/Jpeg.h"
#include "tessel/tessel.h"

// The image object implements it; the undo manager and every action see the image only through
// it, so that an edit depends on nothing of the image object's other parts.
class EditableImage {
 public:
  // The header decompressor: describes the open image (colour space, components, sampling
  // factors, quantization tables, block counts). Edits change it to follow the image.
  virtual jpeg_decompress_struct* HeaderDecompressor() = 0;
  // The store: null and 0 when no image is open.
  virtual int16_t* Coefficients() = 0;
  virtual int32_t CoefficientCount() const = 0;
  // Frees the current store and takes ownership of `values` with its count.
  virtual void ReplaceStore(CoefficientArray values, int32_t count) = 0;
  // The image's current size in pixels.
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual void SetSize(int32_t width, int32_t height) = 0;
  // The Exif orientation tag (1 when there is none), which turns and flips reset to 1.
  virtual uint16_t ExifOrientation() const = 0;
  virtual void SetExifOrientation(uint16_t orientation) = 0;
  // Records why the running edit fails (a TSL_ERROR_* code and one line of text, which the host
  // reads through ITesselEx) and returns FALSE: `return m_pImage->Fail(TSL_ERROR_REFUSED, ...)`.
  virtual TSL_BOOL Fail(int32_t code, std::string text) = 0;
  // Threads an edit may use, as the host set them (TSL_OPTION_THREADS: 0 for as many as there
  // are processors, 1 for the caller's thread alone).
  virtual int32_t Threads() const = 0;

  // The store's shape at the current size; empty when no image is open.
  std::optional<StoreGeometry> Geometry() {
    if (Coefficients() == nullptr) return std::nullopt;
    return StoreGeometry::ForImage(*HeaderDecompressor(), Width(), Height());
  }

 protected:
  ~EditableImage() = default;
};
