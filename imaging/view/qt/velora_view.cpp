// Geometry, scrolling, the wheel and painting of the single-image view.
#include "velora_view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "proc/pixel_formats.h"
#include "vl_draw.h"

namespace velora {

namespace {

int Trunc(double v) { return int(std::clamp(std::trunc(v), -2147483647.0, 2147483647.0)); }

bool IsEmptyRect(const TRect& r) { return r.Width() <= 0 || r.Height() <= 0; }

TRGB Complement(TRGB c) { return TRGB{uint8_t(~c.b), uint8_t(~c.g), uint8_t(~c.r)}; }

}  // namespace

// ---------------------------------------------------------------------------- construction

TVeloraView::TVeloraView(QWidget* parent) : TVLView(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  SetCursor(crCross3);
  resize(105, 105);
  if (QScreen* s = QGuiApplication::primaryScreen()) SetDpi(RoundToInt(s->logicalDotsPerInchX()), RoundToInt(s->logicalDotsPerInchY()));

  HBar_ = new QScrollBar(Qt::Horizontal, this);
  VBar_ = new QScrollBar(Qt::Vertical, this);
  Corner_ = new QWidget(this);
  Corner_->setAutoFillBackground(true);
  for (QScrollBar* bar : {HBar_, VBar_}) {
    bar->hide();
    bar->setRange(0, 65535);
    bar->setCursor(Qt::ArrowCursor);
    const bool horizontal = bar == HBar_;
    connect(bar, &QScrollBar::actionTriggered, this, [this, horizontal](int a) { ScrollBarAction(horizontal, a); });
    connect(bar, &QScrollBar::sliderReleased, this, [this, horizontal] { ScrollBarReleased(horizontal); });
  }
  Corner_->hide();

  Timer_.setInterval(210);
  connect(&Timer_, &QTimer::timeout, this, [this] { TimerTick(); });
  // The timer runs only while something moves (see WakeTimer): an idle view does not wake.
  Sel_.Animated = SelectionOptions_ & vlsoAnimated;
  Sel_.Grips = SelectionOptions_ & vlsoSizeable;

  BackBuffer_.SetPixelFormat(TPixelFormat::pf24bit);
  SelMask_.Allocate(Bitmap_.Width(), Bitmap_.Height(), 1);
  AlphaMask_.Allocate(Bitmap_.Width(), Bitmap_.Height(), 8);
  AlphaMask_.Fill(255);
}

TVeloraView::~TVeloraView() {
  Timer_.stop();
  // The view's own components leave it while it is still whole; the base then tells the
  // remaining listeners that the view goes.
  Proc_.reset();
  IO_.reset();
  Destroying_ = true;
}

TVeloraIO& TVeloraView::GetIO() {
  if (!IO_) {
    IO_ = std::make_unique<TVeloraIO>();
    IO_->SetAttachedVelora(this);
  }
  return *IO_;
}

void TVeloraView::NotifyImageChanged() {
  // A new picture is a change like a zoom: it is shown at once unfiltered, and the filtered
  // picture follows once, after the delay. Replaced again meanwhile, it is never filtered.
  DelayFilter();
  if (OnImageChange) OnImageChange(this);
}

void TVeloraView::SetBackground(TColor colour) {
  TVLView::SetBackground(colour);
  Update();
  NotifyImageChanged();
}

void TVeloraView::Clear() {
  if (!Bitmap_.Empty()) {
    TBitmap& b = Bitmap_;
    if (b.BitCount() == 24) {
      TBitmapCanvas c(b);
      c.FillRect(TRect{0, 0, b.Width(), b.Height()}, ColorToRGB(Background()));
    } else {
      // A 1-bit image shows white or black: the nearer one to the background.
      TRGB bg = ColorToRGB(Background());
      uint8_t v = (bg.r + bg.g + bg.b) / 3 >= 128 ? 0xFF : 0x00;
      for (int y = 0; y < b.Height(); ++y) std::memset(b.ScanLine(y), v, size_t(b.RowLen()));
    }
  }
  Update();
}

void TVeloraView::Assign(TVeloraView* source) {
  if (!source) return Clear();
  Bitmap_.Assign(source->Bitmap_);
  AlphaMask_.Assign(&source->AlphaMask_);
  TVLView::SetBackground(source->Background());
  SetDpi(source->DpiX(), source->DpiY());
  Update();
  NotifyImageChanged();
}

void TVeloraView::Assign(const TBitmap* source) {
  if (!source) return Clear();
  Bitmap_.Assign(*source);
  // The view shows 24- and 1-bit images; any other format becomes 24 bits with its pixels.
  if (Bitmap_.BitCount() != 24 && Bitmap_.BitCount() != 1) ConvertTo24Bit(Bitmap_);
  Update();
  NotifyImageChanged();
}

// ---------------------------------------------------------------------------- properties

void TVeloraView::SetZoomFilter(TResampleFilter filter) {
  if (filter == ZoomFilter_) return;
  ZoomFilter_ = filter;
  Update();
}

void TVeloraView::SetScrollBars(TScrollStyle style) {
  ScrollBars_ = style;
  if (style != ssHorizontal && style != ssBoth) HBar_->hide();
  if (style != ssVertical && style != ssBoth) VBar_->hide();
  LayoutScrollBars();
  Update();
}

void TVeloraView::SetSelectionOptions(TVLSelectionOptions options) {
  SelectionOptions_ = options;
  Sel_.Animated = options & vlsoAnimated;
  Sel_.Grips = options & vlsoSizeable;
  Update();
}

void TVeloraView::SetCenter(bool value) {
  if (value == Center_) return;
  Center_ = value;
  Update();
}

void TVeloraView::SetBackgroundStyle(TVLBackgroundStyle style) {
  BackgroundStyle_ = style;
  QWidget::update();
  Update();
}

void TVeloraView::SetEnableAlphaChannel(bool value) {
  EnableAlphaChannel_ = value;
  Update();
}

void TVeloraView::SetTransparencyBackdrop(TVLTransparencyBackdrop backdrop, TColor colour) {
  Backdrop_ = backdrop;
  BackdropColour_ = colour;
  Update();
}

void TVeloraView::SetCursor(int cursor) {
  OwnCursor_ = cursor;
  setCursor(ViewCursor(cursor));
}

void TVeloraView::RecreateFrame() {
  TVLView::RecreateFrame();
  if (HBar_) LayoutScrollBars();
}

// ---------------------------------------------------------------------------- geometry

bool TVeloraView::HasParentWindow() const { return parentWidget() != nullptr || windowHandle() != nullptr; }

int TVeloraView::ExtentX() const {
  if (!HasParentWindow()) return 50;
  return std::max(ClientRect().width() - (VBar_ && !VBar_->isHidden() ? VBar_->width() : 0), 0);
}

int TVeloraView::ExtentY() const {
  if (!HasParentWindow()) return 50;
  return std::max(ClientRect().height() - (HBar_ && !HBar_->isHidden() ? HBar_->height() : 0), 0);
}

void TVeloraView::EdgeForStyle(int& ex, int& ey) const {
  ex = ey = 0;
  if (BackgroundStyle_ == vlbsCropped) ex = ey = EdgeSize();
  if (BackgroundStyle_ == vlbsCropShadow) ex = ey = 5;
}

void TVeloraView::NotifyViewChange(int change) {
  if (OnViewChange) OnViewChange(this, change);
}

void TVeloraView::GetMaxViewOriginAt(double zoomFactor, int& maxX, int& maxY) const {
  const int w = Trunc(Bitmap_.Width() * zoomFactor), h = Trunc(Bitmap_.Height() * zoomFactor);
  maxX = maxY = 0;
  if (w < 1 || h < 1) return;
  maxX = std::max(0, w - ExtentX());
  maxY = std::max(0, h - ExtentY());
  // The outer size is the client area with its scroll bars: when the whole image fits
  // there, the bars go and nothing needs scrolling.
  if (ClientRect().width() >= w && ClientRect().height() >= h) maxX = maxY = 0;
}

void TVeloraView::GetMaxViewOrigin(int& maxX, int& maxY) const { GetMaxViewOriginAt(ZoomFactor_, maxX, maxY); }

int TVeloraView::BitmapToClientX(int bx) const {
  return RoundToInt((bx + RoundToInt(-ViewOriginX_ * InverseZoomFactor_)) * ZoomFactor_ + CenterOffsetX_);
}
int TVeloraView::BitmapToClientY(int by) const {
  return RoundToInt((by + RoundToInt(-ViewOriginY_ * InverseZoomFactor_)) * ZoomFactor_ + CenterOffsetY_);
}
int TVeloraView::ClientToBitmapX(int cx) const { return Trunc((cx - CenterOffsetX_) * InverseZoomFactor_ + SourceX_); }
int TVeloraView::ClientToBitmapY(int cy) const { return Trunc((cy - CenterOffsetY_) * InverseZoomFactor_ + SourceY_); }

void TVeloraView::ComputeSourceRect() {
  const int bw = Bitmap_.Width(), bh = Bitmap_.Height();
  if (ZoomedWidth_ <= 0 || ZoomedHeight_ <= 0 || bw <= 0 || bh <= 0) {
    SourceX_ = SourceY_ = SourceWidth_ = SourceHeight_ = DrawWidth_ = DrawHeight_ = 0;
    return;
  }
  auto axis = [&](int size, int zoomed, int origin, int visible, int& src, int& srcSize, int& draw) {
    const double r = double(size) / zoomed;
    src = std::clamp(RoundToInt(origin * r), 0, size - 1);
    srcSize = RoundToInt(r * visible);
    if (src + srcSize > size) srcSize -= 1;
    srcSize = std::clamp(srcSize, 0, size - src);  // a rounding never reaches past the image
    if (Zoom_ <= 100) {
      draw = visible;
      return;
    }
    draw = Trunc(srcSize * ZoomFactor_);
    if (draw < visible && src + srcSize < size) {
      // One more source column, partly visible, so that no gap is left at the edge.
      ++srcSize;
      draw = Trunc(srcSize * ZoomFactor_);
    }
  };
  axis(bw, ZoomedWidth_, ViewOriginX_, VisibleWidth_, SourceX_, SourceWidth_, DrawWidth_);
  axis(bh, ZoomedHeight_, ViewOriginY_, VisibleHeight_, SourceY_, SourceHeight_, DrawHeight_);
}

void TVeloraView::Update() {
  if (Destroying_ || UpdateDepth_ > 4) return;
  ++UpdateDepth_;
  const int bw = Bitmap_.Width(), bh = Bitmap_.Height();
  // 1. AutoFit
  if (AutoFit && !Bitmap_.Empty()) {
    int ex, ey;
    EdgeForStyle(ex, ey);
    double z = std::min((ExtentY() - 2 * ey) / (bh / 100.0), (ExtentX() - 2 * ex) / (bw / 100.0));
    if (z < 1) z = 1;
    Zoom_ = z;
    ZoomFactor_ = z / 100;
    InverseZoomFactor_ = 100 / z;
    NotifyViewChange(1);
  }
  // 2. a new bitmap size drops the selection and resizes the masks
  if (bw != LastBitmapWidth_ || bh != LastBitmapHeight_) {
    LastBitmapWidth_ = bw;
    LastBitmapHeight_ = bh;
    Deselect();
    SelMask_.Allocate(bw, bh, 1);
    if (AlphaMask_.Width() != bw || AlphaMask_.Height() != bh) {
      AlphaMask_.Allocate(bw, bh, 8);
      AlphaMask_.Fill(255);
    }
  }
  // 3. the origin stays inside the image
  int maxX, maxY;
  GetMaxViewOrigin(maxX, maxY);
  const int ox = std::clamp(ViewOriginX_, 0, maxX), oy = std::clamp(ViewOriginY_, 0, maxY);
  if (ox != ViewOriginX_ || oy != ViewOriginY_) {
    ViewOriginX_ = ox;
    ViewOriginY_ = oy;
    NotifyViewChange(0);
  }
  // 4, 5. scroll bars; a bar that comes or goes changes the extents: start again
  const int ex = ExtentX(), ey = ExtentY();
  if (HasParentWindow()) UpdateScrollBars();
  if (ex != ExtentX() || ey != ExtentY()) Update();
  // 6. the zoomed and visible sizes and the centring
  ZoomedWidth_ = RoundToInt(bw * ZoomFactor_);
  ZoomedHeight_ = RoundToInt(bh * ZoomFactor_);
  VisibleWidth_ = std::min(ZoomedWidth_, ExtentX());
  VisibleHeight_ = std::min(ZoomedHeight_, ExtentY());
  CenterOffsetX_ = CenterOffsetY_ = 0;
  if (Center_) {
    if (VisibleWidth_ < ExtentX()) CenterOffsetX_ = int(unsigned(ExtentX() - VisibleWidth_) >> 1);
    if (VisibleHeight_ < ExtentY()) CenterOffsetY_ = int(unsigned(ExtentY() - VisibleHeight_) >> 1);
  }
  ComputeSourceRect();
  // 7.
  BackBufferDirty_ = true;
  if (HasParentWindow()) QWidget::update();
  --UpdateDepth_;
}

void TVeloraView::UnlockUpdate() {
  if (UpdateLockCount_ > 0) --UpdateLockCount_;
  if (UpdateLockCount_ == 0) Update();
}

void TVeloraView::UnlockUpdateNoRefresh() {
  if (UpdateLockCount_ > 0) --UpdateLockCount_;
}

void TVeloraView::ArmFilterDelay() {
  DelayFilter();
  ViewChangeTicks_ = 2;
  WakeTimer();
}

void TVeloraView::DelayFilter() {
  if (!DelayZoomFilter || ZoomFilter_ == rfNone || Zoom_ == 100) return;
  FilterDelayTicks_ = 2;
  WakeTimer();
}

void TVeloraView::WakeTimer() {
  // Started only when stopped: a restart would put the next tick off with every change.
  if (!Timer_.isActive()) Timer_.start();
}

bool TVeloraView::OutlineAnimated() const {
  const bool outline = HasSelection_ || DrawingPolygon_ || DrawingRect_ || DrawingCircle_;
  return outline && Sel_.Animated;
}

void TVeloraView::SetZoom(double z) {
  if (z <= 0 || z == Zoom_) return;
  ArmFilterDelay();
  LockUpdate();
  const int cx = int(unsigned(ExtentX()) >> 1), cy = int(unsigned(ExtentY()) >> 1);
  const int bx = RoundToInt((cx + ViewOriginX_ - CenterOffsetX_) * InverseZoomFactor_);
  const int by = RoundToInt((cy + ViewOriginY_ - CenterOffsetY_) * InverseZoomFactor_);
  int nx = Trunc(bx * z / 100 - cx), ny = Trunc(by * z / 100 - cy);
  // Limited with the maximum of the new zoom, so that zooming keeps the centre in view.
  int maxX, maxY;
  GetMaxViewOriginAt(z / 100, maxX, maxY);
  ViewOriginX_ = std::clamp(nx, 0, maxX);
  ViewOriginY_ = std::clamp(ny, 0, maxY);
  Zoom_ = z;
  ZoomFactor_ = z / 100;
  InverseZoomFactor_ = 100 / z;
  // Update invalidates the window: the new zoom is painted once, on the next paint event,
  // rather than at once and again for the invalidation.
  Update();
  UnlockUpdateNoRefresh();
  NotifyViewChange(1);
}

void TVeloraView::Fit() {
  if (Bitmap_.Empty()) return;
  int ex, ey;
  EdgeForStyle(ex, ey);
  const int outerW = ClientRect().width(), outerH = ClientRect().height();
  SetZoom(std::min((outerH - 2 * ey) / (Bitmap_.Height() / 100.0), (outerW - 2 * ex) / (Bitmap_.Width() / 100.0)));
}

void TVeloraView::ZoomAt(int x, int y, double z) {
  LockUpdate();
  const int bx = ClientToBitmapX(x), by = ClientToBitmapY(y);
  SetZoom(z);
  SetViewOrigin(Trunc(bx * Zoom_ / 100 - ExtentX() / 2), Trunc(by * Zoom_ / 100 - ExtentY() / 2));
  UnlockUpdate();
}

void TVeloraView::SetViewOriginX(int x) { SetViewOrigin(x, ViewOriginY_); }
void TVeloraView::SetViewOriginY(int y) { SetViewOrigin(ViewOriginX_, y); }

void TVeloraView::SetViewOrigin(int x, int y) {
  if (x == ViewOriginX_ && y == ViewOriginY_) return;
  int maxX, maxY;
  GetMaxViewOrigin(maxX, maxY);
  x = std::clamp(x, 0, maxX);
  y = std::clamp(y, 0, maxY);
  if (x == ViewOriginX_ && y == ViewOriginY_) return;
  ArmFilterDelay();
  ViewOriginX_ = x;
  ViewOriginY_ = y;
  ComputeSourceRect();
  BackBufferDirty_ = true;
  Paint();
  NotifyViewChange(0);
  if (!HBar_->isHidden()) HBar_->setValue(Trunc(ViewOriginX_ / HorzScrollScale_));
  if (!VBar_->isHidden()) VBar_->setValue(Trunc(ViewOriginY_ / VertScrollScale_));
}

// ---------------------------------------------------------------------------- scroll bars

void TVeloraView::LayoutScrollBars() {
  const QRect c = ClientRect();
  const int ext = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const bool h = !HBar_->isHidden(), v = !VBar_->isHidden();
  HBar_->setGeometry(c.left(), c.bottom() + 1 - ext, c.width() - (v ? ext : 0), ext);
  VBar_->setGeometry(c.right() + 1 - ext, c.top(), ext, c.height() - (h ? ext : 0));
  Corner_->setGeometry(c.right() + 1 - ext, c.bottom() + 1 - ext, ext, ext);
  Corner_->setVisible(h && v);
}

void TVeloraView::UpdateScrollBars() {
  int maxX, maxY;
  GetMaxViewOrigin(maxX, maxY);
  auto bar = [&](QScrollBar* b, bool wanted, int max, int extent, int origin, double& scale) {
    if (!wanted) return;
    if (max < 1) {
      b->hide();
      return;
    }
    scale = (extent + max) / 65536.0;
    const int page = Trunc(extent / scale);
    // The bar's range is 0..65535 with a page: the thumb's position runs to 65536 − page.
    QSignalBlocker block(b);
    b->setRange(0, std::max(0, 65536 - page));
    b->setPageStep(page);
    b->setSingleStep(std::max(1, Trunc(1 / scale)));
    b->setValue(Trunc(origin / scale));
    b->setEnabled(true);
    b->show();
  };
  bar(HBar_, ScrollBars_ == ssHorizontal || ScrollBars_ == ssBoth, maxX, ExtentX(), ViewOriginX_, HorzScrollScale_);
  bar(VBar_, ScrollBars_ == ssVertical || ScrollBars_ == ssBoth, maxY, ExtentY(), ViewOriginY_, VertScrollScale_);
  LayoutScrollBars();
}

void TVeloraView::ScrollBarAction(bool horizontal, int action) {
  QScrollBar* b = horizontal ? HBar_ : VBar_;
  const TVLScrollBarParams& p = horizontal ? HorzParams_ : VertParams_;
  const int origin = horizontal ? ViewOriginX_ : ViewOriginY_;
  const int extent = horizontal ? ExtentX() : ExtentY();
  const double scale = horizontal ? HorzScrollScale_ : VertScrollScale_;
  const int z = std::max(Trunc(ZoomFactor_), 1);
  int maxX, maxY;
  GetMaxViewOrigin(maxX, maxY);
  int n = origin;
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: n = origin - (p.StepPerLine == -1 ? z : z * p.StepPerLine); break;
    case QAbstractSlider::SliderSingleStepAdd: n = origin + (p.StepPerLine == -1 ? z : z * p.StepPerLine); break;
    case QAbstractSlider::SliderPageStepSub: n = origin - (p.StepPerPage == -1 ? extent : z * p.StepPerPage); break;
    case QAbstractSlider::SliderPageStepAdd: n = origin + (p.StepPerPage == -1 ? extent : z * p.StepPerPage); break;
    case QAbstractSlider::SliderMove:
      if (!p.TrackWhileDragging) return;
      n = Trunc(b->sliderPosition() * scale);
      break;
    case QAbstractSlider::SliderToMinimum: n = 0; break;
    case QAbstractSlider::SliderToMaximum: n = horizontal ? maxX : maxY; break;
    default: return;
  }
  if (horizontal)
    SetViewOriginX(n);
  else
    SetViewOriginY(n);
  // The bar shows where the view went, not where its own step would have put it.
  b->setSliderPosition(Trunc((horizontal ? ViewOriginX_ : ViewOriginY_) / scale));
}

