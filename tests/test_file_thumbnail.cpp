// SPDX-License-Identifier: MIT
// File thumbnails: placement, scaling, decorations and failures, with every pixel of the box
// compared with a box built independently from libjpeg's own scaled decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "jpeg/ErrorRecord.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/TesselTest.h"

namespace {

using fixtures::Bytes;
using fixtures::Space;

struct Bgr {
  uint8_t blue, green, red;
};

// Where a correct drawing puts the picture, worked out by hand for each case.
struct Placement {
  int x0, y0, width, height;
  int scaleDenom;
};

// libjpeg's scaled decode with the settings a thumbnail uses (fast DCT, no fancy upsampling,
// the library's default output colour space).
struct Scaled {
  int width = 0, height = 0, components = 0;
  J_COLOR_SPACE space = JCS_UNKNOWN;
  Bytes pixels;
};

bool DecodeScaled(const Bytes& jpeg, int denom, Scaled* out) {
  return fixtures::WithHeaderRead(jpeg, [&](j_decompress_ptr cinfo) {
    cinfo->scale_num = 1;
    cinfo->scale_denom = static_cast<unsigned>(denom);
    cinfo->dct_method = JDCT_IFAST;
    cinfo->do_fancy_upsampling = FALSE;
    jpeg_start_decompress(cinfo);
    out->width = static_cast<int>(cinfo->output_width);
    out->height = static_cast<int>(cinfo->output_height);
    out->components = cinfo->output_components;
    out->space = cinfo->out_color_space;
    const size_t rowBytes = size_t{cinfo->output_width} * cinfo->output_components;
    out->pixels.assign(rowBytes * cinfo->output_height, 0);
    while (cinfo->output_scanline < cinfo->output_height) {
      JSAMPROW row = out->pixels.data() + rowBytes * cinfo->output_scanline;
      jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
  });
}

// A top-down box of the test's own, three bytes a pixel in blue, green, red.
struct Canvas {
  int width, height;
  Bytes bytes;
  Canvas(int w, int h, Bgr fill) : width(w), height(h), bytes(size_t(w) * h * 3) {
    for (size_t i = 0; i < bytes.size(); i += 3) Set(i, fill);
  }
  void Set(size_t at, Bgr c) {
    bytes[at] = c.blue;
    bytes[at + 1] = c.green;
    bytes[at + 2] = c.red;
  }
  void Put(int x, int y, Bgr c) {
    ASSERT_TRUE(x >= 0 && x < width && y >= 0 && y < height) << x << "," << y;
    Set((size_t(y) * width + x) * 3, c);
  }
  // The one-pixel outline of the rectangle with these corners (inclusive).
  void Outline(int left, int top, int right, int bottom, Bgr c) {
    for (int x = left; x <= right; ++x) Put(x, top, c), Put(x, bottom, c);
    for (int y = top; y <= bottom; ++y) Put(left, y, c), Put(right, y, c);
  }
  Bgr At(int x, int y) const {
    const size_t at = (size_t(y) * width + x) * 3;
    return Bgr{bytes[at], bytes[at + 1], bytes[at + 2]};
  }
};

// The box a correct drawing produces: background, frames as rings around the picture, the
// shadow as four L shapes, and the picture sampled nearest-neighbour from libjpeg's output.
Canvas ExpectedBox(const Bytes& jpeg, int boxWidth, int boxHeight, int flags, Bgr bg,
                   const Placement& p, bool picture = true) {
  Canvas box(boxWidth, boxHeight, bg);
  const int x0 = p.x0, y0 = p.y0, w = p.width, h = p.height;
  int ring = 0;
  if (flags & TSL_THUMB_WHITE_FRAME) {
    ++ring;
    box.Outline(x0 - ring, y0 - ring, x0 + w - 1 + ring, y0 + h - 1 + ring, Bgr{255, 255, 255});
  }
  if (flags & TSL_THUMB_GREY_FRAME) {
    ++ring;
    box.Outline(x0 - ring, y0 - ring, x0 + w - 1 + ring, y0 + h - 1 + ring, Bgr{165, 165, 165});
  }
  if (flags & TSL_THUMB_SHADOW) {
    // Each line is the outer ring's right and bottom edges moved p + 1 pixels right and down.
    const int factors[4] = {127, 159, 191, 223};
    const int right = x0 + w - 1 + ring, bottom = y0 + h - 1 + ring;
    const int left = x0 - ring, top = y0 - ring;
    for (int k = 0; k < 4; ++k) {
      const int f = factors[k];
      const Bgr shade{uint8_t(bg.blue * f / 256), uint8_t(bg.green * f / 256),
                      uint8_t(bg.red * f / 256)};
      for (int y = top + k + 1; y <= bottom + k + 1; ++y) box.Put(right + k + 1, y, shade);
      for (int x = left + k + 1; x <= right + k + 1; ++x) box.Put(x, bottom + k + 1, shade);
    }
  }
  if (!picture) return box;
  Scaled s;
  EXPECT_TRUE(DecodeScaled(jpeg, p.scaleDenom, &s));
  if (s.space != JCS_GRAYSCALE && s.space != JCS_RGB && s.space != JCS_CMYK) return box;
  for (int r = 0; r < h && r < s.height; ++r) {
    const uint8_t* line =
        s.pixels.data() + size_t(uint64_t(r) * s.height / h) * s.width * s.components;
    for (int j = 0; j < w; ++j) {
      const uint8_t* px = line + size_t(uint64_t(j) * s.width / w) * s.components;
      Bgr c{};
      if (s.space == JCS_GRAYSCALE) c = Bgr{px[0], px[0], px[0]};
      if (s.space == JCS_RGB) c = Bgr{px[2], px[1], px[0]};
      if (s.space == JCS_CMYK) {
        c = Bgr{uint8_t(px[2] * px[3] / 255), uint8_t(px[1] * px[3] / 255),
                uint8_t(px[0] * px[3] / 255)};
      }
      box.Put(x0 + j, y0 + r, c);
    }
  }
  return box;
}

// Reports the first differing pixel, so that a failure says where.
::testing::AssertionResult SameBox(const Canvas& want, const Canvas& got) {
  for (int y = 0; y < want.height; ++y) {
    for (int x = 0; x < want.width; ++x) {
      const Bgr a = want.At(x, y), b = got.At(x, y);
      if (a.blue != b.blue || a.green != b.green || a.red != b.red) {
        return ::testing::AssertionFailure()
               << "pixel " << x << "," << y << ": want " << int(a.blue) << "/" << int(a.green)
               << "/" << int(a.red) << ", got " << int(b.blue) << "/" << int(b.green) << "/"
               << int(b.red);
      }
    }
  }
  return ::testing::AssertionSuccess();
}

struct Drawn {
  int32_t result = -1;
  int32_t outWidth = -7, outHeight = -7;
};

// Draws into a top-down canvas pre-filled with `before`.
Drawn Draw(const std::filesystem::path& file, Canvas* box, int flags, Bgr bg) {
  fixtures::ImagePtr image = fixtures::NewImage();
  Drawn d;
  d.result = image->DrawFileThumbnail(fixtures::U16(file).c_str(), box->bytes.data(), box->width,
                                      box->height, box->width * 3, bg.red, bg.green, bg.blue,
                                      &d.outWidth, &d.outHeight, flags);
  return d;
}

fixtures::Recipe RecipeOf(int w, int h, const std::string& sampling, Space space,
                          bool progressive = false) {
  fixtures::Recipe recipe = fixtures::Make(w, h, sampling, space);
  if (space == Space::kCMYK || space == Space::kYCCK) recipe.sampling.clear();
  recipe.progressive = progressive;
  return recipe;
}

struct LayoutCase {
  const char* name;
  fixtures::Recipe recipe;
  int boxWidth, boxHeight, flags;
  Bgr background;
  Placement want;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class ThumbnailLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ThumbnailLayout, DrawsTheScaledDecodeFramedAndCentred) {
  const LayoutCase& c = GetParam();
  fixtures::TempDir dir;
  const Bytes jpeg = fixtures::Write(c.recipe);
  fixtures::WriteFile(dir / "in.jpg", jpeg);
  Canvas box(c.boxWidth, c.boxHeight, Bgr{1, 2, 3});
  const Drawn d = Draw(dir / "in.jpg", &box, c.flags, c.background);
  EXPECT_EQ(d.result, 1);
  EXPECT_EQ(d.outWidth, c.recipe.width);
  EXPECT_EQ(d.outHeight, c.recipe.height);
  EXPECT_TRUE(
      SameBox(ExpectedBox(jpeg, c.boxWidth, c.boxHeight, c.flags, c.background, c.want), box));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ThumbnailLayout,
    ::testing::Values(
        // Halved three times to 500x375, then fitted by 500/90.
        LayoutCase{"large_reduced_by_8", RecipeOf(4000, 3000, "420", Space::kYCbCr), 100, 80, 7,
                   Bgr{200, 100, 40}, Placement{3, 4, 90, 67, 8}},
        LayoutCase{"small_not_enlarged", RecipeOf(50, 40, "420", Space::kYCbCr), 100, 80, 0,
                   Bgr{0, 0, 0}, Placement{25, 20, 50, 40, 1}},
        // Wider than twice the box but not taller: only the fit scales it.
        LayoutCase{"wide_fit_only", RecipeOf(400, 100, "444", Space::kYCbCr), 100, 80, 0,
                   Bgr{9, 9, 9}, Placement{1, 28, 98, 24, 1}},
        LayoutCase{"gray_halved_frames", RecipeOf(640, 480, "gray", Space::kGray), 160, 120, 3,
                   Bgr{30, 60, 90}, Placement{4, 3, 152, 114, 2}},
        LayoutCase{"rgb_white_frame", RecipeOf(300, 200, "444", Space::kRGB), 64, 64, 1,
                   Bgr{0, 128, 255}, Placement{2, 12, 60, 40, 2}},
        LayoutCase{"cmyk_shadow", RecipeOf(200, 150, "", Space::kCMYK), 100, 80, 4,
                   Bgr{100, 150, 200}, Placement{1, 3, 94, 70, 1}},
        LayoutCase{"ycck_grey_frame", RecipeOf(120, 90, "", Space::kYCCK), 100, 80, 2,
                   Bgr{255, 255, 255}, Placement{2, 4, 96, 72, 1}},
        LayoutCase{"progressive_422_by_4", RecipeOf(1000, 700, "422", Space::kYCbCr, true), 160,
                   120, 7, Bgr{17, 34, 51}, Placement{3, 5, 150, 105, 4}},
        // Fitting would leave no rows at all; the picture keeps one.
        LayoutCase{"long_thin_keeps_a_row", RecipeOf(4000, 10, "420", Space::kYCbCr), 100, 80, 0,
                   Bgr{50, 50, 50}, Placement{1, 39, 98, 1, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileThumbnail, ShadowShadesTheWhiteBackground) {
  fixtures::TempDir dir;
  fixtures::WriteFile(dir / "in.jpg", fixtures::Write(fixtures::Make(400, 300, "420")));
  Canvas box(100, 80, Bgr{0, 0, 0});
  ASSERT_EQ(Draw(dir / "in.jpg", &box, 7, Bgr{255, 255, 255}).result, 1);
  // Picture at 3,4 size 90x67: white ring at distance 1, grey at 2, shadow lines beyond.
  const int shades[4] = {126, 158, 190, 222};
  for (int k = 0; k < 4; ++k) {
    const Bgr right = box.At(95 + k, 40), below = box.At(50, 73 + k);
    EXPECT_EQ(right.blue, shades[k]) << "column " << 95 + k;
    EXPECT_EQ(right.red, shades[k]);
    EXPECT_EQ(below.green, shades[k]) << "row " << 73 + k;
  }
  EXPECT_EQ(box.At(1, 40).green, 165);   // grey frame
  EXPECT_EQ(box.At(2, 40).green, 255);   // white frame
  EXPECT_EQ(box.At(99, 40).green, 255);  // background beyond the shadow
  EXPECT_EQ(box.At(50, 77).green, 255);
}

TEST(FileThumbnail, BottomUpBufferIsDrawnUpright) {
  fixtures::TempDir dir;
  fixtures::WriteFile(dir / "in.jpg", fixtures::Write(fixtures::Make(333, 250, "420")));
  const int w = 90, h = 70, stride = w * 3 + 5;  // padding must stay untouched
  Canvas topDown(w, h, Bgr{0, 0, 0});
  ASSERT_EQ(Draw(dir / "in.jpg", &topDown, 7, Bgr{10, 20, 30}).result, 1);

  Bytes buffer(size_t(stride) * h, 0xAB);
  fixtures::ImagePtr image = fixtures::NewImage();
  int32_t ow = 0, oh = 0;
  ASSERT_EQ(image->DrawFileThumbnail(fixtures::U16(dir / "in.jpg").c_str(), buffer.data(), w, h,
                                     -stride, 30, 20, 10, &ow, &oh, 7),
            1);
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = buffer.data() + size_t(h - 1 - y) * stride;
    ASSERT_EQ(0, std::memcmp(row, topDown.bytes.data() + size_t(y) * w * 3, size_t(w) * 3))
        << "image row " << y;
    for (int k = w * 3; k < stride; ++k) ASSERT_EQ(row[k], 0xAB) << "padding of row " << y;
  }
}

// Every combination of decorations in the smallest boxes it fits: nothing is written outside
// the box, and the picture's room is never overdrawn by a decoration.
TEST(FileThumbnail, TightBoxesStayInsideTheirBounds) {
  fixtures::TempDir dir;
  const Bytes jpeg = fixtures::Write(fixtures::Make(300, 200, "420"));
  fixtures::WriteFile(dir / "in.jpg", jpeg);
  const int guard = 8;
  for (int flags = 0; flags < 8; ++flags) {
    const int margin = 2 + (flags & 1 ? 2 : 0) + (flags & 2 ? 2 : 0) + (flags & 4 ? 4 : 0);
    for (int extra : {1, 2, 3, 7}) {
      const int bw = margin + extra, bh = margin + 1;
      const int stride = (bw + 2 * guard) * 3;
      Bytes buffer(size_t(stride) * (bh + 2 * guard), 0x5A);
      uint8_t* bits = buffer.data() + size_t(guard) * stride + guard * 3;
      fixtures::ImagePtr image = fixtures::NewImage();
      ASSERT_EQ(image->DrawFileThumbnail(fixtures::U16(dir / "in.jpg").c_str(), bits, bw, bh,
                                         stride, 0, 0, 0, nullptr, nullptr, flags),
                1)
          << "flags " << flags << " box " << bw << "x" << bh;
      for (int y = 0; y < bh + 2 * guard; ++y) {
        for (int x = 0; x < bw + 2 * guard; ++x) {
          const bool inside = y >= guard && y < guard + bh && x >= guard && x < guard + bw;
          if (inside) continue;
          const uint8_t* px = buffer.data() + size_t(y) * stride + x * 3;
          ASSERT_TRUE(px[0] == 0x5A && px[1] == 0x5A && px[2] == 0x5A)
              << "flags " << flags << " box " << bw << "x" << bh << " wrote " << x - guard << ","
              << y - guard;
        }
      }
    }
  }
}

enum class BoxAfter { kUntouched, kBackground };

struct FailureCase {
  const char* name;
  Bytes file;  // written to disk unless `missing`
  bool missing;
  int boxWidth, boxHeight, flags;
  BoxAfter after;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class ThumbnailFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ThumbnailFailure, FailsAndLeavesWhatItShould) {
  const FailureCase& c = GetParam();
  fixtures::TempDir dir;
  if (!c.missing) fixtures::WriteFile(dir / "in.jpg", c.file);
  const Bgr bg{7, 77, 177}, before{1, 2, 3};
  Canvas box(c.boxWidth, c.boxHeight, before);
  const Drawn d = Draw(dir / "in.jpg", &box, c.flags, bg);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.outWidth, -7);
  EXPECT_EQ(d.outHeight, -7);
  EXPECT_TRUE(
      SameBox(Canvas(c.boxWidth, c.boxHeight, c.after == BoxAfter::kUntouched ? before : bg), box));
}

Bytes Truncated(Bytes bytes, size_t keep) {
  bytes.resize(keep);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ThumbnailFailure,
    ::testing::Values(
        FailureCase{"box_too_small_for_margins", fixtures::Write(fixtures::Make(64, 64, "420")),
                    false, 9, 9, 7, BoxAfter::kUntouched},
        FailureCase{"box_too_small_without_flags", fixtures::Write(fixtures::Make(64, 64, "420")),
                    false, 2, 40, 0, BoxAfter::kUntouched},
        FailureCase{"missing_file", Bytes{}, true, 40, 30, 7, BoxAfter::kUntouched},
        FailureCase{"not_a_jpeg", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'}, false,
                    40, 30, 7, BoxAfter::kBackground},
        FailureCase{"empty_file", Bytes{}, false, 40, 30, 0, BoxAfter::kBackground},
        FailureCase{"header_cut_short",
                    Truncated(fixtures::Write(fixtures::Make(64, 64, "420")), 40), false, 40, 30, 3,
                    BoxAfter::kBackground}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileThumbnail, RefusesBuffersItCannotAddress) {
  fixtures::TempDir dir;
  fixtures::WriteFile(dir / "in.jpg", fixtures::Write(fixtures::Make(64, 64, "420")));
  fixtures::ImagePtr image = fixtures::NewImage();
  Bytes buffer(40 * 30 * 3, 0x11);
  const std::u16string path = fixtures::U16(dir / "in.jpg");
  int32_t ow = -7, oh = -7;
  // Rows closer together than a row's bytes would overlap.
  EXPECT_EQ(image->DrawFileThumbnail(path.c_str(), buffer.data(), 40, 30, 40 * 3 - 1, 0, 0, 0, &ow,
                                     &oh, 0),
            0);
  EXPECT_EQ(image->DrawFileThumbnail(path.c_str(), nullptr, 40, 30, 40 * 3, 0, 0, 0, &ow, &oh, 0),
            0);
  EXPECT_EQ(image->DrawFileThumbnail(nullptr, buffer.data(), 40, 30, 40 * 3, 0, 0, 0, &ow, &oh, 0),
            0);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0x11; }));
  EXPECT_EQ(ow, -7);
}

// A progressive file whose second scan names a component the frame does not have: the header
// reads, the decoding fails. The size is known by then; the picture is not drawn.
TEST(FileThumbnail, DecodingErrorAfterTheHeaderReportsTheSize) {
  fixtures::Recipe recipe = fixtures::Make(120, 80, "420");
  recipe.progressive = true;
  Bytes jpeg = fixtures::Write(recipe);
  int sos = 0;
  for (size_t i = 0; i + 5 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA && ++sos == 2) {
      jpeg[i + 5] = 0x77;  // first component selector
      break;
    }
  }
  ASSERT_EQ(sos, 2);
  fixtures::TempDir dir;
  fixtures::WriteFile(dir / "in.jpg", jpeg);
  const Bgr bg{5, 6, 7};
  Canvas box(60, 50, Bgr{1, 2, 3});
  const Drawn d = Draw(dir / "in.jpg", &box, 7, bg);
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.outWidth, 120);
  EXPECT_EQ(d.outHeight, 80);
  EXPECT_TRUE(SameBox(Canvas(60, 50, bg), box));
}

