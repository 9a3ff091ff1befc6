// What the filters share about their rectangle: cutting it to the bitmap and reporting the
// progress of its rows.
#pragma once
#include <algorithm>

#include "base/progress.h"
#include "bitmap/toolkit_bitmap.h"

namespace velora::proc_detail {

// Columns x0..x1−1 of rows y0..y1−1, already cut to the bitmap.
struct TVLArea {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool Empty() const { return x0 >= x1 || y0 >= y1; }
  int Width() const { return x1 - x0; }
  int Height() const { return y1 - y0; }
};

inline TVLArea CutArea(const TBitmap& bitmap, int x0, int y0, int x1, int y1) {
  return {std::max(x0, 0), std::max(y0, 0), std::min(x1, bitmap.Width()), std::min(y1, bitmap.Height())};
}

inline bool Takes24(const TBitmap& bitmap) {
  return bitmap.PixelFormat() == TPixelFormat::pf24bit && !bitmap.Empty();
}

// The routines' percentages run past 100 on short areas (200 for a single row, or a lens one
// column wide); the listener gets them limited.
inline void ReportPercent(const TVLProgressRecord* progress, double per) {
  if (progress && progress->fOnProgress) progress->Report(int(std::clamp(per, 0.0, 100.0)));
}

// After row y of the area: trunc((y − y0 + 1) × 100 / (rows − 0.5)).
inline void ReportRowDone(const TVLProgressRecord* progress, const TVLArea& a, int y) {
  if (progress && progress->fOnProgress) ReportPercent(progress, (y - a.y0 + 1) * 100.0 / (a.Height() - 0.5));
}

inline int Clamp255(int64_t v) { return v < 0 ? 0 : (v > 255 ? 255 : int(v)); }

}  // namespace velora::proc_detail
