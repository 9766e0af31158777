// SPDX-License-Identifier: MIT
// The Exif reader: the marker scan, IFD0, the EXIF and GPS values with their texts, the
// thumbnail size and the cut position, in both byte orders, and malformed segments.
#include <gtest/gtest.h>

#include <cmath>

#include "metadata/Exif.h"
#include "tests/support/ExifBuilder.h"

using namespace fixtures;

namespace {

constexpr int kApp1 = JPEG_APP0 + 1;

// A CExif that has read the given markers (kept alive with it, as the image keeps them).
struct ReadExif {
  explicit ReadExif(std::vector<Marker> markers) : saved(std::move(markers)) {
    exif.ReadMarkers(saved.head());
  }
  SavedMarkers saved;
  CExif exif;
};

std::unique_ptr<ReadExif> Read(const ExifRecipe& recipe) {
  return std::make_unique<ReadExif>(std::vector<Marker>{{kApp1, ExifPayload(recipe)}});
}

// A small baseline JPEG to embed as a thumbnail.
Bytes Thumbnail(int width, int height, bool progressive = false) {
  Recipe recipe = Make(width, height, "420");
  recipe.progressive = progressive;
  recipe.quality = 50;
  return Write(recipe);
}

// What a camera writes: every value the reader knows, with a thumbnail.
ExifRecipe CameraRecipe(bool bigEndian) {
  ExifRecipe recipe;
  recipe.bigEndian = bigEndian;
  recipe.ifd0 = {Ascii(0x010F, "Camera"), Ascii(0x0110, "Model 7"), Short(0x0112, 6),
                 Rational(0x011A, 72, 1)};
  recipe.exif = std::vector<TiffEntry>{
      Rational(0x829A, 1, 250), Rational(0x829D, 28, 10),
      Short(0x8827, 100),       Ascii(0x9003, "2015:06:30 14:05:09"),
      SRational(0x9201, 8, 1),  Rational(0x9202, 3, 1),
      Rational(0x920A, 63, 10), Undefined(0x9286, std::string("ASCII\0\0\0hello", 13)),
      Ascii(0x9291, "50"),      Short(0xA002, 640),
      Short(0xA003, 480),       Short(0xA405, 28),
  };
  recipe.gps = std::vector<TiffEntry>{
      Ascii(1, "N"), Rationals(2, {48, 1, 51, 1, 2376, 100}),
      Ascii(3, "E"), Rationals(4, {2, 1, 21, 1, 792, 100}),
      Byte(5, 1),    Rational(6, 12, 1),
  };
  recipe.ifd1 = std::vector<TiffEntry>{Short(0x0103, 6)};
  recipe.thumbnail = Thumbnail(160, 120);
  return recipe;
}

class ByteOrder : public ::testing::TestWithParam<bool> {};

TEST_P(ByteOrder, ReadsEveryValueOfACameraSegment) {
  ExifLayout layout;
  const Bytes payload = ExifPayload(CameraRecipe(GetParam()), &layout);
  ReadExif r({{kApp1, payload}});
  const CExif& e = r.exif;
  EXPECT_TRUE(e.HasExif());
  EXPECT_EQ(e.BigEndian(), GetParam());
  EXPECT_EQ(e.Make(), "Camera");
  EXPECT_EQ(e.Model(), "Model 7");
  EXPECT_EQ(e.GetOrientation(), 6);
  EXPECT_TRUE(e.HasOrientationEntry());
  EXPECT_EQ(e.DateTaken(), (DateRecord{2015, 6, 0, 30, 14, 5, 9, 0}));
  EXPECT_EQ(e.SubSec(), "50");
  EXPECT_EQ(e.ExposureTime(), "1/250s");
  EXPECT_EQ(e.FNumber(), "F2.8");
  EXPECT_EQ(e.ISO(), "ISO100");
  EXPECT_EQ(e.ShutterSpeed(), "1/250s");
  EXPECT_EQ(e.Aperture(), "F2.8");
  EXPECT_EQ(e.FocalLength(), "6.3mm");
  EXPECT_EQ(e.FocalLength35(), "28mm");
  EXPECT_EQ(e.UserComment(), u"hello");
  EXPECT_EQ(e.LatitudeRef(), "N ");
  EXPECT_NEAR(e.Latitude(), 48.8566, 5e-5);
  EXPECT_EQ(e.LongitudeRef(), "E ");
  EXPECT_NEAR(e.Longitude(), 2.3522, 5e-5);
  EXPECT_EQ(e.AltitudeRef(), 1);
  EXPECT_EQ(e.Altitude(), 12.0);
  EXPECT_TRUE(e.HasPixelDimensions());
  EXPECT_EQ(e.ThumbnailWidth(), 160);
  EXPECT_EQ(e.ThumbnailHeight(), 120);
  EXPECT_EQ(e.LinkPos(), layout.link + 6);
  EXPECT_EQ(e.CutPos(), layout.ifd1);
}

TEST_P(ByteOrder, UnicodeUserCommentUnitsAreLittleEndianWhateverTheOrder) {
  ExifRecipe recipe;
  recipe.bigEndian = GetParam();
  recipe.exif = std::vector<TiffEntry>{Short(0x8827, 200),
                                       Undefined(0x9286, std::string("UNICODE\0A\0\xA9\0", 12))};
  auto r = Read(recipe);
  // Units are taken low byte first, so a writer that stored them big-endian gets them swapped.
  EXPECT_EQ(r->exif.UserComment(), (std::u16string{u'A', u'\u00A9'}));
}

INSTANTIATE_TEST_SUITE_P(Exif, ByteOrder, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "MM" : "II"; });

