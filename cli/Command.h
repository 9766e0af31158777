// SPDX-License-Identifier: MIT
// The tool's commands and the one registry the command line is built from.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace cli {

// One command of the tool. Define adds its arguments and options to the command line; Run does
// the work once the line is parsed. A command that works on files keeps the work on one file
// in a function of its own, apart from the options, so that one run can cover many files.
class Command {
 public:
  virtual ~Command() = default;
  // Adds the command's arguments and options to its part of the command line.
  virtual void Define(CLI::App& command) = 0;
  // Does the work and returns the exit code. A value only the command can check may throw
  // CLI::ValidationError, which ends the tool as a usage error.
  virtual int Run() = 0;
};

// A command as the registry knows it.
struct CommandEntry {
  std::string name;
  std::string help;  // its line in `tessel --help`
  int place = 0;     // where that line stands: lower first
  std::function<std::unique_ptr<Command>()> make;
};

// Adds a command to the tool. Each Command*.cpp registers its commands from a namespace-scope
// initializer, so that adding a command is adding its file:
//   const bool kRegistered = RegisterCommand({"orient", "Set ...", 20, MakeCommand<Orient>});
// This relies on the files being linked into the tool itself: from a static library the
// linker would drop a file that nothing else refers to.
bool RegisterCommand(CommandEntry entry);

template <class T>
std::unique_ptr<Command> MakeCommand() {
  return std::make_unique<T>();
}

// Adds every registered command to `app` in order of place. A command's Run stores its exit
// code in `exitCode`; the returned objects must outlive the parsing.
std::vector<std::unique_ptr<Command>> AddCommands(CLI::App& app, int& exitCode);

}  // namespace cli
