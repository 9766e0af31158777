// SPDX-License-Identifier: MIT
// The edits of the tool: the table of their forms, parsing their arguments, and the library
// calls that carry them out.
#include "cli/Edits.h"

#include <algorithm>
#include <charconv>
#include <climits>

namespace cli {
namespace {

using Kind = EditRequest::Kind;

// Splits `text` at `separator`; each piece must be a whole decimal 32-bit integer.
std::optional<std::vector<int32_t>> Integers(const std::string& text, char separator) {
  std::vector<int32_t> values;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    const std::string piece = text.substr(start, end == std::string::npos ? end : end - start);
    int32_t value = 0;
    const char* first = piece.data();
    if (!piece.empty() && piece[0] == '+') ++first;
    const auto [ptr, ec] = std::from_chars(first, piece.data() + piece.size(), value);
    if (piece.empty() || ec != std::errc() || ptr != piece.data() + piece.size()) {
      return std::nullopt;
    }
    values.push_back(value);
    if (end == std::string::npos) return values;
    start = end + 1;
  }
}

// "WxH+X+Y" (X and Y may carry '-' instead of '+').
std::optional<std::array<int32_t, 4>> ParseGeometry(const std::string& text) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return std::nullopt;
  const size_t offset = text.find_first_of("+-", x + 1);
  if (offset == std::string::npos) return std::nullopt;
  const size_t second = text.find_first_of("+-", offset + 1);
  if (second == std::string::npos) return std::nullopt;
  const auto size = Integers(text.substr(0, offset), 'x');
  const auto left = Integers(text.substr(offset, second - offset), ',');
  const auto top = Integers(text.substr(second), ',');
  if (!size || size->size() != 2 || !left || left->size() != 1 || !top || top->size() != 1)
    return std::nullopt;
  const int64_t l = (*left)[0], t = (*top)[0], w = (*size)[0], h = (*size)[1];
  if (w <= 0 || h <= 0 || l + w > INT32_MAX || t + h > INT32_MAX) return std::nullopt;
  return std::array<int32_t, 4>{static_cast<int32_t>(l), static_cast<int32_t>(t),
                                static_cast<int32_t>(l + w), static_cast<int32_t>(t + h)};
}

EditRequest Request(Kind kind, std::array<int32_t, 4> values = {}) {
  EditRequest edit;
  edit.kind = kind;
  edit.values = values;
  return edit;
}

// "left", "right", "180" (also "90" for right and "270" for left).
std::optional<EditRequest> ParseRotation(const std::string& word) {
  if (word == "left" || word == "270") return Request(Kind::kRotateLeft);
  if (word == "right" || word == "90") return Request(Kind::kRotateRight);
  if (word == "180") return Request(Kind::kRotate180);
  return std::nullopt;
}

// "h" or "v" (also "horizontal", "vertical").
std::optional<EditRequest> ParseFlip(const std::string& word) {
  if (word == "h" || word == "horizontal") return Request(Kind::kFlipH);
  if (word == "v" || word == "vertical") return Request(Kind::kFlipV);
  return std::nullopt;
}

// Pixels "L,T,R,B" (right and bottom exclusive) or "WxH+X+Y"; offsets may be negative.
std::optional<std::array<int32_t, 4>> ParseRect(const std::string& text) {
  if (text.find('x') != std::string::npos) return ParseGeometry(text);
  const auto values = Integers(text, ',');
  if (!values || values->size() != 4) return std::nullopt;
  return std::array<int32_t, 4>{(*values)[0], (*values)[1], (*values)[2], (*values)[3]};
}

std::optional<EditRequest> ParseCrop(const std::string& text) {
  const auto rect = ParseRect(text);
  if (!rect) return std::nullopt;
  return Request(Kind::kCrop, *rect);
}

std::optional<EditRequest> ParseGrayscale(const std::string&) { return Request(Kind::kGrayscale); }

// "A,B,C": three offsets of -100..100 (values beyond are clamped by the library).
std::optional<EditRequest> ParseLevels(const std::string& text) {
  const auto values = Integers(text, ',');
  if (!values || values->size() != 3) return std::nullopt;
  return Request(Kind::kLevels, {(*values)[0], (*values)[1], (*values)[2], 0});
}

const EditForm* FindForm(const std::string& name) {
  const std::vector<EditForm>& forms = EditForms();
  const auto found =
      std::find_if(forms.begin(), forms.end(), [&](const EditForm& f) { return name == f.name; });
  return found == forms.end() ? nullptr : &*found;
}

// "rotate left|right|180 [--keep-partial]".
std::string Usage(const EditForm& form) {
  std::string usage = form.name;
  if (*form.forms != '\0') usage += std::string(" ") + form.forms;
  if (form.keepPartial) usage += " [--keep-partial]";
  return "usage: " + usage;
}

// How the library carries out each kind of edit: its calls in order (a half turn is both
// mirrors), and which partial edge a flip or turn drops unless it keeps it.
using LibraryCall = TSL_BOOL (*)(ITessel& image, const EditRequest& edit);

int32_t Keep(const EditRequest& edit) { return edit.keepPartial ? 1 : 0; }
TSL_BOOL TurnLeft(ITessel& image, const EditRequest& e) { return image.RotateLeft(Keep(e)); }
TSL_BOOL TurnRight(ITessel& image, const EditRequest& e) { return image.RotateRight(Keep(e)); }
TSL_BOOL MirrorH(ITessel& image, const EditRequest& e) { return image.FlipH(Keep(e)); }
TSL_BOOL MirrorV(ITessel& image, const EditRequest& e) { return image.FlipV(Keep(e)); }
TSL_BOOL Cut(ITessel& image, const EditRequest& e) {
  return image.Crop(e.values[0], e.values[1], e.values[2], e.values[3]);
}
TSL_BOOL DropColour(ITessel& image, const EditRequest&) { return image.Grayscale(); }
TSL_BOOL Shift(ITessel& image, const EditRequest& e) {
  return image.Levels(e.values[0], e.values[1], e.values[2]);
}

