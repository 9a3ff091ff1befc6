// The start of a transition on the single-image view: the source is rendered before the next
// picture is loaded, the target after, both exactly as the view paints its client area.
#include "velora_view.h"

namespace velora {

void TVeloraView::RenderShown(TBitmap& target) {
  if (ExtentX() <= 0 || ExtentY() <= 0) {
    target.FreeImage();  // nothing shown: a start from it refuses
    return;
  }
  target.Reset(ExtentX(), ExtentY(), TPixelFormat::pf24bit);
  if (ZoomFilter_ != rfNone) {
    RenderTo(target);
  } else {
    std::vector<uint8_t*> rows(size_t(target.Height()));
    for (int y = 0; y < target.Height(); ++y) rows[size_t(y)] = target.ScanLine(y);
    RenderFast(target, rows, TRect{0, 0, target.Width(), target.Height()});
  }
}

void TVeloraView::CaptureTransitionSource() { RenderShown(TransitionSource_); }

bool TVeloraView::StartTransition(TVLTransitionType effect, int duration) {
  TBitmap target;
  RenderShown(target);
  const bool started = Transition_->Start(TransitionSource_, target, effect, duration, false);
  // The capture serves one start: a later start without a capture refuses rather than
  // animating from a stale picture.
  TransitionSource_.FreeImage();
  return started;
}

}  // namespace velora
