// TesselImageViewer <Folder> <FileMask>
#include <QMessageBox>
#include <QScreen>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "image_viewer_form.h"
#include "viewer_texts.h"
#include "io/io_params.h"
#include "tessel_application.h"

#include <algorithm>
#include <memory>

namespace {

// TESSEL_LATENCY_LOG=FILE: a 10 ms timer notes how late the event loop runs it; every 100 ms
// a line "ms-since-start worst-lateness-ms" goes to FILE (the benchmarks read it).
void StartLatencyProbe(QObject* owner, const char* path) {
  FILE* log = std::fopen(path, "w");
  if (!log) return;
  auto* timer = new QTimer(owner);
  timer->setTimerType(Qt::PreciseTimer);
  timer->setInterval(10);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  auto last = std::make_shared<qint64>(0), worst = std::make_shared<qint64>(0), reported = std::make_shared<qint64>(0);
  QObject::connect(timer, &QTimer::timeout, owner, [=] {
    const qint64 now = clock->nsecsElapsed() / 1000;  // microseconds
    if (*last) *worst = std::max(*worst, now - *last - 10000);
    *last = now;
    if (now - *reported >= 100000) {
      std::fprintf(log, "%lld %.1f\n", (long long)(now / 1000), *worst / 1000.0);
      std::fflush(log);
      *reported = now;
      *worst = 0;
    }
  });
  timer->start();
}

}  // namespace

int main(int argc, char** argv) {
  TesselApplication app(argc, argv);
  if (argc < 3) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(velora::kViewerTitle),
                    QString::fromUtf8(velora::kViewerUsageText), QMessageBox::Ok);
    if (const char* shot = std::getenv("TESSEL_SCREENSHOT")) {
      // Without anyone to press OK: capture the message and close it.
      QString path = QString::fromLocal8Bit(shot);
      QTimer::singleShot(500, &box, [&box, path] {
        box.grab().save(path);
        box.accept();
      });
    }
    box.exec();
    return 0;
  }
  if (QScreen* screen = QGuiApplication::primaryScreen())
    velora::SetDefaultDpi(int(screen->logicalDotsPerInchX()), int(screen->logicalDotsPerInchY()));

  TfrmImageViewer form(argv[1], argv[2]);
  ShowViewerWindow(form);
  if (const char* log = std::getenv("TESSEL_LATENCY_LOG")) StartLatencyProbe(&form, log);

  // TESSEL_SCREENSHOT=FILE: once the folder is scanned and painted, save what the screen
  // shows of the window and quit (./run.sh uses it on a virtual display).
  if (const char* shot = std::getenv("TESSEL_SCREENSHOT")) {
    QString path = QString::fromLocal8Bit(shot);
    QTimer::singleShot(2500, &form, [&form, path] {
      QScreen* screen = form.screen();
      QPixmap pixmap = screen ? screen->grabWindow(0) : form.grab();
      pixmap.save(path);
      QApplication::quit();
    });
  }
  return app.exec();
}
