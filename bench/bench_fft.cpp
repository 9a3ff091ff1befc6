// The frequency-domain image's transform of one plane (BuildFromBitmap of an N × N image in
// gray mode: the load, the centring and the 2-D transform) against FFTW's single-precision
// in-place 2-D complex transform on one thread, its plan made outside the timing, with
// FFTW_MEASURE and with FFTW_ESTIMATE. Built against FFTW only when it is installed
// (scripts/bootstrap --bench); without it only our figures are measured.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "proc/ft_image.h"

#ifdef VELORA_HAVE_FFTW
#include <fftw3.h>
#endif

using namespace velora;

namespace {

// Photo-like: smooth ramps with noise.
void FillImage(TBitmap& b, int n) {
  b.Reset(n, n, TPixelFormat::pf24bit);
  std::mt19937 rng(7);
  for (int y = 0; y < n; ++y) {
    uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < n; ++x, p += 3) {
      p[0] = uint8_t(x / 8 + (rng() & 31));
      p[1] = uint8_t(y / 8 + (rng() & 31));
      p[2] = uint8_t((x + y) / 16);
    }
  }
}

void BM_OurFftPlane(benchmark::State& state) {
  const int n = int(state.range(0));
  TBitmap b;
  FillImage(b, n);
  TVLFtImage ft;
  ft.BuildFromBitmap(b, TVLFtImage::kModeGray);  // tables made outside the timing, as FFTW's plan
  for (auto _ : state) {
    ft.BuildFromBitmap(b, TVLFtImage::kModeGray);
    benchmark::DoNotOptimize(ft.Row(TVLFtImage::kGray, 0));
  }
}
BENCHMARK(BM_OurFftPlane)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond);

#ifdef VELORA_HAVE_FFTW
void FftwPlane(benchmark::State& state, unsigned flags) {
  const int n = int(state.range(0));
  TBitmap b;
  FillImage(b, n);
  std::vector<float> input(size_t(n) * n * 2);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) input[(size_t(y) * n + size_t(x)) * 2] = b.ScanLine(y)[3 * x + 1] / 255.0f;
  auto* data = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * size_t(n) * n));
  fftwf_plan plan = fftwf_plan_dft_2d(n, n, data, data, FFTW_FORWARD, flags);
  for (auto _ : state) {
    state.PauseTiming();  // the in-place transform would otherwise grow its own output
    std::memcpy(data, input.data(), input.size() * sizeof(float));
    state.ResumeTiming();
    fftwf_execute(plan);
    benchmark::DoNotOptimize(data[0][0]);
  }
  fftwf_destroy_plan(plan);
  fftwf_free(data);
}
void BM_FftwMeasure(benchmark::State& state) { FftwPlane(state, FFTW_MEASURE); }
void BM_FftwEstimate(benchmark::State& state) { FftwPlane(state, FFTW_ESTIMATE); }
BENCHMARK(BM_FftwMeasure)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FftwEstimate)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
