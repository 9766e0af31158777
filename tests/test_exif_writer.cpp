// SPDX-License-Identifier: MIT
// The metadata writer with a real compression object writing to memory: the JFIF decision,
// the kept and dropped segments, the pixel dimension patch and the three thumbnail modes,
// checked by reading the output back and, where installed, with exiftool.
#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>

#include "metadata/Exif.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/ExifTool.h"
#include "tests/support/MarkerWriter.h"

using namespace fixtures;

namespace {

constexpr int kApp1 = JPEG_APP0 + 1;
constexpr uint16_t kTagPixelX = 0xA002;
constexpr uint16_t kTagPixelY = 0xA003;

std::vector<Marker> MarkersOf(const Bytes& jpeg) {
  std::vector<Marker> markers;
  EXPECT_TRUE(ReadMarkers(jpeg, &markers));
  return markers;
}

// The payloads of the markers of a kind.
std::vector<Bytes> Payloads(const std::vector<Marker>& markers, int code, const char* prefix = "",
                            size_t prefixSize = 0) {
  std::vector<Bytes> result;
  for (const Marker& m : markers) {
    if (m.code == code && m.payload.size() >= prefixSize &&
        std::equal(prefix, prefix + prefixSize, m.payload.begin()))
      result.push_back(m.payload);
  }
  return result;
}
std::vector<Bytes> ExifPayloads(const std::vector<Marker>& m) {
  return Payloads(m, kApp1, "Exif\0\0", 6);
}
std::vector<Bytes> JfifPayloads(const std::vector<Marker>& m) {
  return Payloads(m, JPEG_APP0, "JFIF\0", 5);
}

// A CExif that read one Exif payload.
struct Reread {
  explicit Reread(const Bytes& payload) : saved({{kApp1, payload}}) {
    exif.ReadMarkers(saved.head());
  }
  SavedMarkers saved;
  CExif exif;
};

Bytes SmallJpeg(int width, int height, int quality = 50) {
  Recipe recipe = Make(width, height, "420");
  recipe.quality = quality;
  return Write(recipe);
}

ExifRecipe CameraRecipe(bool bigEndian) {
  ExifRecipe recipe;
  recipe.bigEndian = bigEndian;
  recipe.ifd0 = {Ascii(0x010F, "Camera"), Ascii(0x0110, "Model 7"), Short(0x0112, 1),
                 Rational(0x011A, 72, 1), Rational(0x011B, 72, 1),  Short(0x0128, 2),
                 Short(0x0213, 1)};
  recipe.exif = std::vector<TiffEntry>{
      Rational(0x829A, 1, 250),
      Rational(0x829D, 28, 10),
      Short(0x8827, 100),
      Undefined(0x9000, "0230"),
      Ascii(0x9003, "2015:06:30 14:05:09"),
      Undefined(0x9101, std::string("\1\2\3\0", 4)),
      Undefined(0xA000, "0100"),
      Short(0xA001, 1),
      Short(kTagPixelX, 1600),
      Short(kTagPixelY, 1200),
  };
  recipe.gps = std::vector<TiffEntry>{Undefined(0, std::string("\2\3\0\0", 4)), Ascii(1, "N"),
                                      Rationals(2, {48, 1, 51, 1, 2376, 100})};
  recipe.ifd1 = std::vector<TiffEntry>{Short(0x0103, 6), Rational(0x011A, 72, 1),
                                       Rational(0x011B, 72, 1), Short(0x0128, 2)};
  recipe.thumbnail = SmallJpeg(160, 120);
  return recipe;
}

// A source file: JFIF or not, the Exif segment or not, an ICC profile, XMP, APP15 and a comment.
Bytes SourceFile(bool jfif, const Bytes* exifPayload) {
  Recipe recipe = Make(16, 16, "420");
  recipe.writeJfif = false;
  if (jfif)
    recipe.markers.push_back({JPEG_APP0, {'J', 'F', 'I', 'F', 0, 1, 2, 1, 1, 44, 1, 44, 0, 0}});
  if (exifPayload != nullptr) recipe.markers.push_back({kApp1, *exifPayload});
  const std::string xmp = "http://ns.adobe.com/xap/1.0/";
  Bytes xmpPayload(xmp.begin(), xmp.end());
  xmpPayload.push_back(0);
  recipe.markers.push_back({kApp1, xmpPayload});
  recipe.markers.push_back(
      {JPEG_APP0 + 2, {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0}});
  recipe.markers.push_back({JPEG_APP0 + 15, {'x', 'y'}});
  recipe.markers.push_back({JPEG_COM, {'c', 'o', 'm'}});
  return Write(recipe);
}

// Expected Exif payload: the source's with both pixel dimensions LONG and the new size.
Bytes WithPixelDimensions(ExifRecipe recipe, uint32_t width, uint32_t height) {
  for (TiffEntry& e : *recipe.exif) {
    if (e.tag == kTagPixelX) e = Long(kTagPixelX, width);
    if (e.tag == kTagPixelY) e = Long(kTagPixelY, height);
  }
  return ExifPayload(recipe);
}

TEST(ExifWriter, JfifAndExifDecisionTable) {
  const Bytes exif = ExifPayload(CameraRecipe(false));
  struct Row {
    bool sourceJfif, sourceExif;
    int32_t keep;
    const char* jfif;  // "none", "source", "library"
    bool exifOut;
  } rows[] = {
      {true, true, 1, "none", true},       {true, true, 0, "source", false},
      {true, false, 1, "source", false},   {true, false, 0, "source", false},
      {false, true, 1, "none", true},      {false, true, 0, "library", false},
      {false, false, 1, "library", false}, {false, false, 0, "library", false},
  };
  for (const Row& r : rows) {
    const Bytes source = SourceFile(r.sourceJfif, r.sourceExif ? &exif : nullptr);
    WriteOptions o;
    o.keepMetadata = r.keep;
    const std::vector<Marker> out = MarkersOf(Rewrite(source, o));
    const std::vector<Bytes> jfif = JfifPayloads(out);
    const std::string row =
        std::to_string(r.sourceJfif) + std::to_string(r.sourceExif) + std::to_string(r.keep);
    if (std::string(r.jfif) == "none") {
      EXPECT_TRUE(jfif.empty()) << row;
    } else {
      ASSERT_EQ(jfif.size(), 1u) << row;
      // The source's JFIF says 300 dpi; the library's own says an aspect ratio of 1:1.
      EXPECT_EQ(jfif[0][8] == 1 && jfif[0][9] == 44, std::string(r.jfif) == "source") << row;
    }
    EXPECT_EQ(ExifPayloads(out).size(), r.exifOut ? 1u : 0u) << row;
  }
}

TEST(ExifWriter, WhatKeepingMetadataAndCommentsDrops) {
  const Bytes exif = ExifPayload(CameraRecipe(false));
  const Bytes source = SourceFile(true, &exif);
  struct Case {
    int32_t keepMetadata, keepComments;
    size_t app1, app2, app15, com;
  } cases[] = {{1, 1, 2, 1, 1, 1}, {0, 1, 0, 0, 1, 1}, {1, 0, 2, 1, 1, 0}, {0, 0, 0, 0, 1, 0}};
  for (const Case& c : cases) {
    WriteOptions o;
    o.keepMetadata = c.keepMetadata;
    o.keepComments = c.keepComments;
    const std::vector<Marker> out = MarkersOf(Rewrite(source, o));
    EXPECT_EQ(Payloads(out, kApp1).size(), c.app1) << c.keepMetadata << c.keepComments;
    EXPECT_EQ(Payloads(out, JPEG_APP0 + 2).size(), c.app2) << c.keepMetadata << c.keepComments;
    EXPECT_EQ(Payloads(out, JPEG_APP0 + 15).size(), c.app15) << c.keepMetadata << c.keepComments;
    EXPECT_EQ(Payloads(out, JPEG_COM).size(), c.com) << c.keepMetadata << c.keepComments;
  }
  // Kept segments are copied byte for byte, in their order (XMP after Exif, then ICC).
  const std::vector<Marker> in = MarkersOf(source), out = MarkersOf(Rewrite(source, {}));
  ASSERT_EQ(out.size(), in.size() - 1);  // the JFIF segment went
  for (size_t i = 2; i < in.size(); ++i) {
    EXPECT_EQ(out[i - 1].code, in[i].code);
    EXPECT_EQ(out[i - 1].payload, in[i].payload);
  }
}

TEST(ExifWriter, AdobeSegmentIsLeftToTheLibraryWhenItWritesOne) {
  Recipe recipe = Make(16, 16, "420");
  recipe.markers.push_back({JPEG_APP0 + 14, {'A', 'd', 'o', 'b', 'e', 0, 101, 0, 0, 0, 0, 1}});
  const Bytes source = Write(recipe);
  WriteOptions o;
  EXPECT_EQ(Payloads(MarkersOf(Rewrite(source, o)), JPEG_APP0 + 14).size(), 1u);
  o.adobe = true;
  const std::vector<Bytes> adobe = Payloads(MarkersOf(Rewrite(source, o)), JPEG_APP0 + 14);
  ASSERT_EQ(adobe.size(), 1u);
  EXPECT_EQ(adobe[0][6], 100);  // the library's own says version 100
}

class WriterByteOrder : public ::testing::TestWithParam<bool> {};

TEST_P(WriterByteOrder, ThumbnailModeOneCopiesWithPatchedDimensionsAndOrientation) {
  const ExifRecipe recipe = CameraRecipe(GetParam());
  Recipe withExif = Make(16, 16, "420");
  withExif.writeJfif = false;
  withExif.markers = {{kApp1, ExifPayload(recipe)}};
  WriteOptions o;
  o.width = 640;
  o.height = 480;
  const Bytes out = Rewrite(Write(withExif), o, [](CExif& exif) { exif.SetOrientation(6); });
  const std::vector<Bytes> exif = ExifPayloads(MarkersOf(out));
  ASSERT_EQ(exif.size(), 1u);
  ExifRecipe expected = recipe;
  expected.ifd0[2] = Short(0x0112, 6);
  EXPECT_EQ(exif[0], WithPixelDimensions(expected, 640, 480));

  // With metadata dropped nothing is patched (and no Exif is written).
  o.keepMetadata = 0;
  EXPECT_TRUE(ExifPayloads(MarkersOf(Rewrite(Write(withExif), o))).empty());
}

TEST_P(WriterByteOrder, ThumbnailModeZeroCutsAtTheFirstIfd1Byte) {
  ExifLayout layout;
  const ExifRecipe recipe = CameraRecipe(GetParam());
  const Bytes payload = ExifPayload(recipe, &layout);
  const Bytes source = SourceFile(false, &payload);
  WriteOptions o;
  o.thumbnailMode = 0;
  const std::vector<Bytes> exif = ExifPayloads(MarkersOf(Rewrite(source, o)));
  ASSERT_EQ(exif.size(), 1u);
  Bytes expected = WithPixelDimensions(recipe, 16, 16);
  expected.resize(layout.ifd1 + 6);
  std::fill_n(expected.begin() + 6 + layout.link, 4, 0);
  EXPECT_EQ(exif[0], expected);
  Reread again(exif[0]);
  EXPECT_EQ(again.exif.ThumbnailWidth(), 0);
  EXPECT_EQ(again.exif.Make(), "Camera");
  EXPECT_NEAR(again.exif.Latitude(), 48.8566, 1e-4);
}

TEST_P(WriterByteOrder, ThumbnailModeZeroWithoutIfd1CutsAfterTheKeptData) {
  ExifRecipe recipe = CameraRecipe(GetParam());
  recipe.ifd1.reset();
  recipe.thumbnail.clear();
  // Something after the data of IFD0 and the EXIF directory that the cut leaves out.
  recipe.gps.reset();
  ExifLayout layout;
  Bytes tiff = BuildTiff(recipe, &layout);
  const size_t keptEnd = tiff.size();
  tiff.insert(tiff.end(), 40, 0xEE);
  const Bytes payload = ExifPayload(tiff);
  const Bytes source = SourceFile(false, &payload);
  WriteOptions o;
  o.thumbnailMode = 0;
  const std::vector<Bytes> exif = ExifPayloads(MarkersOf(Rewrite(source, o)));
  ASSERT_EQ(exif.size(), 1u);
  EXPECT_EQ(exif[0].size(), keptEnd + 6);
  Reread again(exif[0]);
  EXPECT_EQ(again.exif.ExposureTime(), "1/250s");
}

TEST_P(WriterByteOrder, ThumbnailModeTwoEmbedsTheNewThumbnail) {
  ExifLayout layout;
  const ExifRecipe recipe = CameraRecipe(GetParam());
  const Bytes payload = ExifPayload(recipe, &layout);
  const Bytes source = SourceFile(true, &payload);
  const Bytes thumbnail = SmallJpeg(96, 64);
  WriteOptions o;
  o.thumbnailMode = 2;
  o.thumbnail = &thumbnail;
  const std::vector<Bytes> exif = ExifPayloads(MarkersOf(Rewrite(source, o)));
  ASSERT_EQ(exif.size(), 1u);
  const uint32_t cut = layout.ifd1;
  ASSERT_EQ(exif[0].size(), cut + 100 + thumbnail.size());
  Reread again(exif[0]);
  EXPECT_EQ(again.exif.ThumbnailWidth(), 96);
  EXPECT_EQ(again.exif.ThumbnailHeight(), 64);
  EXPECT_EQ(again.exif.CutPos(), cut);
  // The new IFD1 in the segment's byte order: six entries, the link to it, the rationals.
  const TiffCursor tiff(exif[0].data() + 6, static_cast<uint32_t>(exif[0].size() - 6), GetParam());
  EXPECT_EQ(tiff.Get32(layout.link), cut);
  EXPECT_EQ(tiff.Get16(cut), 6);
  const uint16_t tags[6] = {0x0103, 0x011A, 0x011B, 0x0128, 0x0201, 0x0202};
  const uint32_t values[6] = {
      6u << (GetParam() ? 16 : 0), cut + 78, cut + 86,
      2u << (GetParam() ? 16 : 0), cut + 94, static_cast<uint32_t>(thumbnail.size())};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(tiff.Get16(cut + 2 + 12 * i), tags[i]);
    EXPECT_EQ(tiff.Get32(cut + 2 + 12 * i + 4), 1u);
    EXPECT_EQ(tiff.Get32(cut + 2 + 12 * i + 8), values[i]) << i;
  }
  EXPECT_EQ(tiff.Get32(cut + 74), 0u);
  EXPECT_EQ(tiff.Get32(cut + 78), 72u);
  EXPECT_EQ(tiff.Get32(cut + 82), 1u);
  EXPECT_TRUE(std::equal(thumbnail.begin(), thumbnail.end(), exif[0].begin() + 6 + cut + 94));

