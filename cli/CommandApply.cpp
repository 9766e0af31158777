// SPDX-License-Identifier: MIT
// `tessel apply`: brings the pixels painted into a rendering of a JPEG back into it,
// re-encoding only the 8x8 blocks whose pixels changed, and saves.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli/Common.h"
#include "cli/Png.h"
#include "cli/SaveFlags.h"

namespace cli {
namespace {

struct ApplyOptions {
  std::string file;
  std::string edited;
  bool force = false;
  SaveFlags save;
};

std::string Size(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// The edited picture as a bitmap of the image's size, or false with a reason.
bool ReadEdited(const ApplyOptions& options, ITessel& image, std::vector<uint8_t>* bits,
                std::string* reason) {
  RgbImage rgb;
  if (!ReadRgbPng(options.edited, &rgb, reason)) return false;
  const int width = image.GetWidth(), height = image.GetHeight();
  if (rgb.width != width || rgb.height != height) {
    *reason = "is " + Size(rgb.width, rgb.height) + " pixels, but " + options.file + " is " +
              Size(width, height);
    return false;
  }
  try {
    bits->resize(rgb.pixels.size());
  } catch (const std::bad_alloc&) {
    *reason = "not enough memory for the picture";
    return false;
  }
  RgbToBitmap(rgb, bits->data(), 3 * width);
  return true;
}

void PrintStatistics(const std::string& file, const Statistics& stats) {
  std::cout << file << ": " << stats.iChangedMCUs << " of " << stats.iMCUs << " MCUs and "
            << stats.iChangedBlocks << " of " << stats.iBlocks << " blocks changed";
  // Forcing re-encodes the blocks beyond the picture's edges too.
  if (stats.iChangedBlocks > stats.iBlocks) std::cout << " (edge filler blocks included)";
  std::cout << '\n';
}

int ApplyOne(const ApplyOptions& options) {
  ImagePtr image = NewImage();
  if (!image || !image->Open(Wide(options.file).c_str(), 0)) {
    ReportFailure(options.file, OpenFailureReason(options.file));
    return kExitFailure;
  }
  std::vector<uint8_t> bits;
  std::string reason;
  if (!ReadEdited(options, *image, &bits, &reason)) {
    ReportFailure(options.edited, reason);
    return kExitFailure;
  }
  uint8_t* row0 = bits.data();
  Statistics stats{};
  if (!image->ApplyBitmapChanges(&row0, 3 * image->GetWidth(), options.force ? 1 : 0, &stats)) {
    ReportFailure(options.file,
                  "cannot re-encode this image (colour space or sampling not supported)");
    return kExitFailure;
  }
  PrintStatistics(options.file, stats);
  // Nothing to bring back: the input is left exactly as it is.
  if (stats.iChangedBlocks == 0 && options.save.output.empty()) return kExitOk;
  return SaveImage(image.get(), options.file, options.save) ? kExitOk : kExitFailure;
}

}  // namespace

void AddApplyCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ApplyOptions>();
  CLI::App* cmd = app.add_subcommand(
      "apply",
      "Bring the pixels changed in a rendering (tessel render, then any editor) back into a "
      "JPEG, re-encoding only the 8x8 blocks that differ; saves in place unless -o is given");
  cmd->add_option("FILE", options->file, "JPEG file")->required();
  cmd->add_option("EDITED", options->edited,
                  "The edited picture: an 8-bit RGB PNG of the image's size")
      ->required();
  cmd->add_flag("--force", options->force, "Re-encode every block, changed or not");
  AddSaveFlags(cmd, options->save);
  cmd->callback([options, &exitCode]() { exitCode = ApplyOne(*options); });
}

}  // namespace cli
