// ResampleBitmap (Lanczos3) against the fast resizer, 6000 x 4000 → 1500 x 1000 (a synthetic
// image, or the PPM named by VELORA_BENCH_IMAGE).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "proc/resample.h"

using namespace velora;

namespace {

// A binary PPM (P6, maxval 255) named by VELORA_BENCH_IMAGE, so that the comparison script
// can hand every tool the same pixels.
TBitmap* LoadPpm(const char* path) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return nullptr;
  int w = 0, h = 0, maxval = 0;
  if (std::fscanf(f, "P6 %d %d %d", &w, &h, &maxval) != 3 || maxval != 255 || w <= 0 || h <= 0) {
    std::fclose(f);
    return nullptr;
  }
  std::fgetc(f);
  auto* b = new TBitmap(w, h, TPixelFormat::pf24bit);
  std::vector<uint8_t> row(size_t(w) * 3);
  for (int y = 0; y < h && std::fread(row.data(), 1, row.size(), f) == row.size(); ++y)
    for (int x = 0; x < w; ++x) {
      b->ScanLine(y)[3 * x] = row[3 * x + 2];
      b->ScanLine(y)[3 * x + 1] = row[3 * x + 1];
      b->ScanLine(y)[3 * x + 2] = row[3 * x];
    }
  std::fclose(f);
  return b;
}

const TBitmap& Source() {
  static TBitmap* src = [] {
    if (const char* path = std::getenv("VELORA_BENCH_IMAGE"))
      if (TBitmap* b = LoadPpm(path)) return b;
    auto* b = new TBitmap(6000, 4000, TPixelFormat::pf24bit);
    std::mt19937 rng(1);
    // Smooth gradients with noise: neither constant nor pure noise.
    for (int y = 0; y < b->Height(); ++y) {
      uint8_t* p = b->ScanLine(y);
      for (int x = 0; x < b->Width(); ++x) {
        p[3 * x] = uint8_t(x / 24 + (rng() & 15));
        p[3 * x + 1] = uint8_t(y / 16 + (rng() & 15));
        p[3 * x + 2] = uint8_t((x + y) / 40);
      }
    }
    return b;
  }();
  return *src;
}

void BM_ResampleLanczos3(benchmark::State& state) {
  const TBitmap& src = Source();
  TBitmap dst(src.Width() / 4, src.Height() / 4, TPixelFormat::pf24bit);
  for (auto _ : state) {
    ResampleBitmap(src, dst, TResampleFilter(state.range(0)));
    benchmark::DoNotOptimize(dst.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(src.Width()) * src.Height());
}
BENCHMARK(BM_ResampleLanczos3)->Arg(rfLanczos3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FastResizeBitmap(benchmark::State& state) {
  const TBitmap& src = Source();
  TBitmap dst(src.Width() / 4, src.Height() / 4, TPixelFormat::pf24bit);
  for (auto _ : state) {
    FastResizeBitmap(src, dst);
    benchmark::DoNotOptimize(dst.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(src.Width()) * src.Height());
}
BENCHMARK(BM_FastResizeBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();

// The view's case: a filtered zoom-in of a visible part.
void BM_ResampleEnlarge(benchmark::State& state) {
  TBitmap src(800, 600, TPixelFormat::pf24bit), dst(1920, 1440, TPixelFormat::pf24bit);
  for (auto _ : state) {
    ResampleBitmap(src, dst, TResampleFilter(state.range(0)));
    benchmark::DoNotOptimize(dst.Bits());
  }
}
BENCHMARK(BM_ResampleEnlarge)->Arg(rfLanczos3)->Arg(rfTriangle)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
