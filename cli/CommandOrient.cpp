// SPDX-License-Identifier: MIT
// `tessel orient N FILE`: sets the Exif orientation tag (1..8) and saves; the pixels stay as
// they are.
#include <CLI/CLI.hpp>

#include "cli/Common.h"
#include "cli/SaveFlags.h"

namespace cli {
namespace {

struct OrientOptions {
  int orientation = 1;
  std::string file;
  SaveFlags save;
};

bool OrientOne(const OrientOptions& options) {
  ImagePtr image = NewImage();
  if (!image || !image->Open(Wide(options.file).c_str(), 0)) {
    ReportFailure(options.file, OpenFailureReason(options.file));
    return false;
  }
  const uint16_t wanted = static_cast<uint16_t>(options.orientation);
  image->SetOrientation(wanted);
  // Only an existing Orientation entry can be changed in place.
  if (image->GetOrientation() != wanted) {
    ReportFailure(options.file, "has no Exif orientation to change");
    return false;
  }
  return SaveImage(image.get(), options.file, options.save);
}

}  // namespace

void AddOrientCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<OrientOptions>();
  CLI::App* cmd = app.add_subcommand(
      "orient", "Set the Exif orientation (1..8) of a JPEG file without touching its pixels");
  cmd->add_option("N", options->orientation, "Orientation, 1 to 8 as Exif defines them")
      ->required()
      ->check(CLI::Range(1, 8));
  cmd->add_option("FILE", options->file, "JPEG file")->required();
  AddSaveFlags(cmd, options->save);
  cmd->callback([options, &exitCode]() {
    if (!OrientOne(*options)) exitCode = kExitFailure;
  });
}

}  // namespace cli
