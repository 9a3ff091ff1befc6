// The 6000 x 4000 picture the processing benchmarks work on: synthetic, or the PPM named by
// VELORA_BENCH_IMAGE, so that the side-by-side scripts can hand Pillow the same pixels; and a
// loop that gives every iteration a fresh copy of it, made outside the timing.
#pragma once
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>

#include "io/velora_io.h"

namespace velora::bench {

inline const TBitmap& Source() {
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

}  // namespace velora::bench
