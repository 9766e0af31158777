// SPDX-License-Identifier: MIT
// Opening: the store read from every fixture kind and from the corpus, header-only opens, and
// the image object's small queries.
#include <gtest/gtest.h>

#include "image/CoefficientLoader.h"
#include "image/DllImage.h"
#include "tests/support/TesselTest.h"

using namespace fixtures;

namespace {

class StandardKind : public ::testing::TestWithParam<Recipe> {};

TEST_P(StandardKind, StoreEqualsQuantizedCoefficientsTimesQuantizers) {
  const Bytes jpeg = Write(GetParam());
  Coefficients expected;
  ASSERT_TRUE(ReadCoefficients(jpeg, &expected));
  ImagePtr image = OpenBytes(jpeg);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->GetWidth(), expected.width);
  EXPECT_EQ(image->GetHeight(), expected.height);
  EXPECT_EQ(image->GetMCUWidth(), 8 * expected.maxH);
  EXPECT_EQ(image->GetMCUHeight(), 8 * expected.maxV);
  EXPECT_EQ(Store(image.get()), ExpectedStore(expected));
}

TEST_P(StandardKind, OpenFromFileGivesTheSameStoreAsFromMemory) {
  const Bytes jpeg = Write(GetParam());
  TempDir dir;
  WriteFile(dir / "a.jpg", jpeg);
  ImagePtr fromFile = NewImage();
  ASSERT_TRUE(fromFile->Open(U16(dir / "a.jpg").c_str(), 0));
  ImagePtr fromMemory = OpenBytes(jpeg);
  ASSERT_TRUE(fromMemory);
  EXPECT_EQ(Store(fromFile.get()), Store(fromMemory.get()));
}

// The library decodes straight into the lent store; copying its own arrays instead must give
// the identical store.
TEST_P(StandardKind, LentStoreEqualsCopiedStore) {
  const Bytes jpeg = Write(GetParam());
  ImagePtr image = OpenBytes(jpeg);
  ASSERT_TRUE(image);
  const jpeg_decompress_struct& header =
      *static_cast<CDllImage*>(image.get())->HeaderDecompressor();
  const JpegInput input{nullptr, jpeg.data(), static_cast<int32_t>(jpeg.size())};
  CoefficientArray lent, copied;
  int32_t lentCount = 0, copiedCount = 0;
  ASSERT_TRUE(LoadCoefficients(header, input, &lent, &lentCount, true));
  ASSERT_TRUE(LoadCoefficients(header, input, &copied, &copiedCount, false));
  ASSERT_EQ(lentCount, copiedCount);
  EXPECT_EQ(std::vector<int16_t>(lent.get(), lent.get() + lentCount),
            std::vector<int16_t>(copied.get(), copied.get() + copiedCount));
  EXPECT_EQ(std::vector<int16_t>(lent.get(), lent.get() + lentCount), Store(image.get()));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, StandardKind, ::testing::ValuesIn(StandardKinds()),
                         [](const auto& info) { return info.param.Name(); });

TEST(Open, SeventeenByNineFourTwoZeroLayout) {
  ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
  ASSERT_TRUE(image);
  int16_t* values = nullptr;
  int32_t count = 0;
  image->GetCoefficients(&values, &count);
  EXPECT_NE(values, nullptr);
  EXPECT_EQ(count, 768);
  EXPECT_EQ(image->GetMCUWidth(), 16);
  EXPECT_EQ(image->GetMCUHeight(), 16);
}

}  // namespace
