// SPDX-License-Identifier: MIT
// The information text and the orientation through ITessel: template codes, GPS sub-codes,
// dates with sub-seconds and file dates, and SetOrientation around header-only opens.
#include <gtest/gtest.h>

#include "metadata/Exif.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/TesselTest.h"

using namespace fixtures;

namespace {

constexpr uint32_t kEnglishUs = 0x0409;

// A JPEG with the given Exif data (and a comment).
Bytes JpegWithExif(const ExifRecipe& recipe, bool withComment = true) {
  Recipe jpeg = Make(16, 16, "420");
  jpeg.writeJfif = false;
  jpeg.markers.push_back({JPEG_APP0 + 1, ExifPayload(recipe)});
  if (withComment) jpeg.markers.push_back({JPEG_COM, {'h', 'i', 0, '!'}});
  return Write(jpeg);
}

ExifRecipe CaptionRecipe() {
  ExifRecipe recipe;
  recipe.ifd0 = {Ascii(0x010F, "Camera"), Ascii(0x0110, "Model 7"), Short(0x0112, 1)};
  recipe.exif = std::vector<TiffEntry>{
      Rational(0x829A, 1, 250), Rational(0x829D, 28, 10),
      Short(0x8827, 100),       Ascii(0x9003, "2015:06:30 14:05:09"),
      Rational(0x920A, 63, 10), Undefined(0x9286, std::string("ASCII\0\0\0note", 12)),
      Ascii(0x9291, "50"),      Short(0xA405, 28)};
  recipe.gps = std::vector<TiffEntry>{Ascii(1, "N"), Rationals(2, {48, 1, 51, 1, 2376, 100}),
                                      Ascii(3, "W"), Rationals(4, {2, 1, 30, 1, 0, 1}),
                                      Byte(5, 1),    Rational(6, 12, 1)};
  return recipe;
}

std::u16string Info(ITessel* image, const std::u16string& templ, uint32_t useFileDate = 0,
                    int32_t subSeconds = 0, const std::u16string& time = u"HH:mm:ss") {
  const char16_t* text = image->FormatExifInfo(templ.c_str(), useFileDate, kEnglishUs,
                                               u"yyyy-MM-dd", time.c_str(), subSeconds);
  return text == nullptr ? u"<null>" : std::u16string(text);
}

TEST(ExifInfo, TemplateCodes) {
  ImagePtr image = OpenBytes(JpegWithExif(CaptionRecipe()));
  ASSERT_TRUE(image);
  struct Case {
    std::u16string templ;
    std::u16string expected;
  } cases[] = {
      {u"%M %m", u"Camera Model 7"},
      {u"100%%", u"100%"},
      {u"abc%", u"abc"},
      {u"%Q", u""},
      {u"%C", u"\u00A9"},
      {u"%c", u"hi"},  // the comment holds a NUL: a caller reading up to it sees "hi"
      {u"%e %f %i %l %L", u"1/250s F2.8 ISO100 6.3mm 28mm"},
      {u"%u", u"note"},
      {u"%d %t", u"2015-06-30 14:05:09"},
      {u"%GLt", u"N 48\u00B0 51.396'"},
      {u"%GLg", u"W 2\u00B0 30.000'"},
      {u"%GAl", u"-12m"},
      {u"%GXy", u""},
      {u"%GL", u"L"},
      {u"%G", u""},
      {u"%v|%V|%w|%W", u"|||"},  // opened from memory: no names
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Info(image.get(), c.templ), c.expected)
        << std::string(c.templ.begin(), c.templ.end());
  }
}

TEST(ExifInfo, ShutterSpeedAndApertureStandInForMissingValues) {
  ExifRecipe recipe;
  recipe.exif = std::vector<TiffEntry>{SRational(0x9201, 7, 1), Rational(0x9202, 5, 1)};
  ImagePtr image = OpenBytes(JpegWithExif(recipe));
  ASSERT_TRUE(image);
  EXPECT_EQ(Info(image.get(), u"%e %f"), u"1/125s F5.7");
  recipe.exif->push_back(Rational(0x829A, 1, 250));
  image = OpenBytes(JpegWithExif(recipe));
  EXPECT_EQ(Info(image.get(), u"%e"), u"1/250s");
}

TEST(ExifInfo, SubSecondsGoAfterTheLastSecondsCode) {
  ImagePtr image = OpenBytes(JpegWithExif(CaptionRecipe()));
  ASSERT_TRUE(image);
  EXPECT_EQ(Info(image.get(), u"%t", 0, 1), u"14:05:09.50");
  EXPECT_EQ(Info(image.get(), u"%t|%t", 0, 1), u"14:05:09.50|14:05:09.50");
  EXPECT_EQ(Info(image.get(), u"%t", 0, 1, u"HH:mm"), u"14:05");
  EXPECT_EQ(Info(image.get(), u"%t", 0, 0), u"14:05:09");
  // Without sub-seconds in the file the picture is used as it is.
  ExifRecipe recipe = CaptionRecipe();
  recipe.exif->pop_back();
  recipe.exif->pop_back();
  image = OpenBytes(JpegWithExif(recipe));
  EXPECT_EQ(Info(image.get(), u"%t", 0, 1), u"14:05:09");
}

