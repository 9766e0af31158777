// SPDX-License-Identifier: MIT
// The block transforms: the range-limit table's views, the inverse DCT's short paths and AVX2
// path against the transform written out step by step, both transforms against the real DCT,
// flat blocks both ways, the sampling code, and the encode sample area's block order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "pixels/DCT.h"
#include "pixels/InverseTransform.h"
#include "pixels/RangeLimit.h"
#include "tests/support/Headers.h"

using fixtures::Header;

namespace {

using Block = std::array<int16_t, 64>;
using Samples = std::array<uint8_t, 64>;

TEST(RangeLimit, ClampAndTransformViews) {
  const uint8_t* table = RangeLimitTable();
  for (int x = -256; x <= 639; ++x) {
    ASSERT_EQ(table[kClampCentre + x], x < 0 ? 0 : x > 255 ? 255 : x) << x;
  }
  struct Case {
    int32_t descaled;
    int sample;
  };
  // Outputs within -512..511 are clamped after the level shift; the rest wrap modulo 1024.
  const Case cases[] = {{0, 128},        {-128, 0},   {127, 255},       {-100, 28},
                        {300, 255},      {-300, 0},   {511, 255},       {-512, 0},
                        {600, 0},        {1024, 128}, {-1024 + 5, 133}, {INT32_MIN, 128},
                        {INT32_MAX, 127}};
  for (const Case& c : cases) {
    EXPECT_EQ(table[kTransformCentre + (c.descaled & kTransformMask)], c.sample) << c.descaled;
  }
}

// The inverse transform exactly as its steps read, with no shortcut but the column and row
// ones that belong to its definition: the oracle for every faster route.
Samples InverseByTheSteps(const Block& in) {
  const auto mul = [](uint32_t x, int32_t m) { return x * static_cast<uint32_t>(m); };
  const auto descale = [](uint32_t x, int n) {
    return static_cast<int32_t>(x + (1u << (n - 1))) >> n;
  };
  // One 1-D pass; returns the eight outputs before descaling.
  const auto pass = [&](const uint32_t* i, uint32_t* out) {
    const uint32_t z1 = mul(i[2] + i[6], 4433);
    const uint32_t t2 = z1 - mul(i[6], 15137), t3 = z1 + mul(i[2], 6270);
    const uint32_t t0 = (i[0] + i[4]) * 8192u, t1 = (i[0] - i[4]) * 8192u;
    const uint32_t t10 = t0 + t3, t13 = t0 - t3, t11 = t1 + t2, t12 = t1 - t2;
    const uint32_t a0 = i[7], a1 = i[5], a2 = i[3], a3 = i[1];
    const uint32_t z5 = mul(a0 + a2 + a1 + a3, 9633);
    const uint32_t y1 = mul(a0 + a3, -7373), y2 = mul(a1 + a2, -20995);
    const uint32_t y3 = mul(a0 + a2, -16069) + z5, y4 = mul(a1 + a3, -3196) + z5;
    const uint32_t o0 = mul(a0, 2446) + y1 + y3, o1 = mul(a1, 16819) + y2 + y4;
    const uint32_t o2 = mul(a2, 25172) + y2 + y3, o3 = mul(a3, 12299) + y1 + y4;
    const uint32_t r[8] = {t10 + o3, t11 + o2, t12 + o1, t13 + o0,
                           t13 - o0, t12 - o1, t11 - o2, t10 - o3};
    std::memcpy(out, r, sizeof(r));
  };
  int32_t ws[64];
  for (int u = 0; u < 8; ++u) {
    uint32_t i[8], o[8];
    bool acZero = true;
    for (int r = 0; r < 8; ++r) {
      i[r] = static_cast<uint32_t>(int32_t{in[8 * r + u]});
      if (r > 0 && in[8 * r + u] != 0) acZero = false;
    }
    pass(i, o);
    for (int r = 0; r < 8; ++r) ws[8 * r + u] = acZero ? in[u] * 4 : descale(o[r], 11);
  }
  const uint8_t* view = RangeLimitTable() + kTransformCentre;
  Samples out{};
  for (int y = 0; y < 8; ++y) {
    uint32_t i[8], o[8];
    bool acZero = true;
    for (int x = 0; x < 8; ++x) {
      i[x] = static_cast<uint32_t>(ws[8 * y + x]);
      if (x > 0 && ws[8 * y + x] != 0) acZero = false;
    }
    pass(i, o);
    for (int x = 0; x < 8; ++x) {
      const int32_t v = acZero ? descale(i[0], 5) : descale(o[x], 18);
      out[8 * y + x] = view[v & kTransformMask];
    }
  }
  return out;
}

// Blocks that take every route: empty, DC only, zero columns, zero rows, dense, and values far
// outside 8-bit JPEG data (which overflow the second pass and wrap).
std::vector<Block> BlocksOfEveryKind() {
  std::mt19937 random(7);
  std::vector<Block> blocks;
  const auto make = [&](int range, auto keep) {
    Block b{};
    std::uniform_int_distribution<int> value(-range, range);
    for (int i = 0; i < 64; ++i) {
      if (keep(i / 8, i % 8)) b[i] = static_cast<int16_t>(value(random));
    }
    blocks.push_back(b);
  };
  for (int n = 0; n < 200; ++n) {
    const int range = n % 4 == 0 ? 32767 : n % 4 == 1 ? 4000 : 300;
    make(range, [](int, int) { return true; });
    make(range, [](int v, int u) { return v == 0 && u == 0; });
    make(range, [](int, int u) { return u == 0; });            // vertical frequencies only
    make(range, [](int v, int) { return v == 0; });            // horizontal frequencies only
    make(range, [&](int v, int u) { return v + u < 3; });      // low frequencies
    make(range, [&](int, int) { return random() % 5 == 0; });  // sparse
  }
  blocks.push_back(Block{});
  Block extreme{};
  extreme.fill(32767);
  blocks.push_back(extreme);
  extreme.fill(-32768);
  blocks.push_back(extreme);
  return blocks;
}

TEST(InverseBlock, EveryRouteEqualsTheSteps) {
  Header header(JCS_YCbCr, {{2, 2}, {1, 1}, {1, 1}});
  const CDCT transform(&header.info);
  const bool wide = dct::WideInverseSupported();
  if (!wide) std::printf("note: no AVX2 here, the wide inverse transform is not compared\n");
  for (const Block& block : BlocksOfEveryKind()) {
    const Samples expected = InverseByTheSteps(block);
    Samples plain{}, chosen{};
    dct::InverseTransformPlain(block.data(), plain.data());
    transform.InverseBlock(block.data(), chosen.data());
    ASSERT_EQ(plain, expected) << "plain, first coefficients " << block[0] << ", " << block[1];
    ASSERT_EQ(chosen, expected) << "InverseBlock";
    if (wide) {
      Samples vector{};
      dct::InverseTransformWide(block.data(), vector.data());
      ASSERT_EQ(vector, expected) << "wide, first coefficients " << block[0] << ", " << block[1];
    }
  }
}

TEST(InverseBlock, DcOnlyBlocksAreFlat) {
  struct Case {
    int16_t dc;
    uint8_t sample;  // clamp(128 + ((dc + 4) >> 3)) inside the wrap-around
  };
  const Case cases[] = {{0, 128},   {3, 128},    {4, 129},    {-4, 128},   {-5, 127},   {8, 129},
                        {-8, 127},  {1016, 255}, {1024, 255}, {-1024, 0},  {2400, 255}, {-2400, 0},
                        {-800, 28}, {4800, 0},   {8192, 128}, {32767, 128}};
  Header header(JCS_GRAYSCALE, {{1, 1}});
  const CDCT transform(&header.info);
  for (const Case& c : cases) {
    Block block{};
    block[0] = c.dc;
    Samples out{};
    transform.InverseBlock(block.data(), out.data());
    Samples flat;
    flat.fill(c.sample);
    EXPECT_EQ(out, flat) << "DC " << c.dc;
  }
}

// True-scale DCT-II of an 8x8 block: a flat block of a gives DC 8a.
double RealDct(const std::array<double, 64>& s, int v, int u) {
  double sum = 0;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      sum += s[8 * y + x] * std::cos((2 * x + 1) * u * M_PI / 16) *
             std::cos((2 * y + 1) * v * M_PI / 16);
    }
  }
  const double cu = u == 0 ? M_SQRT1_2 : 1, cv = v == 0 ? M_SQRT1_2 : 1;
  return sum * cu * cv / 4;
}

