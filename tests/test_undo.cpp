// SPDX-License-Identifier: MIT
// Undo: every edit and random sequences of edits undone step by step give back the image bit for
// bit; undo records are read back exactly as written; stores that are missing, fail or change;
// and the host's ready-made MemoryUndoStore.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "tests/support/ActionTest.h"

using namespace fixtures;

namespace {

std::vector<Recipe> UndoFixtures() {
  std::vector<Recipe> recipes = {Make(17, 9, "420"),
                                 Make(64, 32, "420"),
                                 Make(37, 11, "411"),
                                 Make(33, 17, "422"),
                                 Make(17, 33, "440"),
                                 Make(17, 9, "444"),
                                 Make(33, 17, "gray", Space::kGray),
                                 Make(19, 11, "", Space::kCMYK)};
  Recipe progressive = Make(40, 30, "420");
  progressive.progressive = true;
  recipes.push_back(progressive);
  return recipes;
}

class EveryEdit : public ::testing::TestWithParam<Recipe> {};

// Each edit followed by Undo gives back the store, size, factors, block counts and tables, and
// the undo reads exactly the byte counts the edit wrote, in the same order.
TEST_P(EveryEdit, UndoRestoresEverythingAndReadsWhatWasWritten) {
  const Bytes jpeg = Write(GetParam());
  for (const NamedEdit& edit : AllEdits()) {
    SCOPED_TRACE(edit.name);
    ImagePtr image = OpenBytes(jpeg);
    ASSERT_TRUE(image);
    LoggingStore store;
    image->SetUndoStore(&store);
    const ImageState before = Capture(image.get());
    store.memory.BeginEdit();
    const TSL_BOOL ok = edit.run(image.get());
    store.memory.EndEdit(ok != 0);
    if (!ok) {
      // Only refusals the edits document: colour edits on other colour spaces, trims of an
      // image smaller than one MCU.
      EXPECT_EQ(Capture(image.get()), before);
      EXPECT_EQ(store.memory.Records(), 0u);
      continue;
    }
    EXPECT_EQ(store.memory.Records(), 1u);
    const std::vector<uint32_t> writes = store.Sizes(true);
    ASSERT_TRUE(image->Undo());
    store.memory.EndUndo(true);
    EXPECT_EQ(store.Sizes(false), writes);
    for (const auto& call : store.calls) EXPECT_TRUE(call.ok);
    const ImageState after = Capture(image.get());
    EXPECT_EQ(after, before) << Describe(after) << " vs " << Describe(before);
    EXPECT_FALSE(image->Undo());
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, EveryEdit, ::testing::ValuesIn(UndoFixtures()),
                         [](const auto& info) { return info.param.Name(); });

TEST(RandomSequences, UndoneStepByStepRestoreEveryEarlierState) {
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    std::mt19937 rng(seed);
    const auto pick = [&](int lo, int hi) {
      return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    const Recipe recipe = RandomRecipe(rng, seed);
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " " << recipe.Name());
    ImagePtr image = OpenBytes(Write(recipe));
    ASSERT_TRUE(image);
    LoggingStore store;
    image->SetUndoStore(&store);
    std::vector<ImageState> history = {Capture(image.get())};
    std::vector<std::vector<uint32_t>> records;
    const int edits = pick(1, 20);
    std::string done;  // the edits that succeeded, for failure messages
    for (int n = 0; n < edits; ++n) {
      const size_t mark = store.calls.size();
      const NamedEdit edit = RandomEdit(rng);
      store.memory.BeginEdit();
      const TSL_BOOL ok = edit.run(image.get());
      store.memory.EndEdit(ok != 0);
      if (!ok) {
        EXPECT_EQ(Capture(image.get()), history.back());
        continue;
      }
      std::vector<uint32_t> sizes;
      for (size_t k = mark; k < store.calls.size(); ++k) sizes.push_back(store.calls[k].size);
      records.push_back(sizes);
      history.push_back(Capture(image.get()));
      done += " " + edit.name;
    }
    while (history.size() > 1) {
      history.pop_back();
      const size_t mark = store.calls.size();
      ASSERT_TRUE(image->Undo());
      store.memory.EndUndo(true);
      std::vector<uint32_t> reads;
      for (size_t k = mark; k < store.calls.size(); ++k) {
        EXPECT_FALSE(store.calls[k].write);
        EXPECT_TRUE(store.calls[k].ok);
        reads.push_back(store.calls[k].size);
      }
      EXPECT_EQ(reads, records.back());
      records.pop_back();
      const ImageState now = Capture(image.get());
      ASSERT_EQ(now, history.back())
          << "edits:" << done << "; after undo to step " << history.size() - 1 << ": "
          << Describe(now) << " vs " << Describe(history.back());
    }
    EXPECT_FALSE(image->Undo());
    EXPECT_EQ(store.memory.Records(), 0u);
  }
}

TEST(UndoFramework, NoImageRefusesEveryEditAndWritesNothing) {
  for (const bool closed : {false, true}) {
    ImagePtr image = closed ? OpenBytes(Write(Make(17, 9, "420"))) : NewImage();
    ASSERT_TRUE(image);
    if (closed) image->Close();
    LoggingStore store;
    image->SetUndoStore(&store);
    for (const NamedEdit& edit : AllEdits()) EXPECT_FALSE(edit.run(image.get())) << edit.name;
    EXPECT_TRUE(store.calls.empty());
    EXPECT_FALSE(image->Undo());
  }
}

TEST(UndoFramework, WithoutStoreEditsApplyAndUndoDropsThemWithoutChange) {
  ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
  ASSERT_TRUE(image);
  const ImageState original = Capture(image.get());
  ASSERT_TRUE(image->FlipH(0));
  ASSERT_TRUE(image->Levels(10, 0, 0));
  const ImageState edited = Capture(image.get());
  EXPECT_NE(edited, original);
  EXPECT_TRUE(image->Undo());
  EXPECT_EQ(Capture(image.get()), edited);
  EXPECT_TRUE(image->Undo());
  EXPECT_EQ(Capture(image.get()), edited);
  EXPECT_FALSE(image->Undo());
}

TEST(UndoFramework, FlipAndRotationUndoneTwiceGiveBackTheOpenedImage) {
  ImagePtr image = OpenBytes(Write(Make(37, 23, "422")));
  ASSERT_TRUE(image);
  tessel::MemoryUndoStore store;
  image->SetUndoStore(&store);
  const ImageState original = Capture(image.get());
  for (const Edit& edit : std::vector<Edit>{[](ITessel* i) { return i->FlipV(0); },
                                            [](ITessel* i) { return i->RotateRight(0); }}) {
    store.BeginEdit();
    store.EndEdit(edit(image.get()) != 0);
  }
  for (int n = 0; n < 2; ++n) {
    EXPECT_TRUE(image->Undo());
    store.EndUndo(true);
  }
  EXPECT_EQ(Capture(image.get()), original);
  EXPECT_FALSE(image->Undo());
}

TEST(UndoFramework, EditThatWritesNothingIsUndoneWithoutReading) {
  ImagePtr image = OpenBytes(Write(Make(64, 32, "420")));
  ASSERT_TRUE(image);
  LoggingStore store;
  image->SetUndoStore(&store);
  const ImageState original = Capture(image.get());
  store.memory.BeginEdit();
  ASSERT_TRUE(image->FlipH(0));
  store.memory.EndEdit(true);
  EXPECT_TRUE(store.calls.empty());
  EXPECT_EQ(store.memory.Records(), 1u);
  EXPECT_TRUE(image->Undo());
  store.memory.EndUndo(true);
  EXPECT_TRUE(store.calls.empty());
  EXPECT_EQ(Capture(image.get()), original);
}

// Each action reads from the store it ran with, whatever store is set later.
TEST(UndoFramework, ChangingTheStoreBetweenEdits) {
  ImagePtr image = OpenBytes(Write(Make(17, 25, "420")));
  ASSERT_TRUE(image);
  LoggingStore first, second;
  const ImageState original = Capture(image.get());
  image->SetUndoStore(&first);
  first.memory.BeginEdit();
  first.memory.EndEdit(image->FlipH(0) != 0);
  const ImageState afterFirst = Capture(image.get());
  image->SetUndoStore(&second);
  second.memory.BeginEdit();
  second.memory.EndEdit(image->FlipV(0) != 0);
  ASSERT_FALSE(first.Sizes(true).empty());
  ASSERT_FALSE(second.Sizes(true).empty());

  EXPECT_TRUE(image->Undo());
  second.memory.EndUndo(true);
  EXPECT_EQ(second.Sizes(false), second.Sizes(true));
  EXPECT_TRUE(first.Sizes(false).empty());
  EXPECT_EQ(Capture(image.get()), afterFirst);
  EXPECT_TRUE(image->Undo());
  first.memory.EndUndo(true);
  EXPECT_EQ(first.Sizes(false), first.Sizes(true));
  EXPECT_EQ(Capture(image.get()), original);
}

TEST(UndoFramework, CloseAndReopenDiscardHistory) {
  const Bytes jpeg = Write(Make(17, 9, "420"));
  ImagePtr image = OpenBytes(jpeg);
  ASSERT_TRUE(image);
  LoggingStore store;
  image->SetUndoStore(&store);
  store.memory.BeginEdit();
  store.memory.EndEdit(image->RotateLeft(0) != 0);
  image->Close();
  store.memory.Clear();
  EXPECT_FALSE(image->Undo());
  ASSERT_TRUE(image->OpenFromMemory(jpeg.data(), static_cast<int32_t>(jpeg.size()), 0));
  EXPECT_FALSE(image->Undo());
  EXPECT_TRUE(store.Sizes(false).empty());
}

// A store that cannot give its bytes back: Undo still succeeds and drops the action, the image
// gets its geometry back, and what could not be read is zero rather than left over.
TEST(UndoFramework, FailingReadsUndoWithZerosWhereBytesAreMissing) {
  const Recipe recipe = Make(17, 25, "420");
  const std::vector<NamedEdit> edits = {
      {"FlipH", [](ITessel* i) { return i->FlipH(0); }},
      {"RotateRight", [](ITessel* i) { return i->RotateRight(0); }},
      {"Crop", [](ITessel* i) { return i->Crop(0, 0, 8, 8); }},
      {"Grayscale", [](ITessel* i) { return i->Grayscale(); }},
  };
  for (const NamedEdit& edit : edits) {
    SCOPED_TRACE(edit.name);
    ImagePtr image = OpenBytes(Write(recipe));
    ASSERT_TRUE(image);
    LoggingStore store;
    image->SetUndoStore(&store);
    const ImageState original = Capture(image.get());
    store.memory.BeginEdit();
    ASSERT_TRUE(edit.run(image.get()));
    store.memory.EndEdit(true);
    store.failReads = true;
    EXPECT_TRUE(image->Undo());
    EXPECT_FALSE(image->Undo());
    const ImageState after = Capture(image.get());
    // Geometry and header back; each coefficient is either the original or zero, and the 0x5A
    // pattern the failing store scribbled never shows.
    ImageState geometryOnly = after;
    geometryOnly.store = original.store;
    EXPECT_EQ(geometryOnly, original);
    ASSERT_EQ(after.store.size(), original.store.size());
    size_t zeroed = 0;
    for (size_t k = 0; k < after.store.size(); ++k) {
      if (after.store[k] == original.store[k]) continue;
      EXPECT_EQ(after.store[k], 0) << "value " << k;
      ++zeroed;
    }
    EXPECT_GT(zeroed, 0u);
  }
}

TEST(UndoFramework, FailingWritesStopTheRectangleButNotTheEdit) {
  ImagePtr image = OpenBytes(Write(Make(17, 9, "420")));
  ASSERT_TRUE(image);
  LoggingStore store;
  store.failWrites = true;
  image->SetUndoStore(&store);
  store.memory.BeginEdit();
  EXPECT_TRUE(image->FlipH(0));
  store.memory.EndEdit(true);
  ASSERT_EQ(store.calls.size(), 1u);  // the first run failed; no further run was offered
  EXPECT_EQ(image->GetWidth(), 16);
  EXPECT_TRUE(image->Undo());
  EXPECT_EQ(image->GetWidth(), 17);
}

TEST(MemoryUndoStore, RecordsAreLastInFirstOutAndBytesFirstInFirstOut) {
  tessel::MemoryUndoStore store;
  const auto write = [&](const std::string& text) {
    return store.Write(text.data(), static_cast<uint32_t>(text.size()));
  };
  const auto read = [&](size_t size) {
    std::string text(size, '?');
    return store.Read(text.data(), static_cast<uint32_t>(size)) ? text : std::string("FAILED");
  };
  EXPECT_FALSE(write("outside an edit"));
  store.BeginEdit();
  EXPECT_TRUE(write("abc"));
  EXPECT_TRUE(write("defg"));
  store.EndEdit(true);
  store.BeginEdit();
  EXPECT_TRUE(write("lost"));
  store.EndEdit(false);  // a failed edit leaves no record
  store.BeginEdit();
  store.EndEdit(true);  // an empty record still counts
  store.BeginEdit();
  EXPECT_TRUE(write("xy"));
  store.EndEdit(true);
  EXPECT_EQ(store.Records(), 3u);
  EXPECT_EQ(store.Bytes(), 9u);

  EXPECT_EQ(read(3), "FAILED");  // more than the newest record holds
  EXPECT_EQ(read(1), "x");
  store.EndUndo(false);  // Undo failed: the record stays and is read from its start again
  EXPECT_EQ(read(2), "xy");
  store.EndUndo(true);
  EXPECT_EQ(read(1), "FAILED");  // the empty record
  store.EndUndo(true);
  EXPECT_EQ(read(2), "ab");  // reads may split and join writes
  EXPECT_EQ(read(4), "cdef");
  EXPECT_EQ(read(1), "g");
  EXPECT_EQ(read(1), "FAILED");
  store.EndUndo(true);
  EXPECT_EQ(store.Records(), 0u);
  store.BeginEdit();
  EXPECT_TRUE(write("z"));
  store.Clear();
  EXPECT_EQ(store.Records(), 0u);
  EXPECT_FALSE(write("after clear"));
}

}  // namespace
