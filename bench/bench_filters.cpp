// The filters and geometric operations on a 6000 x 4000 image (synthetic, or the PPM named by
// VELORA_BENCH_IMAGE so that compare_filters.sh can hand Pillow the same pixels): quarter
// turns and mirrors, the shear rotation and the wave through the processing component, the
// 3 x 3 user filter and the morphology at several radii. Each iteration starts from a fresh
// copy of the image, made outside the timing.
#include <benchmark/benchmark.h>

#include "bench_image.h"
#include "proc/filters.h"
#include "proc/flip_turn.h"
#include "proc/user_filter.h"
#include "proc/velora_proc.h"

using namespace velora;
using velora::bench::RunOnCopies;

namespace {

// The component's operation, as the rotate and flip commands run it.
template <class Op>
void RunOnProc(benchmark::State& state, Op op) {
  RunOnCopies(state, [&](TBitmap& b) {
    TVeloraProc proc;
    proc.AutoUndo = false;
    proc.AttachBitmap(&b);
    op(proc);
  });
}

void BM_Rotate(benchmark::State& state) {
  RunOnProc(state, [&](TVeloraProc& p) { p.RotateImage(true, double(state.range(0))); });
}
void BM_Flip(benchmark::State& state) {
  RunOnProc(state, [&](TVeloraProc& p) { p.FlipImage(int(state.range(0))); });
}
void BM_UserFilterBlur(benchmark::State& state) {
  const TVLUserFilter& blur = VLUserFilterPresetByName("blur")->Filter;
  RunOnCopies(state, [&](TBitmap& b) {
    ConvolveUserFilter(b, blur.Kernel, blur.Divisor, 0, 0, b.Width(), b.Height());
  });
}
void BM_Maximum(benchmark::State& state) {
  RunOnCopies(state, [&](TBitmap& b) { MorphFilter(b, int(state.range(0)), mfMaximum, 0, 0, b.Width(), b.Height()); });
}
void BM_Wave(benchmark::State& state) {
  RunOnCopies(state, [](TBitmap& b) { Wave(b, 10, 20, 0, false); });
}

}  // namespace

BENCHMARK(BM_Rotate)->Arg(90)->Arg(180)->Arg(270)->Arg(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Flip)->Arg(fdHorizontal)->Arg(fdVertical)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UserFilterBlur)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Maximum)->Arg(1)->Arg(5)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Wave)->Unit(benchmark::kMillisecond);
