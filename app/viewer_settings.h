// What the viewer keeps between runs, in QSettings ("Tessel", "TesselImageViewer": on Linux
// ~/.config/Tessel/TesselImageViewer.conf). Read once at start, written when the window
// closes. The command line's folder and mask are never kept: they always win.
#pragma once
#include <QByteArray>
#include <QString>

class QSettings;

// What a turn of the mouse wheel over the picture does.
enum class TWheelChoice {
  Zoom,    // the design's: the wheel zooms
  Browse,  // as most image viewers: the wheel steps through the pictures, Ctrl+wheel zooms
};

struct TViewerSettings {
  QByteArray Geometry;    // the window's geometry (QWidget::saveGeometry)
  QByteArray State;       // its tool bars and docks (QMainWindow::saveState)
  int ColumnWidth = 0;    // the thumbnail column's width; 0: the design's
  int ZoomFilter = 0;     // a TResampleFilter; 0 (none) by design
  int SlideshowMs = 4000;           // between two pictures of the slideshow
  QString Transition = "random";    // "none", "random" or the name of one of the library's transitions
  int TransitionMs = 1000;          // how long a transition lasts (at most half the interval)
  TWheelChoice Wheel = TWheelChoice::Zoom;
  bool StayOnTop = false;           // the design's window stayed on top of all others; off by default
  QString Transparency = "checker"; // under transparent pixels: "checker" or a colour "#rrggbb"
  bool InfoPanel = false;           // the information panel shown
  bool ThumbnailCache = true;

  static constexpr int kMinSlideshowMs = 500;
  // The settings as stored; missing or unusable values keep their defaults.
  static TViewerSettings Load(QSettings& store);
  void Save(QSettings& store) const;
};
