// SPDX-License-Identifier: MIT
// The Exif thumbnail encoder: the size rule, area averaging, and the compressed stream read
// back with libjpeg.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "image/DllImage.h"
#include "image/ThumbnailEncoder.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/TesselTest.h"

namespace {

using fixtures::Bytes;

TEST(ThumbnailEncoder, SizeRule) {
  struct Case {
    int32_t width, height, requested;
    ThumbnailSize want;
  };
  const Case cases[] = {
      {4000, 3000, 160, {160, 120}}, {4000, 3000, 1000, {256, 192}},  // limited to 256
      {4000, 3000, 10, {32, 24}},                                     // raised to 32
      {3000, 4000, 160, {120, 160}}, {100, 80, 160, {100, 80}},       // never enlarged
      {160, 20, 160, {160, 20}},     {3000, 5, 160, {160, 0}},        // too thin: no rows
  };
  for (const Case& c : cases) {
    const ThumbnailSize got = ThumbnailSizeFor(c.width, c.height, c.requested);
    EXPECT_EQ(got.width, c.want.width) << c.width << "x" << c.height << " at " << c.requested;
    EXPECT_EQ(got.height, c.want.height) << c.width << "x" << c.height << " at " << c.requested;
  }
}

// A source over a test bitmap that checks the rows are asked for in order, each once, and
// never past the last.
class VectorSource final : public ThumbnailSource {
 public:
  VectorSource(const Bytes& bgr, int32_t width, int32_t height)
      : bgr_(bgr), width_(width), height_(height) {}
  const uint8_t* Row(int32_t row) override {
    EXPECT_EQ(row, next_);
    EXPECT_LT(row, height_);
    next_ = row + 1;
    return bgr_.data() + size_t(row) * width_ * 3;
  }
  int32_t fetched() const { return next_; }

 private:
  const Bytes& bgr_;
  int32_t width_, height_;
  int32_t next_ = 0;
};

class CollectSink final : public ThumbnailSink {
 public:
  explicit CollectSink(int32_t width) : width_(width) {}
  void Put(const uint8_t* rgb) override { rows.emplace_back(rgb, rgb + width_ * 3); }
  std::vector<Bytes> rows;

