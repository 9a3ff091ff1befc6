// TesselImageViewer <Folder> <FileMask> [--no-thumbnail-cache]; --help lists the keys
#include <QMessageBox>
#include <QScreen>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "image_viewer_form.h"
#include "viewer_texts.h"
#include "io/io_params.h"
#include "tessel_application.h"

namespace {

// The GUI thread's own CPU time, in microseconds.
qint64 ThreadCpuMicroseconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// TESSEL_LATENCY_LOG=FILE: a 10 ms timer notes how late the event loop runs it. Every 100 ms
// a line "ms-since-start worst-lateness-ms cpu-ms" goes to FILE (the benchmarks read it),
// cpu-ms being the GUI thread's own CPU time during that worst wait: close to the lateness
// when the thread was busy, near 0 when it waited for a processor.
void StartLatencyProbe(QObject* owner, const char* path) {
  FILE* log = std::fopen(path, "w");
  if (!log) return;
  auto* timer = new QTimer(owner);
  timer->setTimerType(Qt::PreciseTimer);
  timer->setInterval(10);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  struct TState {
    qint64 last = 0, lastCpu = 0, worst = 0, worstCpu = 0, reported = 0;
  };
  auto state = std::make_shared<TState>();
  QObject::connect(timer, &QTimer::timeout, owner, [=] {
    TState& st = *state;
    const qint64 now = clock->nsecsElapsed() / 1000, cpu = ThreadCpuMicroseconds();  // microseconds
    if (st.last && now - st.last - 10000 > st.worst) {
      st.worst = now - st.last - 10000;
      st.worstCpu = cpu - st.lastCpu;
    }
    st.last = now;
    st.lastCpu = cpu;
    if (now - st.reported >= 100000) {
      std::fprintf(log, "%lld %.1f %.1f\n", (long long)(now / 1000), st.worst / 1000.0, st.worstCpu / 1000.0);
      std::fflush(log);
      st.reported = now;
      st.worst = st.worstCpu = 0;
    }
  });
  timer->start();
}

// Shows a message box to the user; under TESSEL_SCREENSHOT, with no one to press OK, captures
// it and closes it.
void ShowMessage(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(velora::kViewerTitle), text, QMessageBox::Ok);
  if (const char* shot = std::getenv("TESSEL_SCREENSHOT")) {
    QString path = QString::fromLocal8Bit(shot);
    QTimer::singleShot(500, &box, [&box, path] {
      box.grab().save(path);
      box.accept();
    });
  }
  box.exec();
}

}  // namespace

int main(int argc, char** argv) {
  // Asked for help: the usage and the keys, without a window (or a display).
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
      std::fputs(velora::ViewerHelpText().c_str(), stdout);
      return 0;
    }
  TesselApplication app(argc, argv);
  // Options may stand anywhere; what is left are the folder and the mask.
  bool thumbnailCache = true;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) == "--no-thumbnail-cache")
      thumbnailCache = false;
    else
      args.push_back(argv[i]);
  }
  argc = int(args.size());
  argv = args.data();
  if (argc < 3) {
    ShowMessage(QString::fromUtf8(velora::kViewerUsageText));
    return 0;
  }
  // A folder that is not there would open an empty window without a word.
  if (const std::string problem = velora::FolderProblem(argv[1]); !problem.empty()) {
    std::fprintf(stderr, "TesselImageViewer: %s\n", problem.c_str());
    ShowMessage(QString::fromStdString(problem));
    return 2;
  }
  if (QScreen* screen = QGuiApplication::primaryScreen())
    velora::SetDefaultDpi(int(screen->logicalDotsPerInchX()), int(screen->logicalDotsPerInchY()));

  TfrmImageViewer form(argv[1], argv[2]);
  if (!thumbnailCache) form.SetThumbnailCacheEnabled(false);
  ShowViewerWindow(form);
  if (const char* log = std::getenv("TESSEL_LATENCY_LOG")) StartLatencyProbe(&form, log);
  // TESSEL_STATUS_LOG=FILE: every new text of the status line, one line each (the trial
  // scripts read what the window says there).
  if (const char* path = std::getenv("TESSEL_STATUS_LOG"))
    if (FILE* log = std::fopen(path, "w"))
      QObject::connect(&form.StatusLine(), &TStatusLine::Changed, &form, [log](const QString& text) {
        std::fprintf(log, "%s\n", text.toUtf8().constData());
        std::fflush(log);
      });

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
