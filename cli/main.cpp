// SPDX-License-Identifier: MIT
// The tessel command-line tool: lossless JPEG inspection and editing for people and scripts.
#include <CLI/CLI.hpp>

#include "cli/Command.h"
#include "cli/Common.h"

int main(int argc, char** argv) {
  CLI::App app{"tessel: lossless JPEG editing"};
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "Show help for every command");
  int exitCode = cli::kExitOk;
  const auto commands = cli::AddCommands(app, exitCode);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return cli::kExitUsage;
  }
  return exitCode;
}