void TVeloraView::ScrollBarReleased(bool horizontal) {
  QScrollBar* b = horizontal ? HBar_ : VBar_;
  const int n = Trunc(b->sliderPosition() * (horizontal ? HorzScrollScale_ : VertScrollScale_));
  if (horizontal)
    SetViewOriginX(n);
  else
    SetViewOriginY(n);
}

// ---------------------------------------------------------------------------- wheel and keys

void TVeloraView::wheelEvent(QWheelEvent* event) {
  const TVLMouseWheelParams& w = WheelParams_;
  if (w.WheelAction == vlwaNone) return QWidget::wheelEvent(event);
  const int delta = event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
  if (delta == 0) return event->accept();
  int d = delta > 0 ? -1 : 1;
  if (w.InvertWheel) d = -d;
  if (w.WheelAction == vlwaScroll) {
    const int step = w.StepIsPercent ? std::max(RoundToInt(ExtentY() * w.WheelStep / 100.0), 1)
                                     : w.WheelStep * std::max(Trunc(ZoomFactor_), 1);
    SetViewOriginY(ViewOriginY_ + d * step);
  } else if (w.WheelAction == vlwaZoom) {
    const double step = w.StepIsPercent ? std::max(RoundToInt(Zoom_ * w.WheelStep / 100), 1) : w.WheelStep;
    SetZoom(Zoom_ + d * step);
  }
  event->accept();
}

