// Transitions between pictures on a TVeloraView: a folder's pictures (or generated ones), the
// list of the thirty effects and a duration; Space or a click shows the next picture with the
// chosen effect, and the frames drawn are reported on standard output.
//   transition_demo [FOLDER] [--effect NAME] [--duration MS] [--size WxH]
//   transition_demo --frames DIR [--effect NAME] [--at P,...] [FOLDER]
//       writes the frames at fixed progress values as PNG (and a labelled contact sheet of them),
//       without a window
//   transition_demo --screenshot FILE [--effect NAME] [--duration MS] [FOLDER]
//       shows the window (run it on Xvfb), captures it in the middle of a transition, reports the
//       frames drawn and quits
#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io/velora_io.h"
#include "view/qt/velora_view.h"
#include "view/transition_frames.h"

using namespace velora;

namespace {

// ---- pictures

void Put(TBitmap& b, int x, int y, int r, int g, int bl) {
  uint8_t* p = b.ScanLine(y) + 3 * x;
  p[0] = uint8_t(bl), p[1] = uint8_t(g), p[2] = uint8_t(r);
}

// Three pictures that tell apart at a glance: warm rings, a cool chequerboard, diagonal bands.
void MakePicture(TBitmap& b, int w, int h, int which) {
  b.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double dx = x - w / 2.0, dy = y - h / 2.0, d = std::sqrt(dx * dx + dy * dy);
      switch (which % 3) {
        case 0: {
          const int ring = int(d / (std::min(w, h) / 12.0 + 1)) & 1;
          Put(b, x, y, 230, ring ? 150 : 60 + 150 * y / h, ring ? 40 : 20);
          break;
        }
        case 1: {
          const int cell = std::max(8, std::min(w, h) / 8);
          const bool dark = ((x / cell) + (y / cell)) & 1;
          Put(b, x, y, dark ? 20 : 120, dark ? 60 + 120 * x / w : 200, dark ? 140 : 250);
          break;
        }
        default: {
          const bool band = ((x + y) / std::max(6, w / 20)) & 1;
          Put(b, x, y, band ? 40 : 250, band ? 170 : 240, band ? 60 : 120);
        }
      }
    }
}

// The readable pictures of a folder, in name order, made 24-bit.
std::vector<std::unique_ptr<TBitmap>> LoadFolder(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* e = readdir(dir))
      if (e->d_name[0] != '.') names.push_back(folder + "/" + e->d_name);
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::unique_ptr<TBitmap>> pictures;
  for (const std::string& name : names) {
    auto b = std::make_unique<TBitmap>();
    TVeloraIO io;
    io.AttachBitmap(b.get());
    io.LoadFromFile(name);
    if (io.Aborting || b->Empty()) continue;
    if (b->PixelFormat() != TPixelFormat::pf24bit) {
      // 1-bit pictures: black and white as 24-bit pixels.
      TBitmap mono;
      mono.Assign(*b);
      b->Reset(mono.Width(), mono.Height(), TPixelFormat::pf24bit);
      for (int y = 0; y < mono.Height(); ++y)
        for (int x = 0; x < mono.Width(); ++x) {
          const int v = (mono.ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
          Put(*b, x, y, v, v, v);
        }
    }
    pictures.push_back(std::move(b));
  }
  return pictures;
}

QImage ToQImage(const TBitmap& b) {
  QImage img(b.Width(), b.Height(), QImage::Format_RGB32);
  for (int y = 0; y < b.Height(); ++y) {
    const uint8_t* s = b.ScanLine(y);
    QRgb* d = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < b.Width(); ++x) d[x] = qRgb(s[3 * x + 2], s[3 * x + 1], s[3 * x]);
  }
  return img;
}

// The middle of `from` scaled (nearest) to w × h: both pictures of a still frame share a size.
void FitInto(const TBitmap& from, TBitmap& to, int w, int h) {
  to.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* s = from.ScanLine(int(int64_t(y) * from.Height() / h)) + 3 * (int64_t(x) * from.Width() / w);
      Put(to, x, y, s[2], s[1], s[0]);
    }
}

// ---- --frames: still frames without a window

