// Frame times of the transition effects at 1920 × 1080: the frame rule of every effect at
// p = 256, 512 and 768, and the whole step of the engine (frame and repaint of the view).
// The two pictures are generated, or read from VELORA_BENCH_SOURCE and VELORA_BENCH_TARGET
// (compare_transition.sh hands Pillow the same files). The step runs offscreen unless
// QT_QPA_PLATFORM says otherwise (xcb on Xvfb).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QThread>
#include <QWindow>
#include <cstdlib>
#include <memory>
#include <random>

#include "io/velora_io.h"
#include "view/qt/velora_view.h"
#include "view/transition_frames.h"

using namespace velora;

namespace {

constexpr int kW = 1920, kH = 1080;

void Generate(TBitmap& b, uint32_t seed) {
  b.Reset(kW, kH, TPixelFormat::pf24bit);
  std::mt19937 rng(seed);
  for (int y = 0; y < kH; ++y) {
    uint8_t* r = b.ScanLine(y);
    for (int x = 0; x < 3 * kW; ++x) r[x] = uint8_t(x / 7 + y + (rng() & 15));
  }
}

void LoadOrGenerate(TBitmap& b, const char* variable, uint32_t seed) {
  if (const char* file = std::getenv(variable)) {
    TVeloraIO io;
    io.AttachBitmap(&b);
    io.LoadFromFile(file);
    if (!io.Aborting && b.Width() == kW && b.Height() == kH && b.PixelFormat() == TPixelFormat::pf24bit) return;
    std::fprintf(stderr, "bench_transition: %s is not a 1920 x 1080 24-bit picture; generating one\n", file);
  }
  Generate(b, seed);
}

struct TBenchPictures {
  TBitmap Source, Target, Frame{kW, kH, TPixelFormat::pf24bit};
  TTransitionRows Rows;
  TBenchPictures() {
    LoadOrGenerate(Source, "VELORA_BENCH_SOURCE", 1);
    LoadOrGenerate(Target, "VELORA_BENCH_TARGET", 2);
    Rows.Take(Source, Target, Frame);
  }
  TTransitionPictures Pictures() const { return Rows.Pictures(TRGB{0x40, 0x40, 0x40}); }
};

TBenchPictures& Pictures() {
  static TBenchPictures pictures;
  return pictures;
}

// One frame of effect range(0) at p = range(1). The frames that add to the last one (wipes,
// "From", centres) are timed adding to the frame at p − 16, one 60 Hz frame earlier in a
// 1000 ms transition; the random effects place the points or boxes of those 16/1024.
void BM_Frame(benchmark::State& state) {
  const auto effect = TVLTransitionType(state.range(0));
  const int p = int(state.range(1));
  const TTransitionPictures pictures = Pictures().Pictures();
  TTransitionRandomState random;
  DrawTransitionFrameFromStart(effect, pictures, p - 16, random);
  const int64_t before = random.Counter;
  for (auto _ : state) {
    random.Counter = before;
    DrawTransitionFrame(effect, pictures, p, random);
    benchmark::ClobberMemory();
  }
  state.SetLabel(TransitionName(effect));
  state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH * 3);
}

void FrameArgs(benchmark::internal::Benchmark* b) {
  for (int e = 1; e < kTransitionTypeCount; ++e)
    for (int p : {256, 512, 768}) b->Args({e, p});
}
BENCHMARK(BM_Frame)->Apply(FrameArgs)->Unit(benchmark::kMillisecond);

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_transition";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

// The engine's whole step on a shown 1920 × 1080 view: the frame, then the view's repaint,
// which blits it to the window. The fake clock moves 16/1024 of the duration per step (a 60 Hz
// frame of a 1000 ms transition) through p = 256 .. 880, restarting outside the timing.
void BM_Step(benchmark::State& state) {
  App();
  const auto effect = TVLTransitionType(state.range(0));
  TVeloraView view;
  view.SetBorderStyle(bsNone);
  view.resize(kW, kH);
  view.show();
  // On X11 a window paints only once the server has exposed it.
  for (int i = 0; i < 200 && !(view.windowHandle() && view.windowHandle()->isExposed()); ++i) {
    QApplication::processEvents();
    QThread::msleep(10);
  }
  QApplication::processEvents();
  TVLTransitionEffects& engine = view.Transition();
  int64_t now = 0;  // p = now / 1000
  engine.SetTickCount([&now] { return now; });
  auto restart = [&] {
    now = 0;
    engine.Start(Pictures().Source, Pictures().Target, effect, 1024 * 1000, false);
    now = 256 * 1000;
    engine.Step();
  };
  restart();
  for (auto _ : state) {
    if (engine.Progress() > 880) {
      state.PauseTiming();
      restart();
      state.ResumeTiming();
    }
    now += 16 * 1000;
    engine.Step();
  }
  state.SetLabel(std::string(TransitionName(effect)) + " on " + QApplication::platformName().toStdString());
  engine.Stop();
}
BENCHMARK(BM_Step)
    ->Arg(vlttCrossDissolve)
    ->Arg(vlttFadeOutIn)
    ->Arg(vlttLeftRight2)
    ->Arg(vlttMoveLeftRight1)
    ->Arg(vlttRandomPoints)
    ->Arg(vlttRandomBoxes)
    ->Arg(vlttCenterZoom2)
    ->Unit(benchmark::kMillisecond);

}  // namespace
