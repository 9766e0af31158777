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

#include "cli/Command.h"
#include "cli/ImageFile.h"
#include "cli/Png.h"

namespace cli {
namespace {

struct ApplyOptions {
  std::string file;
  std::string edited;
  bool force = false;
  SaveFlags save;
};

// The edited picture as a bitmap of the size of `image` (opened from `file`), or false with a
// reason.
bool ReadEdited(const std::string& edited, const std::string& file, ITessel& image,
                std::vector<uint8_t>* bits, std::string* reason) {
  RgbImage rgb;
  if (!ReadRgbPng(edited, &rgb, reason)) return false;
  const int width = image.GetWidth(), height = image.GetHeight();
  if (rgb.width != width || rgb.height != height) {
    *reason = "is " + SizeText(rgb.width, rgb.height) + " pixels, but " + file + " is " +
              SizeText(width, height);
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

// Brings the changed blocks of `edited` into the open image; prints the statistics.
Change ApplyChanges(ITessel& image, const std::string& file, const std::string& edited,
                    bool force) {
  std::vector<uint8_t> bits;
  std::string reason;
  if (!ReadEdited(edited, file, image, &bits, &reason)) {
    ReportFailure(edited, reason);
    return Change::kFailed;
  }
  uint8_t* row0 = bits.data();
  Statistics stats{};
  if (!image.ApplyBitmapChanges(&row0, 3 * image.GetWidth(), force ? 1 : 0, &stats)) {
    ReportFailure(file, "cannot re-encode this image (colour space or sampling not supported)");
    return Change::kFailed;
  }
  PrintStatistics(file, stats);
  // Nothing to bring back: the input is left exactly as it is.
  return stats.iChangedBlocks == 0 ? Change::kUnchanged : Change::kSave;
}

class ApplyCommand : public Command {
 public:
  void Define(CLI::App& cmd) override {
    cmd.add_option("FILE", options_.file, "JPEG file")->required();
    cmd.add_option("EDITED", options_.edited,
                   "The edited picture: an 8-bit RGB PNG of the image's size")
        ->required();
    cmd.add_flag("--force", options_.force, "Re-encode every block, changed or not");
    AddSaveFlags(&cmd, options_.save);
  }

  int Run() override { return ApplyFile(options_.file) ? kExitOk : kExitFailure; }

 private:
  bool ApplyFile(const std::string& file) const {
    return ChangeFile(file, options_.save, [&](ITessel& image, TesselSaveOptions&) {
      return ApplyChanges(image, file, options_.edited, options_.force);
    });
  }

  ApplyOptions options_;
};

[[maybe_unused]] const bool kRegistered = RegisterCommand(
    {"apply",
     "Bring the pixels changed in a rendering (tessel render, then any editor) back into a "
     "JPEG, re-encoding only the 8x8 blocks that differ; saves in place unless -o is given",
     90, MakeCommand<ApplyCommand>});

}  // namespace
}  // namespace cli
