#include "viewer_settings.h"

#include <QSettings>
#include <algorithm>

TViewerSettings TViewerSettings::Load(QSettings& store) {
  TViewerSettings s;
  s.Geometry = store.value("Window/Geometry").toByteArray();
  s.State = store.value("Window/State").toByteArray();
  s.ColumnWidth = std::max(0, store.value("Window/ColumnWidth", 0).toInt());
  s.ZoomFilter = store.value("View/ZoomFilter", 0).toInt();
  s.SlideshowMs = std::max(kMinSlideshowMs, store.value("Slideshow/IntervalMs", s.SlideshowMs).toInt());
  s.Transition = store.value("Slideshow/Transition", s.Transition).toString();
  s.TransitionMs = std::max(0, store.value("Slideshow/TransitionMs", s.TransitionMs).toInt());
  s.Wheel = store.value("View/Wheel", "zoom").toString() == "browse" ? TWheelChoice::Browse : TWheelChoice::Zoom;
  s.StayOnTop = store.value("Window/StayOnTop", false).toBool();
  s.Transparency = store.value("View/Transparency", s.Transparency).toString();
  s.InfoPanel = store.value("Window/InfoPanel", false).toBool();
  s.ThumbnailCache = store.value("ThumbnailCache", true).toBool();
  return s;
}

void TViewerSettings::Save(QSettings& store) const {
  store.setValue("Window/Geometry", Geometry);
  store.setValue("Window/State", State);
  store.setValue("Window/ColumnWidth", ColumnWidth);
  store.setValue("View/ZoomFilter", ZoomFilter);
  store.setValue("Slideshow/IntervalMs", SlideshowMs);
  store.setValue("Slideshow/Transition", Transition);
  store.setValue("Slideshow/TransitionMs", TransitionMs);
  store.setValue("View/Wheel", Wheel == TWheelChoice::Browse ? "browse" : "zoom");
  store.setValue("Window/StayOnTop", StayOnTop);
  store.setValue("View/Transparency", Transparency);
  store.setValue("Window/InfoPanel", InfoPanel);
  store.setValue("ThumbnailCache", ThumbnailCache);
}
