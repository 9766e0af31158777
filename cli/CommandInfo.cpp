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
#include "jpeg/CoefficientStore.h"

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

// One component as the report shows it.
struct ComponentReport {
  int h = 0, v = 0;                           // sampling factors
  int64_t widthBlocks = 0, heightBlocks = 0;  // blocks that cover the image
  int64_t storeWide = 0, storeHigh = 0;       // blocks of its plane in the store (whole MCUs)
};

// What the report shows of one opened file.
struct InfoReport {
  int width = 0, height = 0, mcuWidth = 0, mcuHeight = 0;
  int colourSpace = 0;
  std::vector<ComponentReport> components;
  int64_t coefficients = 0;  // in the store, or that the store would hold after --header-only
  ExifReport exif;
};

// The image's layout from the library's description. A component covers the image with
// ceil(size * factor / MCU size) blocks; its plane in the store holds whole MCUs.
void DescribeLayout(const TesselImageInfo& info, InfoReport* report) {
  report->width = info.iWidth;
  report->height = info.iHeight;
  report->mcuWidth = info.iMCUWidth;
  report->mcuHeight = info.iMCUHeight;
  report->colourSpace = info.iColorSpace;
  report->coefficients = 0;
  for (int c = 0; c < info.iComponents; ++c) {
    const TesselComponentInfo& comp = info.aComponents[c];
    report->components.push_back({comp.iHSampling, comp.iVSampling,
                                  CeilDiv(int64_t{info.iWidth} * comp.iHSampling, info.iMCUWidth),
                                  CeilDiv(int64_t{info.iHeight} * comp.iVSampling, info.iMCUHeight),
                                  comp.iBlocksWide, comp.iBlocksHigh});
    report->coefficients += int64_t{64} * comp.iBlocksWide * comp.iBlocksHigh;
  }
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
  for (const ComponentReport& c : r.components) {
    components.push_back({{"h", c.h},
                          {"v", c.v},
                          {"blocks", {c.widthBlocks, c.heightBlocks}},
                          {"storeBlocks", {c.storeWide, c.storeHigh}}});
  }
  return {{"file", file},
          {"width", r.width},
          {"height", r.height},
          {"mcu", {r.mcuWidth, r.mcuHeight}},
          {"colourSpace", ColourSpaceName(r.colourSpace)},
          {"components", components},
          {"coefficients", r.coefficients},
          {"exif", ExifJson(r.exif)}};
}

void PrintText(const std::string& file, const InfoReport& r) {
  std::cout << file << '\n'
            << "  size:         " << r.width << 'x' << r.height << '\n'
            << "  MCU:          " << r.mcuWidth << 'x' << r.mcuHeight << '\n'
            << "  colour space: " << ColourSpaceName(r.colourSpace) << '\n'
            << "  components:   " << r.components.size() << '\n';
  for (size_t i = 0; i < r.components.size(); ++i) {
    const ComponentReport& c = r.components[i];
    std::cout << "  component " << i << ":  sampling " << c.h << 'x' << c.v << ", blocks "
              << c.widthBlocks << 'x' << c.heightBlocks << " (store " << c.storeWide << 'x'
              << c.storeHigh << ")\n";
  }
  std::cout << "  coefficients: " << r.coefficients << '\n';
  PrintExif(r.exif);
}

// Prints the caption of one file; false when it cannot be opened. The library opens the file
// itself, since captions may show its name and date.
bool PrintCaption(const std::string& file, const InfoOptions& options) {
  ImagePtr image = OpenImageOrReport(file, options.headerOnly);
  if (!image) return false;
  const std::optional<uint32_t> locale = ParseLocale(options.locale);
  std::cout << FormatExif(image.get(), *options.format, locale.value_or(0), options.datePicture,
                          options.timePicture, options.subSeconds, options.fileDate)
            << '\n';
  return true;
}

// Everything the report shows, from one read of the file: the library opens the bytes and
// describes them, and the segments are looked up in the same bytes. False with a reason.
bool ReadReport(const std::string& file, bool headerOnly, InfoReport* report, std::string* reason) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(file, &bytes, reason)) return false;
  ImagePtr image = NewImage();
  if (!image || !image->OpenFromMemory(bytes.data(), static_cast<int32_t>(bytes.size()),
                                       headerOnly ? 1 : 0)) {
    *reason = "not a JPEG file it can read";
    return false;
  }
  ExtensionPtr extension = Extension(*image);
  TesselImageInfo info{};
  if (!extension || !extension->GetImageInfo(&info)) {
    *reason = extension ? extension->GetLastErrorText() : "the library cannot describe images";
    return false;
  }
  DescribeLayout(info, report);
  if (!headerOnly) {
    int16_t* values = nullptr;
    int32_t count = 0;
    image->GetCoefficients(&values, &count);
    report->coefficients = count;
  }
  report->exif = ReadExifReport(image.get(), bytes);
  return true;
}

// Prints the report of one file; false when it cannot be read.
bool PrintReport(const std::string& file, const InfoOptions& options) {
  InfoReport report;
  std::string reason;
  if (!ReadReport(file, options.headerOnly, &report, &reason)) {
    ReportFailure(file, reason);
    return false;
  }
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
  bool InfoFile(const std::string& file) const {
    return options_.format ? PrintCaption(file, options_) : PrintReport(file, options_);
  }

  InfoOptions options_;
};

[[maybe_unused]] const bool kRegistered =
    RegisterCommand({"info", "Show the size, MCU and component layout of JPEG files", 10,
                     MakeCommand<InfoCommand>});

}  // namespace
}  // namespace cli
