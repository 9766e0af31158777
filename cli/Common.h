// SPDX-License-Identifier: MIT
// Shared helpers of the tessel tool: image objects, text, messages and exit codes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tessel/tessel.h"

namespace cli {

// Exit codes of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Releases an interface of the library when it goes out of scope.
template <class Interface>
struct Releaser {
  void operator()(Interface* object) const {
    if (object != nullptr) object->Release();
  }
};
using ImagePtr = std::unique_ptr<ITessel, Releaser<ITessel>>;
using ExtensionPtr = std::unique_ptr<ITesselEx, Releaser<ITesselEx>>;

// A new image object; null only when memory is exhausted.
ImagePtr NewImage();

// The extension interface of an image object (null only if the library lacks it).
ExtensionPtr Extension(ITessel& image);

// UTF-8 command-line text to the library's UTF-16.
std::u16string Wide(const std::string& text);

// Whether `text` ends with `suffix`.
bool EndsWith(const std::string& text, const std::string& suffix);

// "WIDTHxHEIGHT".
std::string SizeText(int64_t width, int64_t height);

// Why `path` cannot be opened as an image: "no such file", "permission denied", "is a
// directory", or "not a JPEG file it can read" when the file itself is readable.
std::string OpenFailureReason(const std::string& path);

// Prints "tessel: FILE: REASON" on standard error.
void ReportFailure(const std::string& file, const std::string& reason);

// Name of a JPEG colour-space code (0..5).
std::string ColourSpaceName(int code);

}  // namespace cli
