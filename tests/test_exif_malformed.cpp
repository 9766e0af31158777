// SPDX-License-Identifier: MIT
// Malformed Exif data never reads or writes outside its segment: hand-made faults (offsets and
// counts past the end, near 2^32, pointing at themselves, directories too short) and thousands
// of random mutations of generated and real segments, through the reader, the information text
// and the writer in every thumbnail mode. The sanitizer build turns any stray access into a
// failure; each payload lives in its own exact-size buffer so that it would be seen.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/support/ExifBuilder.h"
#include "tests/support/MarkerWriter.h"
#include "tests/support/TesselTest.h"

using namespace fixtures;

namespace {

constexpr int kApp1 = JPEG_APP0 + 1;
const std::u16string kEveryCode =
    u"%% %C %c %d %e %f %GLt %GLg %GAl %i %L %l %M %m %t %u %V %v %W %w %GXy %G";

Bytes SmallThumbnail() {
  Recipe recipe = Make(16, 8, "420");
  recipe.quality = 30;
  return Write(recipe);
}

// Reads the payload, formats every code and writes it in every thumbnail mode. Returns the
// information text, so that a caller can check what was read.
std::u16string Exercise(const Bytes& payload, CExif* out = nullptr) {
  static const Bytes thumbnail = SmallThumbnail();
  SavedMarkers saved({{kApp1, payload}, {JPEG_COM, {'x'}}});
  CExif local;
  CExif& exif = out != nullptr ? *out : local;
  exif.ReadMarkers(saved.head());
  const std::u16string text =
      exif.FormatInfo(kEveryCode, 1, 0x0409, u"dddd d MMMM yyyy", u"HH:mm:ss", 1);
  exif.SetOrientation(3);
  for (int mode : {0, 1, 2}) {
    WriteOptions o;
    o.thumbnailMode = mode;
    o.thumbnail = &thumbnail;
    o.width = 8;
    o.height = 8;
    Bytes written;
    // A rebuilt segment may be refused as too long; anything else must write.
    const bool ok = WriteWithMarkers(exif, saved.head(), o, &written);
    if (ok) {
      std::vector<Marker> markers;
      EXPECT_TRUE(ReadMarkers(written, &markers));
    }
  }
  return text;
}

Bytes TiffOf(std::initializer_list<int> bytes) {
  Bytes out;
  for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
  return out;
}

// Little-endian helpers for hand-made segments.
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// A valid little-endian segment with one IFD0 entry to be spoiled: 8 header bytes, IFD0 at 8
// with one entry (bytes 10..21), link at 22, 10 more bytes of data.
Bytes OneEntry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
  Bytes tiff(36, 0);
  tiff[0] = tiff[1] = 'I';
  Put16(tiff, 2, 42);
  Put32(tiff, 4, 8);
  Put16(tiff, 8, 1);
  Put16(tiff, 10, tag);
  Put16(tiff, 12, type);
  Put32(tiff, 14, count);
  Put32(tiff, 18, value);
  return tiff;
}

// An IFD0 whose only entry points to an EXIF (or GPS) directory at 26 that holds two entries,
// the second one spoiled.
Bytes InSubDirectory(uint16_t pointerTag, uint16_t tag, uint16_t type, uint32_t count,
                     uint32_t value) {
  Bytes tiff = OneEntry(pointerTag, 4, 1, 26);
  tiff.resize(26 + 2 + 24 + 4 + 16, 0);
  Put16(tiff, 26, 2);
  Put16(tiff, 28, 0x9999);  // an unknown tag first
  Put16(tiff, 40, tag);
  Put16(tiff, 42, type);
  Put32(tiff, 44, count);
  Put32(tiff, 48, value);
  return tiff;
}

