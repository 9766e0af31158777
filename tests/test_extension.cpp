// SPDX-License-Identifier: MIT
// ITesselEx, the extension interface: reached through QueryInterface from either side, one
// reference count, options with their ranges, the last error, and the image description.
#include <gtest/gtest.h>

#include <utility>

#include "tests/support/JpegSegments.h"
#include "tests/support/TesselTest.h"

using namespace fixtures;

namespace {

ITesselEx* Extension(ITessel* image) {
  void* out = nullptr;
  if (image->QueryInterface(TSL_IID_ITesselEx, &out) != TSL_S_OK) return nullptr;
  return static_cast<ITesselEx*>(out);
}

TEST(Extension, BothInterfacesShareOneObjectAndOneCount) {
  ImagePtr image = NewImage();
  ITesselEx* ex = Extension(image.get());
  ASSERT_NE(ex, nullptr);
  EXPECT_EQ(image->AddRef(), 3u) << "QueryInterface adds one reference to the shared count";
  image->Release();
  void* back = nullptr;
  ASSERT_EQ(ex->QueryInterface(TSL_IID_ITessel, &back), TSL_S_OK);
  EXPECT_EQ(back, static_cast<void*>(image.get()));
  void* unknown = nullptr;
  ASSERT_EQ(ex->QueryInterface(TSL_IID_IUnknown, &unknown), TSL_S_OK);
  EXPECT_EQ(unknown, static_cast<void*>(image.get())) << "IUnknown is the same pointer everywhere";
  void* again = nullptr;
  ASSERT_EQ(ex->QueryInterface(TSL_IID_ITesselEx, &again), TSL_S_OK);
  EXPECT_EQ(again, static_cast<void*>(ex));
  EXPECT_EQ(ex->Release(), 4u);
  EXPECT_EQ(ex->Release(), 3u);
  EXPECT_EQ(ex->Release(), 2u);
  EXPECT_EQ(ex->Release(), 1u);
}

TEST(Extension, OptionsKeepTheirValuesWithinRange) {
  struct Case {
    int32_t option;
    int64_t good;
    int64_t bad;
  };
  const Case cases[] = {
      {TSL_OPTION_MAX_MEMORY, int64_t{3} << 30, -1},
      {TSL_OPTION_MAX_SCANS, 77, -5},
      {TSL_OPTION_MAX_MARKERS, 1000, -1},
      {TSL_OPTION_THREADS, 3, 100000},
      {TSL_OPTION_EXIF_THUMBNAIL, 1, 2},
      {TSL_OPTION_THUMBNAIL_ORIENT, 1, -1},
  };
  ImagePtr image = NewImage();
  ITesselEx* ex = Extension(image.get());
  ASSERT_NE(ex, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    EXPECT_EQ(ex->SetOption(c.option, c.good), TSL_S_OK);
    int64_t value = 0;
    ASSERT_EQ(ex->GetOption(c.option, &value), TSL_S_OK);
    EXPECT_EQ(value, c.good);
    EXPECT_EQ(ex->SetOption(c.option, c.bad), TSL_E_INVALIDARG);
    ASSERT_EQ(ex->GetOption(c.option, &value), TSL_S_OK);
    EXPECT_EQ(value, c.good) << "a refused value changes nothing";
    EXPECT_EQ(ex->GetLastError(), TSL_ERROR_INVALID_ARGUMENT);
    EXPECT_STRNE(ex->GetLastErrorText(), "");
  }
  int64_t value = 0;
  EXPECT_EQ(ex->SetOption(0, 1), TSL_E_INVALIDARG);
  EXPECT_EQ(ex->GetOption(9999, &value), TSL_E_INVALIDARG);
  EXPECT_EQ(ex->GetOption(TSL_OPTION_THREADS, nullptr), TSL_E_POINTER);
  ex->Release();
}

TEST(Extension, ANewObjectHasNoError) {
  ImagePtr image = NewImage();
  ITesselEx* ex = Extension(image.get());
  ASSERT_NE(ex, nullptr);
  EXPECT_EQ(ex->GetLastError(), TSL_ERROR_NONE);
  EXPECT_STREQ(ex->GetLastErrorText(), "");
  ex->Release();
}

// What GetImageInfo answers, or a failed test when it answers FALSE.
TesselImageInfo InfoOf(ITessel* image) {
  TesselImageInfo info{};
  ITesselEx* ex = Extension(image);
  EXPECT_NE(ex, nullptr);
  if (ex == nullptr) return info;
  EXPECT_TRUE(ex->GetImageInfo(&info)) << ex->GetLastErrorText();
  ex->Release();
  return info;
}

// The call's result and the error it leaves.
std::pair<TSL_BOOL, int32_t> InfoError(ITessel* image, TesselImageInfo* info) {
  ITesselEx* ex = Extension(image);
  const TSL_BOOL ok = ex->GetImageInfo(info);
  const int32_t error = ex->GetLastError();
  ex->Release();
  return {ok, error};
}

void ExpectSameInfo(const TesselImageInfo& a, const TesselImageInfo& b) {
  EXPECT_EQ(a.iWidth, b.iWidth);
  EXPECT_EQ(a.iHeight, b.iHeight);
  EXPECT_EQ(a.iColorSpace, b.iColorSpace);
  EXPECT_EQ(a.iComponents, b.iComponents);
  EXPECT_EQ(a.iMCUWidth, b.iMCUWidth);
  EXPECT_EQ(a.iMCUHeight, b.iMCUHeight);
  EXPECT_EQ(a.bProgressive, b.bProgressive);
  EXPECT_EQ(a.bArithmetic, b.bArithmetic);
  for (int c = 0; c < 4; ++c) {
    SCOPED_TRACE(c);
    const TesselComponentInfo &x = a.aComponents[c], &y = b.aComponents[c];
    EXPECT_EQ(x.iHSampling, y.iHSampling);
    EXPECT_EQ(x.iVSampling, y.iVSampling);
    EXPECT_EQ(x.iBlocksWide, y.iBlocksWide);
    EXPECT_EQ(x.iBlocksHigh, y.iBlocksHigh);
    EXPECT_EQ(x.iStoreOffset, y.iStoreOffset);
    EXPECT_TRUE(std::equal(std::begin(x.awQuant), std::end(x.awQuant), std::begin(y.awQuant)));
  }
}

// Values the described planes hold together.
int64_t PlaneValues(const TesselImageInfo& info) {
  int64_t total = 0;
  for (int c = 0; c < info.iComponents && c < 4; ++c) {
    total += int64_t{64} * info.aComponents[c].iBlocksWide * info.aComponents[c].iBlocksHigh;
  }
  return total;
}

Recipe Coded(Recipe recipe, bool progressive, bool arithmetic, int quality) {
  recipe.progressive = progressive;
  recipe.arithmetic = arithmetic;
  recipe.quality = quality;
  return recipe;
}

class ImageInfo : public ::testing::TestWithParam<Recipe> {};

// libjpeg's own reading of the stream is the oracle for the header values; the store itself
// checks the planes: each real block of each component, found through the described offset and
// row length, holds libjpeg's quantized values times the described quantizers.
TEST_P(ImageInfo, DescribesTheHeaderAndWhereEachPlaneLiesInTheStore) {
  const Bytes jpeg = Write(GetParam());
  Coefficients expected;
  ASSERT_TRUE(ReadCoefficients(jpeg, &expected));
  ImagePtr image = OpenBytes(jpeg);
  ASSERT_TRUE(image);
  const TesselImageInfo info = InfoOf(image.get());
  EXPECT_EQ(info.iWidth, expected.width);
  EXPECT_EQ(info.iHeight, expected.height);
  EXPECT_EQ(info.iColorSpace, expected.colourSpace);
  ASSERT_EQ(info.iComponents, static_cast<int32_t>(expected.components.size()));
  EXPECT_EQ(info.iMCUWidth, 8 * expected.maxH);
  EXPECT_EQ(info.iMCUHeight, 8 * expected.maxV);
  EXPECT_EQ(info.bProgressive, expected.progressive ? 1 : 0);
  EXPECT_EQ(info.bArithmetic, expected.arithmetic ? 1 : 0);
  const std::vector<int16_t> store = Store(image.get());
  int64_t next = 0;
  for (int c = 0; c < info.iComponents; ++c) {
    SCOPED_TRACE(c);
    const TesselComponentInfo& got = info.aComponents[c];
    const Component& want = expected.components[static_cast<size_t>(c)];
    EXPECT_EQ(got.iHSampling, want.h);
    EXPECT_EQ(got.iVSampling, want.v);
    EXPECT_EQ(std::vector<uint16_t>(std::begin(got.awQuant), std::end(got.awQuant)), want.quant);
    EXPECT_EQ(got.iStoreOffset, next) << "planes follow each other without gaps";
    ASSERT_GE(got.iBlocksWide, want.widthInBlocks);
    ASSERT_GE(got.iBlocksHigh, want.heightInBlocks);
    next += int64_t{64} * got.iBlocksWide * got.iBlocksHigh;
    ASSERT_LE(next, static_cast<int64_t>(store.size()));
    for (int r = 0; r < want.heightInBlocks; ++r) {
      for (int x = 0; x < want.widthInBlocks; ++x) {
        const int16_t* in = &want.coefficients[(size_t{1} * r * want.widthInBlocks + x) * 64];
        const int64_t at = got.iStoreOffset + (int64_t{r} * got.iBlocksWide + x) * 64;
        for (int k = 0; k < 64; ++k) {
          ASSERT_EQ(store[static_cast<size_t>(at + k)], in[k] * got.awQuant[k])
              << "block " << x << "," << r << " value " << k;
        }
      }
    }
  }
  EXPECT_EQ(next, static_cast<int64_t>(store.size())) << "the planes fill the store";
}

// The header decompressor goes with a header-only open; the description must not.
TEST_P(ImageInfo, HeaderOnlyOpenDescribesWhatAFullOpenDoes) {
  const Bytes jpeg = Write(GetParam());
  ImagePtr full = OpenBytes(jpeg);
  ImagePtr header = OpenBytes(jpeg, true);
  ASSERT_TRUE(full && header);
  ExpectSameInfo(InfoOf(header.get()), InfoOf(full.get()));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ImageInfo,
    ::testing::Values(Make(17, 9, "420"), Coded(Make(37, 23, "422"), true, false, 90),
                      Coded(Make(19, 11, "gray", Space::kGray), false, true, 30),
                      Coded(Make(45, 17, "411"), true, true, 75), Make(24, 16, "", Space::kCMYK)),
    [](const ::testing::TestParamInfo<Recipe>& info) { return info.param.Name(); });

// Edits change the header decompressor; the description follows: a quarter turn swaps the
// size, the sampling factors and each quantization table's rows and columns, and dropping the
// colour leaves one component.
TEST(ImageInfoAfterEdits, FollowsTurnsAndGrayscale) {
  ImagePtr image = OpenBytes(Write(Make(32, 16, "422")));
  ASSERT_TRUE(image);
  const TesselImageInfo before = InfoOf(image.get());
  ASSERT_TRUE(image->RotateRight(0));
  const TesselImageInfo turned = InfoOf(image.get());
  EXPECT_EQ(turned.iWidth, 16);
  EXPECT_EQ(turned.iHeight, 32);
  EXPECT_EQ(turned.iMCUWidth, before.iMCUHeight);
  EXPECT_EQ(turned.iMCUHeight, before.iMCUWidth);
  for (int c = 0; c < before.iComponents; ++c) {
    const TesselComponentInfo &was = before.aComponents[c], &now = turned.aComponents[c];
    EXPECT_EQ(now.iHSampling, was.iVSampling);
    EXPECT_EQ(now.iVSampling, was.iHSampling);
    for (int k = 0; k < 64; ++k) EXPECT_EQ(now.awQuant[k], was.awQuant[(k % 8) * 8 + k / 8]);
  }
  EXPECT_EQ(PlaneValues(turned), static_cast<int64_t>(Store(image.get()).size()));
  ASSERT_TRUE(image->Grayscale());
  const TesselImageInfo gray = InfoOf(image.get());
  EXPECT_EQ(gray.iComponents, 1);
  EXPECT_EQ(gray.iColorSpace, JCS_GRAYSCALE);
  EXPECT_EQ(PlaneValues(gray), static_cast<int64_t>(Store(image.get()).size()));
}

// Nothing open answers FALSE with TSL_ERROR_NOT_OPEN: a new object, after Close of either kind
// of open, and after a failed open that followed a good one. A null pointer is an argument
// error.
TEST(ImageInfoRefusals, NothingOpenOrNoPlaceForTheAnswer) {
  const Bytes jpeg = Write(Make(16, 16, "420"));
  const Bytes junk = {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'};
  ImagePtr image = NewImage();
  TesselImageInfo info{};
  EXPECT_EQ(InfoError(image.get(), &info), std::make_pair(TSL_BOOL{0}, TSL_ERROR_NOT_OPEN));
  for (const TSL_BOOL headerOnly : {0, 1}) {
    SCOPED_TRACE(headerOnly);
    ASSERT_TRUE(image->OpenFromMemory(jpeg.data(), static_cast<int32_t>(jpeg.size()), headerOnly));
    EXPECT_EQ(InfoError(image.get(), nullptr),
              std::make_pair(TSL_BOOL{0}, TSL_ERROR_INVALID_ARGUMENT));
    image->Close();
    EXPECT_EQ(InfoError(image.get(), &info), std::make_pair(TSL_BOOL{0}, TSL_ERROR_NOT_OPEN));
    ASSERT_TRUE(image->OpenFromMemory(jpeg.data(), static_cast<int32_t>(jpeg.size()), headerOnly));
    EXPECT_FALSE(image->OpenFromMemory(junk.data(), static_cast<int32_t>(junk.size()), 1));
    EXPECT_EQ(InfoError(image.get(), &info), std::make_pair(TSL_BOOL{0}, TSL_ERROR_NOT_OPEN));
  }
}

// A header-only open takes a frame whose store could never be made (65500x65500 in three
// full-resolution components is about 12.9 billion values); its planes are still described,
// with offsets beyond 32 bits.
TEST(ImageInfoHeaderOnly, DescribesPlanesNoStoreCouldHold) {
  Bytes jpeg = Write(Make(16, 16, "444"));
  ASSERT_TRUE(SetFrameSize(&jpeg, 65500, 65500));
  ImagePtr image = OpenBytes(jpeg, true);
  ASSERT_TRUE(image);
  const TesselImageInfo info = InfoOf(image.get());
  const int64_t plane = int64_t{64} * 8188 * 8188;
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(info.aComponents[c].iBlocksWide, 8188);
    EXPECT_EQ(info.aComponents[c].iBlocksHigh, 8188);
    EXPECT_EQ(info.aComponents[c].iStoreOffset, c * plane);
  }
}

}  // namespace