TEST(ExifInfo, NoDateTakenUsesTheFileDateOnlyWhenAsked) {
  ExifRecipe recipe;
  recipe.ifd0 = {Ascii(0x010F, "Camera")};
  const Bytes jpeg = JpegWithExif(recipe);
  ImagePtr fromMemory = OpenBytes(jpeg);
  ASSERT_TRUE(fromMemory);
  EXPECT_EQ(Info(fromMemory.get(), u"[%d %t]", 0), u"[ ]");
  // An image from memory has an all-zero file date, which does not format.
  EXPECT_EQ(Info(fromMemory.get(), u"[%d %t]", 1), u"[ ]");

  TempDir dir;
  WriteFile(dir / "photo.one.jpg", jpeg);
  ImagePtr fromFile = NewImage();
  ASSERT_TRUE(fromFile->Open(U16(dir / "photo.one.jpg").c_str(), 0));
  EXPECT_EQ(Info(fromFile.get(), u"[%d]", 0), u"[]");
  const std::u16string withDate = Info(fromFile.get(), u"%d", 1);
  EXPECT_EQ(withDate.size(), 10u);  // a file written just now has a date
  EXPECT_EQ(Info(fromFile.get(), u"%v|%V|%w|%W"),
            u"photo.one.jpg|photo.one|photo.one.jpg|photo.one");
}

TEST(ExifInfo, MissingGpsGivesZeroValues) {
  ImagePtr image = OpenBytes(Write(Make(8, 8, "444")));
  ASSERT_TRUE(image);
  EXPECT_EQ(Info(image.get(), u"%GLt|%GAl"), u"0\u00B0 0.000'|0m");
  EXPECT_EQ(Info(image.get(), u"%M%m%e%f%i%l%L%u%c%d%t"), u"");
}

// The text keeps a comment's NUL characters; a caller reading up to the first NUL sees less.
TEST(ExifInfo, CommentsKeepTheirNulCharacters) {
  SavedMarkers saved({{JPEG_COM, {'h', 'i', 0, '!'}}});
  CExif exif;
  exif.ReadMarkers(saved.head());
  const char16_t* text = exif.FormatInfo(u"%c.", 0, kEnglishUs, u"", u"", 0);
  EXPECT_EQ(std::u16string(text, 5), std::u16string(u"hi\0!.", 5));
  EXPECT_EQ(text[5], u'\0');
}

TEST(Orientation, SetAndGetThroughTheInterface) {
  ImagePtr image = OpenBytes(JpegWithExif(CaptionRecipe()));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->GetOrientation(), 1);
  image->SetOrientation(6);
  EXPECT_EQ(image->GetOrientation(), 6);
  // Without an entry nothing changes.
  ExifRecipe recipe;
  recipe.ifd0 = {Ascii(0x010F, "Camera")};
  image = OpenBytes(JpegWithExif(recipe));
  image->SetOrientation(6);
  EXPECT_EQ(image->GetOrientation(), 1);
}

// After a header-only open the saved markers are gone: the orientation can be read but no
// longer changed, and nothing is written into freed memory (the sanitizer build checks that).
TEST(Orientation, HeaderOnlyOpenReadsButDoesNotChange) {
  ExifRecipe recipe = CaptionRecipe();
  recipe.ifd0[2] = Short(0x0112, 8);
  ImagePtr image = OpenBytes(JpegWithExif(recipe), true);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->GetOrientation(), 8);
  image->SetOrientation(3);
  EXPECT_EQ(image->GetOrientation(), 8);
  image->Close();
  image->SetOrientation(3);
  EXPECT_EQ(image->GetOrientation(), 8);
}

TEST(Orientation, FailedOpenLeavesNothingToWrite) {
  ImagePtr image = OpenBytes(JpegWithExif(CaptionRecipe()));
  ASSERT_TRUE(image);
  Bytes broken = JpegWithExif(CaptionRecipe());
  broken.resize(broken.size() / 2);
  broken.back() = 0;
  // A failed open closes the old image and releases its markers.
  image->OpenFromMemory(broken.data(), static_cast<int32_t>(broken.size()), 0);
  image->SetOrientation(3);
  EXPECT_NE(image->GetOrientation(), 3);
}

TEST(ThumbnailSize, ThroughTheInterface) {
  ExifRecipe recipe = CaptionRecipe();
  recipe.ifd1 = std::vector<TiffEntry>{Short(0x0103, 6)};
  Recipe thumb = Make(160, 120, "420");
  thumb.quality = 40;
  recipe.thumbnail = Write(thumb);
  ImagePtr image = OpenBytes(JpegWithExif(recipe));
  ASSERT_TRUE(image);
  const TesselThumbnailSize size = image->GetExifThumbnailSize();
  EXPECT_EQ(size.wWidth, 160);
  EXPECT_EQ(size.wHeight, 120);
}

}  // namespace
