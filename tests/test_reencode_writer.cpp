// SPDX-License-Identifier: MIT
// The re-encoding writer: colour space, sampling, row order, markers and refusals, read back
// with libjpeg.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "image/DllImage.h"
#include "image/ReencodeWriter.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/TesselTest.h"

namespace {

using fixtures::Bytes;
using fixtures::Space;

// A top-down 24-bit bitmap (blue, green, red) of a stream's pixels as libjpeg decodes them.
struct Bitmap {
  int width = 0, height = 0;
  Bytes bits;
  int32_t Stride() const { return width * 3; }
};

Bitmap BitmapOf(const Bytes& jpeg) {
  fixtures::Decoded d;
  EXPECT_TRUE(fixtures::Decode(jpeg, JCS_RGB, JDCT_ISLOW, true, &d));
  Bitmap b{d.width, d.height, Bytes(d.pixels.size())};
  for (size_t i = 0; i < d.pixels.size(); i += 3) {
    b.bits[i] = d.pixels[i + 2];
    b.bits[i + 1] = d.pixels[i + 1];
    b.bits[i + 2] = d.pixels[i];
  }
  return b;
}

// Runs the writer into a temporary file and returns what it wrote.
struct Written {
  bool ok = false;
  Bytes bytes;
};

Written Reencode(ITessel* image, const TesselSaveOptions& options) {
  FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  Written w;
  CDllImage* internal = static_cast<CDllImage*>(image);
  w.ok = WriteReencoded(internal->View(), internal->Exif(), file, options, nullptr, 0);
  std::fflush(file);
  const long size = std::ftell(file);
  w.bytes.resize(size > 0 ? size_t(size) : 0);
  std::rewind(file);
  if (!w.bytes.empty()) {
    EXPECT_EQ(std::fread(w.bytes.data(), 1, w.bytes.size(), file), w.bytes.size());
  }
  std::fclose(file);
  return w;
}

TesselSaveOptions OptionsFor(const Bitmap& b, int quality, bool subsample) {
  TesselSaveOptions o = TSL_SAVE_OPTIONS_DEFAULT;
  o.iMode = 1;
  o.iQuality = quality;
  o.bSubsample = subsample ? 1 : 0;
  o.pBitmap = const_cast<uint8_t*>(b.bits.data());
  o.iStride = b.Stride();
  return o;
}

// Mean absolute difference between the decoded output and the bitmap, per sample.
double MeanError(const Bytes& jpeg, const Bitmap& b) {
  fixtures::Decoded d;
  EXPECT_TRUE(fixtures::Decode(jpeg, JCS_RGB, JDCT_ISLOW, true, &d));
  EXPECT_EQ(d.width, b.width);
  EXPECT_EQ(d.height, b.height);
  if (d.pixels.size() != b.bits.size()) return 1e9;
  double sum = 0;
  for (size_t i = 0; i < d.pixels.size(); i += 3) {
    for (int c = 0; c < 3; ++c) sum += std::abs(int(d.pixels[i + c]) - int(b.bits[i + 2 - c]));
  }
  return sum / double(d.pixels.size());
}

struct SamplingCase {
  const char* name;
  fixtures::Recipe recipe;
  bool subsample;
  int colourSpace;
  std::vector<std::pair<int, int>> want;
  double maxError;  // mean per sample; chroma subsampling loses the pattern's colour detail
};

void PrintTo(const SamplingCase& c, std::ostream* os) { *os << c.name; }

class ReencodeSampling : public ::testing::TestWithParam<SamplingCase> {};

TEST_P(ReencodeSampling, KeepsTheColourSpaceAndSamplesAsAsked) {
  const SamplingCase& c = GetParam();
  const Bytes source = fixtures::Write(c.recipe);
  fixtures::ImagePtr image = fixtures::OpenBytes(source);
  ASSERT_TRUE(image);
  const Bitmap bitmap = BitmapOf(source);
  const Written w = Reencode(image.get(), OptionsFor(bitmap, 95, c.subsample));
  ASSERT_TRUE(w.ok);
  fixtures::Coefficients out;
  ASSERT_TRUE(fixtures::ReadCoefficients(w.bytes, &out));
  EXPECT_EQ(out.width, c.recipe.width);
  EXPECT_EQ(out.height, c.recipe.height);
  EXPECT_EQ(out.colourSpace, c.colourSpace);
  std::vector<std::pair<int, int>> got;
  for (const fixtures::Component& comp : out.components) got.emplace_back(comp.h, comp.v);
  EXPECT_EQ(got, c.want);
  // At quality 95 the decoded output is close to the bitmap it was made from; swapped
  // channels, flipped rows or a colour space misread would be tens of levels off.
  EXPECT_LT(MeanError(w.bytes, bitmap), c.maxError);
}

fixtures::Recipe WithSpace(fixtures::Recipe recipe, Space space) {
  recipe.space = space;
  return recipe;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReencodeSampling,
    ::testing::Values(SamplingCase{"gray_subsample_asked",
                                   fixtures::Make(41, 23, "gray", Space::kGray),
                                   true,
                                   JCS_GRAYSCALE,
                                   {{1, 1}},
                                   3.0},
                      SamplingCase{"gray_no_subsample",
                                   fixtures::Make(41, 23, "gray", Space::kGray),
                                   false,
                                   JCS_GRAYSCALE,
                                   {{1, 1}},
                                   3.0},
                      SamplingCase{"ycc_444_to_420",
                                   fixtures::Make(37, 21, "444"),
                                   true,
                                   JCS_YCbCr,
                                   {{2, 2}, {1, 1}, {1, 1}},
                                   12.0},
                      SamplingCase{"ycc_420_to_444",
                                   fixtures::Make(37, 21, "420"),
                                   false,
                                   JCS_YCbCr,
                                   {{1, 1}, {1, 1}, {1, 1}},
                                   3.0},
                      SamplingCase{"ycc_422_to_420",
                                   fixtures::Make(64, 48, "422"),
                                   true,
                                   JCS_YCbCr,
                                   {{2, 2}, {1, 1}, {1, 1}},
                                   12.0},
                      SamplingCase{"rgb_to_rgb_444",
                                   WithSpace(fixtures::Make(30, 20, "444"), Space::kRGB),
                                   false,
                                   JCS_RGB,
                                   {{1, 1}, {1, 1}, {1, 1}},
                                   3.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReencodeWriter, BottomUpBitmapWritesTheSameStream) {
  const Bytes source = fixtures::Write(fixtures::Make(45, 30, "420"));
  fixtures::ImagePtr image = fixtures::OpenBytes(source);
  ASSERT_TRUE(image);
  const Bitmap topDown = BitmapOf(source);
  // The same pixels with the rows in reverse memory order, padded.
  const int32_t stride = topDown.Stride() + 7;
  Bytes bottomUp(size_t(stride) * topDown.height, 0xEE);
  for (int y = 0; y < topDown.height; ++y) {
    std::copy_n(topDown.bits.begin() + ptrdiff_t(y) * topDown.Stride(), topDown.Stride(),
                bottomUp.begin() + ptrdiff_t(topDown.height - 1 - y) * stride);
  }
  TesselSaveOptions options = OptionsFor(topDown, 80, true);
  const Written want = Reencode(image.get(), options);
  options.pBitmap = bottomUp.data() + size_t(topDown.height - 1) * stride;
  options.iStride = -stride;
  const Written got = Reencode(image.get(), options);
  ASSERT_TRUE(want.ok);
  ASSERT_TRUE(got.ok);
  EXPECT_EQ(got.bytes, want.bytes);
}

TEST(ReencodeWriter, QualityAndMarkersReachTheOutput) {
  fixtures::Recipe recipe = fixtures::Make(64, 64, "420");
  recipe.markers.push_back({JPEG_COM, Bytes{'k', 'e', 'p', 't'}});
  const Bytes source = fixtures::Write(recipe);
  fixtures::ImagePtr image = fixtures::OpenBytes(source);
  ASSERT_TRUE(image);
  const Bitmap bitmap = BitmapOf(source);
  const Written low = Reencode(image.get(), OptionsFor(bitmap, 20, true));
  const Written high = Reencode(image.get(), OptionsFor(bitmap, 95, true));
  ASSERT_TRUE(low.ok && high.ok);
  EXPECT_LT(low.bytes.size(), high.bytes.size());
  EXPECT_GT(MeanError(low.bytes, bitmap), MeanError(high.bytes, bitmap));
  std::vector<fixtures::Marker> markers;
  ASSERT_TRUE(fixtures::ReadMarkers(high.bytes, &markers));
  bool found = false;
  for (const fixtures::Marker& m : markers)
    found |= m.code == JPEG_COM && m.payload == recipe.markers[0].payload;
  EXPECT_TRUE(found);
}

TEST(ReencodeWriter, RefusesWhatItCannotWrite) {
  struct Case {
    const char* name;
    Space space;
  };
  for (const Case& c : {Case{"cmyk", Space::kCMYK}, Case{"ycck", Space::kYCCK}}) {
    fixtures::Recipe recipe = fixtures::Make(24, 16, "444", c.space);
    recipe.sampling.clear();
    const Bytes source = fixtures::Write(recipe);
    fixtures::ImagePtr image = fixtures::OpenBytes(source);
    ASSERT_TRUE(image) << c.name;
    const Bitmap bitmap{24, 16, Bytes(24 * 16 * 3, 128)};
    EXPECT_FALSE(Reencode(image.get(), OptionsFor(bitmap, 75, true)).ok) << c.name;
  }

  const Bytes source = fixtures::Write(fixtures::Make(24, 16, "420"));
  fixtures::ImagePtr image = fixtures::OpenBytes(source);
  ASSERT_TRUE(image);
  const Bitmap bitmap = BitmapOf(source);
  TesselSaveOptions noBitmap = OptionsFor(bitmap, 75, true);
  noBitmap.pBitmap = nullptr;
  const Written w = Reencode(image.get(), noBitmap);
  EXPECT_FALSE(w.ok);
  EXPECT_TRUE(w.bytes.empty()) << "nothing is written without a bitmap";

  fixtures::ImagePtr closed = fixtures::NewImage();
  const Written none = Reencode(closed.get(), OptionsFor(bitmap, 75, true));
  EXPECT_FALSE(none.ok);
  EXPECT_TRUE(none.bytes.empty());
}

}  // namespace

namespace {

// Through Save: mode 1 writes the re-encoded stream, and a refusal leaves the old target
// exactly as it was with no temporary file.
TEST(ReencodeWriter, SaveWritesOrLeavesTheTargetAlone) {
  struct Case {
    const char* name;
    fixtures::Recipe recipe;
    bool ok;
  };
  fixtures::Recipe cmyk = fixtures::Make(24, 16, "444", Space::kCMYK);
  cmyk.sampling.clear();
  fixtures::Recipe ycck = fixtures::Make(24, 16, "444", Space::kYCCK);
  ycck.sampling.clear();
  const Case cases[] = {{"ycc", fixtures::Make(40, 24, "420"), true},
                        {"gray", fixtures::Make(40, 24, "gray", Space::kGray), true},
                        {"cmyk", cmyk, false},
                        {"ycck", ycck, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fixtures::TempDir dir;
    const Bytes old = {'o', 'l', 'd'};
    fixtures::WriteFile(dir / "t.jpg", old);
    const Bytes source = fixtures::Write(c.recipe);
    fixtures::ImagePtr image = fixtures::OpenBytes(source);
    ASSERT_TRUE(image);
    const Bitmap bitmap{c.recipe.width, c.recipe.height,
                        Bytes(size_t(c.recipe.width) * c.recipe.height * 3, 99)};
    TesselSaveOptions options = OptionsFor(bitmap, 90, true);
    options.iThumbnailMode = 2;  // a new thumbnail comes from the bitmap
    EXPECT_EQ(image->Save(fixtures::U16(dir / "t.jpg").c_str(), &options), c.ok ? 1 : 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "t.jpg.tmp"));
    const Bytes written = fixtures::ReadFile(dir / "t.jpg");
    if (!c.ok) {
      EXPECT_EQ(written, old);
      continue;
    }
    fixtures::Decoded d;
    ASSERT_TRUE(fixtures::Decode(written, JCS_RGB, JDCT_ISLOW, true, &d));
    EXPECT_EQ(d.width, c.recipe.width);
    EXPECT_EQ(d.height, c.recipe.height);
    for (uint8_t v : d.pixels) ASSERT_NEAR(v, 99, 2);
  }
}

}  // namespace
