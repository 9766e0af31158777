// SPDX-License-Identifier: MIT
// The generated sample the file-level benchmarks share: a 24-megapixel 4:2:0 JPEG on disk.
#pragma once

#include <filesystem>

#include "tests/support/TesselTest.h"

namespace bench {

inline constexpr int kSampleWidth = 6000;
inline constexpr int kSampleHeight = 4000;

// The sample file, written once per process into a temporary directory that lives as long.
inline const std::filesystem::path& SampleFile() {
  static fixtures::TempDir dir;
  static const std::filesystem::path path = [] {
    const std::filesystem::path p = dir / "24mp.jpg";
    fixtures::WriteFile(p, fixtures::Write(fixtures::Make(kSampleWidth, kSampleHeight, "420")));
    return p;
  }();
  return path;
}

}  // namespace bench
