// SPDX-License-Identifier: MIT
// Exif through the image's own saves: the orientation and pixel dimensions a save writes, the
// thumbnail modes, the current file name after a save, and malformed segments saved in every
// mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/support/ExifBuilder.h"
#include "tests/support/ExifTool.h"
#include "tests/support/TesselTest.h"

using namespace fixtures;

namespace {

constexpr int kApp1 = JPEG_APP0 + 1;

ExifRecipe PhotoRecipe(bool bigEndian) {
  ExifRecipe recipe;
  recipe.bigEndian = bigEndian;
  recipe.ifd0 = {Ascii(0x010F, "Camera"), Short(0x0112, 1), Rational(0x011A, 72, 1),
                 Rational(0x011B, 72, 1), Short(0x0128, 2), Short(0x0213, 1)};
  recipe.exif = std::vector<TiffEntry>{Rational(0x829A, 1, 250),
                                       Undefined(0x9000, "0230"),
                                       Ascii(0x9003, "2015:06:30 14:05:09"),
                                       Undefined(0x9101, std::string("\1\2\3\0", 4)),
                                       Undefined(0xA000, "0100"),
                                       Short(0xA001, 1),
                                       Short(0xA002, 1600),
                                       Short(0xA003, 1200)};
  recipe.ifd1 = std::vector<TiffEntry>{Short(0x0103, 6), Rational(0x011A, 72, 1),
                                       Rational(0x011B, 72, 1), Short(0x0128, 2)};
  Recipe thumb = Make(64, 48, "420");
  thumb.quality = 40;
  recipe.thumbnail = Write(thumb);
  return recipe;
}

Bytes Photo(bool bigEndian, int width = 40, int height = 24) {
  Recipe recipe = Make(width, height, "420");
  recipe.markers = {{kApp1, ExifPayload(PhotoRecipe(bigEndian))}, {JPEG_COM, {'c'}}};
  return Write(recipe);  // with the library's JFIF segment too
}

TesselSaveOptions Options(int32_t thumbnailMode, int32_t keepMetadata = 1) {
  TesselSaveOptions o = TSL_SAVE_OPTIONS_DEFAULT;
  o.iThumbnailMode = thumbnailMode;
  o.bKeepMetadata = keepMetadata;
  return o;
}

class SaveByteOrder : public ::testing::TestWithParam<bool> {};

TEST_P(SaveByteOrder, OrientationDimensionsAndThumbnailModes) {
  TempDir dir;
  ImagePtr image = OpenBytes(Photo(GetParam()));
  ASSERT_TRUE(image);
  image->SetOrientation(6);
  const auto kept = dir / "kept.jpg";
  TesselSaveOptions o = Options(1);
  ASSERT_TRUE(image->Save(U16(kept).c_str(), &o));
  // The current file name follows the save; the name given at open stays.
  EXPECT_EQ(std::u16string(image->FormatExifInfo(u"%w|%W|%v", 0, 0, u"", u"", 0)),
            u"kept.jpg|kept|");

  ImagePtr reread = NewImage();
  ASSERT_TRUE(reread->Open(U16(kept).c_str(), 0));
  EXPECT_EQ(reread->GetOrientation(), 6);
  EXPECT_EQ(reread->GetExifThumbnailSize().wWidth, 64);
  std::vector<Marker> markers;
  ASSERT_TRUE(ReadMarkers(ReadFile(kept), &markers));
  EXPECT_EQ(std::count_if(markers.begin(), markers.end(),
                          [](const Marker& m) { return m.code == JPEG_APP0; }),
            0);  // the Exif segment stands for the JFIF one

  const auto stripped = dir / "stripped.jpg";
  o = Options(0);
  ASSERT_TRUE(image->Save(U16(stripped).c_str(), &o));
  reread = NewImage();
  ASSERT_TRUE(reread->Open(U16(stripped).c_str(), 1));
  EXPECT_EQ(reread->GetExifThumbnailSize().wWidth, 0);
  EXPECT_EQ(reread->GetOrientation(), 6);
  EXPECT_LT(std::filesystem::file_size(stripped), std::filesystem::file_size(kept));

  const auto renewed = dir / "renewed.jpg";
  o = Options(2);
  o.iThumbnailSize = 32;
  ASSERT_TRUE(image->Save(U16(renewed).c_str(), &o));
  reread = NewImage();
  ASSERT_TRUE(reread->Open(U16(renewed).c_str(), 1));
  EXPECT_EQ(reread->GetOrientation(), 6);
  // The new thumbnail of the 40x24 image at size 32 is 32x19.
  EXPECT_EQ(reread->GetExifThumbnailSize().wWidth, 32);
  EXPECT_EQ(reread->GetExifThumbnailSize().wHeight, 19);

  if (!HaveExifTool()) return;
  const std::string values = RunExifTool(
      {"-n", "-s3", "-Orientation", "-ExifImageWidth", "-ExifImageHeight", kept.string()});
  EXPECT_EQ(values, "6\n40\n24\n");
  const std::string verbose = RunExifTool({"-v2", kept.string()});
  const size_t x = verbose.find("ExifImageWidth = 40");
  ASSERT_NE(x, std::string::npos) << verbose;
  EXPECT_NE(verbose.find("int32u[1]", x), std::string::npos);
  EXPECT_EQ(RunExifTool({"-s3", "-IFD1:all", "-ThumbnailImage", stripped.string()}), "");
  // exiftool finds the new thumbnail where the rebuilt IFD1 says it is, and reads its size.
  const std::string thumb = RunExifTool({"-b", "-ThumbnailImage", renewed.string()});
  ASSERT_GT(thumb.size(), 2u);
  EXPECT_EQ(static_cast<uint8_t>(thumb[0]), 0xFF);
  EXPECT_EQ(static_cast<uint8_t>(thumb[1]), 0xD8);
  TempDir thumbDir;
  WriteFile(thumbDir / "t.jpg", Bytes(thumb.begin(), thumb.end()));
  EXPECT_EQ(RunExifTool({"-s3", "-ImageSize", (thumbDir / "t.jpg").string()}), "32x19\n");
  const std::map<std::string, std::vector<std::string>> issues =
      ValidationIssuesOf({kept, stripped});
  for (const std::string& issue : issues.at(stripped.string())) {
    const std::vector<std::string>& before = issues.at(kept.string());
    EXPECT_NE(std::find(before.begin(), before.end(), issue), before.end()) << issue;
  }
}

INSTANTIATE_TEST_SUITE_P(Exif, SaveByteOrder, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "MM" : "II"; });

