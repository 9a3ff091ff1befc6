// Palette reduction of a photo-like image: time to build the palette and map every pixel,
// with the mean error per channel reported as a counter.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "../tests/quant/photo_like.h"
#include "quant/quantizer.h"

using namespace velora;

static void Reduce(benchmark::State& state) {
  const int colours = int(state.range(0));
  TBitmap photo;
  velora::testing::MakePhotoLike(photo, 640, 480);
  std::vector<TRGB> palette(256);
  double error = 0;
  for (auto _ : state) {
    TVLQuantizer q(photo, colours, palette.data());
    double sum = 0;
    for (int y = 0; y < photo.Height(); ++y) {
      const TRGB* row = reinterpret_cast<const TRGB*>(photo.ScanLine(y));
      for (int x = 0; x < photo.Width(); ++x) {
        const TRGB p = palette[size_t(q.RGBIndex(row[x]))];
        sum += std::abs(p.r - row[x].r) + std::abs(p.g - row[x].g) + std::abs(p.b - row[x].b);
      }
    }
    error = sum / (3.0 * photo.Width() * photo.Height());
    benchmark::DoNotOptimize(error);
  }
  state.counters["mean_error"] = error;
  state.counters["pixels_per_s"] =
      benchmark::Counter(double(photo.Width()) * photo.Height() * double(state.iterations()), benchmark::Counter::kIsRate);
}
// 256: NeuQuant; 16 and 64: variance split.
BENCHMARK(Reduce)->Arg(256)->Arg(64)->Arg(16)->Unit(benchmark::kMillisecond);
