// SPDX-License-Identifier: MIT
// `tessel render`: the image as the library renders it (GetBitmap), written as PNG or PPM.
#include <CLI/CLI.hpp>

#include "cli/Command.h"
#include "cli/ImageFile.h"
#include "cli/Rendering.h"

namespace cli {
namespace {

class RenderCommand : public Command {
 public:
  void Define(CLI::App& cmd) override {
    cmd.add_option("FILE", file_, "JPEG file")->required();
    cmd.add_option("-o,--output", output_, "Output image: .png, or .ppm for binary PPM")
        ->required();
    cmd.add_flag("--full-mcu", fullMCU_,
                 "Render whole MCUs: round the size up to a multiple of the MCU size");
  }

  int Run() override { return RenderFile(file_, output_) ? kExitOk : kExitFailure; }

 private:
  bool RenderFile(const std::string& file, const std::string& output) const {
    ImagePtr image = OpenImageOrReport(file);
    return image && WriteRendering(*image, file, output, fullMCU_);
  }

  std::string file_;
  std::string output_;
  bool fullMCU_ = false;
};

[[maybe_unused]] const bool kRegistered =
    RegisterCommand({"render", "Render a JPEG as the library shows it and write it as PNG (or PPM)",
                     60, MakeCommand<RenderCommand>});

}  // namespace
}  // namespace cli
