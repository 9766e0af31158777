// SPDX-License-Identifier: MIT
// The registry of the tool's commands.
#include "cli/Command.h"

#include <CLI/CLI.hpp>
#include <algorithm>

namespace cli {
namespace {

// Filled by the registering files' initializers, which run before main in no set order; a
// function-local object exists before the first of them uses it.
std::vector<CommandEntry>& Registry() {
  static std::vector<CommandEntry> entries;
  return entries;
}

}  // namespace

bool RegisterCommand(CommandEntry entry) {
  Registry().push_back(std::move(entry));
  return true;
}

std::vector<std::unique_ptr<Command>> AddCommands(CLI::App& app, int& exitCode) {
  std::vector<CommandEntry> entries = Registry();
  std::stable_sort(entries.begin(), entries.end(),
                   [](const CommandEntry& a, const CommandEntry& b) { return a.place < b.place; });
  std::vector<std::unique_ptr<Command>> commands;
  for (const CommandEntry& entry : entries) {
    std::unique_ptr<Command> command = entry.make();
    CLI::App* part = app.add_subcommand(entry.name, entry.help);
    command->Define(*part);
    part->callback([&exitCode, run = command.get()] { exitCode = run->Run(); });
    commands.push_back(std::move(command));
  }
  return commands;
}

}  // namespace cli
