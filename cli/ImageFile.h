// SPDX-License-Identifier: MIT
// The steps between files and image objects that the tool's commands share: opening a file or
// saying why not, reading a file once, and the open-change-save round of the editing commands.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/Common.h"
#include "cli/SaveFlags.h"

namespace cli {

// Opens `file` (only its header with `headerOnly`). Null with the reason ("no such file", "not
// a JPEG file it can read", ...) in `reason` when it cannot.
ImagePtr OpenImage(const std::string& file, bool headerOnly, std::string* reason);

// The same, printing "tessel: FILE: reason" when it cannot.
ImagePtr OpenImageOrReport(const std::string& file, bool headerOnly = false);

// Reads the whole of `path` into `bytes`. False with the same reasons as OpenImage when it
// cannot; a file the library could not take from memory (2 GiB or more) is refused too.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* reason);

// What an editing command's change made of the open image.
enum class Change {
  kSave,       // changed: save it
  kUnchanged,  // as it was opened: the file is left alone unless -o names another
  kFailed,     // refused; the change has said why
};

// The change an editing command makes to one open image. It may adjust the save options (a
// re-encode hands over its bitmap) and prints "tessel: FILE: reason" itself when it fails.
using ChangeFunction = std::function<Change(ITessel& image, TesselSaveOptions& options)>;

// The work of an editing command on one file: opens it, lets `change` edit the image, and saves
// it as the flags say (to -o, or over the file). Every failure prints one line "tessel: FILE:
// reason" and leaves the file as it was. Returns whether the file was done.
bool ChangeFile(const std::string& file, const SaveFlags& flags, const ChangeFunction& change);

}  // namespace cli