// The MCU of a grayscale image as a bitmap (gray pixels), loaded into the encode area.
void LoadGray(CDCT& transform, const Samples& samples) {
  std::vector<uint8_t> bits(64 * 3);
  for (int i = 0; i < 64; ++i) bits[3 * i] = bits[3 * i + 1] = bits[3 * i + 2] = samples[i];
  transform.LoadMCU(bits.data(), 24);
}

TEST(Transforms, StayWithinOneOfTheRealDct) {
  Header header(JCS_GRAYSCALE, {{1, 1}});
  CDCT transform(&header.info);
  std::mt19937 random(11);
  for (int n = 0; n < 500; ++n) {
    // Smooth content with noise, so that the inverse of the result stays in range.
    Samples samples{};
    std::array<double, 64> centred{};
    const int base = 40 + static_cast<int>(random() % 170), slope = static_cast<int>(random() % 7);
    for (int i = 0; i < 64; ++i) {
      samples[i] = static_cast<uint8_t>(base + slope * (i % 8) + static_cast<int>(random() % 20));
      centred[i] = samples[i] - 128.0;
    }
    LoadGray(transform, samples);
    Block coefficients{};
    transform.ForwardBlock(0, 0, 0, coefficients.data());
    for (int k = 0; k < 64; ++k) {
      ASSERT_NEAR(coefficients[k], RealDct(centred, k / 8, k % 8), 1.0) << "coefficient " << k;
    }
    Samples back{};
    transform.InverseBlock(coefficients.data(), back.data());
    for (int i = 0; i < 64; ++i) ASSERT_NEAR(back[i], samples[i], 1) << "sample " << i;
  }
}

