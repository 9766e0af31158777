// SPDX-License-Identifier: MIT
// Helpers for tests of edits and undo: the image's whole state, stores that record or fail,
// and jpegtran as the independent peer.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "image/DllImage.h"
#include "jpeg/CoefficientStore.h"
#include "tests/support/TesselTest.h"

namespace fixtures {

inline CDllImage* Impl(ITessel* image) { return static_cast<CDllImage*>(image); }

// Everything an edit may change and its undo must give back, read through the header
// decompressor.
struct ImageState {
  std::vector<int16_t> store;
  int width = 0, height = 0;
  int colourSpace = 0, components = 0, maxH = 0, maxV = 0;
  // Per component: identifier, h, v, quantization table number, block columns, block rows.
  std::vector<std::array<unsigned, 6>> comps;
  std::vector<std::vector<uint16_t>> quant;  // the four table slots, empty when absent
  bool operator==(const ImageState&) const = default;
};

inline ImageState Capture(ITessel* image) {
  const jpeg_decompress_struct& info = *Impl(image)->HeaderDecompressor();
  ImageState s;
  s.store = Store(image);
  s.width = image->GetWidth();
  s.height = image->GetHeight();
  s.colourSpace = info.jpeg_color_space;
  s.components = info.num_components;
  s.maxH = info.max_h_samp_factor;
  s.maxV = info.max_v_samp_factor;
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& comp = info.comp_info[c];
    s.comps.push_back(
        {static_cast<unsigned>(comp.component_id), static_cast<unsigned>(comp.h_samp_factor),
         static_cast<unsigned>(comp.v_samp_factor), static_cast<unsigned>(comp.quant_tbl_no),
         comp.width_in_blocks, comp.height_in_blocks});
  }
  for (const JQUANT_TBL* table : info.quant_tbl_ptrs) {
    s.quant.push_back(table == nullptr
                          ? std::vector<uint16_t>()
                          : std::vector<uint16_t>(table->quantval, table->quantval + DCTSIZE2));
  }
  return s;
}

// Short description for failure messages.
inline std::string Describe(const ImageState& s) {
  std::string text = std::to_string(s.width) + "x" + std::to_string(s.height) + " cs" +
                     std::to_string(s.colourSpace) + " n" + std::to_string(s.store.size());
  for (const auto& c : s.comps) {
    text += " [" + std::to_string(c[1]) + "x" + std::to_string(c[2]) + " q" + std::to_string(c[3]) +
            " " + std::to_string(c[4]) + "x" + std::to_string(c[5]) + "]";
  }
  return text;
}

// An undo store that keeps records like tessel::MemoryUndoStore and also logs every call.
class LoggingStore : public IUndoStore {
 public:
  struct Call {
    bool write;
    uint32_t size;
    bool ok;
  };
  TSL_BOOL Write(const void* data, uint32_t size) override {
    const TSL_BOOL ok = failWrites ? TSL_FALSE : memory.Write(data, size);
    calls.push_back({true, size, ok != 0});
    return ok;
  }
  TSL_BOOL Read(void* data, uint32_t size) override {
    const TSL_BOOL ok = failReads ? TSL_FALSE : memory.Read(data, size);
    if (failReads) std::memset(data, 0x5A, size);  // a failing store may leave anything behind
    calls.push_back({false, size, ok != 0});
    return ok;
  }
  std::vector<uint32_t> Sizes(bool writes) const {
    std::vector<uint32_t> sizes;
    for (const Call& call : calls) {
      if (call.write == writes) sizes.push_back(call.size);
    }
    return sizes;
  }

  tessel::MemoryUndoStore memory;
  std::vector<Call> calls;
  bool failWrites = false;
  bool failReads = false;
};

// Every kind of edit, with arguments that trim, keep, shrink, move and enlarge.
using Edit = std::function<TSL_BOOL(ITessel*)>;

struct NamedEdit {
  std::string name;
  Edit run;
};

inline std::vector<NamedEdit> AllEdits() {
  return {
      {"FlipH", [](ITessel* i) { return i->FlipH(0); }},
      {"FlipHKeep", [](ITessel* i) { return i->FlipH(1); }},
      {"FlipV", [](ITessel* i) { return i->FlipV(0); }},
      {"FlipVKeep", [](ITessel* i) { return i->FlipV(1); }},
      {"RotateLeft", [](ITessel* i) { return i->RotateLeft(0); }},
      {"RotateLeftKeep", [](ITessel* i) { return i->RotateLeft(1); }},
      {"RotateRight", [](ITessel* i) { return i->RotateRight(0); }},
      {"RotateRightKeep", [](ITessel* i) { return i->RotateRight(1); }},
      {"CropInside", [](ITessel* i) { return i->Crop(9, 3, i->GetWidth() - 2, i->GetHeight()); }},
      {"CropEnlarging", [](ITessel* i) { return i->Crop(-20, -17, i->GetWidth() + 30, 70); }},
      {"CropBeyond", [](ITessel* i) { return i->Crop(200, 100, 230, 120); }},
      {"CropEmpty", [](ITessel* i) { return i->Crop(0, 0, 0, 0); }},
      {"Grayscale", [](ITessel* i) { return i->Grayscale(); }},
      {"Levels", [](ITessel* i) { return i->Levels(37, -250, 5); }},
  };
}

