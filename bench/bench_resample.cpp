// ResampleBitmap (Lanczos3) against the fast resizer on a 24-megapixel photo-sized image.
#include <benchmark/benchmark.h>

#include <random>

#include "view/resample.h"

using namespace velora;

namespace {

const TBitmap& Source() {
  static TBitmap* src = [] {
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
  TBitmap dst(1500, 1000, TPixelFormat::pf24bit);
  for (auto _ : state) {
    ResampleBitmap(src, dst, TResampleFilter(state.range(0)));
    benchmark::DoNotOptimize(dst.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(src.Width()) * src.Height());
}
BENCHMARK(BM_ResampleLanczos3)->Arg(rfLanczos3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FastResizeBitmap(benchmark::State& state) {
  const TBitmap& src = Source();
  TBitmap dst(1500, 1000, TPixelFormat::pf24bit);
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