TEST(ExifMalformed, HandMadeFaultsLeaveValuesEmpty) {
  struct Case {
    const char* name;
    Bytes tiff;
  } cases[] = {
      {"too short for a header", TiffOf({'I', 'I'})},
      {"eleven bytes", TiffOf({'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0})},
      {"no byte order", TiffOf({'X', 'X', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0})},
      {"not 42", TiffOf({'I', 'I', 43, 0, 8, 0, 0, 0, 0, 0, 0, 0})},
      {"ifd0 near 2^32", TiffOf({'I', 'I', 42, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0})},
      {"ifd0 at the last byte", TiffOf({'I', 'I', 42, 0, 11, 0, 0, 0, 0, 0, 0, 0})},
      {"ifd0 count past the end", TiffOf({'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF, 0, 0})},
      {"ascii offset near 2^32", OneEntry(0x010F, 2, 16, 0xFFFFFFF8)},
      {"ascii count near 2^32", OneEntry(0x010F, 2, 0xFFFFFFFF, 8)},
      {"ascii count wraps with the offset", OneEntry(0x010F, 2, 0xFFFFFFF0, 0x20)},
      {"exif pointer near 2^32", OneEntry(0x8769, 4, 1, 0xFFFFFFFF)},
      {"exif pointer at itself", OneEntry(0x8769, 4, 1, 8)},
      {"gps pointer past the end", OneEntry(0x8825, 4, 1, 35)},
      {"rational offset past the end", InSubDirectory(0x8769, 0x829A, 5, 1, 75)},
      {"rational offset near 2^32", InSubDirectory(0x8769, 0x829D, 5, 1, 0xFFFFFFFC)},
      {"date runs past the end", InSubDirectory(0x8769, 0x9003, 2, 20, 60)},
      {"date offset near 2^32", InSubDirectory(0x8769, 0x9003, 2, 20, 0xFFFFFFF0)},
      {"comment count near 2^32", InSubDirectory(0x8769, 0x9286, 7, 0xFFFFFFFF, 8)},
      {"comment wraps with the offset", InSubDirectory(0x8769, 0x9286, 7, 0xFFFFFFF8, 16)},
      {"subsec count near 2^32", InSubDirectory(0x8769, 0x9291, 2, 0xFFFFFFFF, 0)},
      {"latitude past the end", InSubDirectory(0x8825, 2, 5, 3, 60)},
      {"latitude near 2^32", InSubDirectory(0x8825, 2, 5, 3, 0xFFFFFFF0)},
      {"altitude near 2^32", InSubDirectory(0x8825, 6, 5, 1, 0xFFFFFFFC)},
      {"latitude ref count near 2^32", InSubDirectory(0x8825, 1, 2, 0xFFFFFFFF, 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CExif exif;
    const std::u16string text = Exercise(ExifPayload(c.tiff), &exif);
    EXPECT_TRUE(exif.HasExif());
    EXPECT_EQ(exif.Make(), "");
    EXPECT_EQ(exif.ExposureTime(), "");
    EXPECT_EQ(exif.FNumber(), "");
    EXPECT_EQ(exif.DateTaken().wYear, 0);
    EXPECT_EQ(exif.UserComment(), u"");
    EXPECT_EQ(exif.SubSec(), "");
    EXPECT_EQ(exif.Latitude(), 0.0);
    EXPECT_EQ(exif.Altitude(), 0.0);
    EXPECT_EQ(exif.LatitudeRef(), "");
  }
}

// The size of an entry's data is type size times count in 64 bits: a count of 2^29 + 1
// RATIONALs is 2^32 + 8 bytes, which must not pass for 8 and move the cut.
TEST(ExifMalformed, DataSizesDoNotWrapWhenPlacingTheCut) {
  Bytes tiff = OneEntry(0x011A, 5, 0x20000001, 24);
  CExif exif;
  Exercise(ExifPayload(tiff), &exif);
  // Only IFD0 itself (8 + 2 + 12 + 4 bytes) is kept: the wrapped data size moves nothing.
  EXPECT_EQ(exif.CutPos(), 26u);
  EXPECT_EQ(exif.LinkPos(), 22u + 6);
  // The same entry with a count of 1 does move it.
  Put32(tiff, 14, 1);
  CExif valid;
  Exercise(ExifPayload(tiff), &valid);
  EXPECT_EQ(valid.CutPos(), 32u);
}

TEST(ExifMalformed, ThumbnailFaults) {
  struct Case {
    const char* name;
    Bytes thumbnail;  // bytes placed at the thumbnail's position
  } cases[] = {
      {"not a JPEG", {0x12, 0x34}},
      {"zero-length segments", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x00, 0xFF, 0xE0, 0x00, 0x00}},
      {"frame header cut short", {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00}},
      {"segment length past the end", {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF}},
      {"end of image first", {0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xC0, 0, 17, 8, 0, 9, 0, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExifRecipe recipe;
    recipe.ifd0 = {Short(0x0112, 1)};
    recipe.ifd1 = std::vector<TiffEntry>{Short(0x0103, 6)};
    recipe.thumbnail = c.thumbnail;
    CExif exif;
    Exercise(ExifPayload(recipe), &exif);
    EXPECT_EQ(exif.ThumbnailWidth(), 0);
    EXPECT_EQ(exif.ThumbnailHeight(), 0);
  }
  // IFD1 at IFD0's place, and a thumbnail offset at IFD1 itself.
  ExifRecipe recipe;
  recipe.ifd0 = {Short(0x0112, 1)};
  ExifLayout layout;
  Bytes tiff = BuildTiff(recipe, &layout);
  tiff.resize(tiff.size() + 8);
  Put32(tiff, layout.link, layout.ifd0);
  CExif exif;
  Exercise(ExifPayload(tiff), &exif);
  EXPECT_EQ(exif.ThumbnailWidth(), 0);
  EXPECT_EQ(exif.CutPos(), layout.link + 4);  // IFD0 itself is kept whole
}

// Byte mutations: random bytes, and 32-bit fields set to values that sit at the edges.
Bytes Mutate(const Bytes& payload, std::mt19937& rng) {
  Bytes m = payload;
  if (m.size() <= 8) return m;
  std::uniform_int_distribution<size_t> position(6, m.size() - 1);
  std::uniform_int_distribution<int> kind(0, 3), count(1, 8), byte(0, 255);
  const uint32_t edges[] = {0,
                            1,
                            0xFFFFFFFF,
                            0xFFFFFFF8,
                            0x7FFFFFFF,
                            0x80000000,
                            0x20000001,
                            static_cast<uint32_t>(m.size() - 6),
                            static_cast<uint32_t>(m.size() - 7),
                            static_cast<uint32_t>(m.size() - 18)};
  const int n = count(rng);
  for (int i = 0; i < n; ++i) {
    const size_t at = position(rng);
    switch (kind(rng)) {
      case 0:
      case 1:
        m[at] = static_cast<uint8_t>(byte(rng));
        break;
      case 2:
        if (at + 4 <= m.size()) Put32(m, at, edges[rng() % std::size(edges)]);
        break;
      default:
        if (at + 2 <= m.size()) Put16(m, at, static_cast<uint16_t>(rng() % 12));
        break;
    }
  }
  return m;
}

std::vector<Bytes> Seeds() {
  std::vector<Bytes> seeds;
  for (bool big : {false, true}) {
    ExifRecipe recipe;
    recipe.bigEndian = big;
    recipe.ifd0 = {Ascii(0x010F, "Camera"), Ascii(0x0110, "Model 7"), Short(0x0112, 6)};
    recipe.exif = std::vector<TiffEntry>{
        Rational(0x829A, 1, 250), Rational(0x829D, 28, 10),
        Short(0x8827, 100),       Ascii(0x9003, "2015:06:30 14:05:09"),
        SRational(0x9201, 8, 1),  Rational(0x9202, 3, 1),
        Rational(0x920A, 63, 10), Undefined(0x9286, std::string("UNICODE\0h\0i\0", 12)),
        Ascii(0x9291, "50"),      Short(0xA002, 640),
        Short(0xA003, 480),       Short(0xA405, 28)};
    recipe.gps = std::vector<TiffEntry>{Ascii(1, "N"), Rationals(2, {48, 1, 51, 1, 2376, 100}),
                                        Ascii(3, "E"), Rationals(4, {2, 1, 21, 1, 792, 100}),
                                        Byte(5, 1),    Rational(6, 12, 1)};
    recipe.ifd1 = std::vector<TiffEntry>{Short(0x0103, 6)};
    recipe.thumbnail = SmallThumbnail();
    seeds.push_back(ExifPayload(recipe));
  }
  return seeds;
}

// The Exif payloads of the corpus files (empty without the corpus).
std::vector<Bytes> CorpusSeeds() {
  std::vector<Bytes> seeds;
  for (const auto& file : CorpusFiles()) {
    std::vector<Marker> markers;
    if (!ReadMarkers(ReadFile(file), &markers)) continue;
    for (const Marker& m : markers) {
      if (m.code == kApp1 && m.payload.size() >= 8 &&
          std::equal(m.payload.begin(), m.payload.begin() + 6, "Exif\0\0"))
        seeds.push_back(m.payload);
    }
  }
  return seeds;
}

TEST(ExifMalformed, RandomMutationsOfGeneratedSegments) {
  std::mt19937 rng(20150630);
  const std::vector<Bytes> seeds = Seeds();
  for (int i = 0; i < 3000; ++i) Exercise(Mutate(seeds[i % seeds.size()], rng));
}

TEST(ExifMalformed, RandomMutationsOfCorpusSegments) {
  const std::vector<Bytes> seeds = CorpusSeeds();
  if (seeds.empty()) GTEST_SKIP() << "the shared corpus is not here";
  std::mt19937 rng(1601);
  for (int i = 0; i < 3000; ++i) Exercise(Mutate(seeds[i % seeds.size()], rng));
}

// The whole road: a JPEG with a mutated Exif segment opened from memory, its text formatted,
// its orientation changed; opening must not fail because of the metadata.
TEST(ExifMalformed, MutatedSegmentsThroughTheInterface) {
  std::mt19937 rng(42);
  const Bytes seed = Seeds()[1];
  Recipe recipe = Make(8, 8, "444");
  recipe.markers = {{kApp1, seed}};
  Bytes jpeg = Write(recipe);
  const auto at = std::search(jpeg.begin(), jpeg.end(), seed.begin(), seed.end());
  ASSERT_NE(at, jpeg.end());
  const size_t offset = static_cast<size_t>(at - jpeg.begin());
  ImagePtr image = NewImage();
  for (int i = 0; i < 500; ++i) {
    const Bytes mutated = Mutate(seed, rng);
    std::copy(mutated.begin(), mutated.end(), jpeg.begin() + offset);
    for (int headerOnly : {0, 1}) {
      ASSERT_TRUE(
          image->OpenFromMemory(jpeg.data(), static_cast<int32_t>(jpeg.size()), headerOnly));
      const char16_t* text = image->FormatExifInfo(kEveryCode.c_str(), 1, 0, u"yyyy", u"HH", 1);
      ASSERT_NE(text, nullptr);
      image->SetOrientation(7);
      image->GetExifThumbnailSize();
    }
  }
}

}  // namespace