TEST(ExifReader, NoMarkersLeaveTheEmptyState) {
  CExif exif;
  exif.ReadMarkers(nullptr);
  EXPECT_FALSE(exif.HasExif());
  EXPECT_FALSE(exif.HasJfif());
  EXPECT_EQ(exif.Make(), "");
  EXPECT_EQ(exif.DateTaken().wYear, 0);
  EXPECT_EQ(exif.GetOrientation(), 1);
  EXPECT_EQ(exif.ThumbnailWidth(), 0);
  EXPECT_EQ(exif.ThumbnailHeight(), 0);
  EXPECT_EQ(exif.LinkPos(), 0u);
  EXPECT_EQ(exif.CutPos(), 0u);
}

TEST(ExifReader, ASecondOpenForgetsTheFirstFilesValues) {
  auto first = Read(CameraRecipe(false));
  ExifRecipe plain;
  plain.ifd0 = {Ascii(0x0110, "Other")};
  SavedMarkers second({{kApp1, ExifPayload(plain)}});
  first->exif.ReadMarkers(second.head());
  EXPECT_EQ(first->exif.Make(), "");
  EXPECT_EQ(first->exif.Model(), "Other");
  EXPECT_EQ(first->exif.ExposureTime(), "");
  EXPECT_EQ(first->exif.Latitude(), 0.0);
  EXPECT_EQ(first->exif.GetOrientation(), 1);
  EXPECT_FALSE(first->exif.HasPixelDimensions());
  EXPECT_EQ(first->exif.ThumbnailWidth(), 0);
}

TEST(ExifReader, JfifCommentsAndOtherSegments) {
  ReadExif r({{JPEG_APP0, {'J', 'F', 'I', 'F', 0, 1, 2}},
              {JPEG_COM, {'f', 'i', 'r', 's', 't'}},
              {kApp1, {'h', 't', 't', 'p', ':', '/', '/', 'n', 's'}},
              {JPEG_COM, {'s', 0, 'c'}}});
  EXPECT_TRUE(r.exif.HasJfif());
  EXPECT_FALSE(r.exif.HasExif());
  EXPECT_EQ(r.exif.Comment(), std::string("s\0c", 3));
}

TEST(ExifReader, AnIfd0WithOneEntryIsRead) {
  ExifRecipe recipe;
  recipe.ifd0 = {Ascii(0x010F, "Camera")};
  auto r = Read(recipe);
  EXPECT_EQ(r->exif.Make(), "Camera");
  EXPECT_NE(r->exif.LinkPos(), 0u);
}

TEST(ExifReader, ShortAsciiValuesSitInTheEntry) {
  ExifRecipe recipe;
  recipe.ifd0 = {Ascii(0x010F, "Abc"), Ascii(0x0110, "")};
  auto r = Read(recipe);
  EXPECT_EQ(r->exif.Make(), "Abc");
  EXPECT_EQ(r->exif.Model(), "");
}

TEST(ExifReader, ExifAndGpsDirectoriesWithOneEntryYieldNothing) {
  ExifRecipe recipe;
  recipe.exif = std::vector<TiffEntry>{Short(0x8827, 100)};
  recipe.gps = std::vector<TiffEntry>{Rationals(2, {48, 1, 51, 1, 2376, 100})};
  auto r = Read(recipe);
  EXPECT_EQ(r->exif.ISO(), "");
  EXPECT_EQ(r->exif.Latitude(), 0.0);
}

