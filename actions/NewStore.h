// SPDX-License-Identifier: MIT
// NewStore: the store that an edit which reshapes the image builds and then hands over.
#pragma once

#include <optional>
#include <utility>

#include "actions/BlockPlacement.h"
#include "actions/EditableImage.h"
#include "jpeg/CoefficientStore.h"

// One component's plane of a store, as a block grid.
inline BlockPlane BlocksOf(int16_t* store, const PlaneGeometry& plane) {
  return BlockPlane{store + plane.offset, plane.blocksPerRow, plane.blockRows};
}

// Crops, flips, turns and grayscale give the image a store of another shape. The new store is
// allocated before anything changes, so that running out of memory leaves the image as it
// was; the edit fills every plane from the current store (and the undo store), then hands it to
// the image, which frees the old one.
class NewStore {
 public:
  // Empty when the memory cannot be had. The values start undefined.
  static std::optional<NewStore> Allocate(const StoreGeometry& geometry) {
    CoefficientArray values = AllocateCoefficients(static_cast<size_t>(geometry.values));
    if (values == nullptr) return std::nullopt;
    return NewStore(geometry, std::move(values));
  }

  const StoreGeometry& Geometry() const { return geometry_; }
  int16_t* Values() { return values_.get(); }
  BlockPlane Plane(int c) { return BlocksOf(values_.get(), geometry_.planes[c]); }

  // Replaces the image's store by this one and gives the image the geometry's size.
  void HandTo(EditableImage& image) {
    image.ReplaceStore(std::move(values_), static_cast<int32_t>(geometry_.values));
    image.SetSize(static_cast<int32_t>(geometry_.width), static_cast<int32_t>(geometry_.height));
  }

 private:
  NewStore(const StoreGeometry& geometry, CoefficientArray values)
      : geometry_(geometry), values_(std::move(values)) {}

  StoreGeometry geometry_;
  CoefficientArray values_;
};
