#include "vl_draw.h"
#include "vl_view.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace velora {

TBitmapCanvas::TBitmapCanvas(TBitmap& bitmap) : bitmap_(bitmap), clip_{0, 0, bitmap.Width(), bitmap.Height()} {}

TBitmapCanvas::TBitmapCanvas(TBitmap& bitmap, const TRect& clip)
    : bitmap_(bitmap),
      clip_{std::max(clip.Left, 0), std::max(clip.Top, 0), std::min(clip.Right, bitmap.Width()),
            std::min(clip.Bottom, bitmap.Height())} {}

static TRect Intersect(const TRect& a, const TRect& b) {
  return TRect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
               std::min(a.Bottom, b.Bottom)};
}

void TBitmapCanvas::FillRect(const TRect& rect, TRGB c) {
  TRect r = Intersect(rect, clip_);
  if (r.Width() <= 0 || r.Height() <= 0) return;
  uint8_t* first = bitmap_.ScanLine(r.Top) + 3 * r.Left;
  for (int x = 0; x < r.Width(); ++x) {
    first[3 * x] = c.b, first[3 * x + 1] = c.g, first[3 * x + 2] = c.r;
  }
  for (int y = r.Top + 1; y < r.Bottom; ++y) std::copy_n(first, 3 * r.Width(), bitmap_.ScanLine(y) + 3 * r.Left);
}

static bool PatternAt(TBrushPattern p, int x, int y) {
  x &= 7, y &= 7;
  switch (p) {
    case TBrushPattern::Solid: return true;
    case TBrushPattern::Horizontal: return y == 0;
    case TBrushPattern::Vertical: return x == 0;
    case TBrushPattern::FDiagonal: return x == y;
    case TBrushPattern::BDiagonal: return ((x + y) & 7) == 7;
    case TBrushPattern::Cross: return x == 0 || y == 0;
    case TBrushPattern::DiagCross: return x == y || ((x + y) & 7) == 7;
  }
  return true;
}

void TBitmapCanvas::FillPattern(const TRect& rect, TBrushPattern pattern, TRGB c, TRGB gap) {
  if (pattern == TBrushPattern::Solid) return FillRect(rect, c);
  TRect r = Intersect(rect, clip_);
  if (r.Width() <= 0 || r.Height() <= 0) return;
  // Eight distinct rows of the pattern, then copied down.
  for (int y = r.Top; y < std::min(r.Bottom, r.Top + 8); ++y) {
    uint8_t* row = bitmap_.ScanLine(y);
    for (int x = r.Left; x < r.Right; ++x) {
      TRGB v = PatternAt(pattern, x, y) ? c : gap;
      row[3 * x] = v.b, row[3 * x + 1] = v.g, row[3 * x + 2] = v.r;
    }
  }
  for (int y = r.Top + 8; y < r.Bottom; ++y)
    std::copy_n(bitmap_.ScanLine(y - 8) + 3 * r.Left, 3 * r.Width(), bitmap_.ScanLine(y) + 3 * r.Left);
}

void TBitmapCanvas::HLine(int x1, int x2, int y, TRGB c) { FillRect(TRect{x1, y, x2, y + 1}, c); }
void TBitmapCanvas::VLine(int x, int y1, int y2, TRGB c) { FillRect(TRect{x, y1, x + 1, y2}, c); }

void TBitmapCanvas::Line(int x1, int y1, int x2, int y2, TRGB c) {
  // Bresenham; the end point itself is not drawn.
  int dx = std::abs(x2 - x1), dy = -std::abs(y2 - y1);
  int sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
  int err = dx + dy;
  int64_t guard = int64_t(dx) - dy + 1;
  while ((x1 != x2 || y1 != y2) && guard-- > 0) {
    Pixel(x1, y1, c);
    int e2 = 2 * err;
    if (e2 >= dy) err += dy, x1 += sx;
    if (e2 <= dx) err += dx, y1 += sy;
  }
}

void DrawFrame(TBitmapCanvas& canvas, int x1, int y1, TColor colour1, TColor colour2, int y2, int x2) {
  TRGB dark = ColorToRGB(colour1), light = ColorToRGB(colour2);
  canvas.HLine(x1, x2 + 1, y1, light);
  canvas.VLine(x1, y1, y2 + 1, light);
  canvas.HLine(x1 + 1, x2 + 1, y2, dark);
  canvas.VLine(x2, y1 + 1, y2 + 1, dark);
}

static uint8_t ShadowLevel(int k, int n) { return uint8_t(std::trunc(255.0 * std::exp(double(k) / n - 1.0))); }

void DrawShadowV(TBitmapCanvas& canvas, int right, int top, int bottom, int n) {
  for (int k = 0; k < n; ++k) {
    uint8_t g = ShadowLevel(k, n);
    canvas.VLine(right + k, top + n, bottom + k, TRGB{g, g, g});
  }
}

void DrawShadowH(TBitmapCanvas& canvas, int left, int right, int bottom, int n) {
  for (int k = 0; k < n; ++k) {
    uint8_t g = ShadowLevel(k, n);
    canvas.HLine(left + n, right + 1 + k, bottom + k, TRGB{g, g, g});
  }
}

void BlitBitmap(QPainter& painter, const QPoint& at, const TBitmap& bitmap, const QRect& src) {
  QRect s = src & QRect(0, 0, bitmap.Width(), bitmap.Height());
  if (s.isEmpty() || bitmap.BitCount() != 24) return;
  // The block holds the bottom row first: as a QImage it is the picture upside down. Each
  // row is drawn at its place from the wrapped image, so nothing is copied or flipped here.
  const int h = bitmap.Height();
  QImage image(bitmap.Bits(), bitmap.Width(), h, bitmap.RowLen(), QImage::Format_BGR888);
  const int dx = at.x() + (s.left() - src.left()), dy = at.y() + (s.top() - src.top());
  for (int y = s.top(); y <= s.bottom(); ++y)
    painter.drawImage(QPoint(dx, dy + y - s.top()), image, QRect(s.left(), h - 1 - y, s.width(), 1));
}

}  // namespace velora
