// SPDX-License-Identifier: MIT
// The lossless writer: the quantization rule, round trips of every fixture kind and of the
// corpus, the output's coding and structure, edited stores, and what it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "image/DllImage.h"
#include "image/LosslessWriter.h"
#include "tests/support/JpegSegments.h"
#include "tests/support/StagedWriter.h"
#include "tests/support/TesselTest.h"

using namespace fixtures;

namespace {

constexpr int kSOF0 = 0xC0, kSOF1 = 0xC1, kDHT = 0xC4, kSOS = 0xDA, kDRI = 0xDD;

CDllImage* Internal(ITessel* image) { return static_cast<CDllImage*>(image); }

// The lossless output with the default options, through SaveToMemory.
Bytes SaveBytes(ITessel* image) {
  const int32_t size = image->GetFileSize();
  if (size <= 0) return {};
  Bytes out(static_cast<size_t>(size));
  if (!image->SaveToMemory(out.data(), size)) return {};
  return out;
}

// The output with explicit options, through the writer itself and a counting-free memory
// destination: a file written with Save.
Bytes SaveWith(ITessel* image, const TesselSaveOptions& options) {
  TempDir dir;
  const std::filesystem::path path = dir / "out.jpg";
  if (!image->Save(U16(path).c_str(), &options)) return {};
  return ReadFile(path);
}

J_COLOR_SPACE DecodeSpace(int jpegSpace) {
  switch (jpegSpace) {
    case JCS_GRAYSCALE:
      return JCS_GRAYSCALE;
    case JCS_CMYK:
    case JCS_YCCK:
      return JCS_CMYK;
    default:
      return JCS_RGB;
  }
}

// The written stream is sequential and Huffman-coded, holds one scan with every component,
// and has no restart interval or marker.
void ExpectSequentialHuffmanWithoutRestarts(const Bytes& out, int components) {
  const std::vector<Segment> segments = Segments(out);
  int frames = 0, scans = 0;
  for (const Segment& s : segments) {
    if (s.code == kSOF0 || s.code == kSOF1) ++frames;
    EXPECT_FALSE(s.code >= 0xC2 && s.code <= 0xCF && s.code != kDHT && s.code != 0xC8 &&
                 s.code != 0xCC)
        << "frame type " << std::hex << s.code;
    EXPECT_NE(s.code, kDRI);
    EXPECT_FALSE(s.code >= 0xD0 && s.code <= 0xD7) << "restart marker";
    if (s.code == kSOS) {
      ++scans;
      ASSERT_FALSE(s.payload.empty());
      EXPECT_EQ(s.payload[0], components);
    }
  }
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(scans, 1);
  ASSERT_FALSE(segments.empty());
  EXPECT_EQ(segments.back().code, 0xD9);
}

// Writes, re-opens and decodes: the same store, quantization, sampling, colour space and pixels.
void ExpectLosslessRoundTrip(const Bytes& in) {
  ImagePtr image = OpenBytes(in);
  ASSERT_TRUE(image);
  const Bytes out = SaveBytes(image.get());
  ASSERT_FALSE(out.empty());
  ImagePtr again = OpenBytes(out);
  ASSERT_TRUE(again);
  EXPECT_EQ(Store(again.get()), Store(image.get()));

  Coefficients a, b;
  ASSERT_TRUE(ReadCoefficients(in, &a));
  ASSERT_TRUE(ReadCoefficients(out, &b));
  EXPECT_FALSE(b.progressive);
  EXPECT_FALSE(b.arithmetic);
  EXPECT_EQ(b.restartInterval, 0);
  EXPECT_EQ(b.width, a.width);
  EXPECT_EQ(b.height, a.height);
  EXPECT_EQ(b.colourSpace, a.colourSpace);
  ASSERT_EQ(b.components.size(), a.components.size());
  for (size_t c = 0; c < a.components.size(); ++c) {
    EXPECT_EQ(b.components[c].h, a.components[c].h);
    EXPECT_EQ(b.components[c].v, a.components[c].v);
    EXPECT_EQ(b.components[c].quant, a.components[c].quant);
    EXPECT_EQ(b.components[c].coefficients, a.components[c].coefficients);
  }
  ExpectSequentialHuffmanWithoutRestarts(out, static_cast<int>(a.components.size()));

  Decoded da, db;
  const J_COLOR_SPACE space = DecodeSpace(a.colourSpace);
  ASSERT_TRUE(Decode(in, space, JDCT_ISLOW, true, &da));
  ASSERT_TRUE(Decode(out, space, JDCT_ISLOW, true, &db));
  EXPECT_EQ(db.width, da.width);
  EXPECT_EQ(db.height, da.height);
  EXPECT_TRUE(db.pixels == da.pixels) << "decoded pixels differ";
}

class WriterKind : public ::testing::TestWithParam<Recipe> {};

TEST_P(WriterKind, RoundTripKeepsEveryCoefficientAndPixel) {
  ExpectLosslessRoundTrip(Write(GetParam()));
}

// With bOptimize clear the library's standard tables are written: the same DHT segments as a
// sequential stream that libjpeg wrote with them.
TEST_P(WriterKind, StandardHuffmanTablesUnlessOptimizing) {
  Recipe plain = GetParam();
  plain.progressive = false;
  plain.arithmetic = false;
  plain.optimize = false;
  plain.restartInterval = 0;
  const std::vector<Bytes> standard = Payloads(Segments(Write(plain)), kDHT);

  ImagePtr image = OpenBytes(Write(GetParam()));
  ASSERT_TRUE(image);
  TesselSaveOptions options = TSL_SAVE_OPTIONS_DEFAULT;
  options.bOptimize = 0;
  const Bytes unoptimized = SaveWith(image.get(), options);
  ASSERT_FALSE(unoptimized.empty());
  EXPECT_EQ(Payloads(Segments(unoptimized), kDHT), standard);

  options.bOptimize = 1;
  const Bytes optimized = SaveWith(image.get(), options);
  ASSERT_FALSE(optimized.empty());
  EXPECT_NE(Payloads(Segments(optimized), kDHT), standard);
  EXPECT_LE(optimized.size(), unoptimized.size());
}

// The writer, which quantizes each row when the library reads it, gives the bytes of the plain
// way through the library's own arrays filled beforehand (tests/support/StagedWriter.h).
enum class Route { kStaged, kOnDemand };

Bytes WriteThrough(ITessel* image, Route route, TSL_BOOL optimize) {
  char* data = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&data, &size);
  TesselSaveOptions options = TSL_SAVE_OPTIONS_DEFAULT;
  options.bOptimize = optimize;
  CDllImage* internal = Internal(image);
  const bool ok = route == Route::kStaged
                      ? WriteStaged(*internal, stream, options)
                      : WriteLossless(internal->View(), internal->Exif(), internal->Errors(),
                                      stream, nullptr, options, nullptr, 0) != 0;
  std::fclose(stream);
  Bytes out = ok ? Bytes(data, data + size) : Bytes();
  std::free(data);
  return out;
}

