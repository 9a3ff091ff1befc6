// Repaint speed of the image view: a 1920 × 1080 view showing a 6000 × 4000 image, scrolled by
// one pixel per iteration so that every repaint renders the back buffer again and blits it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>
#include <random>

#include "view/qt/velora_view.h"

using namespace velora;

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_view";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

TVeloraView& View() {
  static std::unique_ptr<TVeloraView> view = [] {
    App();
    auto v = std::make_unique<TVeloraView>();
    v->SetBorderStyle(bsNone);
    v->resize(1920, 1080);
    TBitmap& b = v->Bitmap();
    b.Reset(6000, 4000, TPixelFormat::pf24bit);
    std::mt19937 rng(1);
    for (int y = 0; y < b.Height(); ++y) {
      uint8_t* r = b.ScanLine(y);
      for (int x = 0; x < 3 * b.Width(); x += 4) r[x] = uint8_t(rng());
    }
    v->show();
    QApplication::processEvents();
    v->Update();
    return v;
  }();
  return *view;
}

void Setup(TVeloraView& v, double zoom, TResampleFilter filter) {
  v.SetZoomFilter(filter);
  v.DelayZoomFilter = false;
  v.SetZoom(zoom);
  v.SetViewOrigin(100, 100);
  QApplication::processEvents();
}

// SetViewOrigin paints at once: render into the back buffer, then blit to the window.
void BM_ScrollRepaint(benchmark::State& state) {
  TVeloraView& v = View();
  Setup(v, double(state.range(0)), rfNone);
  for (auto _ : state) {
    // The same work as a scroll: the geometry marks the back buffer dirty, the repaint
    // renders and blits it.
    v.Update();
    v.repaint();
  }
  state.SetLabel(std::to_string(state.range(0)) + " %");
}
BENCHMARK(BM_ScrollRepaint)->Arg(25)->Arg(100)->Arg(333)->Unit(benchmark::kMillisecond);

// The renderer alone, without the blit.
void BM_RenderFast(benchmark::State& state) {
  TVeloraView& v = View();
  Setup(v, double(state.range(0)), rfNone);
  TBitmap target(v.ExtentX(), v.ExtentY(), TPixelFormat::pf24bit);
  std::vector<uint8_t*> rows;
  for (int y = 0; y < target.Height(); ++y) rows.push_back(target.ScanLine(y));
  for (auto _ : state) v.RenderFast(target, rows, TRect{0, 0, target.Width(), target.Height()});
}
BENCHMARK(BM_RenderFast)->Arg(25)->Arg(100)->Arg(333)->Unit(benchmark::kMillisecond);

// The filtered repaint of the visible rectangle.
void BM_FilteredRepaint(benchmark::State& state) {
  TVeloraView& v = View();
  Setup(v, 250, rfLanczos3);
  int step = 1;
  for (auto _ : state) {
    v.SetViewOrigin(v.ViewOriginX() + step, v.ViewOriginY());
    step = -step;
  }
  v.SetZoomFilter(rfNone);
}
BENCHMARK(BM_FilteredRepaint)->Unit(benchmark::kMillisecond);

// The filtered repaint of the whole picture fitted into the viewer's maximised view (1751 x 1042
// beside the thumbnail column on a 1920 x 1080 screen): what a zoom filter costs per picture.
void BM_FilteredRepaintAtFit(benchmark::State& state) {
  TVeloraView& v = View();
  v.resize(1751, 1042);
  v.SetZoomFilter(rfLanczos3);
  v.DelayZoomFilter = false;
  v.Fit();
  QApplication::processEvents();
  for (auto _ : state) {
    v.Update();
    v.repaint();
  }
  state.SetLabel(std::to_string(int(v.Zoom())) + " %");
  v.SetZoomFilter(rfNone);
  v.resize(1920, 1080);
}
BENCHMARK(BM_FilteredRepaintAtFit)->Unit(benchmark::kMillisecond);

}  // namespace
