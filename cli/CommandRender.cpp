// SPDX-License-Identifier: MIT
// `tessel render`: the image as the library renders it (GetBitmap), written as PNG or PPM.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/Common.h"
#include "cli/Rendering.h"

namespace cli {
namespace {

struct RenderOptions {
  std::string file;
  std::string output;
  bool fullMCU = false;
};

int RenderOne(const RenderOptions& options) {
  ImagePtr image = NewImage();
  if (!image || !image->Open(Wide(options.file).c_str(), 0)) {
    ReportFailure(options.file, OpenFailureReason(options.file));
    return kExitFailure;
  }
  return WriteRendering(*image, options.file, options.output, options.fullMCU) ? kExitOk
                                                                               : kExitFailure;
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