static bool IsClaimedKey(int key) {
  switch (key) {
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_End: case Qt::Key_Home:
    case Qt::Key_Left: case Qt::Key_Up: case Qt::Key_Right: case Qt::Key_Down:
      return true;
    default:
      return false;
  }
}

bool TVeloraView::event(QEvent* e) {
  // The navigation keys belong to the view, not to the dialog or a shortcut around it; with
  // Ctrl they are the window's.
  if (e->type() == QEvent::ShortcutOverride && IsClaimedKey(static_cast<QKeyEvent*>(e)->key()) &&
      !(static_cast<QKeyEvent*>(e)->modifiers() & Qt::ControlModifier)) {
    e->accept();
    return true;
  }
  if (e->type() == QEvent::PaletteChange || e->type() == QEvent::ApplicationPaletteChange) {
    // System colours may have changed under the background.
    BackBufferDirty_ = true;
    QWidget::update();
  }
  return TVLView::event(e);
}

void TVeloraView::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() & Qt::ShiftModifier) {
    if (OwnCursor_ == crCross3) SetCursor(crCross3Plus);
    else if (OwnCursor_ == crCross2) SetCursor(crCross2Plus);
  }
  if (IsClaimedKey(event->key()))
    event->accept();
  else
    TVLView::keyPressEvent(event);
}

