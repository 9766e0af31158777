// SPDX-License-Identifier: MIT
// The independent Exif reader of the tests: exiftool, run as a program when it is installed.
#pragma once

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fixtures {

// Whether exiftool can be run.
inline bool HaveExifTool() {
  static const bool have = std::system("exiftool -ver >/dev/null 2>&1") == 0;
  return have;
}

// Standard output of exiftool with the arguments (each quoted for the shell).
inline std::string RunExifTool(const std::vector<std::string>& args) {
  std::string command = "exiftool";
  for (const std::string& a : args) {
    std::string quoted = "'";
    for (char c : a) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += " " + quoted + "'";
  }
  command += " 2>/dev/null";
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// The "Warning"/"Error" lines of `exiftool -validate` for a file, without the count line.
inline std::vector<std::string> ValidationIssues(const std::filesystem::path& file) {
  const std::string out =
      RunExifTool({"-validate", "-warning", "-error", "-a", "-s", "-G0", file.string()});
  std::vector<std::string> issues;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(start, end - start);
    if (line.find("Validate") == std::string::npos && !line.empty()) issues.push_back(line);
    start = end + 1;
  }
  return issues;
}

// The "Warning" and "Error" lines of `exiftool -validate` for many files in one run, by path.
inline std::map<std::string, std::vector<std::string>> ValidationIssuesOf(
    const std::vector<std::filesystem::path>& files) {
  std::vector<std::string> args = {"-validate", "-warning", "-error", "-a", "-s"};
  for (const auto& f : files) args.push_back(f.string());
  const std::string out = RunExifTool(args);
  std::map<std::string, std::vector<std::string>> issues;
  std::string current;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(start, end - start);
    if (line.rfind("======== ", 0) == 0) {
      current = line.substr(9);
      issues[current];
    } else if (line.rfind("Warning", 0) == 0 || line.rfind("Error", 0) == 0) {
      issues[current].push_back(line);
    }
    start = end + 1;
  }
  return issues;
}

}  // namespace fixtures