TEST_P(WriterKind, OnDemandRouteWritesTheBytesOfTheStagedRoute) {
  ImagePtr image = OpenBytes(Write(GetParam()));
  ASSERT_TRUE(image);
  std::vector<int16_t> store = Store(image.get());
  std::mt19937 random(3);
  for (int edit = 0; edit < 2; ++edit) {
    for (TSL_BOOL optimize : {0, 1}) {
      const Bytes staged = WriteThrough(image.get(), Route::kStaged, optimize);
      ASSERT_FALSE(staged.empty());
      EXPECT_EQ(WriteThrough(image.get(), Route::kOnDemand, optimize), staged)
          << "edited " << edit << " optimize " << optimize;
    }
    // Then values off their quantizers' multiples, as edits leave them.
    for (int16_t& value : store)
      value = static_cast<int16_t>(static_cast<int>(random() % 301) - 150);
    ASSERT_TRUE(image->SetCoefficients(store.data(), static_cast<int32_t>(store.size())));
  }
  // A value that cannot be coded: both routes refuse.
  store[1] = 32767;
  ASSERT_TRUE(image->SetCoefficients(store.data(), static_cast<int32_t>(store.size())));
  EXPECT_TRUE(WriteThrough(image.get(), Route::kStaged, 1).empty());
  EXPECT_TRUE(WriteThrough(image.get(), Route::kOnDemand, 1).empty());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, WriterKind, ::testing::ValuesIn(StandardKinds()),
                         [](const auto& info) { return info.param.Name(); });

TEST(WriterCorpus, EveryReadableFileRoundTrips) {
  const std::vector<std::filesystem::path> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "the shared corpus is absent";
  int written = 0;
  for (const std::filesystem::path& file : files) {
    const Bytes in = ReadFile(file);
    if (!OpenBytes(in)) continue;  // broken and 12-bit files do not open
    SCOPED_TRACE(file.string());
    ExpectLosslessRoundTrip(in);
    ++written;
  }
  EXPECT_GT(written, 0);
}