 private:
  int32_t width_;
};

// Runs the scaler with guarded buffers and returns the rows it produced (red, green, blue).
std::vector<Bytes> Scale(const Bytes& bgr, int32_t width, int32_t height, ThumbnailSize size,
                         int32_t* fetched = nullptr) {
  Bytes vertical(size_t(width) * 3 + 16, 0xCD);
  std::vector<float> accumulators(size_t(width) * 3, 0.0f);
  Bytes output(size_t(size.width) * 3 + 16, 0xCD);
  VectorSource source(bgr, width, height);
  CollectSink sink(size.width);
  ScaleRows(source, width, height, size,
            ScaleBuffers{vertical.data(), accumulators.data(), output.data()}, sink);
  for (size_t i = size_t(width) * 3; i < vertical.size(); ++i) EXPECT_EQ(vertical[i], 0xCD);
  for (size_t i = size_t(size.width) * 3; i < output.size(); ++i) EXPECT_EQ(output[i], 0xCD);
  if (fetched != nullptr) *fetched = source.fetched();
  return sink.rows;
}

Bytes Uniform(int32_t width, int32_t height, uint8_t b, uint8_t g, uint8_t r) {
  Bytes bgr(size_t(width) * height * 3);
  for (size_t i = 0; i < bgr.size(); i += 3) bgr[i] = b, bgr[i + 1] = g, bgr[i + 2] = r;
  return bgr;
}

TEST(ThumbnailEncoder, UniformImagesStayUniform) {
  struct Case {
    int32_t width, height, requested;
  };
  const Case cases[] = {{4000, 3000, 160}, {1001, 999, 256}, {333, 77, 32}, {7, 300, 32},
                        {257, 9, 32},      {100, 80, 160},   {641, 479, 97}};
  const uint8_t levels[][3] = {{0, 0, 0}, {255, 255, 255}, {10, 128, 251}};
  for (const Case& c : cases) {
    const ThumbnailSize size = ThumbnailSizeFor(c.width, c.height, c.requested);
    for (const auto& level : levels) {
      const Bytes bgr = Uniform(c.width, c.height, level[0], level[1], level[2]);
      int32_t fetched = 0;
      const std::vector<Bytes> rows = Scale(bgr, c.width, c.height, size, &fetched);
      ASSERT_EQ(rows.size(), size_t(size.height)) << c.width << "x" << c.height;
      EXPECT_EQ(fetched, c.height) << "every source row is read once";
      for (const Bytes& row : rows) {
        for (int32_t x = 0; x < size.width; ++x) {
          ASSERT_EQ(row[3 * x], level[2]) << c.width << "x" << c.height << " x " << x;
          ASSERT_EQ(row[3 * x + 1], level[1]);
          ASSERT_EQ(row[3 * x + 2], level[0]);
        }
      }
    }
  }
}

TEST(ThumbnailEncoder, AveragesTheAreaEachSampleCovers) {
  // 3x3 to 2x2: output sample 0 takes 2/3 of source 0 and 1/3 of source 1, sample 1 takes
  // 1/3 of source 1 and 2/3 of source 2, along both axes. With 0, 90, 180 along each axis
  // (red over x, green over y) that is 30 and 150.
  Bytes bgr(3 * 3 * 3);
  const uint8_t steps[3] = {0, 90, 180};
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      uint8_t* px = bgr.data() + (y * 3 + x) * 3;
      px[0] = 7, px[1] = steps[y], px[2] = steps[x];
    }
  }
  const std::vector<Bytes> rows = Scale(bgr, 3, 3, ThumbnailSize{2, 2});
  ASSERT_EQ(rows.size(), 2u);
  const uint8_t want[2] = {30, 150};
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) {
      EXPECT_EQ(rows[y][3 * x], want[x]) << x << "," << y;      // red
      EXPECT_EQ(rows[y][3 * x + 1], want[y]) << x << "," << y;  // green
      EXPECT_EQ(rows[y][3 * x + 2], 7) << x << "," << y;        // blue
    }
  }
  // 4x2 to 2x1: 2x2 block means, rounded half up after the vertical pass and again after the
  // horizontal one.
  const Bytes block = {
      0, 0, 10, 0, 0, 21, 0, 0, 200, 0, 0, 0,  // row 0 (blue, green, red)
      0, 0, 30, 0, 0, 40, 0, 0, 100, 0, 0, 1,  // row 1
  };
  const std::vector<Bytes> half = Scale(block, 4, 2, ThumbnailSize{2, 1});
  ASSERT_EQ(half.size(), 1u);
  EXPECT_EQ(half[0][0], 26);  // columns 20 and 30.5 -> 31, then 25.5 -> 26
  EXPECT_EQ(half[0][3], 76);  // columns 150 and 0.5 -> 1, then 75.5 -> 76
}

TEST(ThumbnailEncoder, UnscaledRowsAreTheSourceRows) {
  std::mt19937 random(5);
  Bytes bgr(100 * 80 * 3);
  for (uint8_t& b : bgr) b = static_cast<uint8_t>(random());
  const std::vector<Bytes> rows = Scale(bgr, 100, 80, ThumbnailSizeFor(100, 80, 160));
  ASSERT_EQ(rows.size(), 80u);
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 100; ++x) {
      const uint8_t* in = bgr.data() + (y * 100 + x) * 3;
      ASSERT_EQ(rows[y][3 * x], in[2]);
      ASSERT_EQ(rows[y][3 * x + 1], in[1]);
      ASSERT_EQ(rows[y][3 * x + 2], in[0]);
    }
  }
}

// What a made thumbnail is, read back with libjpeg.
struct Stream {
  fixtures::Decoded pixels;
  std::vector<fixtures::Marker> markers;
};

Stream ReadBack(const EncodedThumbnail& t) {
  Stream s;
  const Bytes bytes(t.bytes.get(), t.bytes.get() + t.length);
  EXPECT_TRUE(fixtures::Decode(bytes, JCS_RGB, JDCT_ISLOW, true, &s.pixels));
  EXPECT_TRUE(fixtures::ReadMarkers(bytes, &s.markers));
  return s;
}

// The luminance DC table the library uses when it does not optimize (Annex K): the count of
// codes per length, 1 to 16.
bool HasStandardLumaDcTable(const uint8_t* data, int32_t length) {
  const uint8_t standardBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
  for (int32_t i = 0; i + 21 < length; ++i) {
    if (data[i] == 0xFF && data[i + 1] == 0xC4 && data[i + 4] == 0x00 &&
        std::memcmp(data + i + 5, standardBits, 16) == 0) {
      return true;
    }
  }
  return false;
}

