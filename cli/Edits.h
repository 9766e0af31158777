// SPDX-License-Identifier: MIT
// The edits of the tool, shared by the one-shot commands and `tessel shell`: parsing their
// arguments and applying them to an image object.
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

// "left", "right", "180" (also "90" for right and "270" for left).
std::optional<EditRequest::Kind> ParseRotation(const std::string& word);
// "h" or "v" (also "horizontal", "vertical").
std::optional<EditRequest::Kind> ParseFlip(const std::string& word);
// Pixels "L,T,R,B" (right and bottom exclusive) or "WxH+X+Y"; offsets may be negative.
std::optional<std::array<int32_t, 4>> ParseCropRect(const std::string& text);
// "A,B,C": three offsets of -100..100 (values beyond are clamped by the library).
std::optional<std::array<int32_t, 3>> ParseLevels(const std::string& text);

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
