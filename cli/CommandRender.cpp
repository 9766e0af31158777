// SPDX-License-Identifier: MIT
// `tessel render`: the image as the library renders it (GetBitmap), written as PNG or PPM.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli/Common.h"
#include "cli/Png.h"

namespace cli {
namespace {

struct RenderOptions {
  std::string file;
  std::string output;
  bool fullMCU = false;
};

int64_t RoundUp(int64_t value, int64_t multiple) {
  return multiple > 0 ? (value + multiple - 1) / multiple * multiple : value;
}

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

int RenderOne(const RenderOptions& options) {
  ImagePtr image = NewImage();
  if (!image || !image->Open(Wide(options.file).c_str(), 0)) {
    ReportFailure(options.file, OpenFailureReason(options.file));
    return kExitFailure;
  }
  RgbImage rgb;
  std::string reason;
  if (!RenderImage(*image, options.fullMCU, &rgb, &reason)) {
    ReportFailure(options.file, reason);
    return kExitFailure;
  }
  if (!WriteReplacing(options.output, rgb, &reason)) {
    ReportFailure(options.output, reason);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

void AddRenderCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<RenderOptions>();
  CLI::App* cmd = app.add_subcommand(
      "render", "Render a JPEG as the library shows it and write it as PNG (or PPM)");
  cmd->add_option("FILE", options->file, "JPEG file")->required();
  cmd->add_option("-o,--output", options->output, "Output image: .png, or .ppm for binary PPM")
      ->required();
  cmd->add_flag("--full-mcu", options->fullMCU,
                "Render whole MCUs: round the size up to a multiple of the MCU size");
  cmd->callback([options, &exitCode]() { exitCode = RenderOne(*options); });
}

}  // namespace cli