struct EditSteps {
  Kind kind;
  std::vector<LibraryCall> calls;
  bool trimsWidth = false;   // drops a partial right column of MCUs
  bool trimsHeight = false;  // drops a partial bottom row of MCUs
};

const EditSteps& StepsOf(Kind kind) {
  static const EditSteps kSteps[] = {
      {Kind::kRotateLeft, {TurnLeft}, true, false},
      {Kind::kRotateRight, {TurnRight}, false, true},
      {Kind::kRotate180, {MirrorH, MirrorV}, true, true},
      {Kind::kFlipH, {MirrorH}, true, false},
      {Kind::kFlipV, {MirrorV}, false, true},
      {Kind::kCrop, {Cut}},
      {Kind::kGrayscale, {DropColour}},
      {Kind::kLevels, {Shift}},
  };
  return *std::find_if(std::begin(kSteps), std::end(kSteps),
                       [kind](const EditSteps& steps) { return steps.kind == kind; });
}

// Why an edit the library refused was refused, from what the image says about itself.
std::string RefusalReason(ITessel& image, const EditRequest& edit) {
  switch (edit.kind) {
    case Kind::kGrayscale:
      return image.IsGrayscale() ? "the image is already grayscale"
                                 : "only YCbCr images with full-resolution luminance can be "
                                   "turned gray";
    case Kind::kLevels:
      return "levels work on grayscale and YCbCr images only";
    case Kind::kCrop:
      return "the crop rectangle is too large";
    default:
      break;
  }
  const EditSteps& steps = StepsOf(edit.kind);
  if (!edit.keepPartial && ((steps.trimsWidth && image.GetWidth() < image.GetMCUWidth()) ||
                            (steps.trimsHeight && image.GetHeight() < image.GetMCUHeight()))) {
    return "the image is smaller than one MCU (" + std::to_string(image.GetMCUWidth()) + "x" +
           std::to_string(image.GetMCUHeight()) + "); use --keep-partial";
  }
  return "out of memory";
}

// One library call, marked in the undo store.
bool Call(ITessel& image, const EditRequest& edit, LibraryCall call,
          tessel::MemoryUndoStore* store) {
  if (store != nullptr) store->BeginEdit();
  const bool ok = call(image, edit) != 0;
  if (store != nullptr) store->EndEdit(ok);
  return ok;
}

}  // namespace

const std::vector<EditForm>& EditForms() {
  static const std::vector<EditForm> kForms = {
      {"rotate", "Turn a JPEG losslessly by a quarter or half turn", "ROTATION",
       "left, right or 180", "left|right|180", true, ParseRotation},
      {"flip", "Mirror a JPEG losslessly", "DIRECTION", "h (left to right) or v (top to bottom)",
       "h|v", true, ParseFlip},
      {"crop",
       "Crop a JPEG losslessly (left and top edges move down to the MCU grid; a rectangle "
       "beyond the image extends it with gray)",
       "RECT", "L,T,R,B in pixels (right and bottom exclusive) or WxH+X+Y", "L,T,R,B|WxH+X+Y",
       false, ParseCrop},
      {"grayscale", "Drop the colour of a YCbCr JPEG losslessly", "", "", "", false,
       ParseGrayscale},
      {"levels", "Shift the brightness of each component: offsets in percent of full scale",
       "OFFSETS", "A,B,C for component 0, component 1 and the rest (-100..100)", "A,B,C", false,
       ParseLevels},
  };
  return kForms;
}

std::optional<EditRequest> ParseEdit(const std::vector<std::string>& words, std::string* error) {
  error->clear();
  const EditForm* form = words.empty() ? nullptr : FindForm(words[0]);
  if (form == nullptr) return std::nullopt;
  std::vector<std::string> args(words.begin() + 1, words.end());
  const bool keepPartial = std::erase(args, "--keep-partial") > 0;
  const size_t arity = *form->argument == '\0' ? 0 : 1;
  if (args.size() != arity) {
    *error = Usage(*form);
    return std::nullopt;
  }
  std::optional<EditRequest> edit = form->parse(arity == 0 ? std::string() : args[0]);
  if (!edit) {
    *error = "cannot read '" + args[0] + "'";
    return std::nullopt;
  }
  edit->keepPartial = keepPartial;
  return edit;
}

int ApplyEdit(ITessel* image, const EditRequest& edit, tessel::MemoryUndoStore* store,
              std::string* error) {
  const std::vector<LibraryCall>& calls = StepsOf(edit.kind).calls;
  for (size_t done = 0; done < calls.size(); ++done) {
    if (!Call(*image, edit, calls[done], store)) {
      // Should a later call refuse, the earlier ones are taken back: one edit, one step.
      for (size_t n = 0; n < done; ++n) UndoStep(image, store);
      *error = RefusalReason(*image, edit);
      return 0;
    }
  }
  return static_cast<int>(calls.size());
}

bool UndoStep(ITessel* image, tessel::MemoryUndoStore* store) {
  const bool undone = image->Undo() != 0;
  if (store != nullptr) store->EndUndo(undone);
  return undone;
}

}  // namespace cli
