// SPDX-License-Identifier: MIT
// Shared helpers of the tessel tool: image objects, paths, messages and exit codes.
#pragma once

#include <memory>
#include <string>

#include "tessel/tessel.h"

namespace CLI {
class App;
}

namespace cli {

// Exit codes of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Releases the image object when it goes out of scope.
struct ImageReleaser {
  void operator()(ITessel* image) const {
    if (image != nullptr) image->Release();
  }
};
using ImagePtr = std::unique_ptr<ITessel, ImageReleaser>;

// A new image object; null only when memory is exhausted.
ImagePtr NewImage();

// UTF-8 command-line text to the library's UTF-16.
std::u16string Wide(const std::string& text);

// Why `path` cannot be opened as an image: "no such file", "permission denied", "is a
// directory", or `fallback` when the file itself is readable.
std::string OpenFailureReason(const std::string& path,
                              const std::string& fallback = "not a JPEG file it can read");

// Prints "tessel: FILE: REASON" on standard error.
void ReportFailure(const std::string& file, const std::string& reason);

// Name of a JPEG colour-space code (0..5).
std::string ColourSpaceName(int code);

// Each command adds itself to the app; its callback stores its exit code in `exitCode`.
void AddInfoCommand(CLI::App& app, int& exitCode);
void AddOrientCommand(CLI::App& app, int& exitCode);
void AddThumbsCommand(CLI::App& app, int& exitCode);
void AddReencodeCommand(CLI::App& app, int& exitCode);
void AddOptimizeCommand(CLI::App& app, int& exitCode);
void AddRenderCommand(CLI::App& app, int& exitCode);
// rotate, flip, crop, grayscale and levels.
void AddEditCommands(CLI::App& app, int& exitCode);
void AddShellCommand(CLI::App& app, int& exitCode);
void AddApplyCommand(CLI::App& app, int& exitCode);
void AddReconstructCommand(CLI::App& app, int& exitCode);

}  // namespace cli
