#include "ruler_box.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

namespace velora {

namespace {
int RoundEven(double v) { return int(std::nearbyint(v)); }
bool PositiveFinite(double v) { return std::isfinite(v) && v > 0; }
// Pixel positions far outside any screen stay far outside once they are integers.
constexpr double kPixelLimit = 1e8;
}  // namespace

TRulerBox::TRulerBox(QWidget* parent) : TBufferedBox(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  Grips_.resize(1);
  Grips_[0].Color = Background_;
  Scroll_.setInterval(20);
  connect(&Scroll_, &QTimer::timeout, this, [this] { AutoScrollTick(); });
  resize(300, 40);
}

#define VELORA_RULER_SETTER(Name, Type, Field) \
  void TRulerBox::Set##Name(Type value) {      \
    Field = value;                             \
    Redraw();                                  \
  }
VELORA_RULER_SETTER(Background, TColor, Background_)
VELORA_RULER_SETTER(GripBaseDim, int, GripBaseDim_)
VELORA_RULER_SETTER(GripsDir, TGripsDir, GripsDir_)
VELORA_RULER_SETTER(Ruler, bool, Ruler_)
VELORA_RULER_SETTER(RulerColor, TColor, RulerColor_)
VELORA_RULER_SETTER(RulerDir, TRulerDir, RulerDir_)
VELORA_RULER_SETTER(HexLabels, bool, HexLabels_)
VELORA_RULER_SETTER(ViewPos, double, ViewPos_)
VELORA_RULER_SETTER(Frequency, double, Frequency_)
VELORA_RULER_SETTER(LabelFreq, double, LabelFreq_)
VELORA_RULER_SETTER(DotPerUnit, double, DotPerUnit_)
#undef VELORA_RULER_SETTER

void TRulerBox::SetFitInView(bool value) {
  FitInView_ = value;
  Update();
}

void TRulerBox::SetViewMin(double value) {
  ViewMin_ = value;
  LimitViewPos();
  for (TRulerGrip& g : Grips_) g.Min = value;
  Redraw();
}

void TRulerBox::SetViewMax(double value) {
  ViewMax_ = value;
  LimitViewPos();
  for (TRulerGrip& g : Grips_) g.Max = value;
  Redraw();
}

void TRulerBox::SetGripsCount(int count) {
  count = std::max(0, count);
  TRulerGrip fresh;
  fresh.Color = Background_;
  fresh.Min = ViewMin_;
  fresh.Max = ViewMax_;
  Grips_.resize(size_t(count), fresh);
  if (Pressed_ >= count) Pressed_ = -1;
  Redraw();
}

double TRulerBox::GetGripPosition(int i) const {
  return i >= 0 && i < GripsCount() ? Grips_[size_t(i)].Position : 0;
}

void TRulerBox::SetGripPosition(int i, double value) {
  if (i < 0 || i >= GripsCount()) return;
  TRulerGrip& g = Grips_[size_t(i)];
  g.Position = value;
  if (g.Max > g.Min) {
    // The limited value goes through this same operation, so listeners hear it first.
    if (std::isnan(value) || value < g.Min)
      SetGripPosition(i, g.Min);
    else if (value > g.Max)
      SetGripPosition(i, g.Max);
  }
  if (OnRulerPosChange) OnRulerPosChange(this, i);
  Redraw();
}

TColor TRulerBox::GetGripColor(int i) const { return i >= 0 && i < GripsCount() ? Grips_[size_t(i)].Color : 0; }

void TRulerBox::SetGripColor(int i, TColor colour) {
  if (i < 0 || i >= GripsCount()) return;
  Grips_[size_t(i)].Color = colour;
  Redraw();
}

int TRulerBox::GetGripKind(int i) const { return i >= 0 && i < GripsCount() ? Grips_[size_t(i)].Kind : 0; }

void TRulerBox::SetGripKind(int i, int kind) {
  if (i < 0 || i >= GripsCount()) return;
  Grips_[size_t(i)].Kind = uint8_t(kind);
  Redraw();
}

void TRulerBox::Update() {
  // A range of no width (the defaults 0, 0) has no scale to fit.
  if (FitInView_ && ViewMax_ > ViewMin_ && Length() > 0) {
    DotPerUnit_ = Length() / (ViewMax_ - ViewMin_);
    LimitViewPos();
  }
  Redraw();
}

void TRulerBox::LimitViewPos() {
  if (!(ViewMin_ < ViewMax_)) return;
  if (ViewPos_ < ViewMin_) ViewPos_ = ViewMin_;
  if (PositiveFinite(DotPerUnit_) && ViewPos_ > ViewMax_ - Length() / DotPerUnit_)
    ViewPos_ = ViewMax_ - Length() / DotPerUnit_;
}

