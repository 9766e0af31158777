// SPDX-License-Identifier: MIT
// The C++ side of the Python binding's benchmark: open, render to RGB, rotate and save a file
// with the very calls the module makes for tessel.open, Image.render, rotate(90) and save.
// `bench_binding_peer --repeat IN OUT N` runs the sequence N times and prints "wall cpu" in
// seconds per run, the format bench/python_binding.py prints for the module;
// bench/python_vs_cpp.sh compares the two.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "bench/BenchSamples.h"
#include "tests/support/TesselTest.h"

namespace {

const TesselSaveOptions kDefaults = TSL_SAVE_OPTIONS_DEFAULT;

// What tessel.open(IN); image.render(); image.rotate(90); image.save(OUT) asks of the library.
bool OpenRenderRotateSave(const std::u16string& in, const std::u16string& out) {
  fixtures::ImagePtr image = fixtures::NewImage();
  void* ex = nullptr;
  if (image->QueryInterface(TSL_IID_ITesselEx, &ex) != TSL_S_OK) return false;
  std::unique_ptr<ITesselEx, void (*)(ITesselEx*)> extension(static_cast<ITesselEx*>(ex),
                                                             [](ITesselEx* e) { e->Release(); });
  tessel::MemoryUndoStore undo;
  image->SetUndoStore(&undo);
  if (!image->Open(in.c_str(), 0)) return false;
  // numpy hands out uninitialised memory for the array.
  const size_t width = static_cast<size_t>(image->GetWidth());
  const size_t height = static_cast<size_t>(image->GetHeight());
  std::unique_ptr<uint8_t[]> pixels(new uint8_t[width * height * 3]);
  if (!extension->GetPixels(pixels.get(), static_cast<int32_t>(3 * width), 0, TSL_PIXELS_RGB)) {
    return false;
  }
  benchmark::DoNotOptimize(pixels.get());
  undo.BeginEdit();
  const TSL_BOOL rotated = image->RotateRight(0);
  undo.EndEdit(rotated);
  if (!rotated) return false;
  const bool saved = image->Save(out.c_str(), &kDefaults) != 0;
  image->SetUndoStore(nullptr);
  return saved;
}

void BM_OpenRenderRotateSave(benchmark::State& state) {
  const std::u16string in = fixtures::U16(bench::SampleFile());
  const std::u16string out = fixtures::U16(bench::SampleFile().parent_path() / "binding.jpg");
  for (auto _ : state) {
    if (!OpenRenderRotateSave(in, out)) {
      state.SkipWithError("open, render, rotate or save failed");
      break;
    }
  }
}
BENCHMARK(BM_OpenRenderRotateSave)->Unit(benchmark::kMillisecond)->UseRealTime();

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

int Repeat(const char* in, const char* out, int runs) {
  const std::u16string in16 = fixtures::U16(std::string(in));
  const std::u16string out16 = fixtures::U16(std::string(out));
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    if (!OpenRenderRotateSave(in16, out16)) {
      std::fprintf(stderr, "bench_binding_peer: %s: open, render, rotate or save failed\n", in);
      return 1;
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    std::printf("%.6f %.6f\n", wall.count(), CpuSeconds() - cpu);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--repeat") == 0) {
    return Repeat(argv[2], argv[3], std::atoi(argv[4]));
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
