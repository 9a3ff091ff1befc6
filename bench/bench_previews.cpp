// The preview dialog with a 24-megapixel image: one re-run of the preview after a parameter
// change on each page (restore, apply, paint of the Result), and RefreshPreview with the
// Source's bitmap unchanged (thumbnail and transform kept) and changed (both made again).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <functional>
#include <memory>
#include <random>

#include "dialogs/previews_form.h"

using namespace velora;

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_previews";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

TfPreviews& Form() {
  static std::unique_ptr<TfPreviews> form = [] {
    App();
    auto f = std::make_unique<TfPreviews>();
    TBitmap& b = f->Velora1->Bitmap();
    b.Reset(6000, 4000, TPixelFormat::pf24bit);
    std::mt19937 rng(1);
    for (int y = 0; y < b.Height(); ++y) {
      uint8_t* r = b.ScanLine(y);
      for (int x = 0; x < 3 * b.Width(); ++x) r[x] = uint8_t((x / 3 + y) / 40 + (rng() & 15));
    }
    f->PageSet = 1;
    f->LockDefault = true;
    f->show();
    QApplication::processEvents();
    return f;
  }();
  return *form;
}

// Opens the page at `tab` and alternates one of its parameters, each change re-running the
// preview as the lock makes it.
void Rerun(benchmark::State& state, int tab, const std::function<void(TfPreviews&, int)>& change) {
  TfPreviews& f = Form();
  f.PageControl1->setCurrentIndex(tab);
  int i = 0;
  for (auto _ : state) {
    change(f, ++i & 1);
    benchmark::DoNotOptimize(f.Velora2->Bitmap().Bits());
  }
}

void BM_RerunContrast(benchmark::State& s) { Rerun(s, 0, [](TfPreviews& f, int odd) { f.TrackBar1->setValue(odd ? 30 : 20); }); }
void BM_RerunHSV(benchmark::State& s) { Rerun(s, 1, [](TfPreviews& f, int odd) { f.TrackBar9->setValue(odd ? 30 : 20); }); }
void BM_RerunHSL(benchmark::State& s) { Rerun(s, 2, [](TfPreviews& f, int odd) { f.TrackBar2->setValue(odd ? 30 : 20); }); }
void BM_RerunRGB(benchmark::State& s) { Rerun(s, 3, [](TfPreviews& f, int odd) { f.TrackBar6->setValue(odd ? 30 : 20); }); }
void BM_RerunEqualization(benchmark::State& s) {
  Rerun(s, 5, [](TfPreviews& f, int odd) { f.RulerBox1->SetGripPosition(0, odd ? 30 : 20); });
}
void BM_RerunUserFilter(benchmark::State& s) {
  Rerun(s, 4, [](TfPreviews& f, int odd) { f.ListBox1->setCurrentRow(odd ? 1 : 2); });
}
void BM_RerunBumpMap(benchmark::State& s) { Rerun(s, 6, [](TfPreviews& f, int odd) { f.Edit26->setValue(odd ? 30 : 20); }); }
void BM_RerunLens(benchmark::State& s) { Rerun(s, 7, [](TfPreviews& f, int odd) { f.Edit31->setValue(odd ? 9 : 8); }); }
void BM_RerunWave(benchmark::State& s) { Rerun(s, 8, [](TfPreviews& f, int odd) { f.Edit34->setValue(odd ? 90 : 80); }); }
// The largest window: the routine's time does not grow with it.
void BM_RerunMorph(benchmark::State& s) { Rerun(s, 9, [](TfPreviews& f, int odd) { f.Edit35->setValue(odd ? 64 : 63); }); }
void BM_RerunRotate(benchmark::State& s) {
  Rerun(s, 10, [](TfPreviews& f, int odd) { f.TrackBarRotate->setValue(odd ? 3050 : 3000); });
}
void BM_RerunFFT(benchmark::State& s) { Rerun(s, 11, [](TfPreviews& f, int) { f.Clear->click(); }); }

void BM_RefreshPreviewKept(benchmark::State& state) {
  TfPreviews& f = Form();
  f.PageControl1->setCurrentIndex(0);
  for (auto _ : state) f.RefreshPreview();
}

void BM_RefreshPreviewSourceChanged(benchmark::State& state) {
  TfPreviews& f = Form();
  f.PageControl1->setCurrentIndex(0);
  for (auto _ : state) {
    f.SourceChanged();
    f.RefreshPreview();
  }
}

}  // namespace

BENCHMARK(BM_RerunContrast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RerunHSV)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RerunHSL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RerunRGB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RerunEqualization)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RerunUserFilter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RerunBumpMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RerunLens)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RerunWave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RerunMorph)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RerunRotate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RerunFFT)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshPreviewKept)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshPreviewSourceChanged)->Unit(benchmark::kMillisecond);