int TRulerBox::StripHeight() const {
  if (!Ruler_) return 0;
  const int px = font().pixelSize() > 0 ? font().pixelSize() : QFontMetrics(font()).height();
  return int(px * 1.7) + 3;
}

int TRulerBox::PixelOf(double value) const {
  const double p = (value - ViewPos_) * DotPerUnit_;
  if (std::isnan(p)) return 0;
  return RoundEven(std::clamp(p, -kPixelLimit, kPixelLimit));
}

QPolygon TRulerBox::GripPolygon(int i) const {
  if (i < 0 || i >= GripsCount()) return {};
  const int p = PixelOf(Grips_[size_t(i)].Position);
  const int H = Across(), strip = StripHeight();
  const int base = GripsDir_ == gdUp ? H - 1 : 0;
  const int tip = GripsDir_ == gdUp ? strip : H - 1 - strip;
  const int half = GripBaseDim_ / 2, quarter = GripBaseDim_ / 4;
  const int m2 = (base + tip) / 2, m3 = tip + (base - tip) / 3;
  std::vector<QPoint> pts;
  switch (Grips_[size_t(i)].Kind & 0x7F) {
    case 1: pts = {Pt(p - half, base), Pt(p, base), Pt(p, tip)}; break;
    case 2: pts = {Pt(p, base), Pt(p + half, base), Pt(p, tip)}; break;
    case 3:
      pts = {Pt(p - quarter, base), Pt(p + quarter, base), Pt(p + quarter, m3), Pt(p + half, m3),
             Pt(p, tip),            Pt(p - half, m3),      Pt(p - quarter, m3)};
      break;
    case 4: pts = {Pt(p - half, base), Pt(p + half, base), Pt(p + half, m2), Pt(p, tip), Pt(p - half, m2)}; break;
    default: pts = {Pt(p - half, base), Pt(p + half, base), Pt(p, tip)}; break;
  }
  return QPolygon(QList<QPoint>(pts.begin(), pts.end()));
}

int TRulerBox::GripAt(QPoint p) const {
  for (int i = GripsCount() - 1; i >= 0; --i) {
    const QRect box = GripPolygon(i).boundingRect();
    if (p.x() >= box.left() && p.x() <= box.right() + 1 && p.y() >= box.top() && p.y() <= box.bottom() + 1) return i;
  }
  return -1;
}

QString TRulerBox::TickLabel(double value) const {
  if (!HexLabels_) return QString::number(value, 'g', 15);
  const double magnitude = std::trunc(std::fabs(value));
  // Beyond 64 bits the digits would be meaningless; the label stops at the largest value.
  const uint64_t digits = magnitude >= 18446744073709551615.0 ? std::numeric_limits<uint64_t>::max() : uint64_t(magnitude);
  const QString hex = QString::number(qulonglong(digits), 16).toUpper();
  return value < 0 && digits != 0 ? "-" + hex : hex;
}

std::vector<double> TRulerBox::TickValues(double frequency) const {
  std::vector<double> values;
  if (!PositiveFinite(frequency) || !PositiveFinite(DotPerUnit_) || !std::isfinite(ViewPos_)) return values;
  const double t0 = ViewPos_ - frequency * (ViewPos_ / frequency - std::trunc(ViewPos_ / frequency));
  // Never more ticks than there are pixels to put them on.
  const double wanted = std::trunc(Length() / DotPerUnit_ / frequency) + 2;
  const int count = int(std::min(wanted, double(Length() + 2)));
  for (int k = 0; k < count; ++k) values.push_back(t0 + k * frequency);
  return values;
}

