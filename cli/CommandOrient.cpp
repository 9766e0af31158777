// SPDX-License-Identifier: MIT
// `tessel orient N FILE`: sets the Exif orientation tag (1..8) and saves; the pixels stay as
// they are.
#include <CLI/CLI.hpp>

#include "cli/Command.h"
#include "cli/ImageFile.h"

namespace cli {
namespace {

class OrientCommand : public Command {
 public:
  void Define(CLI::App& cmd) override {
    cmd.add_option("N", orientation_, "Orientation, 1 to 8 as Exif defines them")
        ->required()
        ->check(CLI::Range(1, 8));
    cmd.add_option("FILE", file_, "JPEG file")->required();
    AddSaveFlags(&cmd, save_);
  }

  int Run() override { return OrientFile(file_) ? kExitOk : kExitFailure; }

 private:
  bool OrientFile(const std::string& file) const {
    const uint16_t wanted = static_cast<uint16_t>(orientation_);
    return ChangeFile(file, save_, [&](ITessel& image, TesselSaveOptions&) {
      image.SetOrientation(wanted);
      // Only an existing Orientation entry can be changed in place.
      if (image.GetOrientation() == wanted) return Change::kSave;
      ReportFailure(file, "has no Exif orientation to change");
      return Change::kFailed;
    });
  }

  int orientation_ = 1;
  std::string file_;
  SaveFlags save_;
};

[[maybe_unused]] const bool kRegistered = RegisterCommand(
    {"orient", "Set the Exif orientation (1..8) of a JPEG file without touching its pixels", 20,
     MakeCommand<OrientCommand>});

}  // namespace
}  // namespace cli