TesselSaveOptions WithBitmap(const Bytes& bgr, int32_t stride, int32_t size) {
  TesselSaveOptions o = TSL_SAVE_OPTIONS_DEFAULT;
  o.iThumbnailMode = 2;
  o.iThumbnailSize = size;
  o.pBitmap = const_cast<uint8_t*>(bgr.data());
  o.iStride = stride;
  return o;
}

StoreView ViewOf(const fixtures::ImagePtr& image) {
  return static_cast<CDllImage*>(image.get())->View();
}

TEST(ThumbnailEncoder, LargeImageAtEachRequestedSize) {
  // Only the size of the open image matters with a bitmap: a header is enough.
  fixtures::ImagePtr image =
      fixtures::OpenBytes(fixtures::Write(fixtures::Make(4000, 3000, "420")), true);
  ASSERT_TRUE(image);
  Bytes bgr(size_t(4000) * 3000 * 3);
  for (size_t y = 0; y < 3000; ++y) {
    for (size_t x = 0; x < 4000; ++x) {
      uint8_t* px = bgr.data() + (y * 4000 + x) * 3;
      px[0] = uint8_t(x * 255 / 3999), px[1] = uint8_t(y * 255 / 2999), px[2] = 90;
    }
  }
  struct Case {
    int32_t requested, width, height;
  };
  for (const Case& c : {Case{160, 160, 120}, Case{1000, 256, 192}, Case{10, 32, 24}}) {
    const EncodedThumbnail t = MakeThumbnail(ViewOf(image), WithBitmap(bgr, 4000 * 3, c.requested));
    ASSERT_NE(t.bytes, nullptr) << c.requested;
    EXPECT_LE(t.length, kThumbnailBufferSize - 1);
    const Stream s = ReadBack(t);
    EXPECT_EQ(s.pixels.width, c.width);
    EXPECT_EQ(s.pixels.height, c.height);
    // The gradients survive: blue rises to the right, green downwards, red stays.
    const auto at = [&](int x, int y, int ch) {
      return int(s.pixels.pixels[(size_t(y) * s.pixels.width + x) * 3 + ch]);
    };
    EXPECT_LT(at(1, c.height / 2, 2), 40);
    EXPECT_GT(at(c.width - 2, c.height / 2, 2), 215);
    EXPECT_LT(at(c.width / 2, 1, 1), 40);
    EXPECT_GT(at(c.width / 2, c.height - 2, 1), 215);
    EXPECT_NEAR(at(c.width / 2, c.height / 2, 0), 90, 6);
  }
}

TEST(ThumbnailEncoder, StreamHasNoJfifAndOptimizedTables) {
  fixtures::ImagePtr image = fixtures::OpenBytes(fixtures::Write(fixtures::Make(100, 80, "420")));
  ASSERT_TRUE(image);
  // The bitmap is what the thumbnail shows, not the store.
  const Bytes bgr = Uniform(100, 80, 20, 140, 230);
  const EncodedThumbnail t = MakeThumbnail(ViewOf(image), WithBitmap(bgr, 100 * 3, 160));
  ASSERT_NE(t.bytes, nullptr);
  ASSERT_GT(t.length, 4);
  EXPECT_EQ(t.bytes[0], 0xFF);
  EXPECT_EQ(t.bytes[1], 0xD8);
  EXPECT_EQ(t.bytes[t.length - 2], 0xFF);
  EXPECT_EQ(t.bytes[t.length - 1], 0xD9);
  const Stream s = ReadBack(t);
  EXPECT_EQ(s.pixels.width, 100);
  EXPECT_EQ(s.pixels.height, 80);
  for (size_t i = 0; i < s.pixels.pixels.size(); i += 3) {
    ASSERT_NEAR(s.pixels.pixels[i], 230, 3);
    ASSERT_NEAR(s.pixels.pixels[i + 1], 140, 3);
    ASSERT_NEAR(s.pixels.pixels[i + 2], 20, 3);
  }
  for (const fixtures::Marker& m : s.markers) EXPECT_NE(m.code, JPEG_APP0) << "JFIF written";
  EXPECT_FALSE(HasStandardLumaDcTable(t.bytes.get(), t.length)) << "tables not optimized";
}

