// SPDX-License-Identifier: MIT
// Pixel edits on a 12-megapixel 4:2:0 image: ApplyBitmapChanges with one painted rectangle
// (the whole image is decoded and compared, the rectangle's blocks re-encoded) and one pass of
// the reconstruction filter. Both report megapixels per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "image/DllImage.h"
#include "pixels/DCT.h"
#include "tests/support/TesselTest.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr double kMegapixels = kWidth * double{kHeight} / 1e6;

const fixtures::Bytes& Image() {
  static const fixtures::Bytes jpeg = fixtures::Write(fixtures::Make(kWidth, kHeight, "420"));
  return jpeg;
}

void ReportMegapixels(benchmark::State& state) {
  state.counters["MP/s"] =
      benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ApplyBitmapChanges_OneRectangle(benchmark::State& state) {
  fixtures::ImagePtr image = fixtures::OpenBytes(Image());
  if (!image) {
    state.SkipWithError("the image does not open");
    return;
  }
  const std::vector<int16_t> original = fixtures::Store(image.get());
  std::vector<uint8_t> bits(size_t{3} * kWidth * kHeight);
  image->GetBitmap(bits.data(), 3 * kWidth, 0);
  // A 300 x 200 rectangle, not aligned to MCUs.
  for (int y = 1203; y < 1403; ++y) {
    for (int x = 1501; x < 1801; ++x) std::memset(&bits[(size_t(y) * kWidth + x) * 3], 200, 3);
  }
  Statistics stats{};
  for (auto _ : state) {
    state.PauseTiming();
    image->SetCoefficients(original.data(), static_cast<int32_t>(original.size()));
    state.ResumeTiming();
    uint8_t* row0 = bits.data();
    benchmark::DoNotOptimize(image->ApplyBitmapChanges(&row0, 3 * kWidth, 0, &stats));
  }
  state.counters["changed_blocks"] = stats.iChangedBlocks;
  ReportMegapixels(state);
}

void BM_ReconstructOnePass(benchmark::State& state) {
  fixtures::ImagePtr image = fixtures::OpenBytes(Image());
  if (!image) {
    state.SkipWithError("the image does not open");
    return;
  }
  CDllImage* dll = static_cast<CDllImage*>(image.get());
  CDCT dct(dll->HeaderDecompressor());
  for (auto _ : state) {
    benchmark::DoNotOptimize(dct.ReconstructCoefficients(dll->Coefficients(), nullptr));
  }
  ReportMegapixels(state);
}

BENCHMARK(BM_ApplyBitmapChanges_OneRectangle)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_ReconstructOnePass)->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(3);

}  // namespace

BENCHMARK_MAIN();
