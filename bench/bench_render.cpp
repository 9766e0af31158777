// SPDX-License-Identifier: MIT
// Rendering speed: GetBitmap of a 24-megapixel 4:2:0 image beside libjpeg-turbo decoding the
// same file fully with the same settings (islow IDCT, no fancy upsampling, entropy decoding
// included), and the per-block cost of the two transforms.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "image/DllImage.h"
#include "pixels/DCT.h"
#include "tests/support/TesselTest.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kBlocks = 4096;  // blocks per iteration of the per-block benchmarks

const fixtures::Bytes& Image() {
  static const fixtures::Bytes jpeg = fixtures::Write(fixtures::Make(kWidth, kHeight, "420"));
  return jpeg;
}

void BM_GetBitmap(benchmark::State& state) {
  fixtures::ImagePtr image = fixtures::OpenBytes(Image());
  if (!image) {
    state.SkipWithError("the image does not open");
    return;
  }
  std::vector<uint8_t> bits(size_t{3} * kWidth * kHeight);
  for (auto _ : state) {
    benchmark::DoNotOptimize(image->GetBitmap(bits.data(), 3 * kWidth, 0));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// libjpeg-turbo's full decode into a preallocated blue-green-red buffer, several rows a call.
bool LibjpegDecode(const fixtures::Bytes& jpeg, uint8_t* out) {
  return fixtures::WithHeaderRead(jpeg, [out](j_decompress_ptr cinfo) {
    cinfo->out_color_space = JCS_EXT_BGR;
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->do_fancy_upsampling = FALSE;
    jpeg_start_decompress(cinfo);
    const size_t rowBytes = size_t{3} * cinfo->output_width;
    JSAMPROW rows[16];
    while (cinfo->output_scanline < cinfo->output_height) {
      for (int i = 0; i < 16; ++i) {
        const JDIMENSION row = cinfo->output_scanline + static_cast<JDIMENSION>(i);
        rows[i] = out + rowBytes * (row < cinfo->output_height ? row : cinfo->output_height - 1);
      }
      jpeg_read_scanlines(cinfo, rows, 16);
    }
    jpeg_finish_decompress(cinfo);
  });
}

void BM_LibjpegTurboFullDecode(benchmark::State& state) {
  std::vector<uint8_t> bits(size_t{3} * kWidth * kHeight);
  for (auto _ : state) {
    if (!LibjpegDecode(Image(), bits.data())) {
      state.SkipWithError("libjpeg-turbo cannot decode the image");
      return;
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// Seconds per block, from a counter that is inverted into a time.
void ReportPerBlock(benchmark::State& state) {
  state.counters["per_block"] = benchmark::Counter(
      kBlocks, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_InverseBlock(benchmark::State& state) {
  fixtures::ImagePtr image = fixtures::OpenBytes(Image());
  if (!image) {
    state.SkipWithError("the image does not open");
    return;
  }
  CDCT dct(static_cast<CDllImage*>(image.get())->HeaderDecompressor());
  // Real blocks of the luma plane, several block rows down, so the mix of zero and non-zero
  // coefficients is the image's own.
  const int16_t* blocks = static_cast<CDllImage*>(image.get())->Coefficients() + 64 * 750 * 40;
  uint8_t samples[64];
  for (auto _ : state) {
    for (int i = 0; i < kBlocks; ++i) {
      dct.InverseBlock(blocks + 64 * i, samples);
      benchmark::DoNotOptimize(samples);
    }
  }
  ReportPerBlock(state);
}

void BM_ForwardBlock(benchmark::State& state) {
  fixtures::ImagePtr image = fixtures::OpenBytes(Image());
  if (!image) {
    state.SkipWithError("the image does not open");
    return;
  }
  std::vector<uint8_t> bits(size_t{3} * 16 * 16);
  for (size_t i = 0; i < bits.size(); ++i) bits[i] = static_cast<uint8_t>(i * 37 + (i >> 4));
  CDCT dct(static_cast<CDllImage*>(image.get())->HeaderDecompressor());
  dct.LoadMCU(bits.data(), 3 * 16);
  int16_t coefficients[64];
  for (auto _ : state) {
    for (int i = 0; i < kBlocks; ++i) {
      dct.ForwardBlock(0, i & 1, (i >> 1) & 1, coefficients);
      benchmark::DoNotOptimize(coefficients);
    }
  }
  ReportPerBlock(state);
}

BENCHMARK(BM_GetBitmap)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_LibjpegTurboFullDecode)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_InverseBlock)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(BM_ForwardBlock)->Unit(benchmark::kMicrosecond)->Repetitions(5);

}  // namespace

BENCHMARK_MAIN();
