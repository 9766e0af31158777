// SPDX-License-Identifier: MIT
// The tool's own look at a JPEG header: the component layout that ITessel does not expose.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct ComponentHeader {
  int h = 0;             // horizontal sampling factor
  int v = 0;             // vertical sampling factor
  int widthBlocks = 0;   // blocks that cover the image horizontally
  int heightBlocks = 0;  // blocks that cover the image vertically
};

struct JpegHeader {
  int width = 0;
  int height = 0;
  int colourSpace = 0;  // the library's code, 0..5
  int maxH = 0;
  int maxV = 0;
  std::vector<ComponentHeader> components;
  bool progressive = false;
  bool arithmetic = false;
};

// Reads the header of a JPEG data stream in memory, or of a file. nullopt when unreadable.
std::optional<JpegHeader> ReadJpegHeader(const uint8_t* data, size_t size);
std::optional<JpegHeader> ReadJpegHeaderFile(const std::string& path);

}  // namespace cli
