// Mirrors and quarter turns of a 6000 x 4000 picture (24-bit) and an A4 fax page at 300 dpi
// (1-bit), the moves behind upright photos and the rotate and flip commands. Each iteration
// works on a fresh copy, made outside the timing.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "proc/flip_turn.h"

using namespace velora;

namespace {

const TBitmap& Source(TPixelFormat pf) {
  static TBitmap* photo = nullptr;
  static TBitmap* page = nullptr;
  TBitmap*& b = pf == TPixelFormat::pf1bit ? page : photo;
  if (!b) {
    b = pf == TPixelFormat::pf1bit ? new TBitmap(2480, 3508, pf) : new TBitmap(6000, 4000, pf);
    std::mt19937 rng(1);
    for (int y = 0; y < b->Height(); ++y)
      for (int i = 0; i < b->RowLen(); ++i) b->ScanLine(y)[i] = uint8_t(rng());
  }
  return *b;
}

// range(0): 0 flip left-right, 1 upside down, 2 turn +90, 3 turn −90, 4 half turn, 5 transpose.
void Move(benchmark::State& state, TPixelFormat pf) {
  TBitmap work;
  for (auto _ : state) {
    state.PauseTiming();
    work.Assign(Source(pf));
    state.ResumeTiming();
    switch (state.range(0)) {
      case 0: VLFlipBitmap(work, fdHorizontal); break;
      case 1: VLFlipBitmap(work, fdVertical); break;
      case 2: VLTurnBitmap(work, 1); break;
      case 3: VLTurnBitmap(work, -1); break;
      case 4: VLTurnBitmap(work, 2); break;
      default: VLApplyOrientation(work, nullptr, 5); break;
    }
    benchmark::DoNotOptimize(work.Bits());
  }
}

void BM_Photo24(benchmark::State& state) { Move(state, TPixelFormat::pf24bit); }
void BM_FaxPage1(benchmark::State& state) { Move(state, TPixelFormat::pf1bit); }

}  // namespace

BENCHMARK(BM_Photo24)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FaxPage1)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
