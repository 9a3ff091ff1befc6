// Shows an image file (or a generated test picture) in a TVeloraView: fitted and centred,
// click to zoom in (right button out), drag to scroll, wheel to zoom.
//   view_demo [--zoom PERCENT] [--filter none|triangle|lanczos3|...] [--background STYLE] [FILE]
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "view/qt/velora_view.h"

using namespace velora;

namespace {

// A picture with fine detail, so that a 1:1 view shows whether pixels stay sharp.
void MakeTestPicture(TBitmap& bitmap) {
  const int w = 1600, h = 1000;
  QImage img(w, h, QImage::Format_RGB888);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, 160));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < 12; ++i) {
    p.setPen(QPen(QColor::fromHsv(i * 30, 255, 230), 6));
    p.drawEllipse(QPoint(800, 500), 60 + 35 * i, 40 + 35 * i);
  }
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(Qt::black);
  for (int x = 40; x < 360; x += 2) p.drawLine(x, 40, x, 200);  // one-pixel stripes
  for (int y = 240; y < 400; y += 2) p.drawLine(40, y, 360, y);
  QFont f = p.font();
  f.setPixelSize(64);
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRect(0, h - 180, w, 120), Qt::AlignCenter, "Velora view 1600 x 1000");
  p.end();
  bitmap.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y) {
    const uchar* s = img.constScanLine(y);
    uint8_t* d = bitmap.ScanLine(y);
    for (int x = 0; x < w; ++x) d[3 * x] = s[3 * x + 2], d[3 * x + 1] = s[3 * x + 1], d[3 * x + 2] = s[3 * x];
  }
}

TResampleFilter FilterByName(const std::string& n) {
  TResampleFilter filter = rfNone;
  ResampleFilterByName(n, filter);
  return filter;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  double zoom = 0;
  TResampleFilter filter = rfNone;
  int background = vlbsCropShadow;
  std::string file;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--zoom") && i + 1 < argc) zoom = std::atof(argv[++i]);
    else if (!std::strcmp(argv[i], "--filter") && i + 1 < argc) filter = FilterByName(argv[++i]);
    else if (!std::strcmp(argv[i], "--background") && i + 1 < argc) background = std::atoi(argv[++i]);
    else file = argv[i];
  }

  TVeloraView view;
  view.setWindowTitle("Velora view demo");
  view.resize(1024, 700);
  view.SetCenter(true);
  view.SetScrollBars(ssBoth);
  view.SetBackgroundStyle(TVLBackgroundStyle(background));
  view.SetMouseInteract(MouseInteractSet({miZoom, miScroll}));
  view.SetZoomFilter(filter);
  view.show();

  bool loaded = false;
  if (!file.empty()) {
    TVeloraIO& io = view.GetIO();
    io.LoadFromFile(file);
    loaded = !io.Aborting && !view.Bitmap().Empty();
    if (!loaded) std::fprintf(stderr, "view_demo: cannot read %s; showing the test picture\n", file.c_str());
  }
  if (!loaded) {
    MakeTestPicture(view.Bitmap());
    view.Update();
    view.NotifyImageChanged();
  }
  // After the window has its size: fit (or the zoom asked for).
  QTimer::singleShot(0, &view, [&] {
    if (zoom > 0)
      view.SetZoom(zoom);
    else
      view.Fit();
  });
  return app.exec();
}
