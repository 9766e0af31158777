// SPDX-License-Identifier: MIT
// Edits on the real-file corpus: each readable file turned, mirrored, cropped and made gray
// equals jpegtran's result, and every edit undoes to the opened image. Skips without the corpus.
#include <gtest/gtest.h>

#include <functional>

#include "tests/support/ActionTest.h"

using namespace fixtures;

namespace {

struct CorpusEdit {
  const char* name;
  std::function<TSL_BOOL(ITessel*)> run;
  std::function<std::string(int, int)> peerArgs;
};

std::vector<CorpusEdit> Edits() {
  return {
      {"RotateRight", [](ITessel* i) { return i->RotateRight(0); },
       [](int, int) { return std::string("-rotate 90 -trim"); }},
      {"FlipH", [](ITessel* i) { return i->FlipH(0); },
       [](int, int) { return std::string("-flip horizontal -trim"); }},
      {"Crop", [](ITessel* i) { return i->Crop(17, 9, i->GetWidth() - 5, i->GetHeight() - 3); },
       [](int w, int h) {
         return "-crop " + std::to_string(w - 22) + "x" + std::to_string(h - 12) + "+17+9";
       }},
      {"Grayscale", [](ITessel* i) { return i->Grayscale(); },
       [](int, int) { return std::string("-grayscale"); }},
  };
}

TEST(EditCorpus, EditsEqualJpegtranAndUndoToTheOpenedImage) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "the corpus is not available";
  if (!HaveJpegtran()) GTEST_SKIP() << "jpegtran is not installed";
  int compared = 0;
  for (const auto& path : files) {
    if (path.string().find("/invalid/") != std::string::npos) continue;
    const Bytes jpeg = ReadFile(path);
    ImagePtr image = OpenBytes(jpeg);
    if (!image) continue;  // files the reader refuses are covered by the opening tests
    SCOPED_TRACE(path.string());
    tessel::MemoryUndoStore store;
    image->SetUndoStore(&store);
    const ImageState opened = Capture(image.get());
    for (const CorpusEdit& edit : Edits()) {
      SCOPED_TRACE(edit.name);
      const std::string args = edit.peerArgs(image->GetWidth(), image->GetHeight());
      store.BeginEdit();
      const TSL_BOOL ok = edit.run(image.get());
      store.EndEdit(ok != 0);
      if (!ok) {
        EXPECT_EQ(Capture(image.get()), opened);
        continue;
      }
      const Bytes peer = Jpegtran(jpeg, args);
      if (!peer.empty()) {
        ExpectSameAsPeer(image.get(), peer);
        ++compared;
      }
      ASSERT_TRUE(image->Undo());
      store.EndUndo(true);
      EXPECT_EQ(Capture(image.get()), opened);
    }
  }
  EXPECT_GT(compared, 0);
}

}  // namespace