  // Without a thumbnail the segment is copied.
  o.thumbnail = nullptr;
  const std::vector<Bytes> copied = ExifPayloads(MarkersOf(Rewrite(source, o)));
  ASSERT_EQ(copied.size(), 1u);
  EXPECT_EQ(copied[0], WithPixelDimensions(recipe, 16, 16));
}

INSTANTIATE_TEST_SUITE_P(Exif, WriterByteOrder, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "MM" : "II"; });

TEST(ExifWriter, ARebuiltSegmentTooLongFailsTheWrite) {
  const Bytes payload = ExifPayload(CameraRecipe(false));
  const Bytes source = SourceFile(false, &payload);
  const Bytes big(65533 - 100, 0xAB);
  WriteOptions o;
  o.thumbnailMode = 2;
  o.thumbnail = &big;
  bool ok = true;
  Rewrite(source, o, nullptr, &ok);
  EXPECT_FALSE(ok);
}

// A segment whose IFD0 walk found no link cannot be rebuilt: it is left out in modes 0 and 2,
// copied in mode 1.
TEST(ExifWriter, SegmentWithoutLinkIsLeftOutWhenRebuilding) {
  ExifRecipe recipe;
  recipe.ifd0 = {Ascii(0x010F, "Camera")};
  Bytes tiff = BuildTiff(recipe);
  tiff[8] = 200;  // IFD0 claims 200 entries
  const Bytes payload = ExifPayload(tiff);
  const Bytes source = SourceFile(false, &payload);
  const Bytes thumbnail = SmallJpeg(8, 8);
  for (int mode : {0, 1, 2}) {
    WriteOptions o;
    o.thumbnailMode = mode;
    o.thumbnail = &thumbnail;
    EXPECT_EQ(ExifPayloads(MarkersOf(Rewrite(source, o))).size(), mode == 1 ? 1u : 0u) << mode;
  }
}

