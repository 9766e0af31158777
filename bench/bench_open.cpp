// SPDX-License-Identifier: MIT
// Opening a 24-megapixel 4:2:0 JPEG, beside libjpeg-turbo's own coefficient read (the floor).
//
//   bench_open                      Google Benchmark timings
//   bench_open --write FILE         writes the generated file
//   bench_open --peak FILE          opens FILE once and prints peak memory beside the store size
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "image/DllImage.h"
#include "tests/support/JpegFixtures.h"

namespace {

const fixtures::Bytes& LargeJpeg() {
  static const fixtures::Bytes jpeg = [] {
    fixtures::Recipe recipe = fixtures::Make(6000, 4000, "420");
    recipe.quality = 90;
    return fixtures::Write(recipe);
  }();
  return jpeg;
}

void BM_TesselOpen(benchmark::State& state) {
  const fixtures::Bytes& jpeg = LargeJpeg();
  for (auto _ : state) {
    CDllImage* image = new CDllImage();
    image->AddRef();
    if (!image->OpenFromMemory(jpeg.data(), static_cast<int32_t>(jpeg.size()), 0)) {
      state.SkipWithError("open failed");
    }
    image->Release();
  }
}
BENCHMARK(BM_TesselOpen)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// jpeg_read_header plus jpeg_read_coefficients and nothing else: what any open must pay.
bool ReadCoefficientsOnly(const fixtures::Bytes& jpeg) {
  return fixtures::WithHeaderRead(jpeg, [](j_decompress_ptr cinfo) {
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(cinfo);
    benchmark::DoNotOptimize(arrays);
  });
}

void BM_LibjpegReadCoefficients(benchmark::State& state) {
  const fixtures::Bytes& jpeg = LargeJpeg();
  for (auto _ : state) {
    if (!ReadCoefficientsOnly(jpeg)) state.SkipWithError("read failed");
  }
}
BENCHMARK(BM_LibjpegReadCoefficients)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Resident set size now and its peak, in KiB, from /proc/self/status.
long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
  }
  return -1;
}

int PeakMode(const char* path) {
  const fixtures::Bytes jpeg = fixtures::ReadFile(path);
  const long before = StatusKiB("VmRSS:");
  CDllImage* image = new CDllImage();
  image->AddRef();
  if (!image->OpenFromMemory(jpeg.data(), static_cast<int32_t>(jpeg.size()), 0)) {
    std::cerr << "open failed\n";
    return 1;
  }
  const long peak = StatusKiB("VmHWM:");
  const double storeMiB = image->CoefficientCount() * 2.0 / (1 << 20);
  const double growthMiB = (peak - before) / 1024.0;
  std::cout << "store " << storeMiB << " MiB, peak growth during open " << growthMiB << " MiB ("
            << growthMiB / storeMiB << "x the store), file " << jpeg.size() / 1048576.0
            << " MiB held by the caller\n";
  image->Release();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--write") == 0) {
    fixtures::WriteFile(argv[2], LargeJpeg());
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--peak") == 0) return PeakMode(argv[2]);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
