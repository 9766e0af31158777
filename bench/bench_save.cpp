// SPDX-License-Identifier: MIT
// Opening plus lossless saving of a generated 24-megapixel 4:2:0 file, and the parts alone.
// `bench_save --once IN OUT` opens IN, saves it to OUT with the default options and prints the
// store's size: the single run that bench/save_vs_jpegtran.sh times and measures.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/BenchSamples.h"
#include "image/LosslessWriter.h"
#include "tests/support/TesselTest.h"

namespace {

using bench::SampleFile;

const TesselSaveOptions kDefaults = TSL_SAVE_OPTIONS_DEFAULT;

void BM_OpenAndSave(benchmark::State& state) {
  const std::u16string in = fixtures::U16(SampleFile());
  const std::u16string out = fixtures::U16(SampleFile().parent_path() / "out.jpg");
  for (auto _ : state) {
    fixtures::ImagePtr image = fixtures::NewImage();
    if (!image->Open(in.c_str(), 0) || !image->Save(out.c_str(), &kDefaults)) {
      state.SkipWithError("open or save failed");
      break;
    }
  }
}
BENCHMARK(BM_OpenAndSave)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveOnly(benchmark::State& state) {
  fixtures::ImagePtr image = fixtures::NewImage();
  const std::u16string out = fixtures::U16(SampleFile().parent_path() / "out.jpg");
  if (!image->Open(fixtures::U16(SampleFile()).c_str(), 0)) {
    state.SkipWithError("open failed");
    return;
  }
  for (auto _ : state) {
    if (!image->Save(out.c_str(), &kDefaults)) {
      state.SkipWithError("save failed");
      break;
    }
  }
}
BENCHMARK(BM_SaveOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GetFileSize(benchmark::State& state) {
  fixtures::ImagePtr image = fixtures::NewImage();
  if (!image->Open(fixtures::U16(SampleFile()).c_str(), 0)) {
    state.SkipWithError("open failed");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(image->GetFileSize());
}
BENCHMARK(BM_GetFileSize)->Unit(benchmark::kMillisecond)->UseRealTime();

// The quantization of the writer on the blocks of the sample: vector path, then portable path.
template <bool kVector>
void BM_QuantizeBlocks(benchmark::State& state) {
  fixtures::ImagePtr image = fixtures::NewImage();
  if (!image->Open(fixtures::U16(SampleFile()).c_str(), 0)) {
    state.SkipWithError("open failed");
    return;
  }
  const std::vector<int16_t> store = fixtures::Store(image.get());
  JQUANT_TBL quant{};
  for (int k = 0; k < DCTSIZE2; ++k) quant.quantval[k] = static_cast<UINT16>(1 + k % 13);
  QuantizerTable table;
  PrepareQuantizerTable(quant, &table);
  std::vector<JCOEF> out(DCTSIZE2);
  for (auto _ : state) {
    bool fits = true;
    for (size_t i = 0; i + DCTSIZE2 <= store.size(); i += DCTSIZE2) {
      fits &= kVector ? QuantizeBlock(store.data() + i, table, out.data())
                      : QuantizeBlockPortable(store.data() + i, table, out.data());
    }
    benchmark::DoNotOptimize(fits);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(store.size()));
}
BENCHMARK(BM_QuantizeBlocks<true>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuantizeBlocks<false>)->Unit(benchmark::kMillisecond);

// One open and save, for timing and peak memory from outside the process.
int RunOnce(const char* in, const char* out) {
  fixtures::ImagePtr image = fixtures::NewImage();
  if (!image->Open(fixtures::U16(std::string(in)).c_str(), 0)) {
    std::fprintf(stderr, "bench_save: %s: cannot open\n", in);
    return 1;
  }
  int16_t* values = nullptr;
  int32_t count = 0;
  image->GetCoefficients(&values, &count);
  if (!image->Save(fixtures::U16(std::string(out)).c_str(), &kDefaults)) {
    std::fprintf(stderr, "bench_save: %s: cannot save\n", out);
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
