#include "vl_draw.h"
#include "vl_view.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace velora {

TBitmapCanvas::TBitmapCanvas(TBitmap& bitmap) : bitmap_(bitmap), clip_{0, 0, bitmap.Width(), bitmap.Height()} {}

TBitmapCanvas::TBitmapCanvas(TBitmap& bitmap, const TRect& clip)
    : bitmap_(bitmap),
      clip_{std::max(clip.Left, 0), std::max(clip.Top, 0), std::min(clip.Right, bitmap.Width()),
            std::min(clip.Bottom, bitmap.Height())} {}

void TBitmapCanvas::FillRect(const TRect& rect, TRGB c) {
  TRect r = IntersectRect(rect, clip_);
  if (r.Width() <= 0 || r.Height() <= 0) return;
  uint8_t* first = bitmap_.ScanLine(r.Top) + 3 * r.Left;
  for (int x = 0; x < r.Width(); ++x) {
    first[3 * x] = c.b, first[3 * x + 1] = c.g, first[3 * x + 2] = c.r;
  }
  for (int y = r.Top + 1; y < r.Bottom; ++y) std::copy_n(first, 3 * r.Width(), bitmap_.ScanLine(y) + 3 * r.Left);
}

void FillChecker(TBitmapCanvas& canvas, const TRect& rect) {
  const TRect r = IntersectRect(rect, canvas.Clip());
  if (r.Width() <= 0 || r.Height() <= 0) return;
  TBitmap& b = canvas.Bitmap();
  // Two distinct rows of squares, the rest copied from the row a square above.
  for (int y = r.Top; y < r.Bottom; ++y) {
    uint8_t* row = b.ScanLine(y) + 3 * r.Left;
    if (y - r.Top >= 2 * kCheckerSquare) {
      std::copy_n(b.ScanLine(y - 2 * kCheckerSquare) + 3 * r.Left, 3 * r.Width(), row);
      continue;
    }
    for (int x = r.Left; x < r.Right; ++x, row += 3) {
      const TRGB c = CheckerColour(x, y);
      row[0] = c.b, row[1] = c.g, row[2] = c.r;
    }
  }
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
  TRect r = IntersectRect(rect, clip_);
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

namespace {

// n pixels b, g, r → b, g, r, 0xFF.
void ExpandRowPlain(const uint8_t* s, uint32_t* d, int n) {
  for (int x = 0; x < n; ++x, s += 3) d[x] = 0xFF000000u | uint32_t(s[2]) << 16 | uint32_t(s[1]) << 8 | s[0];
}

#if defined(__x86_64__) || defined(__i386__)
// Four pixels per shuffle: each 16-byte load holds 5⅓ pixels of which the first four are
// spread to 32-bit lanes and given an opaque alpha. The loads read up to 4 bytes past the
// four pixels, so the last pixels of a row go the plain way.
__attribute__((target("ssse3"))) void ExpandRowSsse3(const uint8_t* s, uint32_t* d, int n) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
  int x = 0;
  for (; x + 18 <= n; x += 16) {
    const uint8_t* p = s + 3 * x;
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 24));
    __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 36));
    __m128i* q = reinterpret_cast<__m128i*>(d + x);
    _mm_storeu_si128(q, _mm_or_si128(_mm_shuffle_epi8(a, spread), alpha));
    _mm_storeu_si128(q + 1, _mm_or_si128(_mm_shuffle_epi8(b, spread), alpha));
    _mm_storeu_si128(q + 2, _mm_or_si128(_mm_shuffle_epi8(c, spread), alpha));
    _mm_storeu_si128(q + 3, _mm_or_si128(_mm_shuffle_epi8(e, spread), alpha));
  }
  for (; x + 6 <= n; x += 4) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_or_si128(_mm_shuffle_epi8(a, spread), alpha));
  }
  ExpandRowPlain(s + 3 * x, d + x, n - x);
}
#endif

void ExpandRow(const uint8_t* s, uint32_t* d, int n) {
#if defined(__x86_64__) || defined(__i386__)
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  if (ssse3) return ExpandRowSsse3(s, d, n);
#endif
  ExpandRowPlain(s, d, n);
}

}  // namespace

void CopyToRgb32(const TBitmap& bitmap, const QRect& r, QImage& image) {
  if (bitmap.BitCount() != 24 || image.depth() != 32) return;
  const QRect c = r & QRect(0, 0, bitmap.Width(), bitmap.Height()) & image.rect();
  if (c.isEmpty()) return;
  for (int y = c.top(); y <= c.bottom(); ++y)
    ExpandRow(bitmap.ScanLine(y) + 3 * c.left(), reinterpret_cast<uint32_t*>(image.scanLine(y)) + c.left(), c.width());
}

void BlitBitmap(QPainter& painter, const QPoint& at, const TBitmap& bitmap, const QRect& src, QImage& scratch) {
  const QRect s = src & QRect(0, 0, bitmap.Width(), bitmap.Height());
  if (s.isEmpty() || bitmap.BitCount() != 24) return;
  // A window that keeps alpha takes premultiplied pixels; opaque ones are the same bytes in
  // both formats, but a matching format spares the painter even the format check's detour.
  const QPaintEngine* engine = painter.paintEngine();
  const QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
  const bool premultiplied = device && device->devType() == QInternal::Image &&
                             static_cast<const QImage*>(device)->format() == QImage::Format_ARGB32_Premultiplied;
  const QImage::Format format = premultiplied ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
  if (scratch.format() != format || scratch.size() != QSize(bitmap.Width(), bitmap.Height()))
    scratch = QImage(bitmap.Width(), bitmap.Height(), format);
  if (scratch.isNull()) return;
  CopyToRgb32(bitmap, s, scratch);
  painter.drawImage(at + (s.topLeft() - src.topLeft()), scratch, s);
}

void BlitBitmap(QPainter& painter, const QPoint& at, const TBitmap& bitmap, const QRect& src) {
  QImage scratch;
  BlitBitmap(painter, at, bitmap, src, scratch);
}

}  // namespace velora