TEST(ExifSave, MemoryAndSizeCarryTheExifSegmentWithItsThumbnail) {
  ImagePtr image = OpenBytes(Photo(false));
  ASSERT_TRUE(image);
  image->SetOrientation(3);
  const int32_t size = image->GetFileSize();
  ASSERT_GT(size, 0);
  Bytes memory(static_cast<size_t>(size));
  ASSERT_TRUE(image->SaveToMemory(memory.data(), size));
  ImagePtr reread = OpenBytes(memory);
  ASSERT_TRUE(reread);
  EXPECT_EQ(reread->GetOrientation(), 3);
  EXPECT_EQ(reread->GetExifThumbnailSize().wWidth, 64);
}

TEST(ExifSave, DroppingMetadataLeavesTheJfifAndTheComment) {
  TempDir dir;
  ImagePtr image = OpenBytes(Photo(true));
  ASSERT_TRUE(image);
  TesselSaveOptions o = Options(1, 0);
  ASSERT_TRUE(image->Save(U16(dir / "plain.jpg").c_str(), &o));
  std::vector<Marker> markers;
  ASSERT_TRUE(ReadMarkers(ReadFile(dir / "plain.jpg"), &markers));
  ASSERT_EQ(markers.size(), 2u);
  EXPECT_EQ(markers[0].code, JPEG_APP0);
  EXPECT_EQ(markers[1].code, JPEG_COM);
}

// Malformed segments through every save: each must either write a file that reads back or
// fail cleanly; never crash or touch memory outside the segment.
TEST(ExifSave, MutatedSegmentsSaveInEveryMode) {
  TempDir dir;
  std::mt19937 rng(7);
  const Bytes seed = ExifPayload(PhotoRecipe(true));
  Recipe recipe = Make(16, 16, "420");
  recipe.markers = {{kApp1, seed}};
  Bytes jpeg = Write(recipe);
  const auto at = std::search(jpeg.begin(), jpeg.end(), seed.begin(), seed.end());
  ASSERT_NE(at, jpeg.end());
  const size_t offset = static_cast<size_t>(at - jpeg.begin());
  const std::u16string target = U16(dir / "out.jpg");
  std::uniform_int_distribution<size_t> position(6, seed.size() - 1);
  for (int i = 0; i < 300; ++i) {
    Bytes mutated = seed;
    for (int k = 0; k < 1 + i % 6; ++k) mutated[position(rng)] = static_cast<uint8_t>(rng());
    std::copy(mutated.begin(), mutated.end(), jpeg.begin() + offset);
    ImagePtr image = OpenBytes(jpeg);
    ASSERT_TRUE(image);
    image->SetOrientation(5);
    for (int mode : {0, 1, 2}) {
      TesselSaveOptions o = Options(mode);
      o.iThumbnailSize = 32;
      if (image->Save(target.c_str(), &o)) {
        EXPECT_TRUE(OpenBytes(ReadFile(dir / "out.jpg"))) << i << " mode " << mode;
      }
    }
    const int32_t size = image->GetFileSize();
    Bytes memory(static_cast<size_t>(std::max(size, 1)));
    if (size > 0) {
      EXPECT_TRUE(image->SaveToMemory(memory.data(), size));
    }
  }
}

}  // namespace

