// SPDX-License-Identifier: MIT
// The options every saving command of the tool shares, and the save itself.
#include "cli/SaveFlags.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>

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
  // A flag with a value rather than an option with an optional value: an option would take
  // the next file name as its SIZE ("--new-thumbnail a.jpg"); a flag takes one only after "=".
  command
      ->add_flag("--new-thumbnail{160}", flags.newThumbnail,
                 "Embed a new Exif thumbnail with this longest side (32..256, default 160)")
      ->option_text("[=SIZE]")
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
  std::string reason;
  if (!TrySave(image, target, options, &reason)) {
    ReportFailure(target, reason);
    return false;
  }
  return true;
}

namespace {

// The library leaves errno at the file system's reason for a failed save, or 0 when the
// failure was not the file system's (no image, a value the writer cannot code, ...).
std::string SaveFailureReason(int error) {
  switch (error) {
    case 0:
      return "could not save";
    case ENOENT:
    case ENOTDIR:
      return "could not save (no such directory)";
    case EACCES:
    case EPERM:
      return "could not save (permission denied)";
    case EISDIR:
      return "could not save (a directory is in the way)";
    case EFBIG:
      return "could not save (file too large)";
    case ENOSPC:
      return "could not save (no space left on device)";
    case EROFS:
      return "could not save (read-only file system)";
    default:
      return std::string("could not save (") + std::strerror(error) + ")";
  }
}

}  // namespace

bool TrySave(ITessel* image, const std::string& target, const TesselSaveOptions& options,
             std::string* reason) {
  errno = 0;
  if (image->Save(Wide(target).c_str(), &options)) return true;
  *reason = SaveFailureReason(errno);
  return false;
}

}  // namespace cli
