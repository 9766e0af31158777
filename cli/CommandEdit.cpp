// SPDX-License-Identifier: MIT
// `tessel rotate|flip|crop|grayscale|levels`: one lossless edit of a JPEG file, saved in place
// or to -o; and the edit parsing and application that `tessel shell` shares.
#include <CLI/CLI.hpp>
#include <charconv>
#include <climits>
#include <functional>
#include <memory>

#include "cli/Common.h"
#include "cli/Edits.h"
#include "cli/SaveFlags.h"

namespace cli {
namespace {

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

// Why an edit the library refused was refused, from what the image says about itself.
std::string RefusalReason(ITessel* image, const EditRequest& edit) {
  using Kind = EditRequest::Kind;
  switch (edit.kind) {
    case Kind::kGrayscale:
      return image->IsGrayscale() ? "the image is already grayscale"
                                  : "only YCbCr images with full-resolution luminance can be "
                                    "turned gray";
    case Kind::kLevels:
      return "levels work on grayscale and YCbCr images only";
    case Kind::kCrop:
      return "the crop rectangle is too large";
    default:
      break;
  }
  const bool width =
      edit.kind == Kind::kFlipH || edit.kind == Kind::kRotateLeft || edit.kind == Kind::kRotate180;
  const bool height = edit.kind != Kind::kFlipH && edit.kind != Kind::kRotateLeft;
  if (!edit.keepPartial && ((width && image->GetWidth() < image->GetMCUWidth()) ||
                            (height && image->GetHeight() < image->GetMCUHeight()))) {
    return "the image is smaller than one MCU (" + std::to_string(image->GetMCUWidth()) + "x" +
           std::to_string(image->GetMCUHeight()) + "); use --keep-partial";
  }
  return "out of memory";
}

// One library call, marked in the undo store.
bool Call(tessel::MemoryUndoStore* store, const std::function<TSL_BOOL()>& call) {
  if (store != nullptr) store->BeginEdit();
  const bool ok = call() != 0;
  if (store != nullptr) store->EndEdit(ok);
  return ok;
}

struct EditOptions {
  std::string what;  // rotation, flip direction, rectangle or offsets
  std::string file;
  bool keepPartial = false;
  SaveFlags save;
};

int RunEdit(const EditRequest& edit, const EditOptions& options) {
  ImagePtr image = NewImage();
  if (!image || !image->Open(Wide(options.file).c_str(), 0)) {
    ReportFailure(options.file, OpenFailureReason(options.file));
    return kExitFailure;
  }
  std::string error;
  if (ApplyEdit(image.get(), edit, nullptr, &error) == 0) {
    ReportFailure(options.file, error);
    return kExitFailure;
  }
  return SaveImage(image.get(), options.file, options.save) ? kExitOk : kExitFailure;
}

// Adds one edit command: `argument` names its first positional (empty for none), `parse` turns
// it into the request.
void AddEdit(CLI::App& app, int& exitCode, const std::string& name, const std::string& help,
             const std::string& argument, const std::string& argumentHelp, bool keepPartial,
             std::function<std::optional<EditRequest>(const std::string&)> parse) {
  auto options = std::make_shared<EditOptions>();
  CLI::App* command = app.add_subcommand(name, help);
  if (!argument.empty()) command->add_option(argument, options->what, argumentHelp)->required();
  command->add_option("FILE", options->file, "The JPEG file")->required();
  if (keepPartial) {
    command->add_flag("--keep-partial", options->keepPartial,
                      "Keep a partial edge MCU whole (the image grows) instead of dropping it");
  }
  AddSaveFlags(command, options->save);
  command->callback([options, parse, &exitCode, name]() {
    std::optional<EditRequest> edit = parse(options->what);
    if (!edit) throw CLI::ValidationError(name, "cannot read '" + options->what + "'");
    edit->keepPartial = options->keepPartial;
    exitCode = RunEdit(*edit, *options);
  });
}

EditRequest Request(EditRequest::Kind kind, std::array<int32_t, 4> values = {}) {
  EditRequest edit;
  edit.kind = kind;
  edit.values = values;
  return edit;
}

}  // namespace

std::optional<EditRequest::Kind> ParseRotation(const std::string& word) {
  if (word == "left" || word == "270") return EditRequest::Kind::kRotateLeft;
  if (word == "right" || word == "90") return EditRequest::Kind::kRotateRight;
  if (word == "180") return EditRequest::Kind::kRotate180;
  return std::nullopt;
}

std::optional<EditRequest::Kind> ParseFlip(const std::string& word) {
  if (word == "h" || word == "horizontal") return EditRequest::Kind::kFlipH;
  if (word == "v" || word == "vertical") return EditRequest::Kind::kFlipV;
  return std::nullopt;
}

std::optional<std::array<int32_t, 4>> ParseCropRect(const std::string& text) {
  if (text.find('x') != std::string::npos) return ParseGeometry(text);
  const auto values = Integers(text, ',');
  if (!values || values->size() != 4) return std::nullopt;
  return std::array<int32_t, 4>{(*values)[0], (*values)[1], (*values)[2], (*values)[3]};
}

std::optional<std::array<int32_t, 3>> ParseLevels(const std::string& text) {
  const auto values = Integers(text, ',');
  if (!values || values->size() != 3) return std::nullopt;
  return std::array<int32_t, 3>{(*values)[0], (*values)[1], (*values)[2]};
}

std::optional<EditRequest> ParseEdit(const std::vector<std::string>& words, std::string* error) {
  error->clear();
  if (words.empty()) return std::nullopt;
  std::vector<std::string> args(words.begin() + 1, words.end());
  bool keepPartial = false;
  std::erase_if(args, [&](const std::string& w) {
    return w == "--keep-partial" ? (keepPartial = true) : false;
  });
  const std::string& name = words[0];
  const auto arity = [&](size_t n, const char* usage) {
    if (args.size() == n) return true;
    *error = std::string("usage: ") + usage;
    return false;
  };
  std::optional<EditRequest> edit;
  if (name == "rotate") {
    if (!arity(1, "rotate left|right|180 [--keep-partial]")) return std::nullopt;
    if (const auto kind = ParseRotation(args[0])) edit = Request(*kind);
  } else if (name == "flip") {
    if (!arity(1, "flip h|v [--keep-partial]")) return std::nullopt;
    if (const auto kind = ParseFlip(args[0])) edit = Request(*kind);
  } else if (name == "crop") {
    if (!arity(1, "crop L,T,R,B|WxH+X+Y")) return std::nullopt;
    if (const auto rect = ParseCropRect(args[0])) edit = Request(EditRequest::Kind::kCrop, *rect);
  } else if (name == "grayscale") {
    if (!arity(0, "grayscale")) return std::nullopt;
    edit = Request(EditRequest::Kind::kGrayscale);
  } else if (name == "levels") {
    if (!arity(1, "levels A,B,C")) return std::nullopt;
    if (const auto o = ParseLevels(args[0]))
      edit = Request(EditRequest::Kind::kLevels, {(*o)[0], (*o)[1], (*o)[2], 0});
  } else {
    return std::nullopt;
  }
  if (!edit) {
    *error = "cannot read '" + args[0] + "'";
    return std::nullopt;
  }
  edit->keepPartial = keepPartial;
  return edit;
}

int ApplyEdit(ITessel* image, const EditRequest& edit, tessel::MemoryUndoStore* store,
              std::string* error) {
  using Kind = EditRequest::Kind;
  const int32_t keep = edit.keepPartial ? 1 : 0;
  const auto& v = edit.values;
  bool ok = false;
  switch (edit.kind) {
    case Kind::kRotateLeft:
      ok = Call(store, [&] { return image->RotateLeft(keep); });
      break;
    case Kind::kRotateRight:
      ok = Call(store, [&] { return image->RotateRight(keep); });
      break;
    case Kind::kRotate180:
      // A half turn is both mirrors; should the second refuse, the first is taken back.
      if (!Call(store, [&] { return image->FlipH(keep); })) break;
      if (Call(store, [&] { return image->FlipV(keep); })) {
        return 2;
      }
      UndoStep(image, store);
      break;
    case Kind::kFlipH:
      ok = Call(store, [&] { return image->FlipH(keep); });
      break;
    case Kind::kFlipV:
      ok = Call(store, [&] { return image->FlipV(keep); });
      break;
    case Kind::kCrop:
      ok = Call(store, [&] { return image->Crop(v[0], v[1], v[2], v[3]); });
      break;
    case Kind::kGrayscale:
      ok = Call(store, [&] { return image->Grayscale(); });
      break;
    case Kind::kLevels:
      ok = Call(store, [&] { return image->Levels(v[0], v[1], v[2]); });
      break;
  }
  if (ok) return 1;
  *error = RefusalReason(image, edit);
  return 0;
}

bool UndoStep(ITessel* image, tessel::MemoryUndoStore* store) {
  const bool undone = image->Undo() != 0;
  if (store != nullptr) store->EndUndo(undone);
  return undone;
}

void AddEditCommands(CLI::App& app, int& exitCode) {
  AddEdit(app, exitCode, "rotate", "Turn a JPEG losslessly by a quarter or half turn", "ROTATION",
          "left, right or 180", true, [](const std::string& what) -> std::optional<EditRequest> {
            const auto kind = ParseRotation(what);
            if (!kind) return std::nullopt;
            return Request(*kind);
          });
  AddEdit(app, exitCode, "flip", "Mirror a JPEG losslessly", "DIRECTION",
          "h (left to right) or v (top to bottom)", true,
          [](const std::string& what) -> std::optional<EditRequest> {
            const auto kind = ParseFlip(what);
            if (!kind) return std::nullopt;
            return Request(*kind);
          });
  AddEdit(app, exitCode, "crop",
          "Crop a JPEG losslessly (left and top edges move down to the MCU grid; a rectangle "
          "beyond the image extends it with gray)",
          "RECT", "L,T,R,B in pixels (right and bottom exclusive) or WxH+X+Y", false,
          [](const std::string& what) -> std::optional<EditRequest> {
            const auto rect = ParseCropRect(what);
            if (!rect) return std::nullopt;
            return Request(EditRequest::Kind::kCrop, *rect);
          });
  AddEdit(app, exitCode, "grayscale", "Drop the colour of a YCbCr JPEG losslessly", "", "", false,
          [](const std::string&) -> std::optional<EditRequest> {
            return Request(EditRequest::Kind::kGrayscale);
          });
  AddEdit(app, exitCode, "levels",
          "Shift the brightness of each component: offsets in percent of full scale", "OFFSETS",
          "A,B,C for component 0, component 1 and the rest (-100..100)", false,
          [](const std::string& what) -> std::optional<EditRequest> {
            const auto o = ParseLevels(what);
            if (!o) return std::nullopt;
            return Request(EditRequest::Kind::kLevels, {(*o)[0], (*o)[1], (*o)[2], 0});
          });
}

}  // namespace cli