TEST(ThumbnailEncoder, BottomUpBitmapGivesTheSameStream) {
  fixtures::ImagePtr image = fixtures::OpenBytes(fixtures::Write(fixtures::Make(300, 200, "420")));
  ASSERT_TRUE(image);
  Bytes topDown(300 * 200 * 3);
  for (size_t i = 0; i < topDown.size(); ++i) topDown[i] = uint8_t(i * 7 / 5);
  const int32_t stride = 300 * 3 + 4;
  Bytes bottomUp(size_t(stride) * 200, 0);
  for (int y = 0; y < 200; ++y) {
    std::memcpy(bottomUp.data() + size_t(199 - y) * stride, topDown.data() + size_t(y) * 900, 900);
  }
  const EncodedThumbnail a = MakeThumbnail(ViewOf(image), WithBitmap(topDown, 900, 64));
  TesselSaveOptions o = WithBitmap(bottomUp, -stride, 64);
  o.pBitmap = bottomUp.data() + size_t(199) * stride;
  const EncodedThumbnail b = MakeThumbnail(ViewOf(image), o);
  ASSERT_NE(a.bytes, nullptr);
  ASSERT_NE(b.bytes, nullptr);
  ASSERT_EQ(a.length, b.length);
  EXPECT_EQ(0, std::memcmp(a.bytes.get(), b.bytes.get(), size_t(a.length)));
}

TEST(ThumbnailEncoder, YieldsNothingWhenItCannot) {
  // Noise at 256x256 does not compress into 16383 bytes.
  fixtures::ImagePtr big =
      fixtures::OpenBytes(fixtures::Write(fixtures::Make(256, 256, "444")), true);
  ASSERT_TRUE(big);
  std::mt19937 random(3);
  Bytes noise(256 * 256 * 3);
  for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
  EXPECT_EQ(MakeThumbnail(ViewOf(big), WithBitmap(noise, 256 * 3, 256)).bytes, nullptr);

  // A side of 0.
  fixtures::ImagePtr thin =
      fixtures::OpenBytes(fixtures::Write(fixtures::Make(3000, 5, "420")), true);
  ASSERT_TRUE(thin);
  const Bytes strip = Uniform(3000, 5, 1, 2, 3);
  EXPECT_EQ(MakeThumbnail(ViewOf(thin), WithBitmap(strip, 3000 * 3, 160)).bytes, nullptr);

  // No bitmap and no image.
  fixtures::ImagePtr none = fixtures::NewImage();
  TesselSaveOptions o = TSL_SAVE_OPTIONS_DEFAULT;
  o.iThumbnailMode = 2;
  EXPECT_EQ(MakeThumbnail(ViewOf(none), o).bytes, nullptr);
}

}  // namespace

namespace {

// Without a bitmap the thumbnail is made from the store, decoded one MCU row at a time: the
// same stream as from the bitmap GetBitmap renders. With a bitmap, the bitmap is what shows.
TEST(ThumbnailEncoder, StoreGivesWhatTheRenderedBitmapGives) {
  const fixtures::Recipe recipes[] = {
      fixtures::Make(37, 29, "420"),
      fixtures::Make(300, 200, "422"),
      fixtures::Make(161, 97, "gray", fixtures::Space::kGray),
      fixtures::Make(90, 250, "444"),
      fixtures::Make(640, 480, "420"),
  };
  for (const fixtures::Recipe& recipe : recipes) {
    SCOPED_TRACE(recipe.Name());
    fixtures::ImagePtr image = fixtures::OpenBytes(fixtures::Write(recipe));
    ASSERT_TRUE(image);
    Bytes rendered(size_t(recipe.width) * recipe.height * 3);
    ASSERT_TRUE(image->GetBitmap(rendered.data(), recipe.width * 3, 0));
    for (int32_t requested : {32, 160}) {
      TesselSaveOptions fromStore = TSL_SAVE_OPTIONS_DEFAULT;
      fromStore.iThumbnailMode = 2;
      fromStore.iThumbnailSize = requested;
      const EncodedThumbnail a = MakeThumbnail(ViewOf(image), fromStore);
      const EncodedThumbnail b =
          MakeThumbnail(ViewOf(image), WithBitmap(rendered, recipe.width * 3, requested));
      ASSERT_NE(a.bytes, nullptr) << requested;
      ASSERT_NE(b.bytes, nullptr) << requested;
      ASSERT_EQ(a.length, b.length) << requested;
      EXPECT_EQ(0, std::memcmp(a.bytes.get(), b.bytes.get(), size_t(a.length))) << requested;
      const EncodedThumbnail other = MakeThumbnail(
          ViewOf(image),
          WithBitmap(Uniform(recipe.width, recipe.height, 0, 0, 255), recipe.width * 3, requested));
      ASSERT_NE(other.bytes, nullptr);
      EXPECT_TRUE(other.length != a.length ||
                  std::memcmp(other.bytes.get(), a.bytes.get(), size_t(a.length)) != 0);
    }
  }
}

}  // namespace