void TVeloraView::keyReleaseEvent(QKeyEvent* event) {
  // Releasing Shift itself may still report it among the modifiers.
  if (!(event->modifiers() & Qt::ShiftModifier) || event->key() == Qt::Key_Shift) {
    if (OwnCursor_ == crCross3Plus) SetCursor(crCross3);
    else if (OwnCursor_ == crCross2Plus) SetCursor(crCross2);
  }
  TVLView::keyReleaseEvent(event);
}

void TVeloraView::focusInEvent(QFocusEvent* event) {
  TVLView::focusInEvent(event);
  QWidget::update();
}

void TVeloraView::focusOutEvent(QFocusEvent* event) {
  TVLView::focusOutEvent(event);
  QWidget::update();
}

void TVeloraView::resizeEvent(QResizeEvent* event) {
  TVLView::resizeEvent(event);
  LayoutScrollBars();
  Update();
}

// ---------------------------------------------------------------------------- the timer

void TVeloraView::TimerTick() {
  if (HasParentWindow()) {
    // The marching outline moves on while nothing is being dragged.
    const bool outline = HasSelection_ || DrawingPolygon_ || DrawingRect_ || DrawingCircle_;
    if (outline && Sel_.Animated && !ButtonDown_) {
      Sel_.Phase = (Sel_.Phase + 1) % 6;
      QWidget::update(ClientRect());
    }
    if (FilterDelayTicks_ > 0 && --FilterDelayTicks_ == 0) Update();
    if (ViewChangeTicks_ > 0 && --ViewChangeTicks_ == 0 && outline) QWidget::update(ClientRect());
  }
  // Nothing left to animate or to count down: the view sleeps until the next change.
  if (!HasParentWindow() || (!OutlineAnimated() && FilterDelayTicks_ == 0 && ViewChangeTicks_ == 0)) Timer_.stop();
}