// The kept markers follow SOI and the library's JFIF (or Adobe) segment and precede every
// table and the frame.
TEST(Writer, MarkersStandAfterTheFileHeaderAndBeforeTheTables) {
  Recipe recipe = Make(17, 9, "420");
  recipe.markers = {{JPEG_COM, {'h', 'i'}}, {JPEG_APP0 + 2, Bytes(70, 3)}, {JPEG_APP0 + 15, {1}}};
  const Bytes in = Write(recipe);
  ImagePtr image = OpenBytes(in);
  ASSERT_TRUE(image);
  const Bytes out = SaveBytes(image.get());
  std::vector<Marker> before, after;
  ASSERT_TRUE(ReadMarkers(in, &before));
  ASSERT_TRUE(ReadMarkers(out, &after));
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].code, before[i].code);
    EXPECT_EQ(after[i].payload, before[i].payload);
  }
  const std::vector<Segment> segments = Segments(out);
  ASSERT_GE(segments.size(), 6u);
  EXPECT_EQ(segments[0].code, 0xD8);
  EXPECT_EQ(segments[1].code, JPEG_APP0);  // the JFIF segment
  EXPECT_EQ(segments[2].code, JPEG_COM);
  EXPECT_EQ(segments[3].code, JPEG_APP0 + 2);
  EXPECT_EQ(segments[4].code, JPEG_APP0 + 15);
  EXPECT_EQ(segments[5].code, 0xDB);  // the first quantization table
}

// An RGB or CMYK image must not get a JFIF segment, which would make decoders take its
// components for YCbCr.
TEST(Writer, NoJfifSegmentForRgbOrCmyk) {
  for (Space space : {Space::kRGB, Space::kCMYK, Space::kYCCK}) {
    Recipe recipe = Make(16, 8, "", space);
    if (space == Space::kRGB) recipe.sampling = Sampling("444");
    ImagePtr image = OpenBytes(Write(recipe));
    ASSERT_TRUE(image);
    const Bytes out = SaveBytes(image.get());
    ASSERT_FALSE(out.empty());
    for (const Bytes& app0 : Payloads(Segments(out), JPEG_APP0)) {
      EXPECT_FALSE(app0.size() >= 5 && std::equal(app0.begin(), app0.begin() + 5, "JFIF"))
          << recipe.Name();
    }
  }
}

