// SPDX-License-Identifier: MIT
// `tessel info`: size, MCU, colour space and component layout of JPEG files.
#include <CLI/CLI.hpp>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/Common.h"
#include "cli/JpegHeader.h"

namespace cli {
namespace {

struct InfoOptions {
  std::vector<std::string> files;
  bool headerOnly = false;
  bool json = false;
};

// What the report shows of one opened file.
struct InfoReport {
  int width = 0, height = 0, mcuWidth = 0, mcuHeight = 0;
  int64_t coefficients = 0;
  JpegHeader header;
};

// Coefficients a store of this layout holds: whole MCUs of every component.
int64_t StoreCount(const InfoReport& r) {
  if (r.mcuWidth <= 0 || r.mcuHeight <= 0) return 0;
  const int64_t mx = (r.width + r.mcuWidth - 1) / r.mcuWidth;
  const int64_t my = (r.height + r.mcuHeight - 1) / r.mcuHeight;
  int64_t total = 0;
  for (const ComponentHeader& c : r.header.components) total += 64 * mx * c.h * my * c.v;
  return total;
}

nlohmann::json ToJson(const std::string& file, const InfoReport& r) {
  nlohmann::json components = nlohmann::json::array();
  const int64_t mx = (r.width + r.mcuWidth - 1) / r.mcuWidth;
  const int64_t my = (r.height + r.mcuHeight - 1) / r.mcuHeight;
  for (const ComponentHeader& c : r.header.components) {
    components.push_back({{"h", c.h},
                          {"v", c.v},
                          {"blocks", {c.widthBlocks, c.heightBlocks}},
                          {"storeBlocks", {mx * c.h, my * c.v}}});
  }
  return {{"file", file},
          {"width", r.width},
          {"height", r.height},
          {"mcu", {r.mcuWidth, r.mcuHeight}},
          {"colourSpace", ColourSpaceName(r.header.colourSpace)},
          {"components", components},
          {"coefficients", r.coefficients}};
}

void PrintText(const std::string& file, const InfoReport& r) {
  const int64_t mx = (r.width + r.mcuWidth - 1) / r.mcuWidth;
  const int64_t my = (r.height + r.mcuHeight - 1) / r.mcuHeight;
  std::cout << file << '\n'
            << "  size:         " << r.width << 'x' << r.height << '\n'
            << "  MCU:          " << r.mcuWidth << 'x' << r.mcuHeight << '\n'
            << "  colour space: " << ColourSpaceName(r.header.colourSpace) << '\n'
            << "  components:   " << r.header.components.size() << '\n';
  for (size_t i = 0; i < r.header.components.size(); ++i) {
    const ComponentHeader& c = r.header.components[i];
    std::cout << "  component " << i << ":  sampling " << c.h << 'x' << c.v << ", blocks "
              << c.widthBlocks << 'x' << c.heightBlocks << " (store " << mx * c.h << 'x' << my * c.v
              << ")\n";
  }
  std::cout << "  coefficients: " << r.coefficients << '\n';
}

// Opens one file and prints its report; false when it cannot be read.
bool InfoOne(const std::string& file, const InfoOptions& options) {
  ImagePtr image = NewImage();
  if (!image || !image->Open(Wide(file).c_str(), options.headerOnly ? 1 : 0)) {
    ReportFailure(file, OpenFailureReason(file));
    return false;
  }
  std::optional<JpegHeader> header = ReadJpegHeaderFile(file);
  if (!header) {
    ReportFailure(file, OpenFailureReason(file));
    return false;
  }
  InfoReport report;
  report.width = image->GetWidth();
  report.height = image->GetHeight();
  report.mcuWidth = image->GetMCUWidth();
  report.mcuHeight = image->GetMCUHeight();
  report.header = *header;
  int16_t* values = nullptr;
  int32_t count = 0;
  image->GetCoefficients(&values, &count);
  report.coefficients = options.headerOnly ? StoreCount(report) : count;
  if (options.json) {
    std::cout << ToJson(file, report).dump() << '\n';
  } else {
    PrintText(file, report);
  }
  return true;
}

}  // namespace

void AddInfoCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<InfoOptions>();
  CLI::App* cmd =
      app.add_subcommand("info", "Show the size, MCU and component layout of JPEG files");
  cmd->add_option("FILE", options->files, "JPEG files")->required();
  cmd->add_flag("--header-only", options->headerOnly, "Read only the header (no coefficients)");
  cmd->add_flag("--json", options->json, "Print one JSON object per file");
  cmd->callback([options, &exitCode]() {
    for (const std::string& file : options->files) {
      if (!InfoOne(file, *options)) exitCode = kExitFailure;
    }
  });
}

}  // namespace cli