// ---------------------------------------------------------------------------- painting

void TVeloraView::Paint() {
  if (!HasParentWindow() || !isVisible() || UpdateLockCount_ > 0) return;
  repaint(ClientRect());
}

void TVeloraView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (!ClientRect().contains(event->rect())) PaintBorder(painter);
  const int W = ExtentX(), H = ExtentY();
  if (!HasParentWindow() || W <= 0 || H <= 0) return;
  if (Corner_->isVisible()) Corner_->update();
  if (Transition_->Running()) {
    Transition_->PaintFrame(painter, ClientOrigin());
  } else if (UpdateLockCount_ == 0) {
    const QPoint o = ClientOrigin();
    QRect clip = event->rect().translated(-o) & QRect(0, 0, W, H);
    if (BackBuffer_.Width() != W || BackBuffer_.Height() != H) {
      BackBuffer_.Reset(W, H, TPixelFormat::pf24bit);
      BackRows_.resize(size_t(H));
      for (int y = 0; y < H; ++y) BackRows_[size_t(y)] = BackBuffer_.ScanLine(y);
      BackBufferDirty_ = true;
    }
    if (BackBufferDirty_) {
      // The whole buffer is rendered: a partial expose must not leave stale parts behind a
      // cleared flag.
      if (ZoomFilter_ != rfNone)
        RenderTo(BackBuffer_);
      else
        RenderFast(BackBuffer_, BackRows_, TRect{0, 0, W, H});
      BackBufferDirty_ = false;
    }
    const TBitmap* shown = &BackBuffer_;
    const bool outline = HasSelection_ || DrawingPolygon_ || DrawingRect_ || DrawingCircle_ || Grip_ >= 0;
    // Whatever made an outline appear, painting it is what sets the ants marching.
    if (OutlineAnimated()) WakeTimer();
    if (outline) {
      // The outline and grips go on a copy so that the rendered picture stays clean for the
      // next animation step.
      if (Overlay_.Width() != W || Overlay_.Height() != H) Overlay_.Reset(W, H, TPixelFormat::pf24bit);
      std::memcpy(Overlay_.Bits(), BackBuffer_.Bits(), size_t(BackBuffer_.ImageSize()));
      DrawOverlay(Overlay_);
      shown = &Overlay_;
    }
    if (!clip.isEmpty()) BlitBitmap(painter, clip.topLeft() + o, *shown, clip, Blit_);
  }
  if (OnPaint) OnPaint(this);
}

