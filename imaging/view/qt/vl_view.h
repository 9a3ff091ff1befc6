// TVLView: the base of the two image controls. It owns the background colour and border of
// the window, the mouse enter/leave events and the change listeners through which the
// non-visual components bound to a view (I/O, multi-image I/O, processing) learn that the
// view changed or is going away.
#pragma once
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "base/vl_types.h"
#include "bitmap/view_link.h"

namespace velora {

enum TBorderStyle { bsNone, bsSingle };

using TNotifyEvent = std::function<void(TVLObject* sender)>;

// The one place where model colours become Qt colours: plain values are 0x00BBGGRR, values
// with the top bit set name a system colour taken from the application's palette.
QColor ColorToQColor(TColor colour);
// A TColor as the three bytes of a 24-bit pixel (system colours resolved).
TRGB ColorToRGB(TColor colour);

// The window of the first windowed control among `component` and its owners, or nullptr.
QWidget* OwnerWindowHandle(QObject* component);

class TVLView : public QWidget, public TVLViewLink, public TVLObject {
  Q_OBJECT

 public:
  explicit TVLView(QWidget* parent = nullptr);
  ~TVLView() override;

  // ---- published
  TBorderStyle BorderStyle() const { return BorderStyle_; }
  void SetBorderStyle(TBorderStyle style);
  bool Ctl3D() const { return Ctl3D_; }
  void SetCtl3D(bool value);
  bool ParentCtl3D = true;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TColor Background() const override { return Background_; }
  void SetBackground(TColor colour) override { Background_ = colour; }
  TRGB BackgroundPixel() const override { return ColorToRGB(Background()); }

  // ---- the image, for components that hold the view without knowing its kind
  TBitmap* GetBitmap() override { return nullptr; }
  TVLMask* GetAlphaMask() override = 0;
  virtual void LockUpdate() = 0;
  virtual void UnlockUpdate() = 0;
  virtual void UnlockUpdateNoRefresh() = 0;
  int DpiX() const override { return DpiX_; }
  int DpiY() const override { return DpiY_; }
  virtual void SetDpiX(int value) {
    if (value != 0) DpiX_ = value;
  }
  virtual void SetDpiY(int value) {
    if (value != 0) DpiY_ = value;
  }
  void SetDpi(int x, int y) override {
    SetDpiX(x);
    SetDpiY(y);
  }
  void NotifyImageChanged() override {}
  // The window canvas lock, as a count: the preview launcher holds it while its dialog is open.
  void LockCanvas() override { ++CanvasLockCount_; }
  void UnlockCanvas() override {
    if (CanvasLockCount_ > 0) --CanvasLockCount_;
  }
  int CanvasLockCount() const { return CanvasLockCount_; }

  // ---- change listeners
  int AddChangeListener(TChangeListener listener) override;
  void RemoveChangeListener(int id) override;
  void NotifyChangeListeners();
  int ChangeListenerCount() const { return int(Listeners_.size()); }

  // How many times the window frame was rebuilt (a border change does it).
  int FrameRebuilds() const { return FrameRebuilds_; }

 protected:
  // The client area: the widget minus the border.
  QRect ClientRect() const { return contentsRect(); }
  QPoint ClientOrigin() const { return contentsRect().topLeft(); }
  // The width of the sunken client edge ("edge size" of the system).
  int EdgeSize() const;
  // Draws the border into the widget margins; descendants call it from paintEvent.
  void PaintBorder(QPainter& painter);
  // The equivalent of recreating the window: the frame (margins) follows the border style.
  virtual void RecreateFrame();

  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  TBorderStyle BorderStyle_ = bsSingle;
  bool Ctl3D_ = true;
  std::vector<std::pair<int, TChangeListener>> Listeners_;
  int NextListenerId_ = 1;
  TColor Background_ = clBtnFace;
  int DpiX_ = 96;
  int DpiY_ = 96;
  int FrameRebuilds_ = 0;
  int CanvasLockCount_ = 0;
};

}  // namespace velora
