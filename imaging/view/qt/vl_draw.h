// Drawing into a 24-bit toolkit bitmap used as a canvas (the views' back buffers): fills,
// hatch patterns, lines, the 3-D frame and the shadow strips. Everything is clipped to the
// bitmap and to an optional clip rectangle, so callers can pass any coordinates.
#pragma once
#include <QImage>
#include <QPaintEngine>
#include <QPainter>

#include "bitmap/toolkit_bitmap.h"
#include "base/vl_types.h"

namespace velora {

enum class TBrushPattern { Solid, Horizontal, Vertical, FDiagonal, BDiagonal, Cross, DiagCross };

class TBitmapCanvas {
 public:
  explicit TBitmapCanvas(TBitmap& bitmap);
  TBitmapCanvas(TBitmap& bitmap, const TRect& clip);

  TBitmap& Bitmap() { return bitmap_; }
  const TRect& Clip() const { return clip_; }

  void Pixel(int x, int y, TRGB c) {
    if (x >= clip_.Left && x < clip_.Right && y >= clip_.Top && y < clip_.Bottom) {
      uint8_t* p = bitmap_.ScanLine(y) + 3 * x;
      p[0] = c.b, p[1] = c.g, p[2] = c.r;
    }
  }
  void FillRect(const TRect& r, TRGB c);
  // Pattern pixels take `c`, the others `gap`; the pattern repeats every 8 pixels from (0, 0).
  void FillPattern(const TRect& r, TBrushPattern pattern, TRGB c, TRGB gap);
  // Lines with both end points excluded at the end, as the toolkit's LineTo draws them.
  void Line(int x1, int y1, int x2, int y2, TRGB c);
  void HLine(int x1, int x2, int y, TRGB c);  // x1 .. x2 − 1
  void VLine(int x, int y1, int y2, TRGB c);  // y1 .. y2 − 1

 private:
  TBitmap& bitmap_;
  TRect clip_;
};

// A 3-D frame: the left and top edges in colour2, the bottom and right edges in colour1
// (x2, y2 are the last pixel column and row of the frame).
void DrawFrame(TBitmapCanvas& canvas, int x1, int y1, TColor colour1, TColor colour2, int y2, int x2);
// The shadow strips beside and below an image rectangle (left, top, right, bottom exclusive):
// n lines of grey levels trunc(255 × e^(k/n − 1)), darkest nearest the image.
void DrawShadowV(TBitmapCanvas& canvas, int right, int top, int bottom, int n = 6);
void DrawShadowH(TBitmapCanvas& canvas, int left, int right, int bottom, int n = 6);

// The squares shown through transparent pixels, the same in the view and in the thumbnails:
// kCheckerSquare pixels a side, white and light grey, fixed to (0, 0) of what they fill.
constexpr int kCheckerSquare = 8;
inline TRGB CheckerColour(int x, int y) {
  return ((x / kCheckerSquare + y / kCheckerSquare) & 1) == 0 ? TRGB{255, 255, 255} : TRGB{204, 204, 204};
}
void FillChecker(TBitmapCanvas& canvas, const TRect& r);

// Copies the rectangle `r` of a 24-bit toolkit bitmap into `image` at the same place, as
// opaque 32-bit pixels 0xFFRRGGBB (Format_RGB32 or Format_ARGB32_Premultiplied, the formats of
// the widgets' backing stores, which draw such an image with a plain copy). `r` is clipped to
// the bitmap and to the image.
void CopyToRgb32(const TBitmap& bitmap, const QRect& r, QImage& image);

// Blits `src` (a rectangle of a 24-bit toolkit bitmap, rows top-down) to `at`, unscaled. The
// pixels go through `scratch`, a 32-bit image kept by the caller between blits (resized here
// when needed): the window's own pixel format, so that the painter only copies.
void BlitBitmap(QPainter& painter, const QPoint& at, const TBitmap& bitmap, const QRect& src, QImage& scratch);
// The same with a scratch image of its own, for one-off blits.
void BlitBitmap(QPainter& painter, const QPoint& at, const TBitmap& bitmap, const QRect& src);

}  // namespace velora