bool TVeloraView::AlphaInUse() const { return EnableAlphaChannel_ && !AlphaMask_.Full(); }

void TVeloraView::PaintBackground(TBitmapCanvas& canvas, int W, int H, const TRect& image) {
  const TRGB bg = ColorToRGB(Background()), inv = Complement(bg);
  const TRect all{0, 0, W, H};
  switch (BackgroundStyle_) {
    case vlbsSolid: canvas.FillRect(all, bg); break;
    case vlbsHorizontal: canvas.FillPattern(all, TBrushPattern::Horizontal, bg, inv); break;
    case vlbsVertical: canvas.FillPattern(all, TBrushPattern::Vertical, bg, inv); break;
    case vlbsFDiagonal: canvas.FillPattern(all, TBrushPattern::FDiagonal, bg, inv); break;
    case vlbsBDiagonal: canvas.FillPattern(all, TBrushPattern::BDiagonal, bg, inv); break;
    case vlbsCross: canvas.FillPattern(all, TBrushPattern::Cross, bg, inv); break;
    case vlbsDiagCross: canvas.FillPattern(all, TBrushPattern::DiagCross, bg, inv); break;
    case vlbsChessboard:
      for (int y = 0; y < H; y += 16)
        for (int x = 0; x < W; x += 16)
          canvas.FillRect(TRect{x, y, x + 16, y + 16}, ((x / 16 + y / 16) & 1) == 0 ? inv : bg);
      break;
    case vlbsDiagonals:
      canvas.FillRect(all, bg);
      canvas.Line(0, 0, W, H, inv);
      canvas.Line(W, 0, 0, H, inv);
      break;
    case vlbsCropped:
      canvas.FillRect(all, ColorToRGB(clBtnFace));
      if (image.Width() >= 2 && image.Height() >= 2) {
        const int e = EdgeSize();
        // The sunken edge: shadow above and left, light below and right, two lines deep.
        DrawFrame(canvas, image.Left - e, image.Top - e, clSystemColor | 20, clSystemColor | 16, image.Bottom + e - 1,
                  image.Right + e - 1);
        if (e > 1)
          DrawFrame(canvas, image.Left - 1, image.Top - 1, clSystemColor | 22, clSystemColor | 21, image.Bottom,
                    image.Right);
      }
      break;
    case vlbsCropShadow:
      canvas.FillRect(all, ColorToRGB(clBtnFace));
      if (image.Width() >= 2 && image.Height() >= 2) {
        DrawShadowV(canvas, image.Right, image.Top, image.Bottom);
        DrawShadowH(canvas, image.Left, image.Right, image.Bottom);
      }
      break;
  }
}

void TVeloraView::PaintBackgroundAround(TBitmap& target, const TRect& clip, const TRect& image) {
  const int W = target.Width(), H = target.Height();
  const TRect bands[4] = {{0, 0, W, image.Top},
                          {0, image.Bottom, W, H},
                          {0, image.Top, image.Left, image.Bottom},
                          {image.Right, image.Top, W, image.Bottom}};
  for (const TRect& b : bands) {
    const TRect c = IntersectRect(b, clip);
    if (IsEmptyRect(c)) continue;
    TBitmapCanvas canvas(target, c);
    PaintBackground(canvas, W, H, image);
  }
}

void TVeloraView::PaintBackdrop(TBitmap& target, const TRect& clip, const TRect& image) {
  const int W = target.Width(), H = target.Height();
  if (Backdrop_ == vltbBackground) {
    TBitmapCanvas canvas(target, clip);
    PaintBackground(canvas, W, H, image);
    return;
  }
  // Around the picture the background as always; the backdrop under it only.
  PaintBackgroundAround(target, clip, image);
  TBitmapCanvas canvas(target, IntersectRect(clip, image));
  if (Backdrop_ == vltbChecker)
    FillChecker(canvas, image);
  else
    canvas.FillRect(image, ColorToRGB(BackdropColour_));
}

