// SPDX-License-Identifier: MIT
// Writing what the library renders of an open image to a PNG or PPM file.
#pragma once

#include <string>

#include "tessel/tessel.h"

namespace cli {

// True when `path` names a picture file the tool writes (.png or .ppm) rather than a JPEG.
bool IsPicturePath(const std::string& path);

// Renders `image` (opened from `file`; whole MCUs with `fullMCU`) and writes it to `output`
// (.ppm for binary PPM, else PNG) through a temporary file, so that a failure leaves an
// existing file as it was. Prints "tessel: FILE: reason" and returns false on failure.
bool WriteRendering(ITessel& image, const std::string& file, const std::string& output,
                    bool fullMCU);

}  // namespace cli