void TRulerBox::DrawStrip(QPainter& p) {
  const int strip = StripHeight(), H = Across();
  const int stripStart = GripsDir_ == gdUp ? 0 : H - strip;
  p.fillRect(RulerDir_ == rdHorizontal ? QRect(0, stripStart, Length(), strip) : QRect(stripStart, 0, strip, Length()),
             ColorToQColor(RulerColor_));
  p.setPen(palette().color(QPalette::WindowText));
  // Ticks grow from the strip's inner edge, towards its outer one.
  const int inner = GripsDir_ == gdUp ? strip - 1 : H - strip, dir = GripsDir_ == gdUp ? -1 : 1;
  for (double v : TickValues(Frequency_)) {
    const int x = PixelOf(v);
    p.drawLine(Pt(x, inner), Pt(x, inner + dir * (strip / 4)));
  }
  const QFontMetrics fm(font());
  const int fontHeight = font().pixelSize() > 0 ? font().pixelSize() : fm.height();
  const int length = RulerDir_ == rdHorizontal ? Buffer_.width() : Buffer_.height();
  for (double v : TickValues(LabelFreq_)) {
    const int x = PixelOf(v);
    // A tick past either end is not in sight, and neither is its label.
    if (x < 0 || x >= length) continue;
    p.drawLine(Pt(x, inner), Pt(x, inner + dir * (strip / 2)));
    const QString text = TickLabel(v);
    const int w = fm.horizontalAdvance(text);
    // A label is centred on its tick, but the labels at the ends stay whole inside the box.
    const int start = std::clamp(x - w / 2, 0, std::max(0, length - w));
    if (RulerDir_ == rdHorizontal) {
      const int top = GripsDir_ == gdUp ? 0 : H - fontHeight;
      p.drawText(start, top + fm.ascent(), text);
    } else {
      p.save();
      if (GripsDir_ == gdUp) {
        p.translate(0, start + w);
        p.rotate(-90);
      } else {
        p.translate(Buffer_.width(), start);
        p.rotate(90);
      }
      p.drawText(0, fm.ascent(), text);
      p.restore();
    }
  }
}

void TRulerBox::Redraw() {
  if (Buffer_.isNull()) return;
  Buffer_.fill(ColorToQColor(Background_));
  QPainter p(&Buffer_);
  p.setFont(font());
  if (Ruler_) DrawStrip(p);
  p.setPen(Qt::black);
  for (int i = 0; i < GripsCount(); ++i) {
    p.setBrush(ColorToQColor(Grips_[size_t(i)].Color));
    p.drawPolygon(GripPolygon(i));
  }
  update();
}

void TRulerBox::BufferResized() {
  Update();
}

void TRulerBox::Press(QMouseEvent* event, bool doubleClick) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  PressPoint_ = LastPoint_ = pos;
  PressAlong_ = Along(pos);
  Pressed_ = GripAt(pos);
  if (Pressed_ >= 0) {
    if (doubleClick && OnRulerGripDblClick) OnRulerGripDblClick(this, Pressed_);
    PressGripPixel_ = PixelOf(Grips_[size_t(Pressed_)].Position);
  } else if (OnRulerClick) {
    OnRulerClick(this, PressAlong_ / DotPerUnit_ + ViewPos_);
  }
}

void TRulerBox::mousePressEvent(QMouseEvent* event) { Press(event, false); }
void TRulerBox::mouseDoubleClickEvent(QMouseEvent* event) { Press(event, true); }

void TRulerBox::mouseMoveEvent(QMouseEvent* event) {
  if (Pressed_ < 0 || !(event->buttons() & Qt::LeftButton)) return;
  LastPoint_ = event->position().toPoint();
  const int a = Along(LastPoint_);
  if (a >= 0 && a <= Length()) {
    Scroll_.stop();
    SetGripPosition(Pressed_, (a + PressGripPixel_ - PressAlong_) / DotPerUnit_ + ViewPos_);
  } else if (!Scroll_.isActive()) {
    // Past an end the ruler scrolls on its own while the button stays down.
    AutoScrollTick();
    Scroll_.start();
  }
}

void TRulerBox::AutoScrollTick() {
  const int a = Along(LastPoint_);
  // The press holds the mouse, so the release always reaches this control and ends the drag.
  if (Pressed_ < 0 || (a >= 0 && a <= Length()) ||
      !PositiveFinite(DotPerUnit_)) {
    Scroll_.stop();
    return;
  }
  const double step = 1 / DotPerUnit_;
  TRulerGrip& g = Grips_[size_t(Pressed_)];
  double position;
  if (a < 0) {
    position = (PressGripPixel_ - PressAlong_) / DotPerUnit_ + ViewPos_ - step;
    ViewPos_ -= step;
  } else {
    position = (Length() + PressGripPixel_ - PressAlong_ - 1) / DotPerUnit_ + ViewPos_ + step;
    ViewPos_ += step;
  }
  if (g.Max > g.Min) position = std::clamp(position, g.Min, g.Max);
  g.Position = position;
  LimitViewPos();
  Redraw();
  if (OnRulerPosChange) OnRulerPosChange(this, Pressed_);
}

void TRulerBox::mouseReleaseEvent(QMouseEvent* event) {
  Scroll_.stop();
  if (Pressed_ >= 0 && event->position().toPoint() == PressPoint_ && OnRulerGripClick) OnRulerGripClick(this, Pressed_);
  Pressed_ = -1;
}

}  // namespace velora
