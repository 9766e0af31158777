// SPDX-License-Identifier: MIT
// `tessel shell FILE`: edits, undo, render and save of one image, one command per input line.
//
// Every line gets exactly one line of answer on standard output, "ok ..." or "error: ...", so
// that a script can drive it and check each step. Undo goes through a MemoryUndoStore; one
// command is one undo step even when it takes several library actions (a half turn).
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <sstream>

#include "cli/Command.h"
#include "cli/Common.h"
#include "cli/Edits.h"
#include "cli/ImageFile.h"
#include "cli/Rendering.h"
#include "cli/SaveFlags.h"

namespace cli {
namespace {

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string Size(ITessel* image) { return SizeText(image->GetWidth(), image->GetHeight()); }

class Shell {
 public:
  Shell(ImagePtr image, std::string file) : image_(std::move(image)), file_(std::move(file)) {
    image_->SetUndoStore(&store_);
  }
  ~Shell() {
    // The image must not outlive the store its actions point to.
    image_->Close();
  }

  // Runs one line; false when it failed. Sets `quit` for "quit".
  bool Run(const std::vector<std::string>& words, bool* quit) {
    const std::string& name = words[0];
    if (name == "quit" || name == "exit") {
      *quit = true;
      return Answer("bye");
    }
    if (name == "undo") return Undo(words);
    if (name == "info") return Info(words);
    if (name == "render") return Render(words);
    if (name == "save") return Save(words);
    std::string error;
    const std::optional<EditRequest> edit = ParseEdit(words, &error);
    if (!edit) return Fail(error.empty() ? "unknown command: " + name : error);
    const int actions = ApplyEdit(image_.get(), *edit, &store_, &error);
    if (actions == 0) return Fail(error);
    steps_.push_back(actions);
    return Answer(Size(image_.get()));
  }

 private:
  bool Answer(const std::string& text) {
    std::cout << "ok " << text << std::endl;
    return true;
  }
  bool Fail(const std::string& reason) {
    std::cout << "error: " << reason << std::endl;
    return false;
  }

  bool Undo(const std::vector<std::string>& words) {
    if (words.size() != 1) return Fail("usage: undo");
    if (steps_.empty()) return Fail("nothing to undo");
    for (int n = 0; n < steps_.back(); ++n) {
      if (!UndoStep(image_.get(), &store_)) return Fail("could not undo (out of memory)");
    }
    steps_.pop_back();
    return Answer(Size(image_.get()));
  }

  bool Info(const std::vector<std::string>& words) {
    if (words.size() != 1) return Fail("usage: info");
    ITessel* image = image_.get();
    return Answer(Size(image) + " mcu " + std::to_string(image->GetMCUWidth()) + "x" +
                  std::to_string(image->GetMCUHeight()) + " " +
                  (image->IsGrayscale() ? "grayscale" : "colour") + " undo " +
                  std::to_string(steps_.size()));
  }

  bool Render(const std::vector<std::string>& words) {
    if (words.size() != 2) return Fail("usage: render PATH");
    Bitmap bitmap;
    const RenderOutcome outcome = RenderBitmap(*image_, false, &bitmap);
    if (outcome == RenderOutcome::kNoMemory) return Fail("out of memory");
    if (outcome != RenderOutcome::kDone) return Fail("could not render the image");
    std::string error;
    if (!WritePicture(words[1], bitmap, &error)) return Fail(words[1] + ": " + error);
    return Answer("rendered " + words[1]);
  }

  bool Save(const std::vector<std::string>& words) {
    if (words.size() > 2) return Fail("usage: save [PATH]");
    const std::string target = words.size() == 2 ? words[1] : file_;
    const TesselSaveOptions options = MakeSaveOptions(SaveFlags{});
    if (!image_->Save(Wide(target).c_str(), &options)) return Fail(target + ": could not save");
    return Answer("saved " + target);
  }

  tessel::MemoryUndoStore store_;
  ImagePtr image_;
  std::string file_;
  std::vector<int> steps_;  // library actions of each command that can still be undone
};

// Reads the lines of one session; fails when any of them did.
class ShellCommand : public Command {
 public:
  void Define(CLI::App& command) override {
    command.add_option("FILE", file_, "The JPEG file")->required();
  }

  int Run() override {
    ImagePtr image = OpenImageOrReport(file_);
    if (!image) return kExitFailure;
    Shell shell(std::move(image), file_);
    bool failed = false, quit = false;
    for (std::string line; !quit && std::getline(std::cin, line);) {
      const std::vector<std::string> words = Words(line);
      if (words.empty() || words[0][0] == '#') continue;
      if (!shell.Run(words, &quit)) failed = true;
    }
    return failed ? kExitFailure : kExitOk;
  }

 private:
  std::string file_;
};

[[maybe_unused]] const bool kRegistered = RegisterCommand(
    {"shell",
     "Edit one JPEG with commands read from standard input, one a line: rotate, flip, crop, "
     "grayscale, levels (as the commands of the same names), undo, info, render PATH, "
     "save [PATH], quit. Each line is answered with one line, 'ok ...' or 'error: ...'",
     80, MakeCommand<ShellCommand>});

}  // namespace
}  // namespace cli