// "name(a,b,...)", an edit's name with its arguments. Streamed: GCC 12 at -O3 misreads
// `"(" + std::to_string(...)` as an overlapping copy (-Wrestrict).
template <typename... Args>
std::string Call(const char* name, Args... args) {
  std::ostringstream text;
  text << name << '(';
  const char* separator = "";
  ((text << separator << args, separator = ","), ...);
  text << ')';
  return text.str();
}

// A random edit; crops pick rectangles that shrink, move or enlarge the image.
inline NamedEdit RandomEdit(std::mt19937& rng) {
  const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int flag = pick(0, 1);
  switch (pick(0, 6)) {
    case 0:
      return {Call("FlipH", flag), [flag](ITessel* i) { return i->FlipH(flag); }};
    case 1:
      return {Call("FlipV", flag), [flag](ITessel* i) { return i->FlipV(flag); }};
    case 2:
      return {Call("RotateLeft", flag), [flag](ITessel* i) { return i->RotateLeft(flag); }};
    case 3:
      return {Call("RotateRight", flag), [flag](ITessel* i) { return i->RotateRight(flag); }};
    case 4: {
      const int l = pick(-40, 60), t = pick(-40, 60), w = pick(-5, 90), h = pick(-5, 90);
      return {Call("Crop", l, t, l + w, t + h),
              [=](ITessel* i) { return i->Crop(l, t, l + w, t + h); }};
    }
    case 5:
      return {"Grayscale", [](ITessel* i) { return i->Grayscale(); }};
    default: {
      const int a = pick(-120, 120), b = pick(-120, 120), c = pick(-120, 120);
      return {Call("Levels", a, b, c), [=](ITessel* i) { return i->Levels(a, b, c); }};
    }
  }
}

// A fixture of random size (1 to 70 pixels a side) in one of the common samplings, YCbCr or
// grayscale, its noise seeded with `seed`.
inline Recipe RandomRecipe(std::mt19937& rng, uint32_t seed) {
  const std::vector<std::string> samplings = {"444", "422", "440", "420", "411", "gray"};
  const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const std::string sampling = samplings[pick(0, static_cast<int>(samplings.size()) - 1)];
  Recipe recipe =
      Make(pick(1, 70), pick(1, 70), sampling, sampling == "gray" ? Space::kGray : Space::kYCbCr);
  recipe.seed = seed;
  return recipe;
}

// Runs jpegtran with `args` on `jpeg`; empty when it fails.
inline Bytes Jpegtran(const Bytes& jpeg, const std::string& args) {
  TempDir dir;
  WriteFile(dir / "in.jpg", jpeg);
  const std::string command = "jpegtran " + args + " -outfile '" + (dir / "out.jpg").string() +
                              "' '" + (dir / "in.jpg").string() + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) return Bytes();
  return ReadFile(dir / "out.jpg");
}

inline bool HaveJpegtran() { return std::system("command -v jpegtran >/dev/null 2>&1") == 0; }

// The open image equals what libjpeg reads from `peer`: size, sampling factors, quantization
// tables, and every real block of every component (filler blocks may differ: writers never
// emit them).
inline void ExpectSameAsPeer(ITessel* image, const Bytes& peer) {
  Coefficients expected;
  ASSERT_TRUE(ReadCoefficients(peer, &expected));
  const jpeg_decompress_struct& info = *Impl(image)->HeaderDecompressor();
  EXPECT_EQ(image->GetWidth(), expected.width);
  EXPECT_EQ(image->GetHeight(), expected.height);
  EXPECT_EQ(info.max_h_samp_factor, expected.maxH);
  EXPECT_EQ(info.max_v_samp_factor, expected.maxV);
  ASSERT_EQ(info.num_components, static_cast<int>(expected.components.size()));
  const std::vector<int16_t> store = Store(image);
  const std::vector<int16_t> peerStore = ExpectedStore(expected);
  const std::optional<StoreGeometry> geometry =
      StoreGeometry::ForImage(info, image->GetWidth(), image->GetHeight());
  ASSERT_TRUE(geometry);
  ASSERT_EQ(geometry->values, static_cast<int64_t>(peerStore.size()));
  const PlaneGeometry* planes = geometry->planes;
  ASSERT_EQ(store.size(), peerStore.size());
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& comp = info.comp_info[c];
    const Component& want = expected.components[c];
    EXPECT_EQ(comp.h_samp_factor, want.h) << "component " << c;
    EXPECT_EQ(comp.v_samp_factor, want.v) << "component " << c;
    const JQUANT_TBL* table = info.quant_tbl_ptrs[comp.quant_tbl_no];
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(std::vector<uint16_t>(table->quantval, table->quantval + 64), want.quant)
        << "quantization table of component " << c;
    int wrong = 0;
    for (int r = 0; r < want.heightInBlocks; ++r) {
      for (int x = 0; x < want.widthInBlocks; ++x) {
        const size_t at = planes[c].offset + (size_t{1} * r * planes[c].blocksPerRow + x) * 64;
        if (!std::equal(store.begin() + at, store.begin() + at + 64, peerStore.begin() + at)) {
          if (wrong++ == 0)
            ADD_FAILURE() << "component " << c << " block row " << r << " col " << x;
        }
      }
    }
    EXPECT_EQ(wrong, 0) << "blocks differing in component " << c;
  }
}

}  // namespace fixtures