TEST(ExifReader, AProgressiveThumbnailHasNoSize) {
  ExifRecipe recipe = CameraRecipe(false);
  recipe.thumbnail = Thumbnail(64, 48, true);
  EXPECT_EQ(Read(recipe)->exif.ThumbnailWidth(), 0);
  recipe.thumbnail = Thumbnail(64, 48, false);
  EXPECT_EQ(Read(recipe)->exif.ThumbnailWidth(), 64);
  EXPECT_EQ(Read(recipe)->exif.ThumbnailHeight(), 48);
}

TEST(ExifReader, NoOrientationEntryMeansOneAndNothingToChange) {
  ExifRecipe recipe;
  recipe.ifd0 = {Ascii(0x010F, "Camera")};
  auto r = Read(recipe);
  r->exif.SetOrientation(6);
  EXPECT_EQ(r->exif.GetOrientation(), 1);
  EXPECT_EQ(r->saved.payload(0), ExifPayload(recipe));
}

TEST(ExifReader, SetOrientationWritesTheSavedBytesInTheSegmentsOrder) {
  for (bool big : {false, true}) {
    ExifRecipe recipe;
    recipe.bigEndian = big;
    recipe.ifd0 = {Short(0x0112, 1)};
    ExifLayout layout;
    auto r = std::make_unique<ReadExif>(std::vector<Marker>{{kApp1, ExifPayload(recipe, &layout)}});
    r->exif.SetOrientation(0x0106);
    EXPECT_EQ(r->exif.GetOrientation(), 0x0106);
    const uint8_t* value = r->saved.payload(0).data() + 6 + layout.ifd0 + 2 + 8;
    EXPECT_EQ(value[0], big ? 0x01 : 0x06);
    EXPECT_EQ(value[1], big ? 0x06 : 0x01);
    // A reader of the changed bytes sees the new value.
    CExif again;
    again.ReadMarkers(r->saved.head());
    EXPECT_EQ(again.GetOrientation(), 0x0106);
  }
}

TEST(ExifReader, ForgottenPositionsAreNeverWritten) {
  auto r = Read(CameraRecipe(false));
  const Bytes before = r->saved.payload(0);
  r->exif.ForgetMarkerPositions();
  r->exif.SetOrientation(3);
  EXPECT_EQ(r->exif.GetOrientation(), 6);
  EXPECT_EQ(r->saved.payload(0), before);
}

// The cut lies after all out-of-line data of IFD0 and the EXIF directory, but GPS data after
// it are not counted.
TEST(ExifReader, CutPositionWithoutIfd1EndsAfterIfd0AndExifData) {
  ExifRecipe recipe = CameraRecipe(true);
  recipe.ifd1.reset();
  recipe.thumbnail.clear();
  ExifLayout layout;
  auto r = std::make_unique<ReadExif>(std::vector<Marker>{{kApp1, ExifPayload(recipe, &layout)}});
  // The GPS directory comes last and is kept whole with its data, so that the rebuilt segment
  // holds every directory IFD0 points to.
  EXPECT_GT(layout.gps, 0u);
  EXPECT_EQ(r->exif.CutPos(), layout.end);
  EXPECT_EQ(r->exif.ThumbnailWidth(), 0);
}

TEST(ExifReader, OnlyTheFirstExifSegmentIsRead) {
  ExifRecipe first, second;
  first.ifd0 = {Ascii(0x010F, "First"), Short(0x0112, 3)};
  second.bigEndian = true;
  second.ifd0 = {Ascii(0x010F, "Second"), Short(0x0112, 8)};
  ReadExif r({{kApp1, ExifPayload(first)}, {kApp1, ExifPayload(second)}});
  EXPECT_EQ(r.exif.Make(), "First");
  EXPECT_FALSE(r.exif.BigEndian());
  r.exif.SetOrientation(5);
  EXPECT_EQ(r.saved.payload(1), ExifPayload(second));
}

// Each value's own rule: a table of entries and the text they give.
struct ValueCase {
  const char* name;
  TiffEntry entry;
  const std::string& (CExif::*get)() const;
  std::string expected;
};

