// SPDX-License-Identifier: MIT
// Opening the shared corpus of real files: every readable file gives the store libjpeg reads,
// and broken files either open or fail cleanly.
#include <gtest/gtest.h>

#include "tests/support/TesselTest.h"

using namespace fixtures;

namespace {

TEST(Corpus, StoreEqualsLibjpegForEveryReadableFile) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "../shared/corpus is absent";
  int compared = 0;
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    const Bytes jpeg = ReadFile(file);
    Coefficients expected;
    const bool readable = ReadCoefficients(jpeg, &expected);
    ImagePtr fromMemory = OpenBytes(jpeg);
    ImagePtr fromFile = NewImage();
    const bool opened = fromFile->Open(U16(file).c_str(), 0);
    EXPECT_EQ(opened, fromMemory != nullptr);
    if (!readable) {
      EXPECT_FALSE(opened) << "libjpeg cannot read it, so neither should the library";
      continue;
    }
    ASSERT_TRUE(opened);
    const std::vector<int16_t> store = Store(fromFile.get());
    EXPECT_EQ(store, ExpectedStore(expected));
    EXPECT_EQ(store, Store(fromMemory.get()));
    ++compared;
  }
  EXPECT_GT(compared, 0);
}

TEST(Corpus, BrokenFilesOpenOrFailCleanly) {
  const auto files = CorpusFiles("invalid");
  if (files.empty()) GTEST_SKIP() << "../shared/corpus/invalid is absent";
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    for (int headerOnly = 0; headerOnly < 2; ++headerOnly) {
      ImagePtr image = NewImage();
      const bool opened = image->Open(U16(file).c_str(), headerOnly);
      EXPECT_EQ(image->IsOpen() != 0, opened && headerOnly == 0);
    }
  }
}

TEST(Corpus, TwelveBitFileIsRefused) {
  const auto dir = CorpusDir();
  if (dir.empty() || !std::filesystem::exists(dir / "libjpeg" / "monkey12.jpg")) {
    GTEST_SKIP() << "the 12-bit corpus file is absent";
  }
  ImagePtr image = NewImage();
  EXPECT_FALSE(image->Open(U16(dir / "libjpeg" / "monkey12.jpg").c_str(), 0));
  EXPECT_FALSE(image->IsOpen());
  EXPECT_EQ(image->GetWidth(), 0);
}

}  // namespace
