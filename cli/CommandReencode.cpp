// SPDX-License-Identifier: MIT
// `tessel reencode`: renders a JPEG file and compresses it again at a chosen quality, keeping
// its colour space and markers.
#include <CLI/CLI.hpp>
#include <cstring>
#include <vector>

#include "cli/Common.h"
#include "cli/SaveFlags.h"

namespace cli {
namespace {

struct ReencodeOptions {
  std::string file;
  int quality = 75;
  bool noSubsample = false;
  SaveFlags save;
};

int RunReencode(const ReencodeOptions& o) {
  ImagePtr image = NewImage();
  if (!image || !image->Open(Wide(o.file).c_str(), 0)) {
    ReportFailure(o.file, OpenFailureReason(o.file));
    return kExitFailure;
  }
  const int32_t width = image->GetWidth();
  const int32_t height = image->GetHeight();
  const int32_t stride = width * 3;  // widths stay below 65536, so this fits
  std::vector<uint8_t> bitmap(static_cast<size_t>(stride) * static_cast<size_t>(height));
  if (!image->GetBitmap(bitmap.data(), stride, 0)) {
    ReportFailure(o.file, "could not render the image");
    return kExitFailure;
  }
  TesselSaveOptions options = MakeSaveOptions(o.save);
  options.iMode = 1;
  options.iQuality = o.quality;
  options.bSubsample = o.noSubsample ? 0 : 1;
  options.pBitmap = bitmap.data();
  options.iStride = stride;
  return SaveImageWith(image.get(), o.file, o.save, options) ? kExitOk : kExitFailure;
}

}  // namespace

void AddReencodeCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ReencodeOptions>();
  CLI::App* cmd = app.add_subcommand(
      "reencode", "Compress a JPEG file again at a chosen quality (lossy), keeping its markers");
  cmd->add_option("FILE", options->file, "JPEG file")->required();
  cmd->add_option("-q,--quality", options->quality, "JPEG quality")
      ->required()
      ->check(CLI::Range(0, 100));
  cmd->add_flag("--no-subsample", options->noSubsample,
                "Keep full colour resolution (4:4:4) instead of 4:2:0");
  AddSaveFlags(cmd, options->save);
  cmd->callback([options, &exitCode]() { exitCode = RunReencode(*options); });
}

}  // namespace cli