TEST(ExifValues, TextsMadeFromValues) {
  const ValueCase cases[] = {
      {"exposure 1/250", Rational(0x829A, 1, 250), &CExif::ExposureTime, "1/250s"},
      {"exposure 10/1250", Rational(0x829A, 10, 1250), &CExif::ExposureTime, "1/125s"},
      {"exposure 1/3", Rational(0x829A, 1, 3), &CExif::ExposureTime, "1/3s"},
      {"exposure 25/10", Rational(0x829A, 25, 10), &CExif::ExposureTime, "2.5s"},
      {"exposure 1/1", Rational(0x829A, 1, 1), &CExif::ExposureTime, "1.0s"},
      {"exposure 30/1", Rational(0x829A, 30, 1), &CExif::ExposureTime, "30.0s"},
      {"exposure 0/1", Rational(0x829A, 0, 1), &CExif::ExposureTime, ""},
      {"exposure 1/0", Rational(0x829A, 1, 0), &CExif::ExposureTime, ""},
      {"f 28/10", Rational(0x829D, 28, 10), &CExif::FNumber, "F2.8"},
      {"f 56/10", Rational(0x829D, 56, 10), &CExif::FNumber, "F5.6"},
      {"f 56/1", Rational(0x829D, 56, 1), &CExif::FNumber, "F56.00"},
      {"f 4/1", Rational(0x829D, 4, 1), &CExif::FNumber, "F4.00"},
      {"f 280/100", Rational(0x829D, 280, 100), &CExif::FNumber, "F2.80"},
      {"f 0/0", Rational(0x829D, 0, 0), &CExif::FNumber, ""},
      {"iso", Short(0x8827, 1600), &CExif::ISO, "ISO1600"},
      {"tv 7", SRational(0x9201, 7, 1), &CExif::ShutterSpeed, "1/125s"},
      {"tv 0", SRational(0x9201, 0, 1), &CExif::ShutterSpeed, "1/1s"},
      {"tv -1", SRational(0x9201, -1, 1), &CExif::ShutterSpeed, "2s"},
      {"tv 11", SRational(0x9201, 11, 1), &CExif::ShutterSpeed, "1/2000s"},
      {"tv 12", SRational(0x9201, 12, 1), &CExif::ShutterSpeed, ""},
      {"tv -3", SRational(0x9201, -3, 1), &CExif::ShutterSpeed, "8s"},
      {"tv -2000/1000", SRational(0x9201, -2000, 1000), &CExif::ShutterSpeed, "4s"},
      {"tv 65/10", SRational(0x9201, 65, 10), &CExif::ShutterSpeed, "1/60s"},
      {"tv 3/-1", SRational(0x9201, 3, -1), &CExif::ShutterSpeed, "8s"},
      {"tv min/-1", SRational(0x9201, INT32_MIN, -1), &CExif::ShutterSpeed, ""},
      {"tv 1/0", SRational(0x9201, 1, 0), &CExif::ShutterSpeed, ""},
      {"av 5", Rational(0x9202, 5, 1), &CExif::Aperture, "F5.7"},
      {"av 0", Rational(0x9202, 0, 1), &CExif::Aperture, "F1.0"},
      {"av 1/0", Rational(0x9202, 1, 0), &CExif::Aperture, ""},
      {"focal 63/10", Rational(0x920A, 63, 10), &CExif::FocalLength, "6.3mm"},
      {"focal 0/0", Rational(0x920A, 0, 0), &CExif::FocalLength, ""},
      {"focal35", Short(0xA405, 28), &CExif::FocalLength35, "28mm"},
      {"subsec", Ascii(0x9291, "123"), &CExif::SubSec, "123"},
      // A rational whose offset lies outside the data gives nothing.
      {"exposure outside", Raw(0x829A, 5, 1, 0xFFFFFFF0), &CExif::ExposureTime, ""},
  };
  for (bool big : {false, true}) {
    for (const ValueCase& c : cases) {
      ExifRecipe recipe;
      recipe.bigEndian = big;
      recipe.exif = std::vector<TiffEntry>{Short(0x9999, 0), c.entry};
      auto r = Read(recipe);
      EXPECT_EQ((r->exif.*c.get)(), c.expected) << c.name << (big ? " MM" : " II");
    }
  }
}