// IFD1 placed before IFD0: the rebuilt segment keeps IFD0 whole, so its cut lies after IFD0's
// link; the old IFD1 stays behind as bytes nothing points to, and the link names the new IFD1
// (or nothing).
TEST(ExifWriter, Ifd1BeforeIfd0IsRebuiltAfterIfd0) {
  Bytes tiff = {'I',  'I',  42, 0, 14, 0, 0, 0,              // header, IFD0 at 14
                0,    0,    0,  0, 0,  0,                    // IFD1 at 8: no entries, no link
                1,    0,                                     // IFD0: one entry
                0x12, 0x01, 3,  0, 1,  0, 0, 0, 6, 0, 0, 0,  // Orientation 6
                8,    0,    0,  0};                          // link to IFD1 at 8
  tiff.resize(tiff.size() + 8);  // room after the link, which the reader asks for
  const Bytes payload = ExifPayload(tiff);
  const Bytes source = SourceFile(false, &payload);
  const Bytes thumbnail = SmallJpeg(8, 8);
  constexpr size_t kCut = 32;   // the end of IFD0's link
  constexpr size_t kLink = 34;  // the link's payload position
  for (int mode : {0, 2}) {
    WriteOptions o;
    o.thumbnailMode = mode;
    o.thumbnail = &thumbnail;
    const std::vector<Bytes> exif = ExifPayloads(MarkersOf(Rewrite(source, o)));
    ASSERT_EQ(exif.size(), 1u) << mode;
    const size_t expectedSize = mode == 0 ? kCut + 6 : kCut + 100 + thumbnail.size();
    ASSERT_EQ(exif[0].size(), expectedSize) << mode;
    EXPECT_EQ(Bytes(exif[0].begin(), exif[0].begin() + kLink),
              Bytes(payload.begin(), payload.begin() + kLink));
    EXPECT_EQ(exif[0][kLink], mode == 0 ? 0 : kCut) << mode;
  }
}

