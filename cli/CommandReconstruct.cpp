// SPDX-License-Identifier: MIT
// `tessel reconstruct`: smooths block edges with the reconstruction filter, keeping every
// coefficient at its quantization level, with progress on standard error and a clean stop on
// Ctrl-C.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "cli/Command.h"
#include "cli/ImageFile.h"
#include "cli/Rendering.h"

namespace cli {
namespace {

inline constexpr int kExitInterrupted = 130;  // 128 + SIGINT, as shells report it

struct ReconstructOptions {
  std::string file;
  int passes = 1;
  SaveFlags save;
};

// The progress function is a plain function, so what it shows lives here.
volatile std::sig_atomic_t g_interrupted = 0;
struct ProgressDisplay {
  bool terminal = false;
  int passes = 1;
  int pass = 1;       // the pass being reported, from 1
  int shown = -1;     // the last percentage shown in this pass
  bool open = false;  // a terminal line without its newline
} g_display;

void OnInterrupt(int) { g_interrupted = 1; }

void DrawBar(int percent) {
  constexpr int kWidth = 30;
  const int filled = percent * kWidth / 100;
  std::fprintf(stderr, "\rreconstruct: pass %d of %d [%s%s] %3d%%", g_display.pass,
               g_display.passes, std::string(filled, '#').c_str(),
               std::string(kWidth - filled, '.').c_str(), percent);
  g_display.open = true;
}

void EndLine() {
  if (g_display.open) std::fputc('\n', stderr);
  g_display.open = false;
}

// Called after each block row. A pass always ends with 100, so the next value starts the next
// pass. Returning 0 stops the filter.
int32_t ShowProgress(int32_t percent) {
  if (g_interrupted) return 0;
  if (g_display.terminal) {
    if (percent != g_display.shown) DrawBar(percent);
  } else if (percent / 10 != g_display.shown / 10) {
    std::fprintf(stderr, "reconstruct: pass %d of %d: %d%%\n", g_display.pass, g_display.passes,
                 percent);
  }
  g_display.shown = percent;
  if (percent == 100) {
    EndLine();
    ++g_display.pass;
    g_display.shown = -1;
  }
  return g_interrupted ? 0 : 1;
}

// Runs the filter with its progress on standard error; Ctrl-C asks it to stop. False when the
// library refused.
bool FilterWithProgress(ITessel& image, int passes) {
  g_display = ProgressDisplay{};
  g_display.terminal = isatty(STDERR_FILENO) != 0;
  g_display.passes = passes;
  g_interrupted = 0;
  struct sigaction action {
  }, previous{};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous);
  const TSL_BOOL filtered = image.Reconstruct(passes, ShowProgress);
  sigaction(SIGINT, &previous, nullptr);
  EndLine();
  return filtered != 0;
}

// Writes the filtered image: the smoothed picture for -o OUT.png or OUT.ppm, else the JPEG.
int SaveFiltered(ITessel& image, const ReconstructOptions& options) {
  if (IsPicturePath(options.save.output)) {
    return WriteRendering(image, options.file, options.save.output, false) ? kExitOk : kExitFailure;
  }
  if (!SaveImage(&image, options.file, options.save)) return kExitFailure;
  // Saving quantizes the coefficients with the file's own tables, which gives back the levels
  // the filter kept: worth saying, since the pixels of such a file do not change.
  std::cout
      << options.file
      << ": filtered and saved losslessly; every coefficient keeps its quantization "
         "level, so the smoothing shows in a rendering (-o OUT.png) rather than in the JPEG\n";
  return kExitOk;
}

int ReconstructFile(const ReconstructOptions& options) {
  ImagePtr image = OpenImageOrReport(options.file);
  if (!image) return kExitFailure;
  if (!FilterWithProgress(*image, options.passes)) {
    ReportFailure(options.file,
                  "cannot filter this image (more than four components or a missing "
                  "quantization table)");
    return kExitFailure;
  }
  if (g_interrupted) {
    ReportFailure(options.file, "interrupted; nothing saved");
    return kExitInterrupted;
  }
  return SaveFiltered(*image, options);
}

class ReconstructCommand : public Command {
 public:
  void Define(CLI::App& cmd) override {
    cmd.add_option("FILE", options_.file, "JPEG file")->required();
    cmd.add_option("--passes", options_.passes, "How many times the filter runs (default 1)")
        ->check(CLI::Range(1, 1000));
    AddSaveFlags(&cmd, options_.save);
  }

  int Run() override { return ReconstructFile(options_); }

 private:
  ReconstructOptions options_;
};

[[maybe_unused]] const bool kRegistered = RegisterCommand(
    {"reconstruct",
     "Smooth block edges while every coefficient keeps its quantization level, and save the "
     "JPEG (in place unless -o is given) or, with -o OUT.png or OUT.ppm, the smoothed "
     "picture; Ctrl-C stops without saving",
     100, MakeCommand<ReconstructCommand>});

}  // namespace
}  // namespace cli
