// SPDX-License-Identifier: MIT
// `tessel thumbs`: a contact sheet of framed file thumbnails with each file's name below it.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <thread>

#include "cli/Command.h"
#include "cli/Common.h"
#include "cli/Rendering.h"
#include "cli/TinyFont.h"

namespace cli {
namespace {

// Height of the name strip under each box: the glyphs with 2 rows above and 3 below.
constexpr int kLabelHeight = kGlyphHeight + 5;
constexpr int kLabelTop = 2;
// Boxes larger than this are no thumbnails; the limit also keeps the sheet's sizes in range.
constexpr int kMaxBoxSide = 4096;
// PNG rows are counted in 31 bits; a sheet this tall is far beyond any viewer anyway.
constexpr int64_t kMaxSheetHeight = 1 << 20;

struct ThumbsOptions {
  std::vector<std::string> files;
  std::string output;
  std::string size = "160x120";
  int columns = 5;
  std::string frame = "white,grey,shadow";
  std::string background = "FFFFFF";
};

// What the options ask for, checked.
struct SheetLayout {
  int boxWidth = 0, boxHeight = 0;
  int columns = 0;
  int32_t flags = 0;
  uint8_t red = 0, green = 0, blue = 0;
};

bool ParseSize(const std::string& text, int* width, int* height) {
  char x = 0, rest = 0;
  std::istringstream in(text);
  if (!(in >> *width >> x >> *height) || (x != 'x' && x != 'X') || (in >> rest)) return false;
  return *width >= 1 && *height >= 1 && *width <= kMaxBoxSide && *height <= kMaxBoxSide;
}

// "white,grey,shadow" in any order and combination, or "none".
bool ParseFrame(const std::string& text, int32_t* flags) {
  *flags = 0;
  if (text == "none") return true;
  std::istringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (item == "white") {
      *flags |= TSL_THUMB_WHITE_FRAME;
    } else if (item == "grey" || item == "gray") {
      *flags |= TSL_THUMB_GREY_FRAME;
    } else if (item == "shadow") {
      *flags |= TSL_THUMB_SHADOW;
    } else {
      return false;
    }
  }
  return !text.empty() && text.back() != ',';
}

bool ParseColour(const std::string& text, uint8_t* red, uint8_t* green, uint8_t* blue) {
  const std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
  if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return false;
  const unsigned long value = std::stoul(hex, nullptr, 16);
  *red = static_cast<uint8_t>(value >> 16);
  *green = static_cast<uint8_t>(value >> 8);
  *blue = static_cast<uint8_t>(value);
  return true;
}

int Margin(int32_t flags) {
  return 2 + (flags & TSL_THUMB_WHITE_FRAME ? 2 : 0) + (flags & TSL_THUMB_GREY_FRAME ? 2 : 0) +
         (flags & TSL_THUMB_SHADOW ? 4 : 0);
}

// Checks the options; prints "tessel: OPTION: reason" and returns false on a bad value.
bool MakeLayout(const ThumbsOptions& o, SheetLayout* layout) {
  if (!ParseSize(o.size, &layout->boxWidth, &layout->boxHeight)) {
    ReportFailure("--size", "expected WIDTHxHEIGHT, each 1.." + std::to_string(kMaxBoxSide));
    return false;
  }
  if (!ParseFrame(o.frame, &layout->flags)) {
    ReportFailure("--frame", "expected none or a list of white, grey, shadow");
    return false;
  }
  if (!ParseColour(o.background, &layout->red, &layout->green, &layout->blue)) {
    ReportFailure("--background", "expected a colour as RRGGBB");
    return false;
  }
  const int margin = Margin(layout->flags);
  if (layout->boxWidth <= margin || layout->boxHeight <= margin) {
    ReportFailure("--size",
                  "too small for the frames: each side must exceed " + std::to_string(margin));
    return false;
  }
  layout->columns = std::min<int>(o.columns, static_cast<int>(o.files.size()));
  return true;
}

// The sheet while it is drawn: 24-bit rows (blue, green, red) of whole cells.
struct Sheet {
  int width = 0, height = 0;
  std::vector<uint8_t> bits;
  int32_t Stride() const { return width * 3; }
  uint8_t* At(int x, int y) { return bits.data() + (size_t(y) * width + size_t(x)) * 3; }
};

Sheet NewSheet(const SheetLayout& layout, size_t cells) {
  Sheet sheet;
  const size_t rows = (cells + layout.columns - 1) / layout.columns;
  sheet.width = layout.columns * layout.boxWidth;
  sheet.height = static_cast<int>(rows) * (layout.boxHeight + kLabelHeight);
  sheet.bits.resize(size_t(sheet.width) * sheet.height * 3);
  for (size_t i = 0; i < sheet.bits.size(); i += 3) {
    sheet.bits[i] = layout.blue;
    sheet.bits[i + 1] = layout.green;
    sheet.bits[i + 2] = layout.red;
  }
  return sheet;
}

// Dark ink on light backgrounds, light ink on dark ones.
uint8_t InkLevel(const SheetLayout& layout) {
  const int luma = (299 * layout.red + 587 * layout.green + 114 * layout.blue) / 1000;
  return luma >= 128 ? 0 : 255;
}

void DrawName(Sheet& sheet, const SheetLayout& layout, int left, int top, const std::string& file) {
  const std::string name = std::filesystem::path(file).filename().string();
  const std::string label = FitLabel(name, (layout.boxWidth - 2) / kGlyphAdvance);
  const int textWidth = static_cast<int>(label.size()) * kGlyphAdvance - 1;
  const int x = left + (layout.boxWidth - textWidth) / 2;
  const uint8_t ink = InkLevel(layout);
  DrawLabel(sheet.bits.data(), sheet.Stride(), sheet.width, sheet.height, x, top + kLabelTop, label,
            ink, ink, ink);
}

// One file's box, drawn on its own so that several files can be decoded at once.
struct DrawnBox {
  std::vector<uint8_t> bits;
  bool ok = false;
};

// Files are drawn in batches: enough to keep every core busy, few enough that the boxes of a
// long list never all sit in memory at once.
constexpr size_t kBatchSize = 64;

// Draws files[first, first + count) into `boxes`, spread over the machine's cores. Image
// objects are independent, so each worker uses its own.
void DrawBatch(const std::vector<std::string>& files, size_t first, size_t count,
               const SheetLayout& layout, std::vector<DrawnBox>& boxes) {
  std::atomic<size_t> next{0};
  const auto work = [&]() {
    ImagePtr image = NewImage();
    for (size_t i = next++; i < count; i = next++) {
      DrawnBox& box = boxes[i];
      box.bits.assign(size_t(layout.boxWidth) * layout.boxHeight * 3, 0);
      int32_t width = 0, height = 0;
      box.ok = image && image->DrawFileThumbnail(Wide(files[first + i]).c_str(), box.bits.data(),
                                                 layout.boxWidth, layout.boxHeight,
                                                 layout.boxWidth * 3, layout.red, layout.green,
                                                 layout.blue, &width, &height, layout.flags) != 0;
    }
  };
  const size_t workers = std::min<size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::thread> threads;
  for (size_t t = 1; t < workers; ++t) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
}

// Places every readable file in the next free cell, in the order given, and reports the
// others. Returns the number of cells drawn.
size_t DrawCells(const ThumbsOptions& o, const SheetLayout& layout, Sheet& sheet) {
  size_t drawn = 0;
  std::vector<DrawnBox> boxes(std::min(kBatchSize, o.files.size()));
  for (size_t first = 0; first < o.files.size(); first += kBatchSize) {
    const size_t count = std::min(kBatchSize, o.files.size() - first);
    DrawBatch(o.files, first, count, layout, boxes);
    for (size_t i = 0; i < count; ++i) {
      const std::string& file = o.files[first + i];
      if (!boxes[i].ok) {
        ReportFailure(file, OpenFailureReason(file));
        continue;
      }
      const int left = static_cast<int>(drawn % layout.columns) * layout.boxWidth;
      const int top = static_cast<int>(drawn / layout.columns) * (layout.boxHeight + kLabelHeight);
      const size_t rowBytes = size_t(layout.boxWidth) * 3;
      for (int y = 0; y < layout.boxHeight; ++y) {
        std::memcpy(sheet.At(left, top + y), boxes[i].bits.data() + y * rowBytes, rowBytes);
      }
      DrawName(sheet, layout, left, top + layout.boxHeight, file);
      ++drawn;
    }
  }
  return drawn;
}

int RunThumbs(const ThumbsOptions& o) {
  SheetLayout layout;
  if (!MakeLayout(o, &layout)) return kExitUsage;
  const int64_t rows = (int64_t(o.files.size()) + layout.columns - 1) / layout.columns;
  if (rows * (layout.boxHeight + kLabelHeight) > kMaxSheetHeight) {
    ReportFailure(o.output, "too many files for one sheet");
    return kExitFailure;
  }
  Sheet sheet = NewSheet(layout, o.files.size());
  const size_t drawn = DrawCells(o, layout, sheet);
  if (drawn == 0) {
    ReportFailure(o.output, "no file could be drawn; nothing written");
    return kExitFailure;
  }
  // Cells of skipped files were reused, so only the rows that were drawn are kept.
  Bitmap picture;
  picture.width =
      drawn < size_t(layout.columns) ? static_cast<int>(drawn) * layout.boxWidth : sheet.width;
  picture.height = static_cast<int>((drawn + layout.columns - 1) / layout.columns) *
                   (layout.boxHeight + kLabelHeight);
  picture.stride = sheet.Stride();
  picture.bits = std::move(sheet.bits);
  std::string error;
  if (!WritePicture(o.output, picture, &error)) {
    ReportFailure(o.output, error);
    return kExitFailure;
  }
  return drawn == o.files.size() ? kExitOk : kExitFailure;
}

class ThumbsCommand : public Command {
 public:
  void Define(CLI::App& cmd) override {
    ThumbsOptions& options = options_;
    cmd.add_option("FILE", options.files, "JPEG files")->required();
    cmd.add_option("-o,--output", options.output, "The sheet to write (.png, or .ppm)")->required();
    cmd.add_option("--size", options.size, "Box of each thumbnail, WIDTHxHEIGHT")
        ->capture_default_str();
    cmd.add_option("--columns", options.columns, "Boxes per row")
        ->check(CLI::Range(1, 256))
        ->capture_default_str();
    cmd.add_option("--frame", options.frame, "Decorations: none, or white,grey,shadow")
        ->capture_default_str();
    cmd.add_option("--background", options.background, "Background colour RRGGBB")
        ->capture_default_str();
  }

  int Run() override { return RunThumbs(options_); }

 private:
  ThumbsOptions options_;
};

[[maybe_unused]] const bool kRegistered = RegisterCommand(
    {"thumbs", "Draw a contact sheet of JPEG thumbnails with their file names (PNG or PPM)", 30,
     MakeCommand<ThumbsCommand>});

}  // namespace
}  // namespace cli
