// SPDX-License-Identifier: MIT
// ITesselEx::GetPixels against GetBitmap in both pixel orders, and ReconstructWithContext
// against Reconstruct: the host's context on every progress call, stops, nesting and undo.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "tests/support/TesselTest.h"

using namespace fixtures;

namespace {

struct ExReleaser {
  void operator()(ITesselEx* ex) const {
    if (ex != nullptr) ex->Release();
  }
};
using ExPtr = std::unique_ptr<ITesselEx, ExReleaser>;

ExPtr Extension(ITessel* image) {
  void* out = nullptr;
  if (image->QueryInterface(TSL_IID_ITesselEx, &out) != TSL_S_OK) return ExPtr();
  return ExPtr(static_cast<ITesselEx*>(out));
}

int32_t RoundUp(int32_t value, int32_t multiple) {
  return (value + multiple - 1) / multiple * multiple;
}

// A bitmap with room around every row, so that writes outside the pixels show.
struct Canvas {
  static constexpr uint8_t kFill = 0xA5;
  static constexpr int32_t kPadding = 5;
  int32_t width, height, stride;
  std::vector<uint8_t> bytes;
  Canvas(int32_t w, int32_t h)
      : width(w), height(h), stride(3 * w + kPadding), bytes(size_t(stride) * h, kFill) {}
  // Row 0 for a top-down (positive) or bottom-up (negative) stride.
  uint8_t* Row0(bool bottomUp) {
    return bottomUp ? &bytes[size_t(stride) * (height - 1)] : &bytes[0];
  }
  // Pixel (x, y) of the image, whichever way up it was written.
  const uint8_t* Pixel(bool bottomUp, int32_t x, int32_t y) const {
    const int32_t row = bottomUp ? height - 1 - y : y;
    return &bytes[size_t(stride) * row + 3 * size_t(x)];
  }
  bool PaddingUntouched() const {
    for (int32_t row = 0; row < height; ++row) {
      for (int32_t i = 3 * width; i < stride; ++i) {
        if (bytes[size_t(stride) * row + i] != kFill) return false;
      }
    }
    return true;
  }
};

TEST(GetPixels, BothOrdersMatchGetBitmapOnEveryKind) {
  for (const Recipe& recipe : StandardKinds()) {
    ImagePtr image = OpenBytes(Write(recipe));
    ASSERT_TRUE(image) << recipe.Name();
    ExPtr ex = Extension(image.get());
    for (const bool fullMCU : {false, true}) {
      for (const bool bottomUp : {false, true}) {
        SCOPED_TRACE(recipe.Name() + (fullMCU ? " full MCU" : "") + (bottomUp ? " bottom-up" : ""));
        int32_t width = image->GetWidth(), height = image->GetHeight();
        if (fullMCU) {
          width = RoundUp(width, image->GetMCUWidth());
          height = RoundUp(height, image->GetMCUHeight());
        }
        Canvas bitmap(width, height), bgr(width, height), rgb(width, height);
        const int32_t stride = bottomUp ? -bitmap.stride : bitmap.stride;
        ASSERT_TRUE(image->GetBitmap(bitmap.Row0(bottomUp), stride, fullMCU));
        ASSERT_TRUE(ex->GetPixels(bgr.Row0(bottomUp), stride, fullMCU, TSL_PIXELS_BGR));
        ASSERT_TRUE(ex->GetPixels(rgb.Row0(bottomUp), stride, fullMCU, TSL_PIXELS_RGB));
        EXPECT_EQ(bgr.bytes, bitmap.bytes);
        EXPECT_TRUE(rgb.PaddingUntouched());
        bool swapped = true;
        for (int32_t y = 0; y < height && swapped; ++y) {
          for (int32_t x = 0; x < width && swapped; ++x) {
            const uint8_t* b = bitmap.Pixel(bottomUp, x, y);
            const uint8_t* r = rgb.Pixel(bottomUp, x, y);
            swapped = r[0] == b[2] && r[1] == b[1] && r[2] == b[0];
            if (!swapped) ADD_FAILURE() << "pixel " << x << "," << y;
          }
        }
      }
    }
  }
}

TEST(GetPixels, RefusesWithAReasonAndLeavesTheBufferAlone) {
  const Bytes jpeg = Write(Make(40, 24, "420"));
  struct Case {
    const char* name;
    bool headerOnly;
    bool nullBits;
    int32_t stride;
    int32_t order;
    int32_t error;
  };
  const Case cases[] = {
      {"header only", true, false, 120, TSL_PIXELS_RGB, TSL_ERROR_NOT_OPEN},
      {"null buffer", false, true, 120, TSL_PIXELS_RGB, TSL_ERROR_INVALID_ARGUMENT},
      {"unknown order", false, false, 120, 2, TSL_ERROR_INVALID_ARGUMENT},
      {"stride too short", false, false, 119, TSL_PIXELS_BGR, TSL_ERROR_INVALID_ARGUMENT},
      {"negative stride too short", false, false, -119, TSL_PIXELS_RGB, TSL_ERROR_INVALID_ARGUMENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImagePtr image = OpenBytes(jpeg, c.headerOnly);
    ASSERT_TRUE(image);
    ExPtr ex = Extension(image.get());
    std::vector<uint8_t> buffer(120 * 24, 0x5A);
    uint8_t* row0 = c.nullBits ? nullptr : (c.stride < 0 ? &buffer[120 * 23] : buffer.data());
    EXPECT_FALSE(ex->GetPixels(row0, c.stride, 0, c.order));
    EXPECT_EQ(ex->GetLastError(), c.error);
    EXPECT_STRNE(ex->GetLastErrorText(), "");
    EXPECT_EQ(buffer, std::vector<uint8_t>(120 * 24, 0x5A));
  }
  ImagePtr closed = NewImage();
  std::vector<uint8_t> buffer(120 * 24);
  EXPECT_FALSE(Extension(closed.get())->GetPixels(buffer.data(), 120, 0, TSL_PIXELS_RGB));
}

// --- ReconstructWithContext -----------------------------------------------------------------

// What a host's progress function saw, and when it asks to stop.
struct ProgressLog {
  std::vector<int32_t> percents;
  int stopAt = -1;  // the call (from 0) that returns 0; -1 never
  int32_t Next(int32_t percent) {
    percents.push_back(percent);
    return static_cast<int>(percents.size()) - 1 == stopAt ? 0 : 1;
  }
};

int32_t LogProgress(void* context, int32_t percent) {
  return static_cast<ProgressLog*>(context)->Next(percent);
}

// The plain function of Reconstruct, for the same runs through the original slot.
ProgressLog* g_plainLog = nullptr;
int32_t PlainProgress(int32_t percent) { return g_plainLog->Next(percent); }

TEST(ReconstructWithContext, GivesTheSameStoreAndCallsAsReconstruct) {
  const Bytes jpeg = Write(Make(53, 35, "420"));
  for (const int stopAt : {-1, 0, 7}) {
    SCOPED_TRACE(stopAt);
    ImagePtr viaContext = OpenBytes(jpeg), viaPlain = OpenBytes(jpeg);
    ProgressLog contextLog, plainLog;
    contextLog.stopAt = plainLog.stopAt = stopAt;
    g_plainLog = &plainLog;
    ASSERT_TRUE(Extension(viaContext.get())->ReconstructWithContext(2, LogProgress, &contextLog));
    ASSERT_TRUE(viaPlain->Reconstruct(2, PlainProgress));
    g_plainLog = nullptr;
    EXPECT_EQ(Store(viaContext.get()), Store(viaPlain.get()));
    EXPECT_EQ(contextLog.percents, plainLog.percents);
    EXPECT_FALSE(contextLog.percents.empty());
    if (stopAt < 0) {
      EXPECT_EQ(std::count(contextLog.percents.begin(), contextLog.percents.end(), 100), 2);
    }
  }
}

TEST(ReconstructWithContext, WithoutAFunctionRunsEveryPass) {
  const Bytes jpeg = Write(Make(40, 24, "444"));
  ImagePtr viaContext = OpenBytes(jpeg), viaPlain = OpenBytes(jpeg);
  ASSERT_TRUE(Extension(viaContext.get())->ReconstructWithContext(1, nullptr, nullptr));
  ASSERT_TRUE(viaPlain->Reconstruct(1, nullptr));
  EXPECT_EQ(Store(viaContext.get()), Store(viaPlain.get()));
  EXPECT_NE(Store(viaContext.get()), Store(OpenBytes(jpeg).get()));
}

// A progress function that runs the filter on a second image, with a context of its own,
// before answering for the first.
struct Nested {
  ITessel* inner = nullptr;
  ProgressLog outer, innerLog;
  bool ran = false;
};

int32_t NestedProgress(void* context, int32_t percent) {
  Nested* nested = static_cast<Nested*>(context);
  if (!nested->ran) {
    nested->ran = true;
    Extension(nested->inner)->ReconstructWithContext(1, LogProgress, &nested->innerLog);
  }
  return nested->outer.Next(percent);
}

TEST(ReconstructWithContext, AProgressFunctionMayRunTheFilterOnAnotherImage) {
  const Bytes jpeg = Write(Make(48, 32, "420"));
  ImagePtr outer = OpenBytes(jpeg), inner = OpenBytes(jpeg), alone = OpenBytes(jpeg);
  Nested nested;
  nested.inner = inner.get();
  ProgressLog aloneLog;
  ASSERT_TRUE(Extension(outer.get())->ReconstructWithContext(1, NestedProgress, &nested));
  ASSERT_TRUE(Extension(alone.get())->ReconstructWithContext(1, LogProgress, &aloneLog));
  EXPECT_TRUE(nested.ran);
  EXPECT_EQ(nested.outer.percents, aloneLog.percents) << "the outer context survives the inner run";
  EXPECT_EQ(nested.innerLog.percents, aloneLog.percents);
  EXPECT_EQ(Store(outer.get()), Store(alone.get()));
}

TEST(ReconstructWithContext, IsUndoneLikeReconstruct) {
  const Bytes jpeg = Write(Make(40, 40, "420"));
  ImagePtr image = OpenBytes(jpeg);
  tessel::MemoryUndoStore undo;
  image->SetUndoStore(&undo);
  const std::vector<int16_t> before = Store(image.get());
  ProgressLog log;
  log.stopAt = 3;
  undo.BeginEdit();
  const TSL_BOOL done = Extension(image.get())->ReconstructWithContext(3, LogProgress, &log);
  undo.EndEdit(done);
  ASSERT_TRUE(done) << "a stop keeps the edit";
  EXPECT_NE(Store(image.get()), before);
  const TSL_BOOL undone = image->Undo();
  undo.EndUndo(undone);
  ASSERT_TRUE(undone);
  EXPECT_EQ(Store(image.get()), before);
}

TEST(ReconstructWithContext, FailsWithAReasonWithoutAnImage) {
  ImagePtr image = NewImage();
  ExPtr ex = Extension(image.get());
  ProgressLog log;
  EXPECT_FALSE(ex->ReconstructWithContext(1, LogProgress, &log));
  EXPECT_EQ(ex->GetLastError(), TSL_ERROR_NOT_OPEN);
  EXPECT_TRUE(log.percents.empty());
  ImagePtr headerOnly = OpenBytes(Write(Make(16, 16, "444")), true);
  ExPtr headerEx = Extension(headerOnly.get());
  EXPECT_FALSE(headerEx->ReconstructWithContext(1, nullptr, nullptr));
  EXPECT_EQ(headerEx->GetLastError(), TSL_ERROR_NOT_OPEN);
}

}  // namespace
