// SPDX-License-Identifier: MIT
// `tessel rotate|flip|crop|grayscale|levels`: one lossless edit of a JPEG file, saved in place
// or to -o. One command per row of the edit table.
#include <CLI/CLI.hpp>

#include "cli/Command.h"
#include "cli/Edits.h"
#include "cli/ImageFile.h"

namespace cli {
namespace {

class EditCommand : public Command {
 public:
  explicit EditCommand(const EditForm& form) : form_(form) {}

  void Define(CLI::App& command) override {
    if (*form_.argument != '\0') {
      command.add_option(form_.argument, argument_, form_.argumentHelp)->required();
    }
    command.add_option("FILE", file_, "The JPEG file")->required();
    if (form_.keepPartial) {
      command.add_flag("--keep-partial", keepPartial_,
                       "Keep a partial edge MCU whole (the image grows) instead of dropping it");
    }
    AddSaveFlags(&command, save_);
  }

  int Run() override {
    std::optional<EditRequest> edit = form_.parse(argument_);
    if (!edit) throw CLI::ValidationError(form_.name, "cannot read '" + argument_ + "'");
    edit->keepPartial = keepPartial_;
    return EditFile(file_, *edit) ? kExitOk : kExitFailure;
  }

 private:
  bool EditFile(const std::string& file, const EditRequest& edit) const {
    return ChangeFile(file, save_, [&](ITessel& image, TesselSaveOptions&) {
      std::string error;
      if (ApplyEdit(&image, edit, nullptr, &error) != 0) return Change::kSave;
      ReportFailure(file, error);
      return Change::kFailed;
    });
  }

  const EditForm& form_;
  std::string argument_;  // rotation, flip direction, rectangle or offsets
  std::string file_;
  bool keepPartial_ = false;
  SaveFlags save_;
};

[[maybe_unused]] const bool kRegistered = [] {
  int place = 70;
  for (const EditForm& form : EditForms()) {
    RegisterCommand(
        {form.name, form.help, place++, [&form] { return std::make_unique<EditCommand>(form); }});
  }
  return true;
}();

}  // namespace
}  // namespace cli