int WriteFrames(const std::string& dir, const std::vector<TVLTransitionType>& effects, const std::vector<int>& at,
                const TBitmap& source, const TBitmap& target) {
  const int W = source.Width(), H = source.Height();
  TBitmap frame(W, H, TPixelFormat::pf24bit);
  TTransitionRows rows;
  rows.Take(source, target, frame);
  const TTransitionPictures pictures = rows.Pictures(TRGB{0x40, 0x40, 0x40});
  // The contact sheet: one row per effect, one column per progress value, labelled.
  const int cellW = std::min(W, 200), cellH = cellW * H / W, label = 150, pad = 4;
  QImage sheet(label + int(at.size()) * (cellW + pad), int(effects.size()) * (cellH + pad) + 20, QImage::Format_RGB32);
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  for (size_t i = 0; i < at.size(); ++i)
    painter.drawText(QRect(label + int(i) * (cellW + pad), 0, cellW, 20), Qt::AlignCenter,
                     QString("p = %1").arg(at[i]));
  int failures = 0;
  for (size_t row = 0; row < effects.size(); ++row) {
    const TVLTransitionType e = effects[row];
    const int top = 20 + int(row) * (cellH + pad);
    painter.drawText(QRect(0, top, label - 4, cellH), Qt::AlignVCenter | Qt::AlignRight, TransitionName(e));
    for (size_t i = 0; i < at.size(); ++i) {
      TTransitionRandomState random;
      DrawTransitionFrameFromStart(e, pictures, at[i], random);
      const QImage img = ToQImage(frame);
      const std::string file = dir + "/" + TransitionName(e) + "_p" + std::to_string(at[i]) + ".png";
      if (!img.save(QString::fromStdString(file))) {
        std::fprintf(stderr, "transition_demo: cannot write %s\n", file.c_str());
        ++failures;
      }
      painter.drawImage(QRect(label + int(i) * (cellW + pad), top, cellW, cellH), img);
    }
  }
  painter.end();
  const std::string sheetFile = dir + "/contact_sheet.png";
  if (!sheet.save(QString::fromStdString(sheetFile))) ++failures;
  std::printf("%zu frames of %d x %d and %s written\n", effects.size() * at.size(), W, H, sheetFile.c_str());
  return failures ? 1 : 0;
}

// ---- the window

class TDemoWindow : public QWidget {
 public:
  TDemoWindow(std::vector<std::unique_ptr<TBitmap>> pictures, TVLTransitionType effect, int duration)
      : Pictures_(std::move(pictures)) {
    setWindowTitle("Velora transitions");
    auto* side = new QVBoxLayout;
    Effects_ = new QListWidget;
    for (int i = 0; i < kTransitionTypeCount; ++i) Effects_->addItem(TransitionName(TVLTransitionType(i)));
    Effects_->setCurrentRow(effect);
    Duration_ = new QSpinBox;
    Duration_->setRange(0, 20000);
    Duration_->setSingleStep(100);
    Duration_->setSuffix(" ms");
    Duration_->setValue(duration);
    Status_ = new QLabel("Space or a click: next picture");
    Status_->setWordWrap(true);
    side->addWidget(Effects_, 1);
    side->addWidget(new QLabel("Duration"));
    side->addWidget(Duration_);
    side->addWidget(Status_);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(side);
    View_ = new TVeloraView;
    View_->SetCenter(true);
    View_->SetBackground(0x00404040);
    layout->addWidget(View_, 1);
    View_->installEventFilter(this);
    View_->setFocus();  // Space goes to the shortcut, not to the duration's edit
    auto* next = new QShortcut(Qt::Key_Space, this);
    connect(next, &QShortcut::activated, this, [this] { Next(); });
    // The engine has no end notice of its own: the demo watches it to report the frames.
    connect(&Watch_, &QTimer::timeout, this, [this] { ReportWhenDone(); });
    Watch_.start(20);
  }

  TVeloraView& View() { return *View_; }

  void ShowPicture(size_t index) {
    Index_ = index % Pictures_.size();
    View_->Bitmap().Assign(*Pictures_[Index_]);
    View_->Update();
    View_->Fit();
  }

  // Capture, load, start.
  void Next() {
    const auto effect = TVLTransitionType(std::max(0, Effects_->currentRow()));
    View_->CaptureTransitionSource();
    ShowPicture(Index_ + 1);
    Watching_ = View_->StartTransition(effect, Duration_->value());
    Started_ = std::chrono::steady_clock::now();
  }

