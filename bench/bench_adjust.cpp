// The colour adjustments on a 6000 x 4000 image (synthetic, or the PPM named by
// VELORA_BENCH_IMAGE so that compare_adjust.sh can hand Pillow the same pixels). Each
// iteration starts from a fresh copy of the image, made outside the timing.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>

#include "io/velora_io.h"
#include "proc/color_adjust.h"

using namespace velora;

namespace {

const TBitmap& Source() {
  static TBitmap* src = [] {
    auto* b = new TBitmap;
    if (const char* path = std::getenv("VELORA_BENCH_IMAGE")) {
      TVeloraIO io;
      io.AttachBitmap(b);
      io.LoadFromFile(path);
      if (!io.Aborting && b->PixelFormat() == TPixelFormat::pf24bit) return b;
    }
    b->Reset(6000, 4000, TPixelFormat::pf24bit);
    std::mt19937 rng(1);
    for (int y = 0; y < b->Height(); ++y) {
      uint8_t* p = b->ScanLine(y);
      for (int x = 0; x < b->Width(); ++x, p += 3) {
        p[0] = uint8_t(x / 24 + (rng() & 15));
        p[1] = uint8_t(y / 16 + (rng() & 15));
        p[2] = uint8_t((x + y) / 40);
      }
    }
    return b;
  }();
  return *src;
}

template <class Op>
void RunOnCopies(benchmark::State& state, Op op) {
  TBitmap b;
  for (auto _ : state) {
    state.PauseTiming();
    b.Assign(Source());
    state.ResumeTiming();
    op(b);
    benchmark::DoNotOptimize(b.Bits());
  }
}

void BM_ContrastBrightness(benchmark::State& state) {
  RunOnCopies(state, [](TBitmap& b) {
    int r, g, bl;
    ChannelMeans(b, 0, 0, b.Width(), b.Height(), r, g, bl);
    AdjustContrast(b, 0, 0, b.Width(), b.Height(), 20, r, g, bl);
    ShiftRGB(b, 0, 0, b.Width(), b.Height(), 10, 10, 10);
  });
}
void BM_HsvRoundTrip(benchmark::State& state) {
  RunOnCopies(state, [](TBitmap& b) { AdjustHSV(b, 0, 0, b.Width(), b.Height(), 20, 10, -5); });
}
void BM_HslAdjust(benchmark::State& state) {
  RunOnCopies(state, [](TBitmap& b) { AdjustHSL(b, 0, 0, b.Width(), b.Height(), 20, 10, -5); });
}
void BM_Levels(benchmark::State& state) {
  RunOnCopies(state, [](TBitmap& b) {
    StretchLevels(b, 0, 0, b.Width(), b.Height(), MakeRGB(20, 20, 20), MakeRGB(230, 230, 230));
  });
}
void BM_Equalize(benchmark::State& state) {
  RunOnCopies(state, [](TBitmap& b) { EqualizeHistogram(b, 0, 0, b.Width(), b.Height()); });
}
BENCHMARK(BM_ContrastBrightness)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HsvRoundTrip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HslAdjust)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Levels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Equalize)->Unit(benchmark::kMillisecond);

}  // namespace
