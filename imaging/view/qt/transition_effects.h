// TVLTransitionEffects: the engine each view owns to animate the change from one picture to
// another on its window. A start hands it the two pictures; a 1 ms timer then builds a frame
// with the effect's rule (view/transition_frames.h) and repaints the view, whose paintEvent
// draws the frame while its own painting stays locked, until the duration has passed.
#pragma once
#include <QImage>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "bitmap/toolkit_bitmap.h"
#include "view/transition_frames.h"

class QPainter;
class QPoint;

namespace velora {

class TVLView;

class TVLTransitionEffects : public QObject {
  Q_OBJECT

 public:
  // Milliseconds of a monotonic clock; tests give a clock of their own.
  using TTickCount = std::function<int64_t()>;

  explicit TVLTransitionEffects(TVLView* owner);
  ~TVLTransitionEffects() override;

  TVLTransitionType Effect() const { return Effect_; }
  void SetEffect(TVLTransitionType effect) { Effect_ = effect; }
  int Duration() const { return Duration_; }
  void SetDuration(int ms) { Duration_ = ms; }

  // Starts a transition from `source` to `target` (copied; 24-bit pictures of the same size,
  // the view's client size). The frame shows the source until the first tick. Refuses (false,
  // nothing locked) pictures that differ in size, are empty or not 24-bit. vlttNone starts
  // nothing: the view is asked to paint its picture, the target. A transition still running
  // is stopped first, so that the view holds one lock at most.
  bool Start(const TBitmap& source, const TBitmap& target, TVLTransitionType effect, int duration,
             bool refreshAtEnd);
  // One tick: the frame for the current progress, shown at once; then the clock decides
  // whether the transition is over and what the next progress is.
  void Step();
  // Ends a running transition: the view is unlocked and paints its own picture again.
  void Stop();

  bool Running() const { return Running_; }
  int Progress() const { return Progress_; }
  int Width() const { return W_; }
  int Height() const { return H_; }
  const TBitmap& Frame() const { return Frame_; }
  // Frames drawn since the last start.
  int FramesDrawn() const { return FramesDrawn_; }
  QTimer& Timer() { return Timer_; }
  // The view's paintEvent calls this while Running(): the frame at `origin` (the client area's
  // top-left corner).
  void PaintFrame(QPainter& painter, const QPoint& origin);

  void SetTickCount(TTickCount clock) { TickCount_ = std::move(clock); }
  void SetRandomSeed(uint64_t seed) { Random_.Generator.Seed(seed); }

 private:
  void Shrink();
  // What every end of a transition (or a start that starts nothing) leaves: the view paints
  // its own picture, refreshed first when asked.
  void ShowViewPicture(bool refresh);

  TBitmap Source_, Target_, Frame_;
  TTransitionRows Rows_;
  int W_ = 1, H_ = 1;
  bool Running_ = false;
  TVLTransitionType Effect_ = vlttNone;
  TVLView* View_;
  QTimer Timer_;
  int Progress_ = 0;
  TTransitionRandomState Random_;
  int Duration_ = 1000;
  int64_t StartTick_ = 0;
  bool RefreshAtEnd_ = false;
  int FramesDrawn_ = 0;
  TTickCount TickCount_;
  QImage Blit_;  // the frame in the window's pixel format, reused between frames
};

}  // namespace velora