  // Called when a transition has ended (frames drawn, its real length).
  std::function<void(int frames, double ms)> OnTransitionEnd;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == View_ && event->type() == QEvent::MouseButtonPress) {
      Next();
      return true;
    }
    return QWidget::eventFilter(watched, event);
  }

 private:
  void ReportWhenDone() {
    if (!Watching_ || View_->Transition().Running()) return;
    Watching_ = false;
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Started_).count();
    const int frames = View_->Transition().FramesDrawn();
    const QString text = QString("%1: %2 frames of %3 x %4 in %5 ms")
                             .arg(TransitionName(View_->Transition().Effect()))
                             .arg(frames)
                             .arg(View_->width())
                             .arg(View_->height())
                             .arg(Duration_->value());
    Status_->setText(text);
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
    if (OnTransitionEnd) OnTransitionEnd(frames, ms);
  }

  std::vector<std::unique_ptr<TBitmap>> Pictures_;
  size_t Index_ = 0;
  QListWidget* Effects_;
  QSpinBox* Duration_;
  QLabel* Status_;
  TVeloraView* View_;
  QTimer Watch_;
  bool Watching_ = false;
  std::chrono::steady_clock::time_point Started_;
};

std::vector<int> ParseList(const char* text) {
  std::vector<int> values;
  for (const char* s = text; *s;) {
    values.push_back(std::atoi(s));
    const char* comma = std::strchr(s, ',');
    if (!comma) break;
    s = comma + 1;
  }
  return values;
}

int Usage() {
  std::fprintf(stderr,
               "usage: transition_demo [FOLDER] [--effect NAME] [--duration MS] [--size WxH]\n"
               "       transition_demo --frames DIR [--effect NAME] [--at P,...] [--size WxH] [FOLDER]\n"
               "       transition_demo --screenshot FILE [--effect NAME] [--duration MS] [FOLDER]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder, framesDir, screenshot;
  TVLTransitionType effect = vlttCrossDissolve;
  bool oneEffect = false;
  int duration = 1000, width = 960, height = 600;
  std::vector<int> at = {256, 512, 768};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--frames" && more) framesDir = argv[++i];
    else if (a == "--screenshot" && more) screenshot = argv[++i];
    else if (a == "--at" && more) at = ParseList(argv[++i]);
    else if (a == "--duration" && more) duration = std::atoi(argv[++i]);
    else if (a == "--size" && more) {
      if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width < 1 || height < 1) return Usage();
    } else if (a == "--effect" && more) {
      if (!TransitionFromName(argv[++i], effect)) {
        std::fprintf(stderr, "transition_demo: no effect named %s\n", argv[i]);
        return Usage();
      }
      oneEffect = true;
    } else if (a.rfind("--", 0) == 0) {
      return Usage();
    } else {
      folder = a;
    }
  }
  // Still frames need no window: the offscreen platform is enough for the labels.
  if (!framesDir.empty()) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  std::vector<std::unique_ptr<TBitmap>> pictures;
  if (!folder.empty()) pictures = LoadFolder(folder);
  if (pictures.size() < 2) {
    if (!folder.empty()) std::fprintf(stderr, "transition_demo: fewer than two pictures in %s; using generated ones\n", folder.c_str());
    pictures.clear();
    for (int i = 0; i < 3; ++i) {
      pictures.push_back(std::make_unique<TBitmap>());
      MakePicture(*pictures.back(), framesDir.empty() ? 1600 : width / 2, framesDir.empty() ? 1000 : height / 2, i);
    }
  }

  if (!framesDir.empty()) {
    std::vector<TVLTransitionType> effects;
    if (oneEffect)
      effects.push_back(effect);
    else
      for (int i = 1; i < kTransitionTypeCount; ++i) effects.push_back(TVLTransitionType(i));
    TBitmap source, target;
    const int w = std::min(pictures[0]->Width(), 480), h = int(int64_t(w) * pictures[0]->Height() / pictures[0]->Width());
    FitInto(*pictures[0], source, w, std::max(h, 1));
    FitInto(*pictures[1], target, w, std::max(h, 1));
    return WriteFrames(framesDir, effects, at, source, target);
  }

  TDemoWindow window(std::move(pictures), effect, duration);
  window.resize(width, height);
  window.show();
  QTimer::singleShot(0, &window, [&] { window.ShowPicture(0); });
  if (!screenshot.empty()) {
    // Start once the window is on screen, capture half way through, quit at the end.
    QTimer::singleShot(500, &window, [&] {
      window.Next();
      QTimer::singleShot(std::max(duration / 2, 1), &window, [&] {
        const QPixmap shot = window.screen()->grabWindow(window.winId());
        if (!shot.save(QString::fromStdString(screenshot)))
          std::fprintf(stderr, "transition_demo: cannot write %s\n", screenshot.c_str());
      });
    });
    window.OnTransitionEnd = [&](int, double) { QTimer::singleShot(100, &app, &QApplication::quit); };
  }
  return app.exec();
}
