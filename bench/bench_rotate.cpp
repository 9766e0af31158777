// SPDX-License-Identifier: MIT
// Open, RotateRight and lossless save of a generated 24-megapixel 4:2:0 file, and the rotation
// alone. `bench_rotate --once IN OUT` opens IN, turns it clockwise (trimming a partial edge),
// saves it to OUT with the default options and prints the store's size: the single run that
// bench/rotate_vs_jpegtran.sh times and measures.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/BenchSamples.h"
#include "tests/support/TesselTest.h"

namespace {

using bench::SampleFile;

const TesselSaveOptions kDefaults = TSL_SAVE_OPTIONS_DEFAULT;

void BM_OpenRotateSave(benchmark::State& state) {
  const std::u16string in = fixtures::U16(SampleFile());
  const std::u16string out = fixtures::U16(SampleFile().parent_path() / "out.jpg");
  for (auto _ : state) {
    fixtures::ImagePtr image = fixtures::NewImage();
    if (!image->Open(in.c_str(), 0) || !image->RotateRight(0) ||
        !image->Save(out.c_str(), &kDefaults)) {
      state.SkipWithError("open, rotate or save failed");
      break;
    }
  }
}
BENCHMARK(BM_OpenRotateSave)->Unit(benchmark::kMillisecond)->UseRealTime();

// Each turn is timed on its own; four of them give back the first orientation, so the image
// never grows or shrinks across iterations (the sample is a whole number of MCUs).
void BM_Turn(benchmark::State& state, bool right) {
  fixtures::ImagePtr image = fixtures::NewImage();
  if (!image->Open(fixtures::U16(SampleFile()).c_str(), 0)) {
    state.SkipWithError("open failed");
    return;
  }
  for (auto _ : state) {
    if (!(right ? image->RotateRight(0) : image->RotateLeft(0))) {
      state.SkipWithError("rotation failed");
      break;
    }
  }
}
BENCHMARK_CAPTURE(BM_Turn, right, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Turn, left, false)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FlipH(benchmark::State& state) {
  fixtures::ImagePtr image = fixtures::NewImage();
  if (!image->Open(fixtures::U16(SampleFile()).c_str(), 0)) {
    state.SkipWithError("open failed");
    return;
  }
  for (auto _ : state) {
    if (!image->FlipH(0)) {
      state.SkipWithError("flip failed");
      break;
    }
  }
}
BENCHMARK(BM_FlipH)->Unit(benchmark::kMillisecond)->UseRealTime();

// One open, rotation and save, for timing and peak memory from outside the process.
int RunOnce(const char* in, const char* out) {
  fixtures::ImagePtr image = fixtures::NewImage();
  if (!image->Open(fixtures::U16(std::string(in)).c_str(), 0)) {
    std::fprintf(stderr, "bench_rotate: %s: cannot open\n", in);
    return 1;
  }
  if (!image->RotateRight(0)) {
    std::fprintf(stderr, "bench_rotate: %s: cannot rotate\n", in);
    return 1;
  }
  int16_t* values = nullptr;
  int32_t count = 0;
  image->GetCoefficients(&values, &count);
  if (!image->Save(fixtures::U16(std::string(out)).c_str(), &kDefaults)) {
    std::fprintf(stderr, "bench_rotate: %s: cannot save\n", out);
    return 1;
  }
  std::printf("store_bytes %lld\n", static_cast<long long>(count) * 2);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--once") == 0) return RunOnce(argv[2], argv[3]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
