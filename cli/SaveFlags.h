// SPDX-License-Identifier: MIT
// The options every saving command of the tool shares, and the save itself.
#pragma once

#include <string>

#include "tessel/tessel.h"

namespace CLI {
class App;
}

namespace cli {

struct SaveFlags {
  std::string output;           // -o: where to write; empty writes over the input file
  bool keepTimes = false;       // --keep-times: keep the input's access and modification times
  bool stripMetadata = false;   // --strip-metadata: drop APP1..APP14 (bKeepMetadata 0)
  bool stripComments = false;   // --strip-comments: drop COM markers
  bool stripThumbnail = false;  // --strip-thumbnail: remove the Exif thumbnail (mode 0)
  int newThumbnail = 0;         // --new-thumbnail[=SIZE]: make a new Exif thumbnail (mode 2)
};

// Adds -o, --keep-times, --strip-metadata, --strip-comments, --strip-thumbnail and
// --new-thumbnail to a command. Without `withOutput` the -o option is left out.
void AddSaveFlags(CLI::App* command, SaveFlags& flags, bool withOutput = true);

// The default save options with the flags applied.
TesselSaveOptions MakeSaveOptions(const SaveFlags& flags);

// Saves `image` to flags.output, or over `input` when no output is given. Prints
// "tessel: FILE: could not save (REASON)" and returns false on failure.
bool SaveImage(ITessel* image, const std::string& input, const SaveFlags& flags);

// Same with explicit options (re-encoding commands fill in the bitmap).
bool SaveImageWith(ITessel* image, const std::string& input, const SaveFlags& flags,
                   const TesselSaveOptions& options);

// Saves `image` to `target` without printing anything; on failure `reason` says why ("permission
// denied", "file too large", ...) and false is returned. Safe to call from several threads for
// different images.
bool TrySave(ITessel* image, const std::string& target, const TesselSaveOptions& options,
             std::string* reason);

}  // namespace cli
