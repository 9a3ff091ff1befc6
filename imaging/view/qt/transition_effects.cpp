#include "transition_effects.h"

#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstring>

#include "vl_draw.h"
#include "vl_view.h"

namespace velora {

namespace {

int64_t SteadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

TVLTransitionEffects::TVLTransitionEffects(TVLView* owner) : View_(owner), TickCount_(SteadyMilliseconds) {
  Shrink();
  Random_.Generator.Seed(uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
  Timer_.setTimerType(Qt::PreciseTimer);
  Timer_.setInterval(1);
  connect(&Timer_, &QTimer::timeout, this, [this] { Step(); });
}

// The view is being destroyed with its engine: it is not told anything any more.
TVLTransitionEffects::~TVLTransitionEffects() { Timer_.stop(); }

void TVLTransitionEffects::Shrink() {
  for (TBitmap* b : {&Source_, &Target_, &Frame_}) b->Reset(1, 1, TPixelFormat::pf24bit);
  W_ = H_ = 1;
  Rows_.Take(Source_, Target_, Frame_);
}

bool TVLTransitionEffects::Start(const TBitmap& source, const TBitmap& target, TVLTransitionType effect,
                                 int duration, bool refreshAtEnd) {
  Stop();
  Effect_ = effect;
  Duration_ = duration;
  RefreshAtEnd_ = refreshAtEnd;
  const bool usable = source.PixelFormat() == TPixelFormat::pf24bit &&
                      target.PixelFormat() == TPixelFormat::pf24bit && !source.Empty() &&
                      source.Width() == target.Width() && source.Height() == target.Height();
  // Stop balances the start's lock only for a real effect: vlttNone must not lock the view.
  if (!usable || effect == vlttNone || unsigned(effect) >= unsigned(kTransitionTypeCount)) {
    ShowViewPicture(refreshAtEnd);
    return false;
  }
  Source_.Assign(source);
  Target_.Assign(target);
  W_ = source.Width();
  H_ = source.Height();
  Frame_.Reset(W_, H_, TPixelFormat::pf24bit);
  std::memcpy(Frame_.Bits(), Source_.Bits(), size_t(Source_.ImageSize()));
  Rows_.Take(Source_, Target_, Frame_);
  Progress_ = 0;
  Random_.Counter = 0;
  FramesDrawn_ = 0;
  StartTick_ = TickCount_();
  View_->LockUpdate();
  Running_ = true;
  Timer_.start();
  return true;
}

void TVLTransitionEffects::Step() {
  if (!Running_) return;
  DrawTransitionFrame(Effect_, Rows_.Pictures(ColorToRGB(View_->Background())), Progress_, Random_);
  ++FramesDrawn_;
  View_->repaint(View_->contentsRect());
  // A duration below 1 ms counts as 1: one frame, then the end.
  const int64_t duration = std::max(Duration_, 1);
  const int64_t elapsed = std::max<int64_t>(TickCount_() - StartTick_, 0);
  if (elapsed >= duration) Stop();
  Progress_ = int(std::min<int64_t>(elapsed * kTransitionFull / duration, kTransitionFull));
}

// A start never runs vlttNone, but the effect can be set to it while a transition runs: the
// start's lock is released whatever the effect is now.
void TVLTransitionEffects::Stop() {
  if (!Running_) return;
  Timer_.stop();
  Running_ = false;
  Shrink();
  View_->UnlockUpdateNoRefresh();
  ShowViewPicture(RefreshAtEnd_);
}

// The last frame was drawn with p < 1024 and the random effects leave gaps: the view's own
// picture (the target) always replaces it, whether or not a refresh was asked for.
void TVLTransitionEffects::ShowViewPicture(bool refresh) {
  if (refresh) View_->Update();
  View_->update();
}

void TVLTransitionEffects::PaintFrame(QPainter& painter, const QPoint& origin) {
  BlitBitmap(painter, origin, Frame_, QRect(0, 0, W_, H_), Blit_);
}

}  // namespace velora
