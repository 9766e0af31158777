// SPDX-License-Identifier: MIT
// Rendering: GetBitmap against libjpeg's own decoder (same integer IDCT, box upsampling) for
// every fixture layout and the corpus, and the bitmap contract (sizes, strides, untouched
// pixels, refusals).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "image/DllImage.h"
#include "tests/support/TesselTest.h"

using namespace fixtures;

namespace {

constexpr uint8_t kSentinel = 0xA5;

int Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// The expected pixel of a CMYK file from its samples: the inks go through YCbCr and back in
// 16-bit fixed point, then are scaled by K / 255.
void CmykPixel(int c, int m, int y, int k, uint8_t* out) {
  const int r = 255 - c, g = 255 - m, b = 255 - y;
  const int lum = ((19595 * r + 38470 * g + 7471 * b + 32768) >> 16) & 0xFF;
  const int cb = ((-11059 * r - 21709 * g + 32768 * b + 8421375) >> 16) & 0xFF;
  const int cr = ((32768 * r - 27439 * g - 5329 * b + 8421375) >> 16) & 0xFF;
  const int blue = lum + ((116130 * (cb - 128) + 32768) >> 16);
  const int green = lum + ((-22554 * (cb - 128) + 32768 - 46802 * (cr - 128)) >> 16);
  const int red = lum + ((91881 * (cr - 128) + 32768) >> 16);
  out[0] = static_cast<uint8_t>(Clamp(255 - blue) * k / 255);
  out[1] = static_cast<uint8_t>(Clamp(255 - green) * k / 255);
  out[2] = static_cast<uint8_t>(Clamp(255 - red) * k / 255);
}

// What GetBitmap must produce (blue, green, red, top-down, 3 bytes a pixel), from libjpeg's
// decoder with the islow IDCT and without fancy upsampling. False when libjpeg cannot decode.
bool ExpectedBitmap(const Bytes& jpeg, int colourSpace, Bytes* out) {
  Decoded d;
  const bool ink = colourSpace == JCS_CMYK || colourSpace == JCS_YCCK;
  const J_COLOR_SPACE space = colourSpace == JCS_GRAYSCALE ? JCS_GRAYSCALE
                              : ink                        ? JCS_CMYK
                                                           : JCS_RGB;
  if (!Decode(jpeg, space, JDCT_ISLOW, false, &d)) return false;
  const size_t pixels = size_t{1} * d.width * d.height;
  out->assign(pixels * 3, 0);
  for (size_t i = 0; i < pixels; ++i) {
    const uint8_t* in = &d.pixels[i * d.components];
    uint8_t* px = &(*out)[i * 3];
    if (colourSpace == JCS_GRAYSCALE) {
      px[0] = px[1] = px[2] = in[0];
    } else if (colourSpace == JCS_CMYK) {
      CmykPixel(in[0], in[1], in[2], in[3], px);
    } else if (colourSpace == JCS_YCCK) {
      // libjpeg's YCCK to CMYK gives clamp(255 - colour); the scaling by K remains.
      px[0] = static_cast<uint8_t>(in[2] * in[3] / 255);
      px[1] = static_cast<uint8_t>(in[1] * in[3] / 255);
      px[2] = static_cast<uint8_t>(in[0] * in[3] / 255);
    } else {
      px[0] = in[2];
      px[1] = in[1];
      px[2] = in[0];
    }
  }
  return true;
}

int ColourSpaceOf(ITessel* image) {
  return static_cast<CDllImage*>(image)->HeaderDecompressor()->jpeg_color_space;
}

// Renders top-down into a tight buffer.
Bytes Render(ITessel* image, bool fullMCU = false) {
  int w = image->GetWidth(), h = image->GetHeight();
  if (fullMCU) {
    w = (w + image->GetMCUWidth() - 1) / image->GetMCUWidth() * image->GetMCUWidth();
    h = (h + image->GetMCUHeight() - 1) / image->GetMCUHeight() * image->GetMCUHeight();
  }
  Bytes bits(size_t{3} * w * h, kSentinel);
  EXPECT_EQ(image->GetBitmap(bits.data(), 3 * w, fullMCU ? 1 : 0), 1);
  return bits;
}

// Index of the first differing byte, for a readable failure message.
std::string FirstDifference(const Bytes& actual, const Bytes& expected, int width) {
  if (actual.size() != expected.size()) return "sizes differ";
  for (size_t i = 0; i < actual.size(); ++i) {
    if (actual[i] != expected[i]) {
      const size_t pixel = i / 3;
      return "first difference at pixel (" + std::to_string(pixel % width) + ", " +
             std::to_string(pixel / width) + ") byte " + std::to_string(i % 3) + ": " +
             std::to_string(actual[i]) + " instead of " + std::to_string(expected[i]);
    }
  }
  return "equal";
}

void ExpectMatchesLibjpeg(const Bytes& jpeg) {
  ImagePtr image = OpenBytes(jpeg);
  ASSERT_TRUE(image);
  Bytes expected;
  ASSERT_TRUE(ExpectedBitmap(jpeg, ColourSpaceOf(image.get()), &expected));
  const Bytes actual = Render(image.get());
  EXPECT_TRUE(actual == expected) << FirstDifference(actual, expected, image->GetWidth());
}

std::vector<Recipe> OracleKinds() {
  std::vector<Recipe> kinds = StandardKinds();
  const auto add = [&](Recipe s) {
    const auto same = [&](const Recipe& k) { return k.Name() == s.Name(); };
    if (std::none_of(kinds.begin(), kinds.end(), same)) kinds.push_back(std::move(s));
  };
  for (const char* sampling : {"444", "422", "440", "420", "411"}) {
    add(Make(64, 32, sampling));
    add(Make(37, 23, sampling));
    add(Make(1, 1, sampling));
  }
  add(Make(64, 32, "gray", Space::kGray));
  add(Make(9, 41, "gray", Space::kGray));
  add(Make(32, 16, "444", Space::kRGB));
  add(Make(13, 7, "420", Space::kRGB));
  // Layouts beyond factors of 2, and chroma components that differ from each other.
  const auto layout = [&](int w, int h, std::vector<std::pair<int, int>> sampling,
                          Space space = Space::kYCbCr) {
    Recipe s = Make(w, h, "", space);
    s.sampling = std::move(sampling);
    add(s);
  };
  layout(45, 37, {{4, 2}, {1, 1}, {1, 1}});
  layout(45, 37, {{1, 4}, {1, 1}, {1, 1}});
  layout(70, 70, {{1, 4}, {1, 2}, {1, 1}});
  layout(61, 35, {{3, 2}, {1, 1}, {1, 1}});
  layout(50, 29, {{3, 1}, {1, 1}, {1, 1}});
  layout(50, 29, {{2, 2}, {1, 2}, {2, 1}});
  layout(50, 29, {{4, 1}, {2, 1}, {1, 1}});
  layout(33, 35, {{2, 2}, {1, 1}, {1, 1}, {2, 2}}, Space::kCMYK);
  layout(33, 35, {{2, 2}, {1, 1}, {1, 1}, {2, 2}}, Space::kYCCK);
  layout(33, 35, {{4, 1}, {1, 1}, {1, 1}, {1, 1}}, Space::kYCCK);
  return kinds;
}

class RenderOracle : public ::testing::TestWithParam<Recipe> {};

TEST_P(RenderOracle, EqualsLibjpegIslowWithoutFancyUpsampling) {
  ExpectMatchesLibjpeg(Write(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RenderOracle, ::testing::ValuesIn(OracleKinds()),
                         [](const auto& info) { return info.param.Name(); });

TEST(RenderCorpus, EveryReadableFileEqualsLibjpeg) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus not present";
  int compared = 0;
  for (const auto& path : files) {
    const Bytes jpeg = ReadFile(path);
    ImagePtr image = OpenBytes(jpeg);
    Bytes expected;
    if (!image || !ExpectedBitmap(jpeg, ColourSpaceOf(image.get()), &expected)) continue;
    SCOPED_TRACE(path.string());
    const Bytes actual = Render(image.get());
    EXPECT_TRUE(actual == expected) << FirstDifference(actual, expected, image->GetWidth());
    ++compared;
  }
  // Files that either side cannot read (12-bit samples, broken scans) are left out.
  std::printf("compared %d of %zu corpus files\n", compared, files.size());
  EXPECT_GT(compared, 0);
}

TEST(GetBitmap, NoImageOpenFailsAndLeavesTheBitmap) {
  ImagePtr image = NewImage();
  Bytes bits(300, kSentinel);
  EXPECT_EQ(image->GetBitmap(bits.data(), 30, 0), 0);
  EXPECT_EQ(image->GetBitmap(bits.data(), 30, 1), 0);
  EXPECT_TRUE(std::all_of(bits.begin(), bits.end(), [](uint8_t b) { return b == kSentinel; }));
}

// A 17 x 9 image with 2x2 luma sampling: 17 x 9 pixels written, or 32 x 16 with whole MCUs,
// inside a wider buffer whose other bytes must stay as they were.
TEST(GetBitmap, WritesExactlyTheRequestedSize) {
  ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
  ASSERT_TRUE(image);
  struct Case {
    int32_t fullMCU;
    int width, height;
  };
  for (const Case& c : {Case{0, 17, 9}, Case{1, 32, 16}}) {
    SCOPED_TRACE(c.fullMCU);
    const int stride = 3 * 40, rows = 20;
    Bytes bits(size_t{1} * stride * rows, kSentinel);
    ASSERT_EQ(image->GetBitmap(bits.data(), stride, c.fullMCU), 1);
    for (int y = 0; y < rows; ++y) {
      for (int x = 0; x < 40; ++x) {
        const bool inside = x < c.width && y < c.height;
        const uint8_t* px = &bits[size_t{1} * y * stride + 3 * x];
        // Every written pixel of this image differs from the sentinel in some byte.
        const bool written = px[0] != kSentinel || px[1] != kSentinel || px[2] != kSentinel;
        ASSERT_EQ(written, inside) << "pixel (" << x << ", " << y << ")";
      }
    }
  }
  // The image part of a whole-MCU render is the image itself.
  const Bytes tight = Render(image.get());
  const Bytes full = Render(image.get(), true);
  for (int y = 0; y < 9; ++y) {
    EXPECT_TRUE(std::equal(&tight[size_t{3} * 17 * y], &tight[size_t{3} * 17 * (y + 1)],
                           &full[size_t{3} * 32 * y]));
  }
}

TEST(GetBitmap, NegativeStridePutsRowZeroAtTheHighestAddress) {
  ImagePtr image = OpenBytes(Write(Make(21, 13, "422")));
  ASSERT_TRUE(image);
  const Bytes topDown = Render(image.get());
  const int rowBytes = 3 * 21;
  Bytes bottomUp(size_t{1} * rowBytes * 13, kSentinel);
  uint8_t* lastRow = bottomUp.data() + size_t{1} * rowBytes * 12;
  ASSERT_EQ(image->GetBitmap(lastRow, -rowBytes, 0), 1);
  for (int y = 0; y < 13; ++y) {
    EXPECT_TRUE(std::equal(&topDown[size_t{1} * rowBytes * y],
                           &topDown[size_t{1} * rowBytes * (y + 1)],
                           &bottomUp[size_t{1} * rowBytes * (12 - y)]))
        << "image row " << y;
  }
}

TEST(GetBitmap, ShowsCoefficientsSetByTheHost) {
  ImagePtr image = OpenBytes(Write(Make(24, 16, "420")));
  ASSERT_TRUE(image);
  // Luma flat at 200 (DC = 8 x (200 - 128)), chroma neutral: every pixel is grey 200.
  std::vector<int16_t> store = Store(image.get());
  const size_t lumaValues = size_t{64} * 4 * 2;
  std::fill(store.begin(), store.end(), 0);
  for (size_t i = 0; i < lumaValues; i += 64) store[i] = 8 * (200 - 128);
  ASSERT_EQ(image->SetCoefficients(store.data(), static_cast<int32_t>(store.size())), 1);
  const Bytes bits = Render(image.get());
  EXPECT_TRUE(std::all_of(bits.begin(), bits.end(), [](uint8_t b) { return b == 200; }));
}

TEST(GetBitmap, GrayscaleGivesEqualBytes) {
  ImagePtr image = OpenBytes(Write(Make(19, 11, "gray", Space::kGray)));
  ASSERT_TRUE(image);
  const Bytes bits = Render(image.get());
  for (size_t i = 0; i < bits.size(); i += 3) {
    ASSERT_TRUE(bits[i] == bits[i + 1] && bits[i] == bits[i + 2]) << "pixel " << i / 3;
  }
}

// What the renderer cannot show is refused, with the bitmap as the caller left it; so are
// arguments that would make it write where it must not.
TEST(GetBitmap, RefusesWhatItCannotRenderAndLeavesTheBitmap) {
  struct Case {
    const char* name;
    int colourSpace;  // -1 keeps the file's
    int32_t stride;   // 0 means 3 x width
    bool nullBits;
  };
  const Case cases[] = {
      {"unknown colour space", JCS_UNKNOWN, 0, false},
      {"colour space 6", 6, 0, false},
      {"null bitmap", -1, 0, true},
      {"stride below a row of pixels", -1, 3 * 16 - 1, false},
      {"negative stride below a row of pixels", -1, -(3 * 16 - 1), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImagePtr image = OpenBytes(Write(Make(16, 8, "422")));
    ASSERT_TRUE(image);
    if (c.colourSpace >= 0) {
      static_cast<CDllImage*>(image.get())->HeaderDecompressor()->jpeg_color_space =
          static_cast<J_COLOR_SPACE>(c.colourSpace);
    }
    Bytes bits(3 * 16 * 8 * 2, kSentinel);
    uint8_t* row0 = c.stride < 0 ? bits.data() + bits.size() / 2 : bits.data();
    EXPECT_EQ(image->GetBitmap(c.nullBits ? nullptr : row0, c.stride == 0 ? 48 : c.stride, 0), 0);
    EXPECT_TRUE(std::all_of(bits.begin(), bits.end(), [](uint8_t b) { return b == kSentinel; }));
  }
}

}  // namespace