TEST(ExifValues, ALaterReadableValueReplacesAnEarlierOne) {
  ExifRecipe recipe;
  recipe.exif = std::vector<TiffEntry>{Rational(0x829A, 1, 60), Rational(0x829A, 1, 0),
                                       Rational(0x829D, 28, 10), Rational(0x829D, 40, 10)};
  auto r = Read(recipe);
  EXPECT_EQ(r->exif.ExposureTime(), "1/60s");
  EXPECT_EQ(r->exif.FNumber(), "F4.0");
}

TEST(ExifValues, DateTimeOriginal) {
  struct Case {
    std::string text;
    DateRecord expected;
  } cases[] = {
      {"2015:06:30 14:05:09", {2015, 6, 0, 30, 14, 5, 9, 0}},
      {"0000:00:00 00:00:00", {}},
      {"    :  :     :  :  ", {}},                              // unknown date
      {"2015:13:30 25:05:09", {2015, 13, 0, 30, 25, 5, 9, 0}},  // stored as converted
      {" 999:6 :3x 1 :5 :9 ", {999, 6, 0, 3, 1, 5, 9, 0}},
      {"2015:06:30", {}},  // too short for the data: the 19 bytes run past the end
  };
  for (const Case& c : cases) {
    ExifRecipe recipe;
    recipe.exif = std::vector<TiffEntry>{Short(0x9999, 0), Undefined(0x9003, c.text)};
    // The date is the last thing in the data, so a short one would be read past the end.
    ReadExif r({{kApp1, ExifPayload(recipe)}});
    EXPECT_EQ(r.exif.DateTaken(), c.expected) << c.text;
  }
}

TEST(ExifValues, UserCommentCodes) {
  struct Case {
    const char* name;
    std::string bytes;
    std::u16string expected;
  } cases[] = {
      {"ascii with NUL filler", std::string("ASCII\0\0\0abc\0\0", 13),
       std::u16string(u"abc\0\0", 5)},
      {"empty code", std::string(8, '\0') + "xyz", u"xyz"},
      {"latin-1 byte", std::string("ASCII\0\0\0\xE9", 9), u"\u00E9"},
      {"jis", std::string("JIS\0\0\0\0\0abc", 11), u""},
      {"too short", std::string("ASCII\0\0\0", 8), u""},
      {"odd unicode", std::string("UNICODE\0a\0b", 11), u"a"},
  };
  for (const Case& c : cases) {
    ExifRecipe recipe;
    recipe.exif = std::vector<TiffEntry>{Short(0x9999, 0), Undefined(0x9286, c.bytes)};
    EXPECT_EQ(Read(recipe)->exif.UserComment(), c.expected) << c.name;
  }
}

TEST(ExifValues, GpsCoordinates) {
  struct Case {
    const char* name;
    TiffEntry latitude;
    double expected;
  } cases[] = {
      {"dms", Rationals(2, {48, 1, 51, 1, 2376, 100}), 48.0 + 51.0 / 60 + 23.76 / 3600},
      {"decimal minutes", Rationals(2, {33, 1, 5172, 100, 0, 1}), 33.862},
      {"zero seconds denominator", Rationals(2, {10, 1, 30, 1, 0, 0}), 10.5},
      {"zero degrees denominator", Rationals(2, {10, 0, 30, 1, 0, 1}), 0.0},
      {"too few rationals", Rationals(2, {10, 1, 30, 1}), 0.0},
      {"offset near 2^32", Raw(2, 5, 3, 0xFFFFFFF8), 0.0},
  };
  for (const Case& c : cases) {
    ExifRecipe recipe;
    recipe.gps = std::vector<TiffEntry>{Ascii(1, "S"), c.latitude};
    ReadExif r({{kApp1, ExifPayload(recipe)}});
    EXPECT_NEAR(r.exif.Latitude(), c.expected, 1e-9) << c.name;
    EXPECT_EQ(r.exif.LatitudeRef(), "S ") << c.name;
    EXPECT_TRUE(std::isfinite(r.exif.Latitude()));
  }
}

TEST(ExifValues, AGpsDirectoryWithoutLatitudeLeavesItEmpty) {
  ExifRecipe recipe;
  recipe.gps = std::vector<TiffEntry>{Ascii(3, "W"), Rationals(4, {1, 1, 0, 1, 0, 1})};
  auto r = Read(recipe);
  EXPECT_EQ(r->exif.Latitude(), 0.0);
  EXPECT_EQ(r->exif.LatitudeRef(), "");
  EXPECT_EQ(r->exif.LongitudeRef(), "W ");
  EXPECT_EQ(r->exif.Longitude(), 1.0);
}

}  // namespace