TEST(Transforms, FlatBlocksBothWays) {
  Header header(JCS_GRAYSCALE, {{1, 1}});
  CDCT transform(&header.info);
  for (int s : {0, 1, 64, 127, 128, 129, 200, 254, 255}) {
    Samples flat;
    flat.fill(static_cast<uint8_t>(s));
    LoadGray(transform, flat);
    Block coefficients;
    coefficients.fill(-1);
    transform.ForwardBlock(0, 0, 0, coefficients.data());
    Block expected{};
    expected[0] = static_cast<int16_t>(8 * (s - 128));
    EXPECT_EQ(coefficients, expected) << "sample " << s;
    Samples back{};
    transform.InverseBlock(coefficients.data(), back.data());
    EXPECT_EQ(back, flat) << "sample " << s;
  }
}

TEST(CDCT, SamplingCodes) {
  struct Case {
    int colourSpace;
    std::vector<std::pair<int, int>> sampling;
    int32_t code;
  };
  const Case cases[] = {
      {JCS_YCbCr, {{1, 1}, {1, 1}, {1, 1}}, 0},
      {JCS_GRAYSCALE, {{1, 1}}, 0},
      {JCS_YCbCr, {{1, 2}, {1, 1}, {1, 1}}, 80},
      {JCS_YCbCr, {{2, 1}, {1, 1}, {1, 1}}, 160},
      {JCS_YCbCr, {{2, 2}, {1, 1}, {1, 1}}, 240},
      {JCS_GRAYSCALE, {{2, 2}}, 15},
      {JCS_YCbCr, {{2, 2}, {1, 2}, {1, 1}}, 244},
      // Factors above 2 select no route made for another layout.
      {JCS_YCbCr, {{4, 1}, {1, 1}, {1, 1}}, -1},
      {JCS_YCbCr, {{2, 2}, {1, 1}, {1, 3}}, -1},
  };
  for (const Case& c : cases) {
    Header header(c.colourSpace, c.sampling);
    EXPECT_EQ(CDCT(&header.info).SamplingCode(), c.code);
  }
}

TEST(CDCT, DecodesWhatItHasAConverterAndRoomFor) {
  struct Case {
    const char* name;
    int colourSpace;
    std::vector<std::pair<int, int>> sampling;
    bool decodes;
  };
  const Case cases[] = {
      {"gray", JCS_GRAYSCALE, {{1, 1}}, true},
      {"YCbCr 4:1:1", JCS_YCbCr, {{4, 1}, {1, 1}, {1, 1}}, true},
      {"CMYK with 2x2 first", JCS_CMYK, {{2, 2}, {1, 1}, {1, 1}, {1, 1}}, true},
      {"YCCK 4x4", JCS_YCCK, {{4, 4}, {1, 1}, {1, 1}, {1, 1}}, true},
      {"unknown space", JCS_UNKNOWN, {{1, 1}, {1, 1}}, false},
      {"space 6", 6, {{1, 1}, {1, 1}, {1, 1}}, false},
      {"YCbCr with one component", JCS_YCbCr, {{1, 1}}, false},
      {"five components", JCS_CMYK, {{1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}}, false},
      {"factor 5", JCS_YCbCr, {{5, 1}, {1, 1}, {1, 1}}, false},
  };
  for (const Case& c : cases) {
    Header header(c.colourSpace, c.sampling);
    EXPECT_EQ(CDCT(&header.info).CanDecode(), c.decodes) << c.name;
  }
}

