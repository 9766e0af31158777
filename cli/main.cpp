// SPDX-License-Identifier: MIT
// The tessel command-line tool: lossless JPEG inspection and editing for people and scripts.
#include <CLI/CLI.hpp>

#include "cli/Common.h"

int main(int argc, char** argv) {
  CLI::App app{"tessel: lossless JPEG editing"};
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "Show help for every command");
  int exitCode = cli::kExitOk;
  cli::AddInfoCommand(app, exitCode);
  cli::AddOrientCommand(app, exitCode);
  cli::AddThumbsCommand(app, exitCode);
  cli::AddReencodeCommand(app, exitCode);
  cli::AddOptimizeCommand(app, exitCode);
  cli::AddRenderCommand(app, exitCode);
  cli::AddEditCommands(app, exitCode);
  cli::AddShellCommand(app, exitCode);
  cli::AddApplyCommand(app, exitCode);
  cli::AddReconstructCommand(app, exitCode);
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