void TVeloraView::StretchInto(TBitmap& target, const TRect& dirty, bool blendAlpha) {
  if (DrawWidth_ <= 0 || DrawHeight_ <= 0 || SourceWidth_ <= 0 || SourceHeight_ <= 0) return;
  const int W = target.Width(), H = target.Height();
  const int bw = Bitmap_.Width(), bh = Bitmap_.Height();
  // 14-bit fixed-point steps through the source.
  const int64_t sy = int64_t(double(SourceHeight_) / DrawHeight_ * 16384);
  const int64_t sx = int64_t(double(SourceWidth_) / DrawWidth_ * 16384);
  const int r0 = std::max(CenterOffsetY_, dirty.Top);
  const int r1 = std::min({CenterOffsetY_ + DrawHeight_ - 1, H - 1, dirty.Bottom - 1});
  const int c0 = std::max(CenterOffsetX_, dirty.Left);
  const int c1 = std::min({CenterOffsetX_ + DrawWidth_ - 1, W - 1, dirty.Right - 1});
  if (r1 < r0 || c1 < c0) return;
  const int n = c1 - c0 + 1;
  std::vector<int> cols(static_cast<size_t>(n));
  for (int j = c0; j <= c1; ++j)
    cols[size_t(j - c0)] = std::min(int(sx * (j - CenterOffsetX_) / 16384) + SourceX_, bw - 1);
  const bool is24 = Bitmap_.BitCount() == 24;
  const bool blockCopy = is24 && sx == 16384 && sy == 16384 && !blendAlpha;
  const bool copyRowAbove = BackgroundStyle_ == vlbsSolid;
  // The pixels that may move four bytes at once (a leading run of the columns) are the same
  // in every row: found once, not tested per pixel.
  int wide = 0;
  while (wide < n - 1 && cols[size_t(wide)] < bw - 1) ++wide;
  int prevRow = -1;
  for (int i = r0; i <= r1; ++i) {
    const int srow = std::min(int(sy * (i - CenterOffsetY_) / 16384) + SourceY_, bh - 1);
    uint8_t* d = target.ScanLine(i) + 3 * c0;
    if (srow == prevRow && copyRowAbove) {
      std::memcpy(d, target.ScanLine(i - 1) + 3 * c0, size_t(3 * n));
      continue;
    }
    prevRow = srow;
    const uint8_t* s = Bitmap_.ScanLine(srow);
    const uint8_t* a = blendAlpha ? AlphaMask_.ScanLine(srow) : nullptr;
    if (blockCopy) {
      std::memcpy(d, s + 3 * cols[0], size_t(3 * n));
    } else if (is24 && !a) {
      // Four bytes per pixel moved at once, the fourth overwritten by the next pixel; the
      // last pixel of the row and the image's last column move three.
      const int* c = cols.data();
      int k = 0;
      for (; k < wide; ++k) std::memcpy(d + 3 * k, s + 3 * c[k], 4);
      for (; k < n; ++k) std::memcpy(d + 3 * k, s + 3 * c[k], 3);
    } else if (is24) {
      for (int k = 0; k < n; ++k) {
        const int c = cols[size_t(k)];
        const uint8_t* p = s + 3 * c;
        const int al = a[c];
        for (int ch = 0; ch < 3; ++ch) {
          int v = d[3 * k + ch];
          d[3 * k + ch] = uint8_t(v + (((p[ch] - v) * al) >> 8));
        }
      }
    } else {
      for (int k = 0; k < n; ++k) {
        const int c = cols[size_t(k)];
        const bool on = s[c >> 3] & (0x80 >> (c & 7));
        uint8_t v;
        if (!a) {
          v = on ? 255 : 0;
        } else {
          const int g = d[3 * k + 2], al = a[c];
          v = on ? uint8_t(g + (((255 - g) * al) >> 8)) : uint8_t(g - ((al * g + 255) >> 8));
        }
        d[3 * k] = d[3 * k + 1] = d[3 * k + 2] = v;
      }
    }
  }
}

void TVeloraView::DrawFilledSelection(TBitmap& target) {
  if (!(SelectionOptions_ & vlsoFilled) || !HasSelection_ || SelMask_.IsEmpty()) return;
  if (DrawWidth_ <= 0 || DrawHeight_ <= 0) return;
  SelMask_.DrawInverted(target, CenterOffsetX_, CenterOffsetY_, DrawWidth_, DrawHeight_, SourceX_, SourceY_,
                        SourceWidth_, SourceHeight_);
}

void TVeloraView::RenderFast(TBitmap& target, const std::vector<uint8_t*>& rows, const TRect& dirtyIn) {
  (void)rows;  // the rows are the target's own; its ScanLine gives the same addresses
  ComputeSourceRect();
  const int W = target.Width(), H = target.Height();
  const TRect dirty = IntersectRect(dirtyIn, TRect{0, 0, W, H});
  if (IsEmptyRect(dirty)) return;
  const TRect image{CenterOffsetX_, CenterOffsetY_, CenterOffsetX_ + DrawWidth_, CenterOffsetY_ + DrawHeight_};
  const bool alpha = AlphaInUse();
  if (alpha) {
    PaintBackdrop(target, dirty, image);
  } else if (CenterOffsetX_ > 0 || CenterOffsetY_ > 0 || DrawWidth_ < W || DrawHeight_ < H) {
    // Under an opaque image the background would only be overwritten: it is painted
    // around the image.
    PaintBackgroundAround(target, dirty, image);
  }
  if (Bitmap_.Empty() || (Bitmap_.Width() == 1 && Bitmap_.Height() == 1)) return;
  if (AlphaMask_.Width() != Bitmap_.Width() || AlphaMask_.Height() != Bitmap_.Height()) return;
  StretchInto(target, dirty, alpha);
  DrawFilledSelection(target);
}

