// Mouse interaction of the single-image view: click-zoom, drag-scroll, the selection tools
// with their grips, and the drawing of the selection outline.
#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "proc/magic_wand.h"
#include "bitmap/vl_helpers.h"
#include "velora_view.h"
#include "vl_draw.h"

namespace velora {

namespace {

constexpr unsigned Bit(TVLMouseInteractItem i) { return 1u << i; }
constexpr int kSeparator = TVLMask::kPolygonSeparator;
constexpr unsigned kSelectionTools = Bit(miSelect) | Bit(miSelectPolygon) | Bit(miSelectCircle) |
                                     Bit(miSelectZoom) | Bit(miSelectMagicWand) | Bit(miSelectLasso);

}  // namespace

// ---------------------------------------------------------------------------- the record

void TVLSelectionRecord::Clear() {
  Points.clear();
  X1 = Y1 = TVLMask::kEmptyBox;
  X2 = Y2 = -TVLMask::kEmptyBox;
}

void TVLSelectionRecord::Add(int x, int y) {
  if (Points.size() == Points.capacity()) Points.reserve(Points.size() + 64);
  Points.push_back(TPoint{x, y});
  X1 = std::min(X1, x), Y1 = std::min(Y1, y), X2 = std::max(X2, x), Y2 = std::max(Y2, y);
}

void TVLSelectionRecord::AddSeparator() {
  if (!Points.empty() && Points.back().X != kSeparator) Points.push_back(TPoint{kSeparator, kSeparator});
}

// ---------------------------------------------------------------------------- tools

void TVeloraView::SetMouseInteract(TVLMouseInteract value) {
  const TVLMouseInteract old = MouseInteract_;
  if (DrawingPolygon_ && (old & Bit(miSelectPolygon))) ClosePolygon();
  const TVLMouseInteract added = value & ~old;
  struct Rule {
    TVLMouseInteractItem item;
    TVLMouseInteract kept;
  };
  static const Rule rules[] = {
      {miScroll, Bit(miZoom) | Bit(miScroll)},
      {miSelect, Bit(miZoom) | Bit(miSelect)},
      {miSelectPolygon, Bit(miSelectPolygon)},
      {miSelectCircle, Bit(miZoom) | Bit(miSelectCircle)},
      {miSelectLasso, Bit(miZoom) | Bit(miSelectLasso)},
      {miSelectZoom, Bit(miZoom) | Bit(miSelectZoom)},
      {miZoom, 0xFFu & ~(Bit(miSelectPolygon) | Bit(miSelectMagicWand))},
      {miSelectMagicWand, Bit(miSelectMagicWand)},
  };
  for (const Rule& r : rules)
    if (added & Bit(r.item)) {
      value &= r.kept;
      break;
    }
  MouseInteract_ = value;
}

// ---------------------------------------------------------------------------- selection model

void TVeloraView::Deselect() {
  const bool had = HasSelection_ || !Sel_.Points.empty();
  Sel_.Clear();
  Sel_.Shown = false;
  SelMask_.Empty();
  HasSelection_ = DrawingPolygon_ = Lasso_ = DrawingRect_ = DrawingCircle_ = HasRubber_ = false;
  Grip_ = InsideSel_ = -1;
  SetCursor(OwnCursor_);
  if (had) QWidget::update(ClientRect());
}

void TVeloraView::SetRectanglePoints(int x1, int y1, int x2, int y2) {
  Sel_.Add(x1, y1);
  Sel_.Add(x2, y1);
  Sel_.Add(x2, y2);
  Sel_.Add(x1, y2);
}

void TVeloraView::AddRectangleSelection(int x1, int y1, int x2, int y2, bool additive) {
  if (Bitmap_.Empty()) return;
  if (SelectionBase == vlsbClientArea) {
    x1 = ClientToBitmapX(x1), y1 = ClientToBitmapY(y1);
    x2 = ClientToBitmapX(x2), y2 = ClientToBitmapY(y2);
  }
  const int w = Bitmap_.Width(), h = Bitmap_.Height();
  x1 = std::clamp(x1, 0, w - 1), x2 = std::clamp(x2, 0, w - 1);
  y1 = std::clamp(y1, 0, h - 1), y2 = std::clamp(y2, 0, h - 1);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (additive)
    Sel_.AddSeparator();
  else
    Sel_.Clear();
  SetRectanglePoints(x1, y1, x2 + 1, y2 + 1);
  Sel_.Shown = true;
  EndSelection();
  BackBufferDirty_ = true;
  Paint();
}

void TVeloraView::AddPolygonPoint(int x, int y) {
  if (SelectionBase == vlsbClientArea) x = ClientToBitmapX(x), y = ClientToBitmapY(y);
  Sel_.Add(std::clamp(x, 0, Bitmap_.Width()), std::clamp(y, 0, Bitmap_.Height()));
  Sel_.Shown = true;
  if (Sel_.Points.size() > 2) EndSelection();
  BackBufferDirty_ = true;
  Paint();
}

void TVeloraView::EndSelection() {
  if (SelMask_.Width() != Bitmap_.Width() || SelMask_.Height() != Bitmap_.Height())
    SelMask_.Allocate(Bitmap_.Width(), Bitmap_.Height(), 1);
  SelMask_.Empty();
  if (!Sel_.Points.empty()) SelMask_.FillPolygons(1, Sel_.Points.data(), int(Sel_.Points.size()));
  if (SelMask_.IsEmpty()) {
    Sel_.Clear();
    Sel_.Shown = false;
    HasSelection_ = false;
  } else {
    HasSelection_ = true;
    Sel_.Shown = true;
  }
  QWidget::update(ClientRect());
}

void TVeloraView::SelectionRect(int& x1, int& y1, int& x2, int& y2) const {
  if (DrawingRect_ || DrawingCircle_ || DrawingPolygon_ || Grip_ >= 0) {
    x1 = Sel_.X1, y1 = Sel_.Y1, x2 = Sel_.X2 - 1, y2 = Sel_.Y2 - 1;
  } else {
    x1 = SelMask_.X1, y1 = SelMask_.Y1, x2 = SelMask_.X2, y2 = SelMask_.Y2;
  }
}

bool TVeloraView::IsSingleRectangle() const {
  const auto& p = Sel_.Points;
  return p.size() == 4 && p[0].Y == p[1].Y && p[1].X == p[2].X && p[2].Y == p[3].Y && p[3].X == p[0].X;
}

void TVeloraView::ClosePolygon() {
  DrawingPolygon_ = Lasso_ = HasRubber_ = false;
  EndSelection();
  Update();
  if (OnSelectionChange) OnSelectionChange(this);
}

void TVeloraView::RefreshSelection() { QWidget::update(ClientRect()); }

void TVeloraView::MagicWandSelect(int x, int y, bool additive) {
  const int w = Bitmap_.Width(), h = Bitmap_.Height();
  if (Bitmap_.BitCount() != 24 || x < 0 || y < 0 || x >= w || y >= h) return;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  if (!additive) {
    Sel_.Clear();
    SelMask_.Empty();
  }
  const TVLRegion region =
      MagicWandRegion(Bitmap_, x, y, MagicWandTolerance, MagicWandMode != mwAllSimilar, MagicWandMaxFilter);
  if (MagicWandMode == mwOutline) {
    if (additive) Sel_.AddSeparator();
    for (const TPoint& corner : TraceRegionOutline(region)) Sel_.Add(corner.X, corner.Y);
    EndSelection();
  } else {
    for (int py = 0; py < h; ++py)
      for (int px = 0; px < w; ++px)
        if (region.Contains(px, py)) SelMask_.SetPixel(px, py, 1);
    HasSelection_ = !SelMask_.IsEmpty();
    Sel_.Shown = HasSelection_;
  }
  QGuiApplication::restoreOverrideCursor();
  BackBufferDirty_ = true;
  QWidget::update(ClientRect());
}

// ---------------------------------------------------------------------------- mouse helpers

QPoint TVeloraView::ClientPos(const QMouseEvent* event) const { return event->position().toPoint() - ClientOrigin(); }

QPoint TVeloraView::LimitToImage(QPoint p) const {
  return QPoint(std::clamp(p.x(), CenterOffsetX_, CenterOffsetX_ + VisibleWidth_),
                std::clamp(p.y(), CenterOffsetY_, CenterOffsetY_ + VisibleHeight_));
}

int TVeloraView::BitmapX(int cx) const { return SelectionBase == vlsbClientArea ? ClientToBitmapX(cx) : cx; }
int TVeloraView::BitmapY(int cy) const { return SelectionBase == vlsbClientArea ? ClientToBitmapY(cy) : cy; }

int TVeloraView::GripAt(QPoint p) const {
  if (!HasSelection_ || !Sel_.Grips || !IsSingleRectangle()) return -1;
  const auto& s = Sel_.Points;
  for (int g = 0; g < 4; ++g) {
    const int cx = BitmapToClientX(s[size_t(g)].X), cy = BitmapToClientY(s[size_t(g)].Y);
    if (std::abs(p.x() - cx) <= kGripHalf && std::abs(p.y() - cy) <= kGripHalf) return g;
  }
  const int l = BitmapToClientX(s[0].X), r = BitmapToClientX(s[2].X);
  const int t = BitmapToClientY(s[0].Y), b = BitmapToClientY(s[2].Y);
  const bool inY = p.y() >= t && p.y() <= b, inX = p.x() >= l && p.x() <= r;
  if (inY && std::abs(p.x() - l) < 3) return 4;
  if (inY && std::abs(p.x() - r) < 3) return 5;
  if (inX && std::abs(p.y() - t) < 3) return 6;
  if (inX && std::abs(p.y() - b) < 3) return 7;
  return -1;
}

bool TVeloraView::InsideSelection(QPoint p) const {
  return HasSelection_ && (SelectionOptions_ & vlsoMoveable) && SelMask_.IsSelected(ToBitmapX(p.x()), ToBitmapY(p.y()));
}

void TVeloraView::ShowCursorFor(QPoint p) {
  const int grip = GripAt(p);
  if (OnMouseInResizingGrip) OnMouseInResizingGrip(this, grip);
  int c = OwnCursor_;
  if (grip == 1 || grip == 3) c = crMove1;
  else if (grip == 4 || grip == 5) c = crMoveX;
  else if (grip == 6 || grip == 7) c = crMoveY;
  else if (grip == 0 || grip == 2) c = crMove2;
  else if (InsideSelection(p)) c = crMove;
  setCursor(ViewCursor(c));
}

void TVeloraView::AutoScroll(QPoint p) {
  int dx = 0, dy = 0;
  if (p.x() < CenterOffsetX_) dx = p.x() - CenterOffsetX_;
  else if (p.x() > CenterOffsetX_ + VisibleWidth_) dx = p.x() - (CenterOffsetX_ + VisibleWidth_);
  if (p.y() < CenterOffsetY_) dy = p.y() - CenterOffsetY_;
  else if (p.y() > CenterOffsetY_ + VisibleHeight_) dy = p.y() - (CenterOffsetY_ + VisibleHeight_);
  if (!dx && !dy) return;
  const int ox = ViewOriginX_, oy = ViewOriginY_;
  SetViewOrigin(ox + dx, oy + dy);
  // The anchors stay on the same bitmap pixels while the picture moves under them.
  ShiftMouseAnchors(ox - ViewOriginX_, oy - ViewOriginY_);
}

void TVeloraView::ShiftMouseAnchors(int dx, int dy) {
  DownPt_ += QPoint(dx, dy);
  LastPt_ += QPoint(dx, dy);
}

void TVeloraView::RectangleFromDrag(QPoint down, QPoint cur, Qt::KeyboardModifiers mods) {
  if (Bitmap_.Empty()) return;
  int x1 = ToBitmapX(down.x()), y1 = ToBitmapY(down.y());
  int x2 = ToBitmapX(cur.x()), y2 = ToBitmapY(cur.y());
  if (mods & Qt::AltModifier) y2 = y1 + x2 - x1;
  const int w = Bitmap_.Width(), h = Bitmap_.Height();
  x1 = std::clamp(x1, 0, w - 1), x2 = std::clamp(x2, 0, w - 1);
  y1 = std::clamp(y1, 0, h - 1), y2 = std::clamp(y2, 0, h - 1);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (mods & Qt::ShiftModifier) {
    // Only the rectangle begun at this press is replaced.
    Sel_.Points.resize(size_t(DownPointCount_));
    Sel_.AddSeparator();
  } else {
    Sel_.Clear();
  }
  SetRectanglePoints(x1, y1, x2 + 1, y2 + 1);
  Sel_.Shown = true;
}

void TVeloraView::CircleFromDrag(QPoint down, QPoint cur, Qt::KeyboardModifiers mods) {
  const int cx = ToBitmapX(down.x()), cy = ToBitmapY(down.y());
  double rx = std::abs(ToBitmapX(cur.x()) - cx), ry = std::abs(ToBitmapY(cur.y()) - cy);
  if (mods & Qt::AltModifier) rx = ry = std::max(rx, ry);
  const int n = std::max(int(std::trunc(2 * std::numbers::pi * std::min(rx, ry))) / 4, 3);
  if (mods & Qt::ShiftModifier) {
    Sel_.Points.resize(size_t(DownPointCount_));
    Sel_.AddSeparator();
  } else {
    Sel_.Clear();
  }
  for (int k = 0; k < n; ++k) {
    const double a = 2 * std::numbers::pi * k / n;
    Sel_.Add(cx + RoundToInt(rx * std::cos(a)), cy + RoundToInt(ry * std::sin(a)));
  }
  Sel_.Shown = true;
}

void TVeloraView::ResizeByGrip(QPoint cur, Qt::KeyboardModifiers mods) {
  int c = ToBitmapX(cur.x()), d = ToBitmapY(cur.y());
  const int x1 = GripRect_.Left, y1 = GripRect_.Top, x2 = GripRect_.Right, y2 = GripRect_.Bottom;
  int grip = Grip_;
  if (mods & Qt::AltModifier) {
    const double m = double(x2 - x1 + 1) / (y2 - y1 + 1);
    switch (grip) {
      case 0: case 4: d = RoundToInt(y2 + 1 - (x2 + 1 - c) / m); grip = 0; break;
      case 1: d = RoundToInt(y2 - (c + 1 - x1) / m); break;
      case 2: case 5: d = RoundToInt(y1 - 1 + (c + 1 - x1) / m); grip = 2; break;
      case 3: d = RoundToInt(y1 + 1 + (x2 + 1 - c) / m); break;
      case 6: c = RoundToInt(x2 + 1 - m * (y2 + 1 - d)); grip = 0; break;
      case 7: c = RoundToInt(x1 - 1 + m * (d - y1 + 1)); grip = 2; break;
    }
  }
  if (grip == 1 || grip == 2 || grip == 5) ++c;
  if (grip == 2 || grip == 3 || grip == 7) ++d;
  int l = x1, t = y1, r = x2, b = y2;
  if (grip == 0 || grip == 3 || grip == 4) l = c == r ? r - 1 : c;
  if (grip == 1 || grip == 2 || grip == 5) r = c == l ? l + 1 : c;
  if (grip == 0 || grip == 1 || grip == 6) t = d == b ? b - 1 : d;
  if (grip == 2 || grip == 3 || grip == 7) b = d == t ? t + 1 : d;
  static const int mirrorX[8] = {1, 0, 3, 2, 5, 4, 6, 7}, mirrorY[8] = {3, 2, 1, 0, 4, 5, 7, 6};
  bool exchanged = false;
  if (l > r) grip = mirrorX[grip], exchanged = true;
  if (t > b) grip = mirrorY[grip], exchanged = true;
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  l = std::clamp(l, 0, Bitmap_.Width()), r = std::clamp(r, 0, Bitmap_.Width());
  t = std::clamp(t, 0, Bitmap_.Height()), b = std::clamp(b, 0, Bitmap_.Height());
  Grip_ = grip;
  // After an exchange the drag goes on from the rectangle as it now is.
  if (exchanged) GripRect_ = TRect{l, t, r, b};
  Sel_.Clear();
  SetRectanglePoints(l, t, r, b);
}

void TVeloraView::MoveSelection(QPoint cur) {
  const int dx = ToBitmapX(cur.x()) - ToBitmapX(DownPt_.x()), dy = ToBitmapY(cur.y()) - ToBitmapY(DownPt_.y());
  if (!MovePoints_.empty()) {
    Sel_.Clear();
    for (const TPoint& p : MovePoints_)
      if (p.X == kSeparator)
        Sel_.Points.push_back(p);
      else
        Sel_.Add(p.X + dx, p.Y + dy);
    EndSelection();
  } else {
    // A selection without points (magic wand) moves its mask by what is left to move.
    int mx = dx - (ToBitmapX(LastPt_.x()) - ToBitmapX(DownPt_.x()));
    int my = dy - (ToBitmapY(LastPt_.y()) - ToBitmapY(DownPt_.y()));
    SelMask_.Translate(mx, my, SelectionOptions_ & vlsoCutBorders);
  }
  BackBufferDirty_ = true;
}

void TVeloraView::ClickZoom(Qt::MouseButton button, QPoint p) {
  static const double steps[] = {2, 5, 10, 25, 33, 50, 75, 100};
  double z = Zoom_;
  if (button == Qt::LeftButton) {
    if (Zoom_ >= 100) {
      z = Zoom_ + 100;
    } else {
      for (double s : steps)
        if (s > Zoom_) {
          z = s;
          break;
        }
    }
    if (OnZoomIn) OnZoomIn(this, z);
  } else {
    if (Zoom_ >= 200) {
      z = Zoom_ - 100;
    } else {
      z = 2;
      for (double s : steps)
        if (s < Zoom_) z = s;
    }
    if (OnZoomOut) OnZoomOut(this, z);
  }
  if (z != Zoom_) ZoomAt(p.x(), p.y(), z);
  DrawingPolygon_ = false;
}

// ---------------------------------------------------------------------------- mouse events

void TVeloraView::mousePressEvent(QMouseEvent* e) {
  const Qt::MouseButton button = e->button();
  if (button != Qt::LeftButton && !(MouseInteract_ & Bit(miZoom))) return;
  ButtonDown_ = true;
  DownButton_ = button;
  if (focusPolicy() != Qt::NoFocus) setFocus(Qt::MouseFocusReason);
  SavedZoomFilter_ = ZoomFilter_;
  if (!(MouseInteract_ & Bit(miScroll))) ZoomFilter_ = rfNone;  // selection drags paint unfiltered
  SavedSelectionBase_ = SelectionBase;
  SelectionBase = vlsbClientArea;
  const QPoint p = ClientPos(e);
  DownPt_ = CurPt_ = LastPt_ = LimitToImage(p);
  DownOriginX_ = ViewOriginX_;
  DownOriginY_ = ViewOriginY_;
  DownPointCount_ = int(Sel_.Points.size());
  const Qt::KeyboardModifiers mods = e->modifiers();
  if (button == Qt::LeftButton && !Bitmap_.Empty()) {
    const TVLMouseInteract mi = MouseInteract_;
    if (mi & (Bit(miSelect) | Bit(miSelectZoom))) {
      const int grip = GripAt(p);
      if (grip >= 0) {
        Grip_ = grip;
        GripRect_ = TRect{Sel_.Points[0].X, Sel_.Points[0].Y, Sel_.Points[2].X, Sel_.Points[2].Y};
      } else if (InsideSelection(p)) {
        InsideSel_ = 0;
        MovePoints_ = Sel_.Points;
      } else {
        DrawingRect_ = true;
        if (OnSelectionChanging) OnSelectionChanging(this);
      }
    } else if (mi & Bit(miSelectCircle)) {
      if (InsideSelection(p)) {
        InsideSel_ = 0;
        MovePoints_ = Sel_.Points;
      } else {
        DrawingCircle_ = true;
        Sel_.Shown = true;
        if (OnSelectionChanging) OnSelectionChanging(this);
      }
    } else if (mi & (Bit(miSelectPolygon) | Bit(miSelectLasso))) {
      if (InsideSelection(p) && !DrawingPolygon_) {
        InsideSel_ = 0;
        MovePoints_ = Sel_.Points;
      } else {
        int bx = ToBitmapX(DownPt_.x()), by = ToBitmapY(DownPt_.y());
        if (!DrawingPolygon_) {
          if ((mods & Qt::ShiftModifier) && !Sel_.Points.empty())
            Sel_.AddSeparator();
          else
            Sel_.Clear(), SelMask_.Empty(), HasSelection_ = false;
          DrawingPolygon_ = true;
          Lasso_ = mi & Bit(miSelectLasso);
        } else if ((mods & Qt::AltModifier) && !Sel_.Points.empty() && Sel_.Points.back().X != kSeparator) {
          // Snapped horizontally, vertically or diagonally from the previous point, on screen.
          const TPoint prev = Sel_.Points.back();
          int cx = DownPt_.x(), cy = DownPt_.y();
          Constrain45(BitmapToClientX(prev.X), BitmapToClientY(prev.Y), cx, cy);
          bx = ToBitmapX(cx), by = ToBitmapY(cy);
        }
        Sel_.Add(std::clamp(bx, 0, Bitmap_.Width()), std::clamp(by, 0, Bitmap_.Height()));
        Sel_.Shown = true;
        if (OnSelectionChanging) OnSelectionChanging(this);
      }
    } else if (mi & Bit(miSelectMagicWand)) {
      if (InsideSelection(p)) {
        InsideSel_ = 0;
        MovePoints_ = Sel_.Points;
      }
    }
  }
  if (button == Qt::LeftButton && (MouseInteract_ & Bit(miScroll)) && !SavedScreenCursor_) {
    QGuiApplication::setOverrideCursor(ViewCursor(crHand));
    SavedScreenCursor_ = true;
  }
  RefreshSelection();
}

void TVeloraView::mouseMoveEvent(QMouseEvent* e) {
  const QPoint p = ClientPos(e);
  if (!ButtonDown_ || e->buttons() == Qt::NoButton) {
    if ((MouseInteract_ & kSelectionTools) && !(MouseInteract_ & Bit(miSelectLasso))) ShowCursorFor(p);
    if (OnMouseInSel && HasSelection_ && SelMask_.IsSelected(ToBitmapX(p.x()), ToBitmapY(p.y()))) OnMouseInSel(this);
    if (DrawingPolygon_ && !Lasso_) {
      HasRubber_ = true;
      RubberPt_ = p;
      RefreshSelection();
    }
    return;
  }
  CurPt_ = LimitToImage(p);
  if ((MouseInteract_ & Bit(miScroll)) && DownButton_ == Qt::LeftButton) {
    SetViewOrigin(DownOriginX_ + DownPt_.x() - p.x(), DownOriginY_ + DownPt_.y() - p.y());
  } else if (DownButton_ == Qt::LeftButton && (MouseInteract_ & kSelectionTools)) {
    const bool changing = Grip_ >= 0 || InsideSel_ == 0 || DrawingRect_ || DrawingCircle_ || (DrawingPolygon_ && Lasso_);
    if (changing) {
      AutoScroll(p);
      CurPt_ = LimitToImage(p - QPoint(0, 0));
    }
    if (Grip_ >= 0) ResizeByGrip(CurPt_, e->modifiers());
    else if (InsideSel_ == 0) MoveSelection(CurPt_);
    else if (DrawingRect_) RectangleFromDrag(DownPt_, CurPt_, e->modifiers());
    else if (DrawingCircle_) CircleFromDrag(DownPt_, CurPt_, e->modifiers());
    else if (DrawingPolygon_ && Lasso_) Sel_.Add(std::clamp(ToBitmapX(CurPt_.x()), 0, Bitmap_.Width()),
                                                 std::clamp(ToBitmapY(CurPt_.y()), 0, Bitmap_.Height()));
    if (changing && OnSelectionChanging) OnSelectionChanging(this);
    RefreshSelection();
  }
  LastPt_ = CurPt_;
}

void TVeloraView::mouseReleaseEvent(QMouseEvent* e) {
  if (!ButtonDown_) return;
  ButtonDown_ = false;
  const Qt::MouseButton button = e->button();
  const QPoint p = ClientPos(e);
  const bool click = p == DownPt_;
  const TVLMouseInteract mi = MouseInteract_;
  if (button == Qt::LeftButton && (mi & Bit(miScroll))) {
    SetViewOrigin(DownOriginX_ + DownPt_.x() - p.x(), DownOriginY_ + DownPt_.y() - p.y());
  }
  if (SavedScreenCursor_) {
    QGuiApplication::restoreOverrideCursor();
    SavedScreenCursor_ = false;
  }
  if (button == Qt::LeftButton && (mi & kSelectionTools) && !Bitmap_.Empty()) {
    const bool moving = InsideSel_ == 0 && !click;
    if (mi & (Bit(miSelect) | Bit(miSelectZoom))) {
      if (click && Grip_ < 0 && InsideSel_ < 0) {
        Deselect();
      } else if (mi & Bit(miSelectZoom) && DrawingRect_) {
        // Zoom so that the dragged rectangle fills the control, and show it.
        const int x1 = Sel_.X1, y1 = Sel_.Y1;
        const int w = std::max(Sel_.X2 - Sel_.X1, 2), h = std::max(Sel_.Y2 - Sel_.Y1, 2);
        Deselect();
        LockUpdate();
        SetZoom(std::min(ExtentX() * 100.0 / w, ExtentY() * 100.0 / h));
        SetViewOrigin(int(x1 * ZoomFactor_), int(y1 * ZoomFactor_));
        UnlockUpdate();
      } else {
        DrawingRect_ = false;
        Grip_ = -1;
        EndSelection();
        if (OnSelectionChange) OnSelectionChange(this);
        Update();
      }
    } else if (mi & Bit(miSelectCircle)) {
      if (click && InsideSel_ < 0) {
        Deselect();
      } else {
        DrawingCircle_ = false;
        EndSelection();
        if (OnSelectionChange) OnSelectionChange(this);
        Update();
      }
    } else if (mi & Bit(miSelectLasso)) {
      if (moving) {
        EndSelection();
        Update();
      } else if (click) {
        Deselect();
      } else {
        DrawingPolygon_ = Lasso_ = false;
        EndSelection();
        if (OnSelectionChange) OnSelectionChange(this);
        Update();
      }
    } else if (mi & Bit(miSelectPolygon)) {
      if (moving) EndSelection();
      Update();
    } else if (mi & Bit(miSelectMagicWand)) {
      if (moving) {
        EndSelection();
      } else {
        MagicWandSelect(ToBitmapX(DownPt_.x()), ToBitmapY(DownPt_.y()), e->modifiers() & Qt::ShiftModifier);
      }
      if (OnSelectionChange) OnSelectionChange(this);
      Update();
    }
  }
  if ((mi & Bit(miZoom)) && click) ClickZoom(button, p);
  // Always: the filter and the selection base come back, the drag states end.
  if (ZoomFilter_ != SavedZoomFilter_) {
    ZoomFilter_ = SavedZoomFilter_;
    BackBufferDirty_ = true;
    QWidget::update(ClientRect());
  }
  SelectionBase = SavedSelectionBase_;
  Grip_ = InsideSel_ = -1;
  DrawingRect_ = DrawingCircle_ = false;
  Lasso_ = false;
  MovePoints_.clear();
  RefreshSelection();
}

void TVeloraView::mouseDoubleClickEvent(QMouseEvent* e) {
  if ((MouseInteract_ & Bit(miSelectPolygon)) && DrawingPolygon_ && e->button() == Qt::LeftButton) {
    // The press of the double-click added no point here (the first click did): close.
    ClosePolygon();
    return;
  }
  mousePressEvent(e);
}

// ---------------------------------------------------------------------------- outline drawing

void TVeloraView::DrawPolygonOutline(TBitmapCanvas& canvas) {
  const TRGB c1 = ColorToRGB(Sel_.Colour1), c2 = ColorToRGB(Sel_.Colour2);
  int counter = Sel_.Phase;
  Sel_.DrawPhase = Sel_.Phase;
  auto segment = [&](QPoint a, QPoint b) {
    int x = a.x(), y = a.y();
    const int dx = std::abs(b.x() - x), dy = -std::abs(b.y() - y);
    const int sx = x < b.x() ? 1 : -1, sy = y < b.y() ? 1 : -1;
    int err = dx + dy;
    for (int64_t guard = int64_t(dx) - dy + 1; (x != b.x() || y != b.y()) && guard > 0; --guard) {
      canvas.Pixel(x, y, counter < 3 ? c1 : c2);
      counter = (counter + 1) % 6;
      const int e2 = 2 * err;
      if (e2 >= dy) err += dy, x += sx;
      if (e2 <= dx) err += dx, y += sy;
    }
  };
  const auto& pts = Sel_.Points;
  size_t start = 0;
  while (start < pts.size()) {
    size_t end = start;
    while (end < pts.size() && pts[end].X != kSeparator) ++end;
    const bool open = DrawingPolygon_ && end == pts.size();
    std::vector<QPoint> c;
    for (size_t i = start; i < end; ++i) c.emplace_back(BitmapToClientX(pts[i].X), BitmapToClientY(pts[i].Y));
    for (size_t i = 0; i + 1 < c.size(); ++i) segment(c[i], c[i + 1]);
    if (!open && c.size() > 1) segment(c.back(), c.front());
    if (open && !c.empty() && HasRubber_ && !Lasso_) segment(c.back(), RubberPt_);
    start = end + 1;
  }
}

void TVeloraView::DrawGrips(TBitmapCanvas& canvas) {
  const auto& s = Sel_.Points;
  const int l = BitmapToClientX(s[0].X), r = BitmapToClientX(s[2].X);
  const int t = BitmapToClientY(s[0].Y), b = BitmapToClientY(s[2].Y);
  std::vector<QPoint> at{{l, t}, {r, t}, {r, b}, {l, b}};
  if (MiddleGrips_) at.insert(at.end(), {{l, (t + b) / 2}, {r, (t + b) / 2}, {(l + r) / 2, t}, {(l + r) / 2, b}});
  const TRGB pen = ColorToRGB(clBlack), brush = ColorToRGB(clWhite);
  for (const QPoint& g : at) {
    const TRect box{g.x() - kGripHalf, g.y() - kGripHalf, g.x() + kGripHalf, g.y() + kGripHalf};
    canvas.FillRect(box, brush);
    canvas.HLine(box.Left, box.Right, box.Top, pen);
    canvas.HLine(box.Left, box.Right, box.Bottom - 1, pen);
    canvas.VLine(box.Left, box.Top, box.Bottom, pen);
    canvas.VLine(box.Right - 1, box.Top, box.Bottom, pen);
  }
}

void TVeloraView::DrawOverlay(TBitmap& target) {
  TBitmapCanvas canvas(target);
  if (!Sel_.Points.empty()) {
    DrawPolygonOutline(canvas);
  } else if (HasSelection_ && !SelMask_.IsEmpty() && ViewChangeTicks_ == 0 && DrawWidth_ > 0 && DrawHeight_ > 0) {
    // The mask knows no system colours: it is given the pixels they stand for.
    SelMask_.DrawAnts(target, CenterOffsetX_, CenterOffsetY_, Sel_.Phase, TRGBToTColor(ColorToRGB(Sel_.Colour1)),
                      TRGBToTColor(ColorToRGB(Sel_.Colour2)), SourceX_, SourceY_, SourceWidth_, SourceHeight_,
                      DrawWidth_, DrawHeight_);
  }
  if (HasSelection_ && Sel_.Grips && IsSingleRectangle() && !DrawingRect_) DrawGrips(canvas);
}

}  // namespace velora
