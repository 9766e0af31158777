// SPDX-License-Identifier: MIT
// The image object: factory, IUnknown, the empty and header-known states, Close, and the
// coefficient accessors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "image/DllImage.h"
#include "tests/support/JpegSegments.h"
#include "tests/support/TesselTest.h"

using namespace fixtures;

namespace {

TEST(Factory, NullArgumentIsRefused) { EXPECT_EQ(CreateTesselObject(nullptr), TSL_E_POINTER); }

TEST(Factory, NewObjectHasOneReference) {
  ITessel* image = nullptr;
  ASSERT_EQ(CreateTesselObject(&image), TSL_S_OK);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->AddRef(), 2u);
  EXPECT_EQ(image->Release(), 1u);
  EXPECT_EQ(image->Release(), 0u);
}

TEST(QueryInterface, KnownIdentifiersAddAReference) {
  ImagePtr image = NewImage();
  for (const TesselIID& iid : {TSL_IID_ITessel, TSL_IID_IUnknown}) {
    void* out = nullptr;
    EXPECT_EQ(image->QueryInterface(iid, &out), TSL_S_OK);
    EXPECT_EQ(out, static_cast<void*>(image.get()));
    EXPECT_EQ(image->Release(), 1u) << "QueryInterface must add exactly one reference";
  }
}