namespace {

// The rectangle r of a 24- or 1-bit bitmap as a new bitmap of the same format.
void CopyOut(const TBitmap& src, const TRect& r, TBitmap& out) {
  out.Reset(r.Width(), r.Height(), src.PixelFormat());
  for (int y = 0; y < r.Height(); ++y) {
    const uint8_t* s = src.ScanLine(r.Top + y);
    uint8_t* d = out.ScanLine(y);
    if (src.BitCount() == 24) {
      std::memcpy(d, s + 3 * r.Left, size_t(3 * r.Width()));
    } else {
      for (int x = 0; x < r.Width(); ++x) {
        const int c = r.Left + x;
        if (s[c >> 3] & (0x80 >> (c & 7))) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
      }
    }
  }
}

// Copies `src` (24 bits) into `target` at (x, y), clipped.
void PutBitmap(TBitmap& target, int x, int y, const TBitmap& src) {
  const int x0 = std::max(x, 0), x1 = std::min(x + src.Width(), target.Width());
  if (x1 <= x0) return;
  for (int r = std::max(y, 0); r < std::min(y + src.Height(), target.Height()); ++r)
    std::memcpy(target.ScanLine(r) + 3 * x0, src.ScanLine(r - y) + 3 * (x0 - x), size_t(3 * (x1 - x0)));
}

// Nearest-pixel stretch of rectangle r of a 24- or 1-bit bitmap onto all of dest (24 bits).
void StretchRect(const TBitmap& src, const TRect& r, TBitmap& dest) {
  if (r.Width() <= 0 || r.Height() <= 0) return;
  for (int y = 0; y < dest.Height(); ++y) {
    const uint8_t* s = src.ScanLine(r.Top + int(int64_t(y) * r.Height() / dest.Height()));
    uint8_t* d = dest.ScanLine(y);
    for (int x = 0; x < dest.Width(); ++x) {
      const int c = r.Left + int(int64_t(x) * r.Width() / dest.Width());
      if (src.BitCount() == 24) {
        std::memcpy(d + 3 * x, s + 3 * c, 3);
      } else {
        const uint8_t v = (s[c >> 3] & (0x80 >> (c & 7))) ? 255 : 0;
        d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = v;
      }
    }
  }
}

}  // namespace

void TVeloraView::RenderTo(TBitmap& target) {
  ComputeSourceRect();
  const int W = target.Width(), H = target.Height();
  const TRect image{CenterOffsetX_, CenterOffsetY_, CenterOffsetX_ + DrawWidth_, CenterOffsetY_ + DrawHeight_};
  const TRect all{0, 0, W, H};
  if (Bitmap_.Empty()) {
    TBitmapCanvas canvas(target);
    PaintBackground(canvas, W, H, image);
    return;
  }
  const bool alpha =
      AlphaInUse() && AlphaMask_.Width() == Bitmap_.Width() && AlphaMask_.Height() == Bitmap_.Height();
  if (alpha)
    PaintBackdrop(target, all, image);
  else if (image.Left > 0 || image.Top > 0 || image.Right < W || image.Bottom < H)
    PaintBackgroundAround(target, all, image);
  // The filters resample the colours alone: a picture with alpha is blended unfiltered.
  const bool useFilter = !alpha && ZoomFilter_ != rfNone && FilterDelayTicks_ < 1 && Zoom_ != 100 && Bitmap_.Width() >= 2 &&
                         Bitmap_.Height() >= 2 && SourceWidth_ > 3 && SourceHeight_ > 3;
  try {
    if (!useFilter) {
      StretchInto(target, all, alpha);
    } else if (DrawWidth_ > 0 && DrawHeight_ > 0) {
      const TRect src = SourceRect();
      TBitmap out(DrawWidth_, DrawHeight_, TPixelFormat::pf24bit);
      if (Zoom_ > 100 || Bitmap_.BitCount() == 24) {
        TBitmap part;
        CopyOut(Bitmap_, src, part);
        if (Bitmap_.BitCount() == 24)
          ResampleBitmap(part, out, ZoomFilter_);
        else
          ResampleBitmap1Bit(part, out, ZoomFilter_);
      } else {
        ReduceBitmap1Bit(Bitmap_, src, out);
      }
      PutBitmap(target, CenterOffsetX_, CenterOffsetY_, out);
    }
  } catch (const std::bad_alloc&) {
    // Too large to filter now: the picture stays as it was; the next change tries again.
  }
  DrawFilledSelection(target);
}

bool TVeloraView::DrawVisibleTo(TBitmap& out) {
  if (Bitmap_.Height() < 1 || ZoomedWidth_ <= 0 || ZoomedHeight_ <= 0) return false;
  const double rx = double(Bitmap_.Width()) / ZoomedWidth_, ry = double(Bitmap_.Height()) / ZoomedHeight_;
  TRect src{RoundToInt(rx * ViewOriginX_), RoundToInt(ry * ViewOriginY_), 0, 0};
  src.Right = std::min(src.Left + RoundToInt(rx * VisibleWidth_), Bitmap_.Width());
  src.Bottom = std::min(src.Top + RoundToInt(ry * VisibleHeight_), Bitmap_.Height());
  if (IsEmptyRect(src) || VisibleWidth_ <= 0 || VisibleHeight_ <= 0) return false;
  try {
    out.SetPixelFormat(TPixelFormat::pf24bit);
    out.SetSize(VisibleWidth_, VisibleHeight_);
    if (ZoomFilter_ == rfNone || Zoom_ == 100) {
      StretchRect(Bitmap_, src, out);
    } else {
      TBitmap part;
      CopyOut(Bitmap_, src, part);
      if (part.BitCount() == 1) {
        TBitmap grey(part.Width(), part.Height(), TPixelFormat::pf24bit);
        StretchRect(part, TRect{0, 0, part.Width(), part.Height()}, grey);
        ResampleBitmap(grey, out, ZoomFilter_);
      } else {
        ResampleBitmap(part, out, ZoomFilter_);
      }
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void TVeloraView::DrawTo(QPainter& painter) {
  TBitmap out;
  if (DrawVisibleTo(out)) BlitBitmap(painter, QPoint(0, 0), out, QRect(0, 0, out.Width(), out.Height()));
}

}  // namespace velora