// Two components and no colour-space marker: the library has no picture conversion for it.
Bytes TwoComponentJpeg(int width, int height) {
  ErrorRecord errors;
  jpeg_compress_struct cinfo{};
  cinfo.err = PrepareErrorRecord(errors);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (TSL_ARM_ERRORS(errors)) {
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return Bytes();
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 2;
  cinfo.in_color_space = JCS_UNKNOWN;
  jpeg_set_defaults(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(size_t(width) * 2);
  while (cinfo.next_scanline < cinfo.image_height) {
    for (size_t i = 0; i < row.size(); ++i) row[i] = JSAMPLE((i * 7 + cinfo.next_scanline) & 255);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes bytes(out, out + size);
  std::free(out);
  return bytes;
}

TEST(FileThumbnail, UnconvertibleColourSpaceKeepsBackgroundAndDecorations) {
  const Bytes jpeg = TwoComponentJpeg(80, 60);
  ASSERT_FALSE(jpeg.empty());
  fixtures::TempDir dir;
  fixtures::WriteFile(dir / "in.jpg", jpeg);
  const Bgr bg{40, 50, 60};
  Canvas box(100, 80, Bgr{1, 2, 3});
  const Drawn d = Draw(dir / "in.jpg", &box, 7, bg);
  EXPECT_EQ(d.result, 1);
  EXPECT_EQ(d.outWidth, 80);
  EXPECT_EQ(d.outHeight, 60);
  // 80x60 fits the 90x70 room unscaled: placed at (100-80-4)/2, (80-60-4)/2.
  EXPECT_TRUE(SameBox(ExpectedBox(jpeg, 100, 80, 7, bg, Placement{8, 8, 80, 60, 1}, false), box));
}

TEST(FileThumbnail, LeavesTheOpenImageAlone) {
  const Bytes opened = fixtures::Write(fixtures::Make(48, 32, "422"));
  fixtures::ImagePtr image = fixtures::OpenBytes(opened);
  ASSERT_TRUE(image);
  const std::vector<int16_t> store = fixtures::Store(image.get());
  fixtures::TempDir dir;
  fixtures::WriteFile(dir / "other.jpg", fixtures::Write(fixtures::Make(200, 100, "420")));
  Bytes buffer(64 * 48 * 3);
  int32_t ow = 0, oh = 0;
  ASSERT_EQ(image->DrawFileThumbnail(fixtures::U16(dir / "other.jpg").c_str(), buffer.data(), 64,
                                     48, 64 * 3, 0, 0, 0, &ow, &oh, 7),
            1);
  EXPECT_EQ(ow, 200);
  EXPECT_EQ(image->GetWidth(), 48);
  EXPECT_EQ(image->GetHeight(), 32);
  EXPECT_EQ(fixtures::Store(image.get()), store);
}

}  // namespace

namespace {

// Real files, broken ones included: every file draws or fails cleanly, a drawn file reports
// the size in its header, and one that draws keeps inside its box (checked under the
// sanitizers).
TEST(FileThumbnailCorpus, EveryFileDrawsOrFailsCleanly) {
  const auto files = fixtures::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "the shared corpus is absent";
  fixtures::ImagePtr image = fixtures::NewImage();
  int drawn = 0;
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    const int guard = 4, boxWidth = 160, boxHeight = 120;
    const int stride = (boxWidth + 2 * guard) * 3;
    Bytes buffer(size_t(stride) * (boxHeight + 2 * guard), 0x3C);
    int32_t ow = -1, oh = -1;
    const int32_t result = image->DrawFileThumbnail(
        fixtures::U16(file).c_str(), buffer.data() + guard * stride + guard * 3, boxWidth,
        boxHeight, stride, 255, 255, 255, &ow, &oh, 7);
    for (int y = 0; y < boxHeight + 2 * guard; ++y) {
      for (int x = 0; x < boxWidth + 2 * guard; ++x) {
        if (y >= guard && y < guard + boxHeight && x >= guard && x < guard + boxWidth) continue;
        ASSERT_EQ(buffer[size_t(y) * stride + x * 3], 0x3C) << "wrote outside at " << x << "," << y;
      }
    }
    if (result != 1) continue;
    ++drawn;
    Scaled header;
    if (DecodeScaled(fixtures::ReadFile(file), 8, &header)) {
      EXPECT_EQ((ow + 7) / 8, header.width);
      EXPECT_EQ((oh + 7) / 8, header.height);
    }
  }
  EXPECT_GT(drawn, 0);
}

}  // namespace
