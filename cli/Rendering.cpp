// SPDX-License-Identifier: MIT
// Writing what the library renders of an open image to a PNG or PPM file.
#include "cli/Rendering.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "cli/Common.h"
#include "cli/Png.h"
#include "jpeg/CoefficientStore.h"

namespace cli {
namespace {

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Renders the open image into RGB rows. False with a reason when it cannot.
bool RenderImage(ITessel& image, bool fullMCU, RgbImage* rgb, std::string* reason) {
  int64_t width = image.GetWidth(), height = image.GetHeight();
  if (fullMCU) {
    width = RoundUp(width, image.GetMCUWidth());
    height = RoundUp(height, image.GetMCUHeight());
  }
  if (width <= 0 || height <= 0 || 3 * width > INT32_MAX) {
    *reason = "image too large to render";
    return false;
  }
  std::vector<uint8_t> bits;
  try {
    bits.resize(static_cast<size_t>(3 * width) * static_cast<size_t>(height));
    rgb->width = static_cast<int>(width);
    rgb->height = static_cast<int>(height);
    rgb->pixels.reserve(bits.size());
  } catch (const std::bad_alloc&) {
    *reason = "not enough memory to render";
    return false;
  }
  const int32_t stride = static_cast<int32_t>(3 * width);
  if (!image.GetBitmap(bits.data(), stride, fullMCU ? 1 : 0)) {
    *reason = "cannot render this image (colour space or sampling not supported)";
    return false;
  }
  BitmapToRgb(bits.data(), stride, rgb);
  return true;
}

// Writes beside the target and renames over it, so a failed write leaves an existing file as
// it was. The temporary name keeps the extension that selects the format.
bool WriteReplacing(const std::string& path, const RgbImage& rgb, std::string* reason) {
  const std::string temporary = path + ".tmp" + (EndsWith(path, ".ppm") ? ".ppm" : ".png");
  if (!WriteImageFile(temporary, rgb, reason)) {
    std::remove(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    *reason = std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool IsPicturePath(const std::string& path) {
  return EndsWith(path, ".png") || EndsWith(path, ".ppm");
}

bool WriteRendering(ITessel& image, const std::string& file, const std::string& output,
                    bool fullMCU) {
  RgbImage rgb;
  std::string reason;
  if (!RenderImage(image, fullMCU, &rgb, &reason)) {
    ReportFailure(file, reason);
    return false;
  }
  if (!WriteReplacing(output, rgb, &reason)) {
    ReportFailure(output, reason);
    return false;
  }
  return true;
}

}  // namespace cli