// The rule, with the values near the 16-bit limits that a 16-bit sum would overflow.
TEST(Quantization, RuleRoundsHalvesAwayFromZero) {
  struct Case {
    int32_t value, quantizer;
    int16_t expected;
  };
  const Case cases[] = {
      {12, 8, 2},          {-12, 8, -2},      {11, 8, 1},          {-3, 8, 0},
      {4, 8, 1},           {-4, 8, -1},       {3, 8, 0},           {3, 7, 0},
      {4, 7, 1},           {-4, 7, -1},       {0, 1, 0},           {16, 16, 1},
      {-24, 16, -2},       {32767, 1, 32767}, {-32768, 1, -32768}, {32767, 2, 16384},
      {-32768, 2, -16384}, {32767, 65535, 0}, {-32768, 65535, -1}, {32767, 32768, 1},
      {-32768, 32768, -1}, {16384, 32768, 1}, {16383, 32768, 0},   {40000, 1, 32767},
      {-40000, 1, -32768}, {70000, 2, 32767}, {5, 0, 0},           {-5, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(QuantizeValue(c.value, c.quantizer), c.expected) << c.value << " / " << c.quantizer;
  }
}

// The writer's division-free paths (vector and portable) equal the plain rule for every 16-bit
// value under many quantizers, and for every quantizer under the values where rounding turns.
TEST(Quantization, FastPathEqualsPlainRule) {
  std::vector<int32_t> quantizers;
  for (int32_t q = 0; q <= 300; ++q) quantizers.push_back(q);
  for (int32_t q : {1023, 1024, 1025, 4095, 9999, 32767, 32768, 32769, 65534, 65535})
    quantizers.push_back(q);
  JQUANT_TBL table{};
  QuantizerTable prepared;
  int16_t in[DCTSIZE2];
  JCOEF out[DCTSIZE2], portable[DCTSIZE2];
  for (int32_t q : quantizers) {
    for (int k = 0; k < DCTSIZE2; ++k) table.quantval[k] = static_cast<UINT16>(q);
    PrepareQuantizerTable(table, &prepared);
    for (int32_t start = INT16_MIN; start <= INT16_MAX; start += DCTSIZE2) {
      for (int k = 0; k < DCTSIZE2; ++k) in[k] = static_cast<int16_t>(start + k);
      const bool fits = QuantizeBlock(in, prepared, out);
      ASSERT_EQ(QuantizeBlockPortable(in, prepared, portable), fits) << start << " / " << q;
      for (int k = 0; k < DCTSIZE2; ++k) {
        ASSERT_EQ(out[k], QuantizeValue(in[k], q)) << in[k] << " / " << q;
        ASSERT_EQ(portable[k], out[k]) << in[k] << " / " << q;
      }
    }
  }
  for (int32_t q = 1; q <= 65535; ++q) {
    // Every quantizer, with the values where its rounding turns in every lane of the block.
    for (int k = 0; k < DCTSIZE2; ++k) table.quantval[k] = static_cast<UINT16>(q);
    PrepareQuantizerTable(table, &prepared);
    const int32_t half = q / 2;
    const int32_t turns[8] = {half,     half - 1,        -half,     -half + 1,
                              q + half, -(q + half) + 1, INT16_MAX, INT16_MIN};
    for (int k = 0; k < DCTSIZE2; ++k) {
      in[k] =
          static_cast<int16_t>(std::clamp<int32_t>(turns[(k + k / 8) % 8], INT16_MIN, INT16_MAX));
    }
    const bool fits = QuantizeBlock(in, prepared, out);
    ASSERT_EQ(QuantizeBlockPortable(in, prepared, portable), fits) << q;
    for (int k = 0; k < DCTSIZE2; ++k) {
      ASSERT_EQ(out[k], QuantizeValue(in[k], q)) << in[k] << " / " << q;
      ASSERT_EQ(portable[k], out[k]) << in[k] << " / " << q;
    }
  }
}

// The quantized coefficients of `out` equal the plain rule applied to the real blocks of a
// store laid out for the output's size.
void ExpectOutputIsStoreQuantized(const Bytes& out, const std::vector<int16_t>& store) {
  Coefficients c;
  ASSERT_TRUE(ReadCoefficients(out, &c));
  const int mx = (c.width + 8 * c.maxH - 1) / (8 * c.maxH);
  const int my = (c.height + 8 * c.maxV - 1) / (8 * c.maxV);
  size_t offset = 0;
  for (const Component& comp : c.components) {
    const int bc = mx * comp.h;
    for (int r = 0; r < comp.heightInBlocks; ++r) {
      for (int x = 0; x < comp.widthInBlocks; ++x) {
        for (int k = 0; k < 64; ++k) {
          const int16_t stored = store[offset + (size_t{1} * r * bc + x) * 64 + k];
          const int16_t written =
              comp.coefficients[(size_t{1} * r * comp.widthInBlocks + x) * 64 + k];
          ASSERT_EQ(written, QuantizeValue(stored, comp.quant[k]))
              << "block " << x << "," << r << " index " << k;
        }
      }
    }
    offset += size_t{64} * bc * my * comp.v;
  }
  EXPECT_EQ(offset, store.size());
}

// Values that are not multiples of their quantizers (as edits leave them) are quantized by the
// rule, and filler blocks, whatever they hold, change nothing in the file.
TEST(Writer, EditedStoreIsQuantizedAndFillerNeverReachesTheFile) {
  const Bytes in = Write(Make(17, 9, "420"));
  ImagePtr image = OpenBytes(in);
  ASSERT_TRUE(image);
  const Bytes untouched = SaveBytes(image.get());

  // Junk in every filler block (17x9 at 4:2:0: luma plane 4x2 blocks of which 3x2 are real,
  // chroma 2x1 of which 2x1... so only luma column 3 is filler).
  std::vector<int16_t> store = Store(image.get());
  std::mt19937 random(7);
  for (int r = 0; r < 2; ++r) {
    for (int k = 0; k < 64; ++k)
      store[(size_t{1} * r * 4 + 3) * 64 + k] = static_cast<int16_t>(random());
  }
  ASSERT_TRUE(image->SetCoefficients(store.data(), static_cast<int32_t>(store.size())));
  EXPECT_EQ(SaveBytes(image.get()), untouched);

  // Every real value moved off its quantizer's multiples.
  for (size_t i = 0; i < store.size(); ++i) {
    store[i] = static_cast<int16_t>(static_cast<int>(random() % 401) - 200);
  }
  ASSERT_TRUE(image->SetCoefficients(store.data(), static_cast<int32_t>(store.size())));
  const Bytes edited = SaveBytes(image.get());
  ASSERT_FALSE(edited.empty());
  ExpectOutputIsStoreQuantized(edited, store);
}

// A smaller image (as a crop leaves it) whose width and height are not multiples of the MCU:
// the output has exactly that size and its last block column is the store's, whole.
TEST(Writer, SizeThatIsNotAWholeNumberOfMcusKeepsItsLastBlocksWhole) {
  ImagePtr image = OpenBytes(Write(Make(64, 48, "420")));
  ASSERT_TRUE(image);
  CDllImage* internal = Internal(image.get());
  const std::vector<int16_t> old = Store(image.get());
  // 40x30 at 4:2:0: 3x2 MCUs of 16x16. Keep the top-left blocks of each plane.
  const int oldMx = 4, oldMy = 3, newMx = 3, newMy = 2;
  const int factors[3][2] = {{2, 2}, {1, 1}, {1, 1}};
  std::vector<int16_t> cropped;
  size_t oldOffset = 0;
  for (const auto& f : factors) {
    for (int r = 0; r < newMy * f[1]; ++r) {
      for (int x = 0; x < newMx * f[0]; ++x) {
        const size_t from = oldOffset + (size_t{1} * r * oldMx * f[0] + x) * 64;
        cropped.insert(cropped.end(), old.begin() + static_cast<long>(from),
                       old.begin() + static_cast<long>(from + 64));
      }
    }
    oldOffset += size_t{64} * oldMx * f[0] * oldMy * f[1];
  }
  CoefficientArray values = AllocateCoefficients(cropped.size());
  std::copy(cropped.begin(), cropped.end(), values.get());
  internal->ReplaceStore(std::move(values), static_cast<int32_t>(cropped.size()));
  internal->SetSize(40, 30);
  internal->HeaderDecompressor()->image_width = 40;
  internal->HeaderDecompressor()->image_height = 30;

  const Bytes out = SaveBytes(image.get());
  ASSERT_FALSE(out.empty());
  Coefficients c;
  ASSERT_TRUE(ReadCoefficients(out, &c));
  EXPECT_EQ(c.width, 40);
  EXPECT_EQ(c.height, 30);
  EXPECT_EQ(c.components[0].widthInBlocks, 5);
  EXPECT_EQ(c.components[0].heightInBlocks, 4);
  ExpectOutputIsStoreQuantized(out, cropped);
}

// Values beyond what a baseline Huffman code carries (AC magnitudes above 1023, DC outside
// -1024..1023) make the write fail, with and without optimized tables, instead of producing a
// stream that decodes to other values; the extremes that fit are written exactly.
TEST(Writer, ValuesBeyondTheHuffmanRangeAreRefused) {
  const Bytes in = Write(Make(8, 8, "gray", Space::kGray));
  Coefficients c;
  ASSERT_TRUE(ReadCoefficients(in, &c));
  const std::vector<uint16_t>& q = c.components[0].quant;
  struct Case {
    int index;
    int quantized;
    bool written;
  };
  // Index 63 holds the largest quantizer (50): its values stay in the 16-bit store.
  const Case cases[] = {{1, 1023, true},   {1, -1023, true}, {63, 655, true}, {1, 1024, false},
                        {1, -1024, false}, {63, -655, true}, {0, 1023, true}, {0, -1024, true},
                        {0, 1024, false},  {0, -1025, false}};
  for (const Case& test : cases) {
    ImagePtr image = OpenBytes(in);
    ASSERT_TRUE(image);
    std::vector<int16_t> store = Store(image.get());
    store[static_cast<size_t>(test.index)] = static_cast<int16_t>(test.quantized * q[test.index]);
    ASSERT_TRUE(image->SetCoefficients(store.data(), static_cast<int32_t>(store.size())));
    for (TSL_BOOL optimize : {0, 1}) {
      SCOPED_TRACE(::testing::Message() << "index " << test.index << " value " << test.quantized
                                        << " optimize " << optimize);
      TesselSaveOptions options = TSL_SAVE_OPTIONS_DEFAULT;
      options.bOptimize = optimize;
      const Bytes out = SaveWith(image.get(), options);
      EXPECT_EQ(!out.empty(), test.written);
      if (out.empty()) continue;
      Coefficients back;
      ASSERT_TRUE(ReadCoefficients(out, &back));
      EXPECT_EQ(back.components[0].coefficients[static_cast<size_t>(test.index)], test.quantized);
    }
  }
}

}  // namespace