TEST(QueryInterface, OtherIdentifiersAreRefused) {
  ImagePtr image = NewImage();
  // Each byte of the identifier matters: flip one at a time.
  for (size_t byte = 0; byte < sizeof(TesselIID); ++byte) {
    TesselIID other = TSL_IID_ITessel;
    reinterpret_cast<uint8_t*>(&other)[byte] ^= 0x01;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(image->QueryInterface(other, &out), TSL_E_NOINTERFACE) << "byte " << byte;
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(image->QueryInterface(TSL_IID_ITessel, nullptr), TSL_E_POINTER);
  EXPECT_EQ(image->AddRef(), 2u);  // the count was never touched
  image->Release();
}

TEST(EmptyObject, AnswersAsEmpty) {
  ImagePtr image = NewImage();
  EXPECT_FALSE(image->IsOpen());
  EXPECT_EQ(image->GetWidth(), 0);
  EXPECT_EQ(image->GetHeight(), 0);
  EXPECT_EQ(image->GetMCUWidth(), 0);
  EXPECT_EQ(image->GetMCUHeight(), 0);
  int16_t* values = reinterpret_cast<int16_t*>(8);
  int32_t count = -1;
  image->GetCoefficients(&values, &count);
  EXPECT_EQ(values, nullptr);
  EXPECT_EQ(count, 0);
  int16_t one = 0;
  EXPECT_FALSE(image->SetCoefficients(&one, 0));
  EXPECT_FALSE(image->SetCoefficients(&one, 1));
  EXPECT_FALSE(image->Undo());
  EXPECT_FALSE(image->CanGrayscale());
  EXPECT_FALSE(image->CanLevels());
  EXPECT_FALSE(image->IsGrayscale());
  EXPECT_FALSE(image->Crop(0, 0, 8, 8));
  EXPECT_FALSE(image->FlipH(0));
  EXPECT_FALSE(image->FlipV(1));
  EXPECT_FALSE(image->RotateLeft(0));
  EXPECT_FALSE(image->RotateRight(1));
  EXPECT_FALSE(image->Grayscale());
  EXPECT_FALSE(image->Levels(10, 0, 0));
  EXPECT_FALSE(image->Reconstruct(1, nullptr));
  uint8_t* bits = nullptr;
  EXPECT_FALSE(image->ApplyBitmapChanges(&bits, 0, 0, nullptr));
  EXPECT_EQ(image->GetFileSize(), 0);
  image->Close();  // closing an empty object is harmless
  EXPECT_FALSE(image->IsOpen());
}

TEST(HeaderOnly, ReportsTheHeaderWithoutAStore) {
  const Bytes jpeg = Write(Make(33, 17, "gray", Space::kGray));
  ImagePtr image = OpenBytes(jpeg, /*headerOnly=*/true);
  ASSERT_TRUE(image);
  EXPECT_FALSE(image->IsOpen());
  EXPECT_EQ(image->GetWidth(), 33);
  EXPECT_EQ(image->GetHeight(), 17);
  EXPECT_EQ(image->GetMCUWidth(), 8);
  EXPECT_EQ(image->GetMCUHeight(), 8);
  EXPECT_TRUE(image->IsGrayscale());
  EXPECT_FALSE(image->CanLevels());  // needs an open image
  EXPECT_TRUE(Store(image.get()).empty());
}

// Any non-zero header-only argument counts as true.
TEST(HeaderOnly, AnyNonZeroFlagMeansHeaderOnly) {
  const Bytes jpeg = Write(Make(16, 16, "420"));
  ImagePtr image = NewImage();
  ASSERT_TRUE(image->OpenFromMemory(jpeg.data(), static_cast<int32_t>(jpeg.size()), -7));
  EXPECT_FALSE(image->IsOpen());
  EXPECT_EQ(image->GetWidth(), 16);
}

// The position just after the first SOS segment: everything a header read needs.
size_t EndOfFirstScanHeader(const Bytes& jpeg) {
  for (size_t i = 2; i + 4 <= jpeg.size();) {
    if (jpeg[i] != 0xFF) return 0;
    const size_t length = (size_t{jpeg[i + 2]} << 8) | jpeg[i + 3];
    if (jpeg[i + 1] == 0xDA) return i + 2 + length;
    i += 2 + length;
  }
  return 0;
}

TEST(HeaderOnly, ReadsNoScanData) {
  Bytes jpeg = Write(Make(40, 30, "420"));
  const size_t scan = EndOfFirstScanHeader(jpeg);
  ASSERT_GT(scan, 0u);
  // Damage the whole entropy-coded segment and drop the end marker.
  jpeg.resize(scan + 16);
  std::memset(jpeg.data() + scan, 0xFF, 16);
  EXPECT_TRUE(OpenBytes(jpeg, /*headerOnly=*/true));
  EXPECT_FALSE(OpenBytes(jpeg, /*headerOnly=*/false));
}

TEST(Close, KeepsSizeAndColourSpaceButDropsTheStore) {
  ImagePtr image = OpenBytes(Write(Make(9, 7, "gray", Space::kGray)));
  ASSERT_TRUE(image);
  EXPECT_TRUE(image->CanLevels());
  image->Close();
  EXPECT_FALSE(image->IsOpen());
  EXPECT_TRUE(Store(image.get()).empty());
  EXPECT_EQ(image->GetWidth(), 9);
  EXPECT_EQ(image->GetHeight(), 7);
  EXPECT_TRUE(image->IsGrayscale());
  EXPECT_FALSE(image->CanLevels());
  image->Close();
  EXPECT_TRUE(image->IsGrayscale());
}

TEST(Capabilities, FollowTheColourSpace) {
  struct Case {
    Space space;
    const char* sampling;
    bool grayscale, canGrayscale, canLevels;
  };
  const Case cases[] = {
      {Space::kGray, "gray", true, false, true}, {Space::kYCbCr, "420", false, true, true},
      {Space::kRGB, "444", false, false, false}, {Space::kCMYK, "", false, false, false},
      {Space::kYCCK, "", false, false, false},
  };
  for (const Case& c : cases) {
    ImagePtr image = OpenBytes(Write(Make(16, 8, c.sampling, c.space)));
    ASSERT_TRUE(image);
    SCOPED_TRACE(Make(16, 8, c.sampling, c.space).Name());
    EXPECT_EQ(image->IsGrayscale() != 0, c.grayscale);
    EXPECT_EQ(image->CanGrayscale() != 0, c.canGrayscale);
    EXPECT_EQ(image->CanLevels() != 0, c.canLevels);
  }
}

TEST(Coefficients, SetCoefficientsChecksTheCountAndCopies) {
  ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
  ASSERT_TRUE(image);
  int16_t* values = nullptr;
  int32_t count = 0;
  image->GetCoefficients(&values, &count);
  const std::vector<int16_t> before(values, values + count);
  // Its own array and count: succeeds and changes nothing.
  EXPECT_TRUE(image->SetCoefficients(values, count));
  EXPECT_EQ(Store(image.get()), before);
  std::vector<int16_t> changed = before;
  changed[5] = 1234;
  EXPECT_FALSE(image->SetCoefficients(changed.data(), count - 1));
  EXPECT_FALSE(image->SetCoefficients(changed.data(), count + 1));
  EXPECT_FALSE(image->SetCoefficients(nullptr, count));
  EXPECT_EQ(Store(image.get()), before);
  EXPECT_TRUE(image->SetCoefficients(changed.data(), count));
  EXPECT_EQ(values[5], 1234);  // the host's pointer sees the store itself
}

TEST(Open, BadInputLeavesThePreviousSizeAndNoImage) {
  ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
  ASSERT_TRUE(image);
  const Bytes notJpeg = {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'};
  EXPECT_FALSE(image->OpenFromMemory(notJpeg.data(), static_cast<int32_t>(notJpeg.size()), 0));
  EXPECT_FALSE(image->IsOpen());
  EXPECT_EQ(image->GetWidth(), 17);
  EXPECT_EQ(image->GetHeight(), 9);
  EXPECT_FALSE(image->OpenFromMemory(nullptr, 10, 0));
  EXPECT_FALSE(image->OpenFromMemory(notJpeg.data(), -1, 0));
  EXPECT_FALSE(image->OpenFromMemory(notJpeg.data(), 0, 0));
  EXPECT_FALSE(image->Open(nullptr, 0));
  EXPECT_FALSE(image->Open(u"/nonexistent/dir/file.jpg", 0));
  EXPECT_EQ(image->GetWidth(), 17);
}

TEST(Open, EveryPrefixOfAStreamFails) {
  const Bytes jpeg = Write(Make(40, 24, "420"));
  // A spread of lengths, each copied into a buffer of exactly that size so that the
  // sanitizers catch any read past the end.
  for (size_t length = 0; length < jpeg.size(); length += (length < 700 ? 1 : 37)) {
    std::unique_ptr<uint8_t[]> prefix(new uint8_t[length == 0 ? 1 : length]);
    std::memcpy(prefix.get(), jpeg.data(), length);
    ImagePtr image = NewImage();
    EXPECT_FALSE(image->OpenFromMemory(prefix.get(), static_cast<int32_t>(length), 0))
        << "prefix of " << length << " of " << jpeg.size() << " bytes";
    EXPECT_FALSE(image->IsOpen());
  }
}

// A header that claims 65500x65500 pixels (the library's largest) in three full-resolution
// components needs about 12.9 billion values: a full open is refused before anything is allocated,
// while a header-only open still reports the size.
TEST(Open, StoreBeyondThirtyTwoBitsIsRefused) {
  Bytes jpeg = Write(Make(16, 16, "444"));
  ASSERT_TRUE(SetFrameSize(&jpeg, 65500, 65500));
  ImagePtr image = NewImage();
  EXPECT_FALSE(image->OpenFromMemory(jpeg.data(), static_cast<int32_t>(jpeg.size()), 0));
  EXPECT_TRUE(image->OpenFromMemory(jpeg.data(), static_cast<int32_t>(jpeg.size()), 1));
  EXPECT_EQ(image->GetWidth(), 65500);
}

TEST(Open, KeepsEverySavedMarkerWholeInFileOrder) {
  Recipe recipe = Make(17, 9, "420");
  recipe.markers = {{JPEG_COM, {'o', 'n', 'e'}},
                    {JPEG_APP0 + 3, Bytes(65533, 0x5A)},
                    {JPEG_APP0 + 15, {'p'}},
                    {JPEG_COM, {'t', 'w', 'o'}}};
  const Bytes jpeg = Write(recipe);
  std::vector<Marker> expected;
  ASSERT_TRUE(ReadMarkers(jpeg, &expected));
  ImagePtr image = OpenBytes(jpeg);
  ASSERT_TRUE(image);
  auto* dll = static_cast<CDllImage*>(image.get());
  size_t n = 0;
  for (jpeg_saved_marker_ptr m = dll->HeaderDecompressor()->marker_list; m != nullptr;
       m = m->next, ++n) {
    ASSERT_LT(n, expected.size());
    EXPECT_EQ(m->marker, expected[n].code);
    EXPECT_EQ(Bytes(m->data, m->data + m->data_length), expected[n].payload);
  }
  EXPECT_EQ(n, expected.size());
  // The library's own JFIF marker comes first, then ours in the order written.
  ASSERT_EQ(expected.size(), 5u);
  EXPECT_EQ(expected[0].code, JPEG_APP0);
  EXPECT_EQ(expected[2].payload.size(), 65533u);
}

TEST(Open, ReopeningDiscardsThePreviousImage) {
  ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
  ASSERT_TRUE(image);
  const Bytes second = Write(Make(8, 8, "gray", Space::kGray));
  ASSERT_TRUE(image->OpenFromMemory(second.data(), static_cast<int32_t>(second.size()), 0));
  EXPECT_EQ(image->GetWidth(), 8);
  EXPECT_EQ(Store(image.get()).size(), 64u);
  EXPECT_TRUE(image->IsGrayscale());
}

TEST(Open, FileTimesComeFromTheFileAndNotFromMemory) {
  TempDir dir;
  const Bytes jpeg = Write(Make(8, 8, "gray", Space::kGray));
  WriteFile(dir / "a.jpg", jpeg);
  struct timespec times[2] = {{1000000000, 123456789}, {1200000000, 987654321}};
  ASSERT_EQ(utimensat(AT_FDCWD, (dir / "a.jpg").c_str(), times, 0), 0);
  ImagePtr image = NewImage();
  ASSERT_TRUE(image->Open(U16(dir / "a.jpg").c_str(), 0));
  auto* dll = static_cast<CDllImage*>(image.get());
  const FileTimes captured = dll->Times();
  EXPECT_EQ(captured.lastAccess, (FileTime{1000000000, 123456789}));
  EXPECT_EQ(captured.lastWrite, (FileTime{1200000000, 987654321}));
  // The Exif model gets the creation time when the file system keeps one, else the last write.
  const DateRecord date = dll->Exif().FileDate();
  if (captured.creation.IsZero()) {
    EXPECT_EQ(date, UtcDateRecord(1200000000, 987654321));
  } else {
    EXPECT_EQ(date, UtcDateRecord(captured.creation.seconds, captured.creation.nanoseconds));
  }
  ASSERT_TRUE(image->OpenFromMemory(jpeg.data(), static_cast<int32_t>(jpeg.size()), 0));
  EXPECT_EQ(dll->Times(), captured);
  EXPECT_EQ(dll->Exif().FileDate(), DateRecord{});
  EXPECT_TRUE(dll->Exif().FileName().empty());
}

TEST(Open, NamesGoToTheExifModel) {
  TempDir dir;
  const std::filesystem::path path = dir / "Photo.Day.jpg";
  WriteFile(path, Write(Make(8, 8, "gray", Space::kGray)));
  ImagePtr image = NewImage();
  ASSERT_TRUE(image->Open(U16(path).c_str(), 1));
  const CExif& exif = static_cast<CDllImage*>(image.get())->Exif();
  EXPECT_EQ(exif.OpenName(), u"Photo.Day.jpg");
  EXPECT_EQ(exif.OpenTitle(), u"Photo.Day");
  EXPECT_EQ(exif.FileName(), u"Photo.Day.jpg");
  EXPECT_EQ(exif.FileTitle(), u"Photo.Day");
}

TEST(Open, NonAsciiPathsOpenAndUnpairedSurrogatesDoNot) {
  TempDir dir;
  const std::filesystem::path path = dir / "\xC3\xA9t\xC3\xA9 \xF0\x9F\x93\xB7.jpg";  // été 📷
  WriteFile(path, Write(Make(8, 8, "gray", Space::kGray)));
  const std::u16string wide = U16(dir.path()) + u"/\u00E9t\u00E9 \U0001F4F7.jpg";
  ImagePtr image = NewImage();
  EXPECT_TRUE(image->Open(wide.c_str(), 0));
  std::u16string broken = U16(dir.path()) + u"/x.jpg";
  broken[broken.size() - 5] = static_cast<char16_t>(0xD800);
  EXPECT_FALSE(image->Open(broken.c_str(), 0));
}

TEST(Platform, Utf16ToUtf8) {
  struct Case {
    std::u16string in;
    std::optional<std::string> out;
  };
  const Case cases[] = {
      {u"", std::string()},
      {u"abc", std::string("abc")},
      {u"\u00E9", std::string("\xC3\xA9")},
      {u"\u20AC", std::string("\xE2\x82\xAC")},
      {u"\U0001F4F7", std::string("\xF0\x9F\x93\xB7")},
      {std::u16string(1, char16_t(0xD83D)), std::nullopt},
      {std::u16string(1, char16_t(0xDC00)), std::nullopt},
      {std::u16string{char16_t(0xD83D), u'a'}, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf16ToUtf8(c.in.c_str()), c.out);
  EXPECT_EQ(Utf16ToUtf8(nullptr), std::nullopt);
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x93\xB7 \xC3\xA9"), u"\U0001F4F7 \u00E9");
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
}

TEST(Platform, UtcDateRecord) {
  struct Case {
    int64_t seconds, nanoseconds;
    DateRecord expected;
  };
  const Case cases[] = {
      {0, 0, {1970, 1, 4, 1, 0, 0, 0, 0}},
      {1435673109, 250000000, {2015, 6, 2, 30, 14, 5, 9, 250}},  // a Tuesday
      {951782400, 999999999, {2000, 2, 2, 29, 0, 0, 0, 999}},    // leap day
      {-11644473600, 0, {1601, 1, 1, 1, 0, 0, 0, 0}},            // the first day of 1601
      {-11644473601, 0, {}},                                     // before 1601: no date
  };
  for (const Case& c : cases)
    EXPECT_EQ(UtcDateRecord(c.seconds, c.nanoseconds), c.expected) << c.seconds;
}

}  // namespace