TEST(ExifWriter, ASecondExifSegmentIsCopiedUnchanged) {
  const ExifRecipe first = CameraRecipe(false);
  ExifRecipe second = CameraRecipe(true);
  second.ifd0[0] = Ascii(0x010F, "Second");
  Recipe recipe = Make(16, 16, "420");
  recipe.markers = {{kApp1, ExifPayload(first)}, {kApp1, ExifPayload(second)}};
  WriteOptions o;
  o.thumbnailMode = 0;
  const std::vector<Bytes> exif = ExifPayloads(MarkersOf(Rewrite(Write(recipe), o)));
  ASSERT_EQ(exif.size(), 2u);
  EXPECT_LT(exif[0].size(), ExifPayload(first).size());
  EXPECT_EQ(exif[1], ExifPayload(second));
}

// Writes the output into a file for exiftool.
std::filesystem::path Saved(const TempDir& dir, const std::string& name, const Bytes& jpeg) {
  WriteFile(dir / name, jpeg);
  return dir / name;
}

TEST(ExifWriterExifTool, PixelDimensionsOrientationAndThumbnailsAsAnotherReaderSeesThem) {
  if (!HaveExifTool()) GTEST_SKIP() << "exiftool is not installed";
  TempDir dir;
  for (bool big : {false, true}) {
    const ExifRecipe recipe = CameraRecipe(big);
    const Bytes payload = ExifPayload(recipe);
    const Bytes source = SourceFile(false, &payload);
    const auto sourceFile = Saved(dir, "source.jpg", source);

    WriteOptions o;
    o.width = 640;
    o.height = 480;
    const auto cropped =
        Saved(dir, "cropped.jpg", Rewrite(source, o, [](CExif& e) { e.SetOrientation(8); }));
    const std::string verbose = RunExifTool({"-v2", cropped.string()});
    EXPECT_NE(verbose.find("ExifImageWidth = 640\n"), std::string::npos) << verbose;
    EXPECT_NE(verbose.find("ExifImageHeight = 480\n"), std::string::npos);
    const size_t x = verbose.find("ExifImageWidth = 640");
    EXPECT_NE(verbose.find("int32u[1]", x), std::string::npos);
    EXPECT_EQ(RunExifTool({"-n", "-s3", "-Orientation", cropped.string()}), "8\n");

    o.thumbnailMode = 0;
    const auto stripped = Saved(dir, "stripped.jpg", Rewrite(source, o));
    EXPECT_EQ(RunExifTool({"-s3", "-IFD1:all", "-ThumbnailImage", stripped.string()}), "");
    const std::vector<std::string> before = ValidationIssues(sourceFile);
    for (const std::string& issue : ValidationIssues(stripped))
      EXPECT_NE(std::find(before.begin(), before.end(), issue), before.end()) << issue;

    const Bytes thumbnail = SmallJpeg(120, 90);
    o.thumbnailMode = 2;
    o.thumbnail = &thumbnail;
    const auto renewed = Saved(dir, "renewed.jpg", Rewrite(source, o));
    EXPECT_EQ(RunExifTool({"-n", "-s3", "-ThumbnailLength", "-IFD1:Compression", renewed.string()}),
              std::to_string(thumbnail.size()) + "\n6\n");
    for (const std::string& issue : ValidationIssues(renewed))
      EXPECT_NE(std::find(before.begin(), before.end(), issue), before.end()) << issue;
  }
}

