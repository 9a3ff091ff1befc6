#include "hsv_box.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "proc/color_adjust.h"

namespace velora {

namespace {
int RoundEven(double v) { return int(std::nearbyint(v)); }
QRgb Pixel(TRGB c) { return qRgb(c.r, c.g, c.b); }
}  // namespace

THSVBox::THSVBox(QWidget* parent) : TBufferedBox(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(105, 105);
  ComputeColour();
}

void THSVBox::ComputeColour() { Rgb_ = HSVToRGB(Hue_, Sat_, Val_); }

void THSVBox::SetHue(int hue) {
  DrawMarkers();
  Hue_ = std::clamp(hue, 0, 359);
  ComputeColour();
  DrawField();
  DrawMarkers();
  update();
}

void THSVBox::SetSat(int sat) {
  DrawMarkers();
  Sat_ = std::clamp(sat, 0, 99);
  ComputeColour();
  DrawMarkers();
  update();
}

void THSVBox::SetVal(int val) {
  DrawMarkers();
  Val_ = std::clamp(val, 0, 99);
  ComputeColour();
  DrawMarkers();
  update();
}

void THSVBox::SetColorRGB(uint8_t red, uint8_t green, uint8_t blue) {
  Rgb_ = TRGB{blue, green, red};
  RGBToHSV(Rgb_, Hue_, Sat_, Val_);
  RedrawAll();
}

void THSVBox::SetBackground(TColor colour) {
  Background_ = colour;
  RedrawAll();
}

void THSVBox::SetHueBarWidth(int width) {
  if (width < 0) return;
  HueBarWidth_ = width;
  RedrawAll();
}

void THSVBox::SetBarsDistance(int distance) {
  if (distance < 0) return;
  BarsDistance_ = distance;
  RedrawAll();
}

void THSVBox::RedrawAll() {
  if (Buffer_.isNull()) return;
  DrawField();
  DrawHueBar();
  DrawMarkers();
  update();
}

void THSVBox::DrawField() {
  const int H = Buffer_.height(), F = std::min(FieldWidth(), Buffer_.width());
  if (H < 1 || F < 1) return;
  // The factors are single precision, as the field has always been drawn.
  const float vStep = 100.0f / float(H), sStep = 100.0f / float(F);
  for (int a = 0; a < H; ++a) {
    auto* row = reinterpret_cast<QRgb*>(Buffer_.scanLine(H - 1 - a));
    const int v = int(double(a) * double(vStep));
    for (int e = 0; e < F; ++e) row[e] = Pixel(HSVToRGB(Hue_, int(double(e) * double(sStep)), v));
  }
}

void THSVBox::DrawHueBar() {
  const int W = Buffer_.width(), H = Buffer_.height();
  const int gapStart = std::max(0, W - BarsDistance_ - HueBarWidth_), barStart = std::max(0, W - HueBarWidth_);
  if (H < 1) return;
  const float step = 360.0f / float(H);
  const QRgb gap = ColorToQColor(Background_).rgb();
  for (int a = 0; a < H; ++a) {
    auto* row = reinterpret_cast<QRgb*>(Buffer_.scanLine(H - 1 - a));
    for (int x = gapStart; x < barStart; ++x) row[x] = gap;
    const QRgb bar = Pixel(HSVToRGB(int(double(a) * double(step)), 99, 99));
    for (int x = barStart; x < W; ++x) row[x] = bar;
  }
}

void THSVBox::DrawMarkers() {
  if (Buffer_.isNull()) return;
  const int W = Buffer_.width(), H = Buffer_.height(), F = FieldWidth();
  QPainter p(&Buffer_);
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  p.setPen(QPen(Qt::white, 1));
  p.setBrush(Qt::NoBrush);
  // Rectangles from (x1, y1) to (x2, y2) with the far ends excluded.
  auto frame = [&p](int x1, int y1, int x2, int y2) {
    if (x2 - x1 >= 1 && y2 - y1 >= 1) p.drawRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1);
  };
  const int hy = RoundEven(double(H - 1) * (359 - Hue_) / 360.0);
  frame(W - HueBarWidth_, hy - 2, W, hy + 2);
  const int sx = RoundEven(Sat_ / 99.0 * (F - 1));
  const int vy = H - RoundEven(double(H - 1) * Val_ / 99.0);
  frame(sx - 3, vy - 4, sx + 3, vy + 2);
}

void THSVBox::BufferResized() {
  Buffer_.fill(ColorToQColor(Background_));
  RedrawAll();
}

void THSVBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const int x = event->position().toPoint().x(), W = Buffer_.width();
  Drag_ = x < FieldWidth() ? dragField : x >= W - HueBarWidth_ ? dragHue : dragNone;
  if (Drag_ != dragNone) Pick(x, event->position().toPoint().y());
}

void THSVBox::mouseMoveEvent(QMouseEvent* event) {
  if (Drag_ == dragNone || !(event->buttons() & Qt::LeftButton)) return;
  const int W = Buffer_.width(), H = Buffer_.height();
  int x = std::max(0, event->position().toPoint().x());
  const int y = std::clamp(event->position().toPoint().y(), 0, std::max(0, H - 1));
  x = Drag_ == dragField ? std::min(x, FieldWidth() - 1) : std::clamp(x, W - HueBarWidth_, W - 1);
  Pick(x, y);
}

void THSVBox::mouseReleaseEvent(QMouseEvent*) { Drag_ = dragNone; }

void THSVBox::Pick(int x, int y) {
  const int W = Buffer_.width(), H = Buffer_.height(), F = FieldWidth();
  // A field or bar one pixel across has no scale to pick on.
  if (H < 2) return;
  if (Drag_ == dragField && F < 2) return;
  DrawMarkers();
  if (Drag_ == dragField) {
    Sat_ = std::clamp(RoundEven(double(x) / (F - 1) * 99), 0, 99);
    Val_ = std::clamp(99 - RoundEven(double(y) / (H - 1) * 99), 0, 99);
  } else if (x >= W - HueBarWidth_) {
    Hue_ = std::clamp(359 - RoundEven(double(y) / (H - 1) * 359), 0, 359);
    DrawField();
  }
  ComputeColour();
  DrawMarkers();
  update();
  // Last, so that a handler setting the box finds the markers drawn.
  if (OnChange) OnChange(this);
}

}  // namespace velora
