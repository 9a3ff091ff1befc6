// The thumbnail column of the viewer under a large folder, measured the way a user meets it:
//   1. appending the entries (file names and captions only, nothing read): time and resident
//      memory growth per entry;
//   2. painting the first screen: every visible cell reads its JPEG at the smallest sufficient
//      scale, reduces it and stores it: time per thumbnail, memory afterwards, mapped views;
//   3. scrolling through thumbnails already stored: time of one full repaint of the column.
// Usage: bench_mview [--entries N] [--folder DIR] [--filled N] [--steps N]
// The entries cycle through the JPEGs of DIR (sorted by name); without a folder they name
// files that do not exist, and only step 1 means anything. Paints go into a QImage through
// QWidget::render, on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <dirent.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mview/velora_mview.h"

using namespace velora;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Resident set size in bytes, from the second field of /proc/self/statm.
long ResidentBytes() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  long size = 0, resident = 0;
  if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
  std::fclose(f);
  return resident * sysconf(_SC_PAGESIZE);
}

std::vector<std::string> JpegsIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n.size() > 4 && (n.compare(n.size() - 4, 4, ".jpg") == 0 || n.compare(n.size() - 4, 4, ".JPG") == 0))
        names.push_back(n);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The viewer's column: 100 × 100 captioned cells, one column, thumbnails stored.
void ConfigureLikeViewer(TVeloraMView& v) {
  QFont f = v.font();
  f.setPixelSize(11);
  v.setFont(f);
  v.SetScrollBars(ssVertical);
  v.SetStoreType(vltThumb);
  v.MouseInteract = mmiScroll | mmiSelect;
  v.SetGridWidth(-1);
  v.SetSelectionStyle(vlssACD);
}

// One full repaint of the control, as the window system would ask for it.
double Repaint(TVeloraMView& v, QImage& canvas) {
  const auto t0 = Clock::now();
  v.render(&canvas);
  return MsSince(t0);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int entries = 10000, filled = 32, steps = 200;
  std::string folder;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--entries") entries = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--folder") folder = argv[i + 1];
    else if (a == "--filled") filled = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--steps") steps = std::max(1, std::atoi(argv[i + 1]));
    else {
      std::fprintf(stderr, "usage: bench_mview [--entries N] [--folder DIR] [--filled N] [--steps N]\n");
      return 2;
    }
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::vector<std::string> files = folder.empty() ? std::vector<std::string>{} : JpegsIn(folder);

  TVeloraMView view;
  ConfigureLikeViewer(view);
  view.resize(130, 600);
  view.show();
  QApplication::processEvents();
  // Eight whole cells in the client area, as the viewer's column shows them on a 1080p screen.
  // Sized now: events are not processed again, so only the timed paints below read files.
  const int cell = view.ThumbHeight() + view.VertBorder();
  view.resize(130, 8 * cell + view.VertBorder() + (view.height() - view.ClientHeight()));
  QApplication::processEvents();

  // ---- 1. appending, as the folder scan does
  const long rss0 = ResidentBytes();
  auto t0 = Clock::now();
  view.LockUpdate();
  char name[64];
  for (int i = 0; i < entries; ++i) {
    const int idx = view.AppendImage();
    std::string path;
    if (files.empty()) {
      std::snprintf(name, sizeof(name), "IMG_%05d.JPG", i);
      path = "/nonexistent/" + std::string(name);
    } else {
      path = folder + "/" + files[size_t(i) % files.size()];
    }
    view.SetImageFileName(idx, path);
    view.ImageTopText(idx)->SetCaption(std::to_string(i + 1));
    view.ImageBottomText(idx)->SetCaption(path.substr(path.find_last_of('/') + 1));
    view.ImageInfoText(idx)->SetCaption("6000x4000x24b");
  }
  view.UnlockUpdate();
  const double appendMs = MsSince(t0);
  const long rss1 = ResidentBytes();
  std::printf("append: %d entries in %.1f ms (%.2f us each); resident +%.2f MB = %ld bytes/entry; "
              "stored images %d, mapped views %d\n",
              entries, appendMs, appendMs * 1000 / entries, (rss1 - rss0) / 1048576.0, (rss1 - rss0) / entries,
              view.Store().ImageCount(), view.Store().MappedCount());
  if (files.empty()) return 0;

  int visible = 0;
  for (int i = 0; i < view.ImageCount() && view.IsImageVisible(i) > 0; ++i) ++visible;
  QImage canvas(view.size(), QImage::Format_RGB32);

  // ---- 2. the first screen: every visible cell is read, reduced and stored
  t0 = Clock::now();
  Repaint(view, canvas);
  const double firstMs = MsSince(t0);
  const long rss2 = ResidentBytes();
  const int stored = view.Store().ImageCount();
  std::printf("first screen: %d cells (%d visible) in %.1f ms = %.1f ms per thumbnail; resident +%.2f MB "
              "over the entries; mapped views %d of ImageCacheSize %d; store file %.1f MB\n",
              stored, visible, firstMs, firstMs / std::max(stored, 1), (rss2 - rss1) / 1048576.0,
              view.Store().MappedCount(), view.ImageCacheSize(), view.Store().FileSize() / 1048576.0);

  // ---- 3. scrolling through stored thumbnails
  const int viewHeight = view.ClientHeight();
  const int lastY = std::max(0, (filled - 8) * cell);
  for (int y = 0; y <= lastY; y += viewHeight) {  // fill the stored range once, untimed
    view.SetViewY(y);
    Repaint(view, canvas);
  }
  view.SetViewY(lastY);
  Repaint(view, canvas);
  const int storedAfterFill = view.Store().ImageCount();
  // Wheel-sized steps down and back up through the stored range; each paint maps the views
  // of the cells that came into sight and draws eight cells with their captions.
  std::vector<double> times;
  const int step = 3 * cell / 10;  // about a third of a cell
  int y = 0, dir = 1;
  for (int k = 0; k < steps; ++k) {
    y += dir * step;
    if (y > lastY) y = lastY, dir = -1;
    if (y < 0) y = 0, dir = 1;
    view.SetViewY(y);
    times.push_back(Repaint(view, canvas));
  }
  const long rss3 = ResidentBytes();
  std::printf("scroll: %d repaints of the %dx%d column over %d stored thumbnails (no reading: %s): "
              "median %.2f ms, max %.2f ms; mapped views %d; resident +%.2f MB over the entries\n",
              steps, view.width(), view.height(), storedAfterFill,
              view.Store().ImageCount() == storedAfterFill ? "yes" : "no", Median(times),
              *std::max_element(times.begin(), times.end()), view.Store().MappedCount(),
              (rss3 - rss1) / 1048576.0);
  return 0;
}
