// TRulerBox: a ruler with draggable grips, used to pick limits on a scale of values. The grips
// are kept within ViewMin..ViewMax; dragging one past an end scrolls the ruler.
#pragma once
#include "buffered_box.h"
#include <QPolygon>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

#include "view/qt/vl_view.h"

namespace velora {

enum TGripsDir { gdUp, gdDown };
enum TRulerDir { rdHorizontal, rdVertical };

using TRulerPosChangeEvent = std::function<void(TVLObject* sender, int grip)>;
using TRulerGripClickEvent = std::function<void(TVLObject* sender, int grip)>;
using TRulerGripDblClickEvent = std::function<void(TVLObject* sender, int grip)>;
using TRulerClickEvent = std::function<void(TVLObject* sender, double ps)>;

struct TRulerGrip {
  double Position = 0;
  TColor Color = clBtnFace;
  uint8_t Kind = 0;  // low 7 bits: shape 0..4
  double Min = 0, Max = 0;
};

class TRulerBox : public TBufferedBox, public TVLObject {
  Q_OBJECT

 public:
  explicit TRulerBox(QWidget* parent = nullptr);

  double ViewPos() const { return ViewPos_; }
  void SetViewPos(double value);
  TColor Background() const { return Background_; }
  void SetBackground(TColor colour);
  int GripBaseDim() const { return GripBaseDim_; }
  void SetGripBaseDim(int value);
  TGripsDir GripsDir() const { return GripsDir_; }
  void SetGripsDir(TGripsDir dir);
  bool Ruler() const { return Ruler_; }
  void SetRuler(bool value);
  double DotPerUnit() const { return DotPerUnit_; }
  void SetDotPerUnit(double value);
  double Frequency() const { return Frequency_; }
  void SetFrequency(double value);
  double LabelFreq() const { return LabelFreq_; }
  void SetLabelFreq(double value);
  TColor RulerColor() const { return RulerColor_; }
  void SetRulerColor(TColor colour);
  TRulerDir RulerDir() const { return RulerDir_; }
  void SetRulerDir(TRulerDir dir);
  double ViewMin() const { return ViewMin_; }
  void SetViewMin(double value);
  double ViewMax() const { return ViewMax_; }
  void SetViewMax(double value);
  bool FitInView() const { return FitInView_; }
  void SetFitInView(bool value);
  int GripsCount() const { return int(Grips_.size()); }
  void SetGripsCount(int count);
  bool HexLabels() const { return HexLabels_; }
  void SetHexLabels(bool value);
  TRulerPosChangeEvent OnRulerPosChange;
  TRulerGripClickEvent OnRulerGripClick;
  TRulerGripDblClickEvent OnRulerGripDblClick;
  TRulerClickEvent OnRulerClick;

  // Out-of-range indexes are ignored; reading one gives 0.
  double GetGripPosition(int i) const;
  void SetGripPosition(int i, double value);
  TColor GetGripColor(int i) const;
  void SetGripColor(int i, TColor colour);
  int GetGripKind(int i) const;
  void SetGripKind(int i, int kind);

  // Refits DotPerUnit when FitInView, then redraws.
  void Update();
  int StripHeight() const;
  // The grip under a point of the control, the last one drawn first; −1 for none.
  int GripAt(QPoint p) const;
  QPolygon GripPolygon(int i) const;
  // The label of a tick at `value`.
  QString TickLabel(double value) const;
  // The values of the ticks drawn, every `frequency` units; none without a usable scale.
  std::vector<double> TickValues(double frequency) const;

 protected:
  void BufferResized() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int Along(QPoint p) const { return RulerDir_ == rdHorizontal ? p.x() : p.y(); }
  int Length() const { return RulerDir_ == rdHorizontal ? Buffer_.width() : Buffer_.height(); }
  int Across() const { return RulerDir_ == rdHorizontal ? Buffer_.height() : Buffer_.width(); }
  QPoint Pt(int along, int across) const {
    return RulerDir_ == rdHorizontal ? QPoint(along, across) : QPoint(across, along);
  }
  // A value's pixel along the ruler, limited so that absurd values stay drawable.
  int PixelOf(double value) const;
  void LimitViewPos();
  void Redraw();
  void DrawStrip(QPainter& p);
  void Press(QMouseEvent* event, bool doubleClick);
  void AutoScrollTick();

  double ViewPos_ = 0;
  TColor Background_ = clBtnFace;
  int GripBaseDim_ = 12;
  TGripsDir GripsDir_ = gdUp;
  bool Ruler_ = true;
  double DotPerUnit_ = 1.0;
  double Frequency_ = 10.0;
  double LabelFreq_ = 40.0;
  TColor RulerColor_ = clBtnFace;
  TRulerDir RulerDir_ = rdHorizontal;
  double ViewMin_ = 0, ViewMax_ = 0;
  bool FitInView_ = false;
  bool HexLabels_ = false;
  std::vector<TRulerGrip> Grips_;
  int Pressed_ = -1;
  int PressAlong_ = 0, PressGripPixel_ = 0;
  QPoint PressPoint_, LastPoint_;
  QTimer Scroll_;
};

}  // namespace velora
