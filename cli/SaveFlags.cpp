// SPDX-License-Identifier: MIT
// The options every saving command of the tool shares, and the save itself.
#include "cli/SaveFlags.h"

#include <CLI/CLI.hpp>

#include "cli/Common.h"

namespace cli {

void AddSaveFlags(CLI::App* command, SaveFlags& flags, bool withOutput) {
  if (withOutput)
    command->add_option("-o,--output", flags.output, "Write here instead of in place");
  command->add_flag("--keep-times", flags.keepTimes,
                    "Keep the file's access and modification times");
  command->add_flag("--strip-metadata", flags.stripMetadata,
                    "Drop APP1..APP14 segments (Exif, ICC, XMP)");
  command->add_flag("--strip-comments", flags.stripComments, "Drop comment (COM) segments");
  command->add_flag("--strip-thumbnail", flags.stripThumbnail,
                    "Remove the embedded Exif thumbnail");
  command
      ->add_option("--new-thumbnail", flags.newThumbnail,
                   "Embed a new Exif thumbnail with this longest side (32..256)")
      ->expected(0, 1)
      ->default_str("160")
      ->check(CLI::Range(32, 256));
}

TesselSaveOptions MakeSaveOptions(const SaveFlags& flags) {
  TesselSaveOptions options = TSL_SAVE_OPTIONS_DEFAULT;
  options.bKeepFileTimes = flags.keepTimes ? 1 : 0;
  options.bKeepMetadata = flags.stripMetadata ? 0 : 1;
  options.bKeepComments = flags.stripComments ? 0 : 1;
  if (flags.stripThumbnail) options.iThumbnailMode = 0;
  if (flags.newThumbnail != 0) {
    options.iThumbnailMode = 2;
    options.iThumbnailSize = flags.newThumbnail;
  }
  return options;
}

bool SaveImage(ITessel* image, const std::string& input, const SaveFlags& flags) {
  return SaveImageWith(image, input, flags, MakeSaveOptions(flags));
}

bool SaveImageWith(ITessel* image, const std::string& input, const SaveFlags& flags,
                   const TesselSaveOptions& options) {
  const std::string& target = flags.output.empty() ? input : flags.output;
  if (!image->Save(Wide(target).c_str(), &options)) {
    ReportFailure(target, "could not save");
    return false;
  }
  return true;
}

}  // namespace cli
