// SPDX-License-Identifier: MIT
// `tessel reencode`: renders a JPEG file and compresses it again at a chosen quality, keeping
// its colour space and markers.
#include <CLI/CLI.hpp>

#include "cli/Command.h"
#include "cli/ImageFile.h"
#include "cli/Rendering.h"

namespace cli {
namespace {

class ReencodeCommand : public Command {
 public:
  void Define(CLI::App& cmd) override {
    cmd.add_option("FILE", file_, "JPEG file")->required();
    cmd.add_option("-q,--quality", quality_, "JPEG quality")->required()->check(CLI::Range(0, 100));
    cmd.add_flag("--no-subsample", noSubsample_,
                 "Keep full colour resolution (4:4:4) instead of 4:2:0");
    AddSaveFlags(&cmd, save_);
  }

  int Run() override { return ReencodeFile(file_) ? kExitOk : kExitFailure; }

 private:
  bool ReencodeFile(const std::string& file) const {
    Bitmap bitmap;  // the save reads it, after the change has returned
    return ChangeFile(file, save_, [&](ITessel& image, TesselSaveOptions& options) {
      if (RenderBitmap(image, false, &bitmap) != RenderOutcome::kDone) {
        ReportFailure(file, "could not render the image");
        return Change::kFailed;
      }
      options.iMode = 1;
      options.iQuality = quality_;
      options.bSubsample = noSubsample_ ? 0 : 1;
      options.pBitmap = bitmap.bits.data();
      options.iStride = bitmap.stride;
      return Change::kSave;
    });
  }

  std::string file_;
  int quality_ = 75;
  bool noSubsample_ = false;
  SaveFlags save_;
};

[[maybe_unused]] const bool kRegistered = RegisterCommand(
    {"reencode", "Compress a JPEG file again at a chosen quality (lossy), keeping its markers", 40,
     MakeCommand<ReencodeCommand>});

}  // namespace
}  // namespace cli
