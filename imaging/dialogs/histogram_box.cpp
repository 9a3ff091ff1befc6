#include "histogram_box.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace velora {

namespace {
int RoundEven(double v) { return int(std::nearbyint(v)); }

struct TSeries {
  THistogramKindItem kind;
  uint32_t THistogramEntry::*count;
  QColor pen;
};
// Drawn in this order, so the gray series lies on top.
const TSeries kSeries[] = {
    {hkRed, &THistogramEntry::Red, QColor(255, 0, 0)},
    {hkGreen, &THistogramEntry::Green, QColor(0, 128, 0)},
    {hkBlue, &THistogramEntry::Blue, QColor(0, 0, 255)},
    {hkGray, &THistogramEntry::Gray, QColor(0, 0, 0)},
};
}  // namespace

THistogramBox::THistogramBox(QWidget* parent) : TBufferedBox(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(256, 105);
}

void THistogramBox::SetAttachedVeloraProc(TVeloraProc* proc) {
  Proc_ = proc;
  HaveTable_ = false;
}

#define VELORA_HISTOGRAM_SETTER(Name, Type, Field)   \
  void THistogramBox::Set##Name(Type value) {        \
    if (Field == value) return;                      \
    Field = value;                                   \
    Redraw();                                        \
  }
VELORA_HISTOGRAM_SETTER(Background, TColor, Background_)
VELORA_HISTOGRAM_SETTER(HistogramKind, THistogramKind, Kind_)
VELORA_HISTOGRAM_SETTER(Labels, THistogramLabels, Labels_)
VELORA_HISTOGRAM_SETTER(CompBar, bool, CompBar_)
VELORA_HISTOGRAM_SETTER(HistogramStyle, THistogramStyle, Style_)
#undef VELORA_HISTOGRAM_SETTER

void THistogramBox::Update() {
  Table_ = THistogram{};
  HaveTable_ = Proc_ && Proc_->WorkBitmap();
  if (HaveTable_) Proc_->ComputeHistogram(Table_);
  Redraw();
}

void THistogramBox::SetHistogram(const THistogram* table) {
  Table_ = table ? *table : THistogram{};
  HaveTable_ = table != nullptr;
  Redraw();
}

void THistogramBox::Redraw() {
  if (Buffer_.isNull()) return;
  Buffer_.fill(ColorToQColor(Background_));
  GL_ = 0;
  GraphLeft_ = x();
  uint32_t max = 0;
  if (HaveTable_)
    for (const THistogramEntry& e : Table_)
      for (const TSeries& s : kSeries)
        if (Kind_ & s.kind) max = std::max(max, e.*s.count);
  if (max == 0) {
    update();
    return;
  }
  QPainter p(&Buffer_);
  p.setFont(font());
  const QFontMetrics fm(font());
  const int fontHeight = fm.height();
  int GW = Buffer_.width(), GH = Buffer_.height(), GL = 0;
  const int bar = int(fontHeight * 1.2);
  if (CompBar_) GH -= bar + 2;
  p.setPen(palette().color(QPalette::WindowText));
  if (Labels_ & hlVertical) {
    const QString top = QString::number(max);
    p.drawText(0, GH / 2 + fm.ascent(), QString::number(max / 2));
    p.drawText(0, fm.ascent(), top);
    const int w = fm.horizontalAdvance(top) + 2;
    GW -= w;
    GL += w;
  }
  if (Labels_ & hlHorizontal) {
    const int y = GH - fontHeight - 1 + fm.ascent();
    for (int i = 0; i < 4; ++i) p.drawText(RoundEven(64.0 * i / 256 * GW) + GL, y, QString::number(64 * i));
    p.drawText(GL + GW - fm.horizontalAdvance("255"), y, "255");
    GH -= fontHeight + 2;
    p.drawLine(GL - 1, 0, GL - 1, GH);
    p.drawLine(GL - 1, GH, GL + GW, GH);
  }
  GL_ = GL;
  GraphLeft_ = x() + GL;
  if (GW < 1) {
    update();
    return;
  }
  if (CompBar_) {
    const bool r = Kind_ & (hkRed | hkGray), g = Kind_ & (hkGreen | hkGray), b = Kind_ & (hkBlue | hkGray);
    for (int e = 0; e < GW; ++e) {
      const int v = std::min(255, RoundEven(double(e) / GW * 256));
      const QRgb c = qRgb(r ? v : 0, g ? v : 0, b ? v : 0);
      for (int y = std::max(0, Buffer_.height() - bar); y < Buffer_.height(); ++y)
        if (GL + e < Buffer_.width()) reinterpret_cast<QRgb*>(Buffer_.scanLine(y))[GL + e] = c;
    }
  }
  auto height = [&](uint32_t count) { return RoundEven(double(count) / max * GH); };
  auto level = [&](int c) { return std::min(255, int(double(c) / GW * 256)); };
  for (const TSeries& s : kSeries) {
    if (!(Kind_ & s.kind)) continue;
    p.setPen(s.pen);
    if (Style_ == hsBars) {
      for (int c = 0; c < GW; ++c)
        p.drawLine(GL + c, GH - 1, GL + c, GH - height(Table_[size_t(level(c))].*s.count) - 2);
    } else {
      QPoint last(GL, GH - 1);
      for (int c = 0; c < GW; ++c) {
        const QPoint next(GL + c, GH - height(Table_[size_t(level(c))].*s.count) - 1);
        p.drawLine(last, next);
        last = next;
      }
    }
  }
  update();
}

void THistogramBox::BufferResized() {
  Redraw();
}

void THistogramBox::moveEvent(QMoveEvent*) { GraphLeft_ = x() + GL_; }

}  // namespace velora
