// The colour adjustments on a 6000 x 4000 image (synthetic, or the PPM named by
// VELORA_BENCH_IMAGE so that compare_adjust.sh can hand Pillow the same pixels). Each
// iteration starts from a fresh copy of the image, made outside the timing.
#include <benchmark/benchmark.h>

#include "bench_image.h"
#include "proc/color_adjust.h"

using namespace velora;
using velora::bench::RunOnCopies;

namespace {

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
