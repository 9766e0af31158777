// SPDX-License-Identifier: MIT
// The edits of the tool, one table shared by the one-shot commands and `tessel shell`: their
// names and arguments, parsing them, and applying them to an image object.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tessel/tessel.h"

namespace cli {

struct EditRequest {
  enum class Kind {
    kRotateLeft,
    kRotateRight,
    kRotate180,
    kFlipH,
    kFlipV,
    kCrop,
    kGrayscale,
    kLevels
  };
  Kind kind = Kind::kGrayscale;
  std::array<int32_t, 4> values{};  // crop: left, top, right, bottom; levels: three offsets
  bool keepPartial = false;         // flips and rotations: keep a partial edge MCU whole
};

// One edit as the tool offers it: a command of its own and a line of `tessel shell`.
struct EditForm {
  const char* name;          // the command, and the shell line's first word
  const char* help;          // its line in `tessel --help`
  const char* argument;      // its one argument ("ROTATION"), or "" when it takes none
  const char* argumentHelp;  // what the argument may be, for the command's help
  const char* forms;         // the same for the shell's usage line ("left|right|180")
  bool keepPartial;          // takes --keep-partial
  // The request an argument asks for ("" when the edit takes none); nullopt when the text is
  // not one of the argument's forms.
  std::optional<EditRequest> (*parse)(const std::string& argument);
};

// Every edit, in the order `tessel --help` lists them.
const std::vector<EditForm>& EditForms();

// Parses one edit written as words, e.g. {"rotate", "left", "--keep-partial"} or
// {"crop", "10,10,200,100"}. Returns nullopt with a reason in `error` when the words are not an
// edit; an empty `error` means the first word names no edit at all.
std::optional<EditRequest> ParseEdit(const std::vector<std::string>& words, std::string* error);

// Applies the edit as one step and returns the number of library actions it took (a half turn
// takes two), or 0 with a one-line reason in `error`; a failed edit leaves the image as it was.
// With a `store`, every library call is marked in it as one edit (BeginEdit / EndEdit).
int ApplyEdit(ITessel* image, const EditRequest& edit, tessel::MemoryUndoStore* store,
              std::string* error);

// Undoes the newest library action and tells `store` (may be null). False when there is none.
bool UndoStep(ITessel* image, tessel::MemoryUndoStore* store);

}  // namespace cli
