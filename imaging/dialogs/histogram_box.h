// THistogramBox: draws the histogram of a processing component's image as bars or lines, with
// scale labels and a colour gradient bar, from a private buffer the size of the control.
#pragma once
#include "buffered_box.h"
#include <QPointer>
#include <QWidget>

#include "proc/velora_proc.h"
#include "view/qt/vl_view.h"

namespace velora {

enum THistogramKindItem : unsigned { hkRed = 1, hkGreen = 2, hkBlue = 4, hkGray = 8 };
using THistogramKind = unsigned;
enum THistogramLabel : unsigned { hlVertical = 1, hlHorizontal = 2 };
using THistogramLabels = unsigned;
enum THistogramStyle { hsBars, hsLines };

class THistogramBox : public TBufferedBox, public TVLObject {
  Q_OBJECT

 public:
  explicit THistogramBox(QWidget* parent = nullptr);

  // The component is not owned; the box must be told (SetAttachedVeloraProc(nullptr)) before
  // the component goes.
  TVeloraProc* AttachedVeloraProc() const { return Proc_; }
  void SetAttachedVeloraProc(TVeloraProc* proc);
  TColor Background() const { return Background_; }
  void SetBackground(TColor colour);
  THistogramKind HistogramKind() const { return Kind_; }
  void SetHistogramKind(THistogramKind kind);
  THistogramLabels Labels() const { return Labels_; }
  void SetLabels(THistogramLabels labels);
  bool CompBar() const { return CompBar_; }
  void SetCompBar(bool value);
  THistogramStyle HistogramStyle() const { return Style_; }
  void SetHistogramStyle(THistogramStyle style);
  // Where the graph begins, in the parent's coordinates.
  int GraphLeft() const { return GraphLeft_; }

  // Recomputes the histogram and redraws.
  void Update();
  // Draws a histogram counted elsewhere (on a worker, while the picture was read); nullptr
  // draws none. The attached component is not asked.
  void SetHistogram(const THistogram* table);
  // Redraws from the histogram last computed.
  void Redraw();

 protected:
  void BufferResized() override;
  void moveEvent(QMoveEvent*) override;

 private:
  TVeloraProc* Proc_ = nullptr;
  TColor Background_ = clWhite;
  THistogramKind Kind_ = hkGray;
  THistogramLabels Labels_ = hlVertical | hlHorizontal;
  bool CompBar_ = true;
  THistogramStyle Style_ = hsBars;
  int GraphLeft_ = 0;
  int GL_ = 0;  // the graph's left inside the control
  THistogram Table_{};
  bool HaveTable_ = false;
};

}  // namespace velora
