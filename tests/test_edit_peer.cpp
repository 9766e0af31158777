// SPDX-License-Identifier: MIT
// Flips, rotations, crops and grayscale against jpegtran: for every sampling and for sizes that
// are and are not whole MCUs, the store after the edit holds exactly the coefficients jpegtran
// writes for the same edit, and the saved result decodes to jpegtran's pixels.
#include <gtest/gtest.h>

#include <functional>

#include "tests/support/ActionTest.h"

using namespace fixtures;

namespace {

// One edit: how the library is asked, and the jpegtran switches for the same result.
struct Step {
  std::string name;
  std::function<TSL_BOOL(ITessel*)> run;
  std::function<std::string(int width, int height)> peerArgs;
};

Step Fixed(std::string name, std::function<TSL_BOOL(ITessel*)> run, std::string args) {
  return Step{std::move(name), std::move(run), [args](int, int) { return args; }};
}

// A crop whose rectangle is a function of the current size; jpegtran gets the same pixels.
Step CropOf(std::string name, std::function<std::array<int, 4>(int, int)> rect) {
  return Step{name,
              [rect](ITessel* image) {
                const auto [l, t, r, b] = rect(image->GetWidth(), image->GetHeight());
                return image->Crop(l, t, r, b);
              },
              [rect](int w, int h) {
                const auto [l, t, r, b] = rect(w, h);
                return "-crop " + std::to_string(r - l) + "x" + std::to_string(b - t) + "+" +
                       std::to_string(l) + "+" + std::to_string(t);
              }};
}

const Step kFlipH = Fixed(
    "FlipH", [](ITessel* i) { return i->FlipH(0); }, "-flip horizontal -trim");
const Step kFlipV = Fixed(
    "FlipV", [](ITessel* i) { return i->FlipV(0); }, "-flip vertical -trim");
const Step kRotR = Fixed(
    "RotateRight", [](ITessel* i) { return i->RotateRight(0); }, "-rotate 90 -trim");
const Step kRotL = Fixed(
    "RotateLeft", [](ITessel* i) { return i->RotateLeft(0); }, "-rotate 270 -trim");
const Step kGray = Fixed(
    "Grayscale", [](ITessel* i) { return i->Grayscale(); }, "-grayscale");
const Step kCropInner = CropOf("CropInner", [](int w, int h) {
  return std::array<int, 4>{9, 5, w - 3, h - 2};
});
const Step kCropSmall = CropOf("CropSmall", [](int w, int h) {
  return std::array<int, 4>{w / 3, h / 3, w / 3 + 10, h / 3 + 7};
});
const Step kCropCorner = CropOf("CropCorner", [](int w, int h) {
  return std::array<int, 4>{0, 0, w / 2 + 1, h / 2 + 1};
});

struct Case {
  Recipe recipe;
  std::vector<Step> steps;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.recipe.Name(); }

std::vector<Case> Cases() {
  const std::vector<std::vector<Step>> sequences = {
      {kFlipH},
      {kFlipV},
      {kRotR},
      {kRotL},
      {kCropInner},
      {kCropSmall},
      {kCropCorner},
      {kGray},
      {kRotR, kRotR},
      {kFlipH, kRotL},
      {kRotR, kCropInner, kFlipV},
      {kCropInner, kRotL},
      {kGray, kRotR},
  };
  const std::vector<std::pair<int, int>> sizes = {{64, 32}, {37, 23}, {50, 41}};
  std::vector<Case> cases;
  for (const std::string sampling : {"444", "422", "440", "420", "411", "gray"}) {
    for (const auto& [w, h] : sizes) {
      Recipe recipe = sampling == "gray" ? Make(w, h, "gray", Space::kGray) : Make(w, h, sampling);
      for (const auto& steps : sequences) {
        if (sampling == "gray" && steps.front().name == "Grayscale") continue;
        cases.push_back(Case{recipe, steps});
      }
    }
  }
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string name = info.param.recipe.Name();
  for (const Step& step : info.param.steps) name += "_" + step.name;
  std::string clean;
  for (char ch : name) clean += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return clean + "_" + std::to_string(info.index);
}

class EditPeer : public ::testing::TestWithParam<Case> {};

TEST_P(EditPeer, StoreEqualsJpegtranResult) {
  if (!HaveJpegtran()) GTEST_SKIP() << "jpegtran is not installed";
  const Case& c = GetParam();
  Bytes peer = Write(c.recipe);
  ImagePtr image = OpenBytes(peer);
  ASSERT_TRUE(image);
  for (const Step& step : c.steps) {
    const std::string args = step.peerArgs(image->GetWidth(), image->GetHeight());
    ASSERT_TRUE(step.run(image.get())) << step.name;
    peer = Jpegtran(peer, args);
    ASSERT_FALSE(peer.empty()) << "jpegtran " << args;
  }
  ExpectSameAsPeer(image.get(), peer);
  // Saved, both decode to the same pixels.
  const int32_t size = image->GetFileSize();
  ASSERT_GT(size, 0);
  Bytes ours(static_cast<size_t>(size));
  ASSERT_TRUE(image->SaveToMemory(ours.data(), size));
  const J_COLOR_SPACE space = image->IsGrayscale() ? JCS_GRAYSCALE : JCS_RGB;
  Decoded mine, theirs;
  ASSERT_TRUE(Decode(ours, space, JDCT_ISLOW, false, &mine));
  ASSERT_TRUE(Decode(peer, space, JDCT_ISLOW, false, &theirs));
  EXPECT_EQ(mine.width, theirs.width);
  EXPECT_EQ(mine.height, theirs.height);
  EXPECT_TRUE(mine.pixels == theirs.pixels) << "decoded pixels differ";
}

INSTANTIATE_TEST_SUITE_P(Samplings, EditPeer, ::testing::ValuesIn(Cases()), CaseName);

}  // namespace
