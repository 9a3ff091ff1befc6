// THSVBox: a colour picker with a saturation/value field on the left and a hue bar on the
// right, painted from a private buffer the size of the control.
#pragma once
#include "buffered_box.h"
#include <QWidget>

#include "view/qt/vl_view.h"

namespace velora {

class THSVBox : public TBufferedBox, public TVLObject {
  Q_OBJECT

 public:
  explicit THSVBox(QWidget* parent = nullptr);

  // Setting a component limits it (hue 0..359, saturation and value 0..99) and repaints; it
  // does not fire OnChange, which reports only what the user picked.
  int Hue() const { return Hue_; }
  void SetHue(int hue);
  int Sat() const { return Sat_; }
  void SetSat(int sat);
  int Val() const { return Val_; }
  void SetVal(int val);
  uint8_t Red() const { return Rgb_.r; }
  uint8_t Green() const { return Rgb_.g; }
  uint8_t Blue() const { return Rgb_.b; }
  TColor Color() const { return RGBColor(Rgb_.r, Rgb_.g, Rgb_.b); }
  void SetColorRGB(uint8_t red, uint8_t green, uint8_t blue);
  TColor Background() const { return Background_; }
  void SetBackground(TColor colour);
  int HueBarWidth() const { return HueBarWidth_; }
  void SetHueBarWidth(int width);
  int BarsDistance() const { return BarsDistance_; }
  void SetBarsDistance(int distance);
  TNotifyEvent OnChange;

  int FieldWidth() const { return Buffer_.width() - BarsDistance_ - HueBarWidth_; }

 protected:
  void BufferResized() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  enum TDrag { dragNone, dragField, dragHue };
  void DrawField();
  void DrawHueBar();
  // Inverting outlines: drawing them twice removes them.
  void DrawMarkers();
  void RedrawAll();
  void ComputeColour();
  void Pick(int x, int y);

  int Hue_ = 0, Sat_ = 0, Val_ = 0;
  TRGB Rgb_;
  TColor Background_ = clBtnFace;
  int HueBarWidth_ = 20;
  int BarsDistance_ = 5;
  TDrag Drag_ = dragNone;
};

}  // namespace velora