// Blocks of a component with v = 2 follow each other in the encode area (block row 1 right
// after block row 0), whatever the decode area does.
TEST(CDCT, ForwardBlockReadsTheEncodeAreaInBlockOrder) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> sampling;
    int mcuW, mcuH;
  };
  const Case cases[] = {{"4:4:0", {{1, 2}, {1, 1}, {1, 1}}, 8, 16},
                        {"4:2:2", {{2, 1}, {1, 1}, {1, 1}}, 16, 8},
                        {"4:2:0", {{2, 2}, {1, 1}, {1, 1}}, 16, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Header header(JCS_YCbCr, c.sampling);
    CDCT transform(&header.info);
    // Each 8x8 block of the MCU is a different grey: 40 + 50 x (block index in row order).
    std::vector<uint8_t> bits(size_t{3} * c.mcuW * c.mcuH);
    for (int y = 0; y < c.mcuH; ++y) {
      for (int x = 0; x < c.mcuW; ++x) {
        const int grey = 40 + 50 * ((y / 8) * (c.mcuW / 8) + x / 8);
        std::memset(&bits[size_t{3} * (y * c.mcuW + x)], grey, 3);
      }
    }
    transform.LoadMCU(bits.data(), 3 * c.mcuW);
    const int h = c.sampling[0].first, v = c.sampling[0].second;
    for (int l = 0; l < v; ++l) {
      for (int m = 0; m < h; ++m) {
        Block coefficients{};
        transform.ForwardBlock(0, m, l, coefficients.data());
        EXPECT_EQ(coefficients[0], 8 * (40 + 50 * (l * h + m) - 128)) << "block " << l << m;
        EXPECT_EQ(coefficients[1], 0);
      }
    }
    // Neutral grey has neutral chroma at any resolution.
    Block chroma;
    chroma.fill(1);
    transform.ForwardBlock(1, 0, 0, chroma.data());
    EXPECT_EQ(chroma, Block{});
  }
}

TEST(CDCT, ForwardBlockOutsideTheAreaLeavesTheOutput) {
  Header header(JCS_YCbCr, {{2, 1}, {1, 1}, {1, 1}});
  CDCT transform(&header.info);
  const int calls[][3] = {{3, 0, 0}, {-1, 0, 0}, {0, 2, 0}, {0, 0, 1}, {1, 1, 0}, {0, -1, 0}};
  for (const auto& call : calls) {
    Block out;
    out.fill(77);
    transform.ForwardBlock(call[0], call[1], call[2], out.data());
    Block untouched;
    untouched.fill(77);
    EXPECT_EQ(out, untouched) << call[0] << " " << call[1] << " " << call[2];
  }
}

// A band decoded from an MCU row further down equals that part of the whole picture.
TEST(CDCT, DecodeRectFromALaterMcuRow) {
  Header header(JCS_YCbCr, {{2, 2}, {1, 1}, {1, 1}}, 2, 3);
  std::vector<int16_t> store(size_t{64} * (4 * 6 + 2 * 3 * 2));
  std::mt19937 random(5);
  for (size_t i = 0; i < store.size(); ++i) {
    store[i] = static_cast<int16_t>(i % 64 < 6 ? static_cast<int>(random() % 400) - 200 : 0);
  }
  CDCT transform(&header.info);
  const int w = 29, stride = 3 * 32;
  std::vector<uint8_t> whole(size_t{stride} * 48, 0), band(size_t{stride} * 16, 0);
  transform.DecodeRect(store.data(), whole.data(), stride, 0, 0, w, 48);
  transform.DecodeRect(store.data(), band.data(), stride, 0, 32, w, 16);
  EXPECT_TRUE(std::equal(band.begin(), band.end(), whole.begin() + 32 * stride));
  // Columns from 29 on were never written.
  for (int y = 0; y < 48; ++y) {
    for (int b = 3 * w; b < stride; ++b) ASSERT_EQ(whole[size_t{1} * y * stride + b], 0);
  }
}

}  // namespace
