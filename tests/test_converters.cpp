// SPDX-License-Identifier: MIT
// The colour converters: the YCbCr formulas and their rounding, CMYK and YCCK values, the
// averaging biases of downsampling, the written area of ToPixels, and every fast route of
// ToPixels against the general lookup rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "pixels/DCT.h"
#include "pixels/RangeLimit.h"
#include "tests/support/Headers.h"

using fixtures::Header;

namespace {

constexpr uint8_t kSentinel = 0xA5;

struct Pixel {
  int blue, green, red;
  bool operator==(const Pixel&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Pixel& p) {
  return os << "(b " << p.blue << ", g " << p.green << ", r " << p.red << ")";
}

// Renders one 8x8 MCU whose components are flat at the given samples; returns pixel (0, 0).
Pixel PixelOfSamples(CColorSpaceConverter& converter, int colourSpace,
                     std::vector<uint8_t> samples) {
  std::vector<std::pair<int, int>> sampling(samples.size(), {1, 1});
  Header header(colourSpace, sampling);
  std::vector<uint8_t> area(kDecodeAreaBytes, 0);
  for (size_t k = 0; k < samples.size(); ++k) {
    std::memset(&area[DecodeBlockOffset(static_cast<int>(k), 0, 0)], samples[k], 64);
  }
  converter.SetRangeLimit(RangeLimitTable());
  uint8_t out[3] = {kSentinel, kSentinel, kSentinel};
  converter.ToPixels(header.info, area.data(), out, 1, 1, 3, -1);
  return Pixel{out[0], out[1], out[2]};
}

// FromPixels of one flat 8x8 MCU of the pixel; returns the first sample of each component.
std::vector<int> SamplesOfPixel(CColorSpaceConverter& converter, int colourSpace, int components,
                                Pixel pixel) {
  std::vector<std::pair<int, int>> sampling(static_cast<size_t>(components), {1, 1});
  Header header(colourSpace, sampling);
  std::vector<uint8_t> bits(64 * 3);
  for (int i = 0; i < 64; ++i) {
    bits[3 * i] = static_cast<uint8_t>(pixel.blue);
    bits[3 * i + 1] = static_cast<uint8_t>(pixel.green);
    bits[3 * i + 2] = static_cast<uint8_t>(pixel.red);
  }
  std::vector<uint8_t> area(kEncodeAreaBytes, kSentinel);
  converter.SetRangeLimit(RangeLimitTable());
  converter.FromPixels(header.info, bits.data(), area.data(), 24);
  std::vector<int> samples;
  for (int k = 0; k < components; ++k) samples.push_back(area[EncodeBlockOffset(k, 0, 0, 1)]);
  return samples;
}

TEST(ConverterYCC, NeutralChromaGivesGrey) {
  CConverterYCC ycc;
  for (int y = 0; y < 256; ++y) {
    const uint8_t lum = static_cast<uint8_t>(y);
    ASSERT_EQ(PixelOfSamples(ycc, JCS_YCbCr, {lum, 128, 128}), (Pixel{y, y, y}));
  }
}

TEST(ConverterYCC, RoundTrips) {
  struct Case {
    Pixel pixel;
    std::vector<int> ycc;
    Pixel back;
  };
  const Case cases[] = {
      {{0, 0, 255}, {76, 85, 255}, {0, 0, 254}},  // pure red loses one step of red
      {{255, 255, 255}, {255, 128, 128}, {255, 255, 255}},
      {{0, 0, 0}, {0, 128, 128}, {0, 0, 0}},
      {{128, 128, 128}, {128, 128, 128}, {128, 128, 128}},
  };
  CConverterYCC ycc;
  for (const Case& c : cases) {
    const std::vector<int> samples = SamplesOfPixel(ycc, JCS_YCbCr, 3, c.pixel);
    EXPECT_EQ(samples, c.ycc) << c.pixel;
    const Pixel back =
        PixelOfSamples(ycc, JCS_YCbCr,
                       {static_cast<uint8_t>(samples[0]), static_cast<uint8_t>(samples[1]),
                        static_cast<uint8_t>(samples[2])});
    EXPECT_EQ(back, c.back) << c.pixel;
  }
}

TEST(ConverterCMYK, InkValues) {
  struct Case {
    std::vector<uint8_t> cmyk;
    Pixel pixel;
  };
  const Case cases[] = {
      {{255, 255, 255, 255}, {255, 255, 255}},  // no ink
      {{0, 0, 0, 255}, {0, 0, 0}},
      {{10, 20, 30, 0}, {0, 0, 0}},  // full black ink whatever the others
      {{255, 0, 255, 0}, {0, 0, 0}},
      {{200, 100, 50, 128}, {25, 50, 100}},
  };
  CConverterCMYK cmyk;
  for (const Case& c : cases) EXPECT_EQ(PixelOfSamples(cmyk, JCS_CMYK, c.cmyk), c.pixel);
  EXPECT_EQ(SamplesOfPixel(cmyk, JCS_CMYK, 4, {10, 20, 30}), (std::vector<int>{30, 20, 10, 255}));
}

TEST(ConverterYCCK, InkValues) {
  CConverterYCCK ycck;
  EXPECT_EQ(PixelOfSamples(ycck, JCS_YCCK, {0, 128, 128, 255}), (Pixel{255, 255, 255}));
  EXPECT_EQ(PixelOfSamples(ycck, JCS_YCCK, {255, 128, 128, 255}), (Pixel{0, 0, 0}));
  EXPECT_EQ(PixelOfSamples(ycck, JCS_YCCK, {0, 128, 128, 0}), (Pixel{0, 0, 0}));
  EXPECT_EQ(SamplesOfPixel(ycck, JCS_YCCK, 4, {255, 255, 255}),
            (std::vector<int>{0, 128, 128, 255}));
}

TEST(ConverterGrayscale, AverageRoundsDown) {
  CConverterGrayscale gray;
  EXPECT_EQ(SamplesOfPixel(gray, JCS_GRAYSCALE, 1, {10, 20, 31}), std::vector<int>{20});
  EXPECT_EQ(SamplesOfPixel(gray, JCS_GRAYSCALE, 1, {255, 255, 254}), std::vector<int>{254});
  EXPECT_EQ(PixelOfSamples(gray, JCS_GRAYSCALE, {77}), (Pixel{77, 77, 77}));
}

TEST(ConverterRGB, ComponentsAreRedGreenBlue) {
  CConverterRGB rgb;
  EXPECT_EQ(PixelOfSamples(rgb, JCS_RGB, {1, 2, 3}), (Pixel{3, 2, 1}));
  EXPECT_EQ(SamplesOfPixel(rgb, JCS_RGB, 3, {3, 2, 1}), (std::vector<int>{1, 2, 3}));
}

TEST(ConverterDummy, WritesNothing) {
  CConverterDummy dummy;
  Header header(JCS_UNKNOWN, {{1, 1}, {1, 1}});
  std::vector<uint8_t> area(kDecodeAreaBytes, 9), bits(64 * 3, kSentinel);
  dummy.ToPixels(header.info, area.data(), bits.data(), 8, 8, 24, 0);
  EXPECT_TRUE(std::all_of(bits.begin(), bits.end(), [](uint8_t b) { return b == kSentinel; }));
  dummy.FromPixels(header.info, bits.data(), area.data(), 24);
  EXPECT_TRUE(std::all_of(area.begin(), area.end(), [](uint8_t b) { return b == 9; }));
}

// Downsampling: plane values in, the first two samples of the component's block out. The
// bias alternates with the output column so that halves do not all round the same way.
TEST(DownsampleMCU, AveragesWithAlternatingBias) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> sampling;  // component 1 is the one examined
    uint8_t plane[2][4];                        // rows 0-1, columns 0-3 of component 1's plane
    int even, odd;                              // output samples (0, 0) and (0, 1)
  };
  const Case cases[] = {
      {"half width", {{2, 1}, {1, 1}}, {{1, 2, 1, 2}, {9, 9, 9, 9}}, 1, 2},
      {"half height", {{1, 2}, {1, 1}}, {{1, 1, 0, 0}, {2, 2, 0, 0}}, 1, 2},
      {"half both, four ones", {{2, 2}, {1, 1}}, {{1, 1, 1, 1}, {1, 1, 1, 1}}, 1, 1},
      {"half both, sum 6", {{2, 2}, {1, 1}}, {{1, 2, 1, 2}, {1, 2, 1, 2}}, 1, 2},
      {"same resolution", {{1, 1}, {1, 1}}, {{7, 8, 0, 0}, {0, 0, 0, 0}}, 7, 8},
  };
  for (const Case& c : cases) {
    Header header(JCS_YCbCr, c.sampling);
    const int rowLength = 8 * header.info.max_h_samp_factor;
    std::vector<uint8_t> planes(kEncodeAreaBytes, 0), area(kEncodeAreaBytes, kSentinel);
    for (int row = 0; row < 16 && row < 8 * header.info.max_v_samp_factor; ++row) {
      for (int col = 0; col < rowLength; ++col) {
        planes[kEncodeComponentBytes + row * rowLength + col] = c.plane[row % 2][col % 4];
      }
    }
    CColorSpaceConverter::DownsampleMCU(header.info, planes.data(), area.data(), rowLength);
    const int first = EncodeBlockOffset(1, 0, 0, 1);
    EXPECT_EQ(area[first], c.even) << c.name;
    EXPECT_EQ(area[first + 1], c.odd) << c.name;
  }
}

