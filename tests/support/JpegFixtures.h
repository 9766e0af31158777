// SPDX-License-Identifier: MIT
// Test fixtures: JPEG data streams written in memory with libjpeg's compressor, and
// independent readers (libjpeg itself) to compare the library's results with.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "jpeg/Jpeg.h"

namespace fixtures {

using Bytes = std::vector<uint8_t>;

// Colour spaces a fixture can be written in.
enum class Space { kGray, kYCbCr, kRGB, kCMYK, kYCCK };

// One APPn or COM marker to write after the header.
struct Marker {
  int code;  // JPEG_COM or JPEG_APP0 + n
  Bytes payload;
};

// What to write. The pixels are a deterministic pattern (gradients plus seeded noise), so
// every block has AC content.
struct Recipe {
  int width = 16;
  int height = 16;
  Space space = Space::kYCbCr;
  // Sampling factors (h, v) per component; empty means the library's default for the space
  // (2x2,1x1,1x1 for YCbCr, 1x1 elsewhere).
  std::vector<std::pair<int, int>> sampling;
  int quality = 75;
  bool progressive = false;
  bool arithmetic = false;
  bool optimize = false;
  int restartInterval = 0;  // in MCUs; 0 for none
  bool writeJfif = true;    // let the library write its JFIF (or Adobe) marker
  uint32_t seed = 1;
  std::vector<Marker> markers;
  std::string Name() const;  // readable, for test names: "ycc_420_17x9_prog"
};

// Test parameters print as their names.
inline void PrintTo(const Recipe& recipe, std::ostream* os) { *os << recipe.Name(); }

// Sampling shorthands: "444", "422", "440", "420", "411", and "gray".
std::vector<std::pair<int, int>> Sampling(const std::string& name);

// A fixture with the given size, sampling name (as Sampling) and colour space.
Recipe Make(int width, int height, const std::string& sampling, Space space = Space::kYCbCr);

// Writes the fixture. Aborts the test program on a library error (fixtures are always valid).
Bytes Write(const Recipe& recipe);

// The pixel pattern of a fixture: width x height x components bytes, in the input colour
// space (gray, RGB or CMYK).
Bytes Pixels(const Recipe& recipe);

// The quantized coefficients of a stream as libjpeg reads them, per component.
struct Component {
  int h = 0, v = 0;
  int widthInBlocks = 0, heightInBlocks = 0;  // real blocks
  int quantTableNo = 0;
  std::vector<uint16_t> quant;        // 64 quantizers, natural order
  std::vector<int16_t> coefficients;  // widthInBlocks x heightInBlocks blocks, row by row
};
struct Coefficients {
  int width = 0, height = 0;
  int colourSpace = 0;
  int maxH = 0, maxV = 0;
  bool progressive = false, arithmetic = false;
  int restartInterval = 0;
  std::vector<Component> components;
};
// Reads the stream with jpeg_read_coefficients. Returns false when libjpeg fails.
bool ReadCoefficients(const Bytes& jpeg, Coefficients* out);

// Runs `body` on a libjpeg decompressor over `jpeg` whose header has been read (`prepare`, when
// given, runs just before jpeg_read_header, e.g. to save markers). False when libjpeg fails. A
// libjpeg error leaves `body` through longjmp, so it must not hold an object with a destructor
// across a libjpeg call.
bool WithHeaderRead(const Bytes& jpeg, const std::function<void(j_decompress_ptr)>& body,
                    const std::function<void(j_decompress_ptr)>& prepare = nullptr);

// The store a correct open must produce: each component's real blocks times its quantizers,
// in whole MCUs, filler blocks zero.
std::vector<int16_t> ExpectedStore(const Coefficients& c);

// Decodes with libjpeg's own decompressor. Output bytes are out_color_space samples.
struct Decoded {
  int width = 0, height = 0, components = 0;
  Bytes pixels;
};
bool Decode(const Bytes& jpeg, J_COLOR_SPACE outSpace, J_DCT_METHOD dct, bool fancyUpsampling,
            Decoded* out);

// The saved markers of a stream (COM and APPn), in file order.
bool ReadMarkers(const Bytes& jpeg, std::vector<Marker>* out);

// File helpers.
Bytes ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const Bytes& bytes);

// The shared corpus (../shared/corpus beside the repository), or an empty path when absent.
std::filesystem::path CorpusDir();
// Every *.jpg / *.jpeg under the corpus (recursively), sorted; empty when absent.
std::vector<std::filesystem::path> CorpusFiles(const std::string& subdir = "");

// A fresh temporary directory, removed by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// The fixture kinds every reader and writer test runs over: each sampling, each colour space,
// progressive, restart intervals, arithmetic coding, with markers, at sizes that are and are
// not multiples of the MCU.
std::vector<Recipe> StandardKinds();

}  // namespace fixtures
