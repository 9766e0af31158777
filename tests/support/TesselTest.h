// SPDX-License-Identifier: MIT
// Helpers for tests that drive the library through ITessel.
#pragma once

#include <memory>
#include <string>

#include "tessel/tessel.h"
#include "tests/support/JpegFixtures.h"

namespace fixtures {

struct Releaser {
  void operator()(ITessel* image) const {
    if (image != nullptr) image->Release();
  }
};
using ImagePtr = std::unique_ptr<ITessel, Releaser>;

// A new image object from the factory.
inline ImagePtr NewImage() {
  ITessel* image = nullptr;
  CreateTesselObject(&image);
  return ImagePtr(image);
}

// A new image object with `jpeg` opened from memory (null when the open fails).
inline ImagePtr OpenBytes(const Bytes& jpeg, bool headerOnly = false) {
  ImagePtr image = NewImage();
  if (!image->OpenFromMemory(jpeg.data(), static_cast<int32_t>(jpeg.size()), headerOnly ? 1 : 0)) {
    return ImagePtr();
  }
  return image;
}

inline std::u16string U16(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}
inline std::u16string U16(const std::filesystem::path& path) { return U16(path.string()); }

// The store of an open image as a vector.
inline std::vector<int16_t> Store(ITessel* image) {
  int16_t* values = nullptr;
  int32_t count = 0;
  image->GetCoefficients(&values, &count);
  return values == nullptr ? std::vector<int16_t>() : std::vector<int16_t>(values, values + count);
}

}  // namespace fixtures