TEST(ToPixels, WritesOnlyTheRequestedPixels) {
  Header header(JCS_YCbCr, {{2, 2}, {1, 1}, {1, 1}});
  CConverterYCC ycc;
  ycc.SetRangeLimit(RangeLimitTable());
  std::vector<uint8_t> area(kDecodeAreaBytes, 128);
  const int stride = 3 * 16;
  for (int32_t sampling : {240, -1}) {
    std::vector<uint8_t> bits(static_cast<size_t>(stride) * 16, kSentinel);
    ycc.ToPixels(header.info, area.data(), bits.data(), 5, 3, stride, sampling);
    int written = 0;
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        const bool changed = bits[size_t{1} * y * stride + 3 * x] != kSentinel;
        EXPECT_EQ(changed, x < 5 && y < 3) << x << ", " << y;
        written += changed;
      }
    }
    EXPECT_EQ(written, 15);
  }
}

// Every fast route gives, pixel for pixel, what the general lookup rule gives, for whole and
// partial MCUs, on random samples.
TEST(ToPixels, FastRoutesEqualTheGeneralRule) {
  struct Route {
    const char* name;
    int colourSpace;
    std::vector<std::pair<int, int>> sampling;
    int32_t code;
  };
  const Route routes[] = {
      {"gray 1x1", JCS_GRAYSCALE, {{1, 1}}, 0},
      {"YCbCr 4:4:4", JCS_YCbCr, {{1, 1}, {1, 1}, {1, 1}}, 0},
      {"YCbCr 4:4:0", JCS_YCbCr, {{1, 2}, {1, 1}, {1, 1}}, 80},
      {"YCbCr 4:2:2", JCS_YCbCr, {{2, 1}, {1, 1}, {1, 1}}, 160},
      {"YCbCr 4:2:0", JCS_YCbCr, {{2, 2}, {1, 1}, {1, 1}}, 240},
  };
  std::mt19937 random(3);
  for (const Route& r : routes) {
    SCOPED_TRACE(r.name);
    Header header(r.colourSpace, r.sampling);
    CDCT transform(&header.info);
    ASSERT_EQ(transform.SamplingCode(), r.code);
    CColorSpaceConverter* converter = transform.Converter();
    const int mcuW = 8 * header.info.max_h_samp_factor, mcuH = 8 * header.info.max_v_samp_factor;
    for (int trial = 0; trial < 20; ++trial) {
      std::vector<uint8_t> area(kDecodeAreaBytes);
      for (uint8_t& b : area) b = static_cast<uint8_t>(random());
      const int width = trial < 10 ? mcuW : 1 + static_cast<int>(random() % mcuW);
      const int height = trial < 10 ? mcuH : 1 + static_cast<int>(random() % mcuH);
      const int stride = 3 * mcuW + 5;
      std::vector<uint8_t> fast(static_cast<size_t>(stride) * mcuH, kSentinel), rule = fast;
      converter->ToPixels(header.info, area.data(), fast.data(), width, height, stride, r.code);
      converter->ToPixels(header.info, area.data(), rule.data(), width, height, stride, -1);
      ASSERT_EQ(fast, rule) << width << "x" << height;
    }
  }
}

}  // namespace
