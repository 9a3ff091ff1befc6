#include "vl_view.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <qdrawutil.h>

namespace velora {

QColor ColorToQColor(TColor colour) {
  if (colour & clSystemColor) {
    const QPalette pal = QApplication::palette();
    switch (colour & 0xFF) {
      case 5: return pal.color(QPalette::Base);             // clWindow
      case 8: return pal.color(QPalette::Text);             // clWindowText
      case 13: return pal.color(QPalette::Highlight);       // clHighlight
      case 14: return pal.color(QPalette::HighlightedText);  // clHighlightText
      case 16: return pal.color(QPalette::Dark);            // clBtnShadow
      case 18: return pal.color(QPalette::ButtonText);      // clBtnText
      case 20: return pal.color(QPalette::Light);           // clBtnHighlight
      case 21: return pal.color(QPalette::Shadow);          // cl3DDkShadow
      case 22: return pal.color(QPalette::Midlight);        // cl3DLight
      default: return pal.color(QPalette::Button);          // clBtnFace and the rest
    }
  }
  return QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour));
}

TRGB ColorToRGB(TColor colour) {
  if (!(colour & clSystemColor)) return TColorToTRGB(colour);
  QColor c = ColorToQColor(colour);
  return MakeRGB(uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()));
}

QWidget* OwnerWindowHandle(QObject* component) {
  for (QObject* o = component; o; o = o->parent())
    if (o->isWidgetType()) return static_cast<QWidget*>(o);
  return nullptr;
}

TVLView::TVLView(QWidget* parent) : QWidget(parent) {
  // The views paint every pixel of their client area themselves.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  RecreateFrame();
}

TVLView::~TVLView() {
  // Subscribers forget the view before it goes; each record is taken off the list first so
  // that a subscriber removing itself meanwhile finds nothing left to remove.
  while (!Listeners_.empty()) {
    TChangeListener l = std::move(Listeners_.front().second);
    Listeners_.erase(Listeners_.begin());
    if (l) l(true);
  }
}

void TVLView::SetBorderStyle(TBorderStyle style) {
  if (style == BorderStyle_) return;
  BorderStyle_ = style;
  RecreateFrame();
}

void TVLView::SetCtl3D(bool value) {
  if (value == Ctl3D_) return;
  Ctl3D_ = value;
  RecreateFrame();
}

int TVLView::EdgeSize() const { return 2; }

void TVLView::RecreateFrame() {
  ++FrameRebuilds_;
  int m = BorderStyle_ == bsSingle ? (Ctl3D_ ? EdgeSize() : 1) : 0;
  setContentsMargins(m, m, m, m);
  QWidget::update();
}

void TVLView::PaintBorder(QPainter& painter) {
  if (BorderStyle_ != bsSingle) return;
  if (Ctl3D_) {
    qDrawShadePanel(&painter, rect(), palette(), true, EdgeSize(), nullptr);
  } else {
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

int TVLView::AddChangeListener(TChangeListener listener) {
  int id = NextListenerId_++;
  Listeners_.emplace_back(id, std::move(listener));
  return id;
}

void TVLView::RemoveChangeListener(int id) {
  for (auto it = Listeners_.begin(); it != Listeners_.end(); ++it)
    if (it->first == id) {
      Listeners_.erase(it);
      return;
    }
}

void TVLView::NotifyChangeListeners() {
  // A listener may add or remove listeners: walk a snapshot of the ids.
  std::vector<int> ids;
  for (auto& l : Listeners_) ids.push_back(l.first);
  for (int id : ids)
    for (auto& l : Listeners_)
      if (l.first == id) {
        if (l.second) {
          TChangeListener f = l.second;
          f(false);
        }
        break;
      }
}

void TVLView::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  if (OnMouseEnter) OnMouseEnter(this);
}

void TVLView::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (OnMouseLeave) OnMouseLeave(this);
}

}  // namespace velora
