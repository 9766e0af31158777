// SPDX-License-Identifier: MIT
// Rendering an open image into memory, and writing renderings to PNG or PPM files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tessel/tessel.h"

namespace cli {

// A rendering: `height` rows of `width` pixels, 3 bytes each (blue, green, red, as GetBitmap
// writes them), `stride` bytes from one row to the next.
struct Bitmap {
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;
  std::vector<uint8_t> bits;
};

// How a rendering went.
enum class RenderOutcome {
  kDone,
  kTooLarge,  // a row does not fit the library's 32-bit stride
  kNoMemory,  // the bitmap could not be had
  kRefused,   // the library cannot render this image (colour space or sampling)
};

// Renders `image` into `bitmap`: its own size, or whole MCUs with `fullMCU`.
RenderOutcome RenderBitmap(ITessel& image, bool fullMCU, Bitmap* bitmap);

// The reason `tessel render` gives for a rendering that failed.
std::string RenderFailureText(RenderOutcome outcome);

// True when `path` names a picture file the tool writes (.png or .ppm) rather than a JPEG.
bool IsPicturePath(const std::string& path);

// Writes `bitmap` to `path` (.ppm for binary PPM, else PNG) through a temporary file beside it,
// so that a failure leaves an existing file as it was. False with a reason when it cannot.
bool WritePicture(const std::string& path, const Bitmap& bitmap, std::string* reason);

// Renders `image` (opened from `file`; whole MCUs with `fullMCU`) and writes it to `output`
// with WritePicture. Prints "tessel: FILE: reason" and returns false on failure.
bool WriteRendering(ITessel& image, const std::string& file, const std::string& output,
                    bool fullMCU);

}  // namespace cli
