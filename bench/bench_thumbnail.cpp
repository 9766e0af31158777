// SPDX-License-Identifier: MIT
// DrawFileThumbnail alone, per file: large photos-sized files into a file browser's boxes.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "tessel/tessel.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/TesselTest.h"

namespace {

// One file per size, written once for the whole program.
const std::filesystem::path& FixtureFile(int width, int height, const char* sampling) {
  static fixtures::TempDir dir;
  static std::map<std::string, std::filesystem::path> files;
  const std::string name =
      std::to_string(width) + "x" + std::to_string(height) + "_" + sampling + ".jpg";
  auto it = files.find(name);
  if (it == files.end()) {
    fixtures::WriteFile(dir / name, fixtures::Write(fixtures::Make(width, height, sampling)));
    it = files.emplace(name, dir / name).first;
  }
  return it->second;
}

void DrawOne(benchmark::State& state, int width, int height, const char* sampling) {
  const std::u16string path = fixtures::U16(FixtureFile(width, height, sampling));
  fixtures::ImagePtr image = fixtures::NewImage();
  const int boxWidth = static_cast<int>(state.range(0));
  const int boxHeight = static_cast<int>(state.range(1));
  std::vector<uint8_t> box(size_t(boxWidth) * boxHeight * 3);
  for (auto _ : state) {
    int32_t w = 0, h = 0;
    const int32_t ok = image->DrawFileThumbnail(path.c_str(), box.data(), boxWidth, boxHeight,
                                                boxWidth * 3, 255, 255, 255, &w, &h, 7);
    if (!ok) state.SkipWithError("DrawFileThumbnail failed");
    benchmark::DoNotOptimize(box.data());
  }
  state.counters["thumbs/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Thumbnail_12MP_420(benchmark::State& state) { DrawOne(state, 4000, 3000, "420"); }
void BM_Thumbnail_12MP_444(benchmark::State& state) { DrawOne(state, 4000, 3000, "444"); }
void BM_Thumbnail_2MP_420(benchmark::State& state) { DrawOne(state, 1600, 1200, "420"); }

BENCHMARK(BM_Thumbnail_12MP_420)->Args({160, 120})->Args({256, 192})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Thumbnail_12MP_444)->Args({160, 120})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Thumbnail_2MP_420)->Args({160, 120})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