// Every corpus file with Exif data through the writer: mode 1 keeps the segment but for the
// pixel dimensions, mode 0 leaves no IFD1 and no thumbnail, mode 2 embeds the new one, and
// exiftool finds no error in any output that the source did not have.
TEST(ExifWriterExifTool, CorpusFilesInEveryThumbnailMode) {
  const std::vector<std::filesystem::path> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "the shared corpus is not here";
  if (!HaveExifTool()) GTEST_SKIP() << "exiftool is not installed";
  TempDir dir;
  const Bytes thumbnail = SmallJpeg(120, 90);
  std::vector<std::filesystem::path> sources, stripped, renewed;
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    const Bytes source = ReadFile(file);
    SourceHeader header(source);
    if (!header.ok()) continue;
    CExif exif;
    exif.ReadMarkers(header.markers());
    if (!exif.HasExif() || exif.LinkPos() == 0) continue;
    const std::vector<Bytes> before = ExifPayloads(MarkersOf(source));

    WriteOptions o;
    const std::vector<Bytes> kept = ExifPayloads(MarkersOf(Rewrite(source, o)));
    ASSERT_EQ(kept.size(), before.size());
    Reread again(kept[0]);
    EXPECT_EQ(again.exif.Make(), exif.Make());
    EXPECT_EQ(again.exif.ThumbnailWidth(), exif.ThumbnailWidth());
    if (!exif.HasPixelDimensions()) {
      EXPECT_EQ(kept[0], before[0]);
    }

    const std::string name = std::to_string(sources.size());
    sources.push_back(file);
    o.thumbnailMode = 0;
    stripped.push_back(Saved(dir, name + "_stripped.jpg", Rewrite(source, o)));
    o.thumbnailMode = 2;
    o.thumbnail = &thumbnail;
    const Bytes withNew = Rewrite(source, o);
    renewed.push_back(Saved(dir, name + "_renewed.jpg", withNew));
    Reread fresh(ExifPayloads(MarkersOf(withNew))[0]);
    EXPECT_EQ(fresh.exif.ThumbnailWidth(), 120);
    EXPECT_EQ(fresh.exif.Model(), exif.Model());
  }
  ASSERT_FALSE(sources.empty());

  // No IFD1 tag and no thumbnail in any stripped file.
  std::vector<std::string> args = {"-j", "-G1", "-IFD1:all", "-ThumbnailImage"};
  for (const auto& f : stripped) args.push_back(f.string());
  const nlohmann::json found = nlohmann::json::parse(RunExifTool(args), nullptr, false);
  ASSERT_TRUE(found.is_array());
  for (const nlohmann::json& one : found) EXPECT_EQ(one.size(), 1u) << one.dump();

  std::vector<std::filesystem::path> all = sources;
  all.insert(all.end(), stripped.begin(), stripped.end());
  all.insert(all.end(), renewed.begin(), renewed.end());
  std::map<std::string, std::vector<std::string>> issues = ValidationIssuesOf(all);
  for (size_t i = 0; i < sources.size(); ++i) {
    const std::vector<std::string>& before = issues[sources[i].string()];
    for (const auto* outputs : {&stripped, &renewed}) {
      for (const std::string& issue : issues[(*outputs)[i].string()]) {
        if (issue.rfind("Error", 0) != 0) continue;
        EXPECT_NE(std::find(before.begin(), before.end(), issue), before.end())
            << sources[i] << ": " << issue;
      }
    }
  }
  std::printf("wrote %zu corpus files with Exif data in thumbnail modes 0, 1 and 2\n",
              sources.size());
}

}  // namespace
