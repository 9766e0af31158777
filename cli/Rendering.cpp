// SPDX-License-Identifier: MIT
// Rendering an open image into memory, and writing renderings to PNG or PPM files.
#include "cli/Rendering.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "cli/Common.h"
#include "cli/Png.h"
#include "jpeg/CoefficientStore.h"

namespace cli {

RenderOutcome RenderBitmap(ITessel& image, bool fullMCU, Bitmap* bitmap) {
  int64_t width = image.GetWidth(), height = image.GetHeight();
  if (fullMCU) {
    width = RoundUp(width, image.GetMCUWidth());
    height = RoundUp(height, image.GetMCUHeight());
  }
  if (width <= 0 || height <= 0 || 3 * width > INT32_MAX) return RenderOutcome::kTooLarge;
  bitmap->width = static_cast<int32_t>(width);
  bitmap->height = static_cast<int32_t>(height);
  bitmap->stride = static_cast<int32_t>(3 * width);
  try {
    bitmap->bits.resize(static_cast<size_t>(bitmap->stride) * static_cast<size_t>(height));
  } catch (const std::bad_alloc&) {
    return RenderOutcome::kNoMemory;
  }
  if (!image.GetBitmap(bitmap->bits.data(), bitmap->stride, fullMCU ? 1 : 0)) {
    return RenderOutcome::kRefused;
  }
  return RenderOutcome::kDone;
}

std::string RenderFailureText(RenderOutcome outcome) {
  switch (outcome) {
    case RenderOutcome::kDone:
      break;
    case RenderOutcome::kTooLarge:
      return "image too large to render";
    case RenderOutcome::kNoMemory:
      return "not enough memory to render";
    case RenderOutcome::kRefused:
      return "cannot render this image (colour space or sampling not supported)";
  }
  return std::string();
}

bool IsPicturePath(const std::string& path) {
  return EndsWith(path, ".png") || EndsWith(path, ".ppm");
}

bool WritePicture(const std::string& path, const Bitmap& bitmap, std::string* reason) {
  RgbImage rgb;
  rgb.width = bitmap.width;
  rgb.height = bitmap.height;
  try {
    BitmapToRgb(bitmap.bits.data(), bitmap.stride, &rgb);
  } catch (const std::bad_alloc&) {
    *reason = "not enough memory to write the picture";
    return false;
  }
  // The temporary name keeps the extension that selects the format.
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

bool WriteRendering(ITessel& image, const std::string& file, const std::string& output,
                    bool fullMCU) {
  Bitmap bitmap;
  const RenderOutcome outcome = RenderBitmap(image, fullMCU, &bitmap);
  if (outcome != RenderOutcome::kDone) {
    ReportFailure(file, RenderFailureText(outcome));
    return false;
  }
  std::string reason;
  if (!WritePicture(output, bitmap, &reason)) {
    ReportFailure(output, reason);
    return false;
  }
  return true;
}

}  // namespace cli
