// SPDX-License-Identifier: MIT
// Shared helpers of the tessel tool.
#include "cli/Common.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "platform/Files.h"

namespace cli {

ImagePtr NewImage() {
  ITessel* image = nullptr;
  if (CreateTesselObject(&image) != TSL_S_OK) return ImagePtr();
  return ImagePtr(image);
}

ExtensionPtr Extension(ITessel& image) {
  void* extension = nullptr;
  if (image.QueryInterface(TSL_IID_ITesselEx, &extension) != TSL_S_OK) return ExtensionPtr();
  return ExtensionPtr(static_cast<ITesselEx*>(extension));
}

std::u16string Wide(const std::string& text) { return Utf8ToUtf16(text); }

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string SizeText(int64_t width, int64_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

std::string OpenFailureReason(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return "no such file";
    if (errno == EACCES) return "permission denied";
    return std::strerror(errno);
  }
  if (S_ISDIR(st.st_mode)) return "is a directory";
  if (access(path.c_str(), R_OK) != 0) return "permission denied";
  return "not a JPEG file it can read";
}

void ReportFailure(const std::string& file, const std::string& reason) {
  std::cerr << "tessel: " << file << ": " << reason << '\n';
}

std::string ColourSpaceName(int code) {
  static const char* const kNames[] = {"Unknown", "Grayscale", "RGB", "YCbCr", "CMYK", "YCCK"};
  if (code >= 0 && code < 6) return kNames[code];
  return "code " + std::to_string(code);
}

}  // namespace cli