namespace {

// Without an IFD1 the rebuilt segment ends at its cut position. A GPS directory whose values
// all sit in its entries, laid out after the EXIF data, must still be kept whole, or the GPS
// pointer of IFD0 would point past the end of the rebuilt segment.
TEST(ExifSave, RebuildKeepsEveryDirectoryWhole) {
  for (const bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "MM" : "II");
    ExifRecipe exif;
    exif.bigEndian = bigEndian;
    exif.ifd0 = {Ascii(0x010F, "Camera"), Short(0x0112, 1)};
    exif.exif =
        std::vector<TiffEntry>{Rational(0x829A, 1, 250), Short(0xA002, 40), Short(0xA003, 24)};
    exif.gps = std::vector<TiffEntry>{Ascii(0x0001, "N"), Byte(0x0005, 1), Ascii(0x0003, "W")};
    Recipe recipe = Make(40, 24, "420");
    recipe.markers = {{kApp1, ExifPayload(exif)}};
    ImagePtr image = OpenBytes(Write(recipe));
    ASSERT_TRUE(image);
    const std::u16string before(image->FormatExifInfo(u"%GLt|%GLg|%GAl", 0, 0, u"", u"", 0));
    ASSERT_EQ(before, u"N 0\u00B0 0.000'|W 0\u00B0 0.000'|-0m");
    TempDir dir;
    for (const int32_t mode : {0, 2}) {
      const auto path = dir / ("mode" + std::to_string(mode) + ".jpg");
      TesselSaveOptions o = Options(mode);
      ASSERT_TRUE(image->Save(U16(path).c_str(), &o));
      ImagePtr reread = NewImage();
      ASSERT_TRUE(reread->Open(U16(path).c_str(), 1));
      EXPECT_EQ(std::u16string(reread->FormatExifInfo(u"%GLt|%GLg|%GAl", 0, 0, u"", u"", 0)),
                before)
          << "mode " << mode;
    }
  }
}

}  // namespace

namespace {

// Re-encoding after an edit writes the edited size, and the Exif pixel dimensions follow it.
TEST(ExifSave, ReencodingAfterCropAndRotationWritesTheNewSize) {
  ImagePtr image = OpenBytes(Photo(false, 48, 40));
  ASSERT_TRUE(image);
  ASSERT_TRUE(image->Crop(0, 0, 33, 20));  // 33x20
  ASSERT_TRUE(image->RotateRight(1));      // 32x33: the partial MCU row is kept whole
  const int32_t width = image->GetWidth(), height = image->GetHeight();
  ASSERT_EQ(width, 32);
  ASSERT_EQ(height, 33);
  std::vector<uint8_t> bitmap(static_cast<size_t>(width) * height * 3);
  ASSERT_TRUE(image->GetBitmap(bitmap.data(), width * 3, 0));
  TesselSaveOptions o = Options(1);
  o.iMode = 1;
  o.pBitmap = bitmap.data();
  o.iStride = width * 3;
  TempDir dir;
  const auto path = dir / "reencoded.jpg";
  ASSERT_TRUE(image->Save(U16(path).c_str(), &o));
  ImagePtr reread = NewImage();
  ASSERT_TRUE(reread->Open(U16(path).c_str(), 1));
  EXPECT_EQ(reread->GetWidth(), width);
  EXPECT_EQ(reread->GetHeight(), height);
  if (!HaveExifTool()) return;
  EXPECT_EQ(RunExifTool({"-n", "-s3", "-ExifImageWidth", "-ExifImageHeight", path.string()}),
            "32\n33\n");
}

}  // namespace
