// SPDX-License-Identifier: MIT
// `tessel optimize`: rewrites JPEG files losslessly with Huffman tables computed for each image.
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>

#include "cli/Command.h"
#include "cli/ImageFile.h"

namespace cli {
namespace {

struct OptimizeOptions {
  std::vector<std::string> files;
  SaveFlags save;
  unsigned jobs = 0;  // 0: one per processor
};

// What became of one file.
struct Outcome {
  bool done = false;  // the worker has finished with it
  bool ok = false;
  std::string target;
  int64_t before = 0, after = 0;
  std::string reason;  // why it failed
};

int64_t FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where each file is written: in place, to -o, or into the -o directory under its own name.
// Empty when -o cannot serve these files (a usage error, explained in `problem`).
std::vector<std::string> Targets(const OptimizeOptions& options, std::string* problem) {
  const std::string& out = options.save.output;
  std::vector<std::string> targets;
  if (out.empty()) return options.files;
  if (!IsDirectory(out)) {
    if (options.files.size() > 1) {
      *problem = "-o must name an existing directory when several files are given";
      return {};
    }
    return {out};
  }
  std::set<std::string> names;
  for (const std::string& file : options.files) {
    const std::string name = BaseName(file);
    if (!names.insert(name).second) {
      *problem = "two files named " + name + " would be written to " + out;
      return {};
    }
    targets.push_back(out + (out.back() == '/' ? "" : "/") + name);
  }
  return targets;
}

Outcome OptimizeOne(const std::string& file, const std::string& target,
                    const TesselSaveOptions& saveOptions) {
  Outcome outcome;
  outcome.target = target;
  outcome.before = FileSize(file);
  ImagePtr image = OpenImage(file, false, &outcome.reason);
  if (!image) return outcome;
  if (!TrySave(image.get(), target, saveOptions, &outcome.reason)) return outcome;
  outcome.after = FileSize(target);
  outcome.ok = true;
  return outcome;
}

void PrintOutcome(const std::string& file, const Outcome& outcome) {
  if (!outcome.ok) {
    std::cout.flush();  // keeps the report in the order of the files on a shared terminal
    ReportFailure(file, outcome.reason);
    return;
  }
  const double change = outcome.before > 0
                            ? 100.0 * static_cast<double>(outcome.after - outcome.before) /
                                  static_cast<double>(outcome.before)
                            : 0.0;
  char percent[32];
  std::snprintf(percent, sizeof percent, "%+.1f%%", change);
  std::cout << file << ": " << outcome.before << " -> " << outcome.after << " bytes (" << percent
            << ")";
  if (outcome.target != file) std::cout << ", written to " << outcome.target;
  std::cout << '\n';
}

// Works through the files with `jobs` threads, one image object per file, and prints the
// outcomes in the order of the files as they become known. Returns whether all succeeded.
bool OptimizeAll(const OptimizeOptions& options, const std::vector<std::string>& targets) {
  TesselSaveOptions saveOptions = MakeSaveOptions(options.save);
  saveOptions.bOptimize = 1;
  const size_t count = options.files.size();
  std::vector<Outcome> outcomes(count);
  std::mutex mutex;
  std::condition_variable finished;
  std::atomic<size_t> next{0};
  const auto work = [&] {
    for (size_t i = next++; i < count; i = next++) {
      Outcome outcome = OptimizeOne(options.files[i], targets[i], saveOptions);
      outcome.done = true;
      {
        const std::lock_guard<std::mutex> lock(mutex);
        outcomes[i] = std::move(outcome);
      }
      finished.notify_one();
    }
  };
  unsigned jobs = options.jobs != 0 ? options.jobs : std::thread::hardware_concurrency();
  if (jobs == 0) jobs = 1;
  if (jobs > count) jobs = static_cast<unsigned>(count);
  std::vector<std::thread> workers;
  for (unsigned j = 0; j < jobs; ++j) workers.emplace_back(work);
  bool allOk = true;
  for (size_t i = 0; i < count; ++i) {
    std::unique_lock<std::mutex> lock(mutex);
    finished.wait(lock, [&] { return outcomes[i].done; });
    const Outcome outcome = outcomes[i];
    lock.unlock();
    PrintOutcome(options.files[i], outcome);
    allOk = allOk && outcome.ok;
  }
  for (std::thread& worker : workers) worker.join();
  return allOk;
}

class OptimizeCommand : public Command {
 public:
  void Define(CLI::App& cmd) override {
    cmd.add_option("FILE", options_.files, "JPEG files")->required();
    AddSaveFlags(&cmd, options_.save);
    cmd.add_option("-j,--jobs", options_.jobs, "Files worked on at once (default: processors)")
        ->check(CLI::PositiveNumber);
  }

  int Run() override {
    std::string problem;
    const std::vector<std::string> targets = Targets(options_, &problem);
    if (targets.empty()) {
      ReportFailure(options_.save.output, problem);
      return kExitUsage;
    }
    return OptimizeAll(options_, targets) ? kExitOk : kExitFailure;
  }

 private:
  OptimizeOptions options_;
};

[[maybe_unused]] const bool kRegistered = RegisterCommand(
    {"optimize",
     "Rewrite JPEG files losslessly with Huffman tables computed for each image (in place "
     "unless -o is given; with several files -o must name a directory)",
     50, MakeCommand<OptimizeCommand>});

}  // namespace
}  // namespace cli
