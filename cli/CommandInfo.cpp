// SPDX-License-Identifier: MIT
// `tessel info`: size, MCU, colour space, component layout and Exif values of JPEG files, or
// a caption made from a template.
#include <CLI/CLI.hpp>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/Command.h"
#include "cli/Common.h"
#include "cli/ExifReport.h"
#include "cli/ImageFile.h"
#include "cli/JpegHeader.h"

namespace cli {
namespace {

struct InfoOptions {
  std::vector<std::string> files;
  bool headerOnly = false;
  bool json = false;
  std::optional<std::string> format;  // --format: print this caption template's text only
  std::string locale = "0";
  std::string datePicture = "yyyy-MM-dd";
  std::string timePicture = "HH:mm:ss";
  bool subSeconds = false;
  bool fileDate = false;
};

// What the report shows of one opened file.
struct InfoReport {
  int width = 0, height = 0, mcuWidth = 0, mcuHeight = 0;
  int64_t coefficients = 0;
  JpegHeader header;
  ExifReport exif;
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

// A text value, or null when the file has none.
nlohmann::json TextOrNull(const std::string& text) {
  return text.empty() ? nlohmann::json() : nlohmann::json(text);
}

nlohmann::json ExifJson(const ExifReport& e) {
  nlohmann::json gps;
  if (!e.latitude.empty())
    gps = {{"latitude", e.latitude}, {"longitude", e.longitude}, {"altitude", e.altitude}};
  return {{"jfifSegment", e.jfif},
          {"exifSegment", e.exif},
          {"make", TextOrNull(e.make)},
          {"model", TextOrNull(e.model)},
          {"dateTaken", TextOrNull(e.dateTaken)},
          {"exposure", TextOrNull(e.exposure)},
          {"fNumber", TextOrNull(e.fNumber)},
          {"iso", TextOrNull(e.iso)},
          {"focalLength", TextOrNull(e.focalLength)},
          {"focalLength35", TextOrNull(e.focalLength35)},
          {"userComment", TextOrNull(e.userComment)},
          {"gps", gps},
          {"orientation", e.orientation},
          {"thumbnail", {e.thumbnailWidth, e.thumbnailHeight}}};
}

void PrintExif(const ExifReport& e) {
  const auto line = [](const char* label, const std::string& value) {
    if (!value.empty()) std::cout << "  " << label << value << '\n';
  };
  std::cout << "  segments:     " << (e.jfif ? "JFIF" : "no JFIF") << ", "
            << (e.exif ? "Exif" : "no Exif") << '\n';
  line("make:         ", e.make);
  line("model:        ", e.model);
  line("date taken:   ", e.dateTaken);
  line("exposure:     ", e.exposure);
  line("f-number:     ", e.fNumber);
  line("ISO:          ", e.iso);
  line("focal length: ", e.focalLength);
  line("35mm focal:   ", e.focalLength35);
  line("user comment: ", e.userComment);
  if (!e.latitude.empty())
    std::cout << "  GPS:          " << e.latitude << ", " << e.longitude << ", " << e.altitude
              << '\n';
  std::cout << "  orientation:  " << e.orientation << '\n';
  if (e.thumbnailWidth != 0)
    std::cout << "  thumbnail:    " << e.thumbnailWidth << 'x' << e.thumbnailHeight << '\n';
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
          {"coefficients", r.coefficients},
          {"exif", ExifJson(r.exif)}};
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
  PrintExif(r.exif);
}

// Opens one file and prints its report; false when it cannot be read.
bool InfoOne(const std::string& file, const InfoOptions& options) {
  ImagePtr image = OpenImageOrReport(file, options.headerOnly);
  if (!image) return false;
  if (options.format) {
    const std::optional<uint32_t> locale = ParseLocale(options.locale);
    std::cout << FormatExif(image.get(), *options.format, locale.value_or(0), options.datePicture,
                            options.timePicture, options.subSeconds, options.fileDate)
              << '\n';
    return true;
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
  report.exif = ReadExifReport(image.get(), file);
  if (options.json) {
    std::cout << ToJson(file, report).dump() << '\n';
  } else {
    PrintText(file, report);
  }
  return true;
}

class InfoCommand : public Command {
 public:
  void Define(CLI::App& cmd) override {
    InfoOptions& options = options_;
    cmd.add_option("FILE", options.files, "JPEG files")->required();
    cmd.add_flag("--header-only", options.headerOnly, "Read only the header (no coefficients)");
    cmd.add_flag("--json", options.json, "Print one JSON object per file");
    cmd.add_option("--format", options.format,
                   "Print only this caption: %M make, %m model, %d date, %t time, %e exposure, "
                   "%f f-number, %i ISO, %l/%L focal lengths, %u user comment, %c comment, "
                   "%GLt/%GLg/%GAl GPS, %v/%V/%w/%W file names, %C (c), %% percent");
    cmd.add_option("--locale", options.locale,
                   "Windows locale identifier for --format dates (0x0809 en-GB, 0x0407 de-DE; "
                   "0 the environment's)")
        ->check([](const std::string& text) {
          return ParseLocale(text) ? std::string() : "not a locale identifier: " + text;
        });
    cmd.add_option("--date", options.datePicture,
                   "Date picture for %d (d dd ddd dddd M MM MMM MMMM y yy yyyy gg)")
        ->capture_default_str();
    cmd.add_option("--time", options.timePicture, "Time picture for %t (h hh H HH m mm s ss t tt)")
        ->capture_default_str();
    cmd.add_flag("--subsec", options.subSeconds, "Add the sub-seconds after the seconds in %t");
    cmd.add_flag("--file-date", options.fileDate,
                 "Use the file's date when the photo has no date taken");
  }

  int Run() override {
    int exitCode = kExitOk;
    for (const std::string& file : options_.files) {
      if (!InfoFile(file)) exitCode = kExitFailure;
    }
    return exitCode;
  }

 private:
  bool InfoFile(const std::string& file) const { return InfoOne(file, options_); }

  InfoOptions options_;
};

[[maybe_unused]] const bool kRegistered =
    RegisterCommand({"info", "Show the size, MCU and component layout of JPEG files", 10,
                     MakeCommand<InfoCommand>});

}  // namespace
}  // namespace cli
