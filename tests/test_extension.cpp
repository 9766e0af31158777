// SPDX-License-Identifier: MIT
// ITesselEx, the extension interface: reached through QueryInterface from either side, one
// reference count, options with their ranges, and the last error.
#include <gtest/gtest.h>

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

}  // namespace
