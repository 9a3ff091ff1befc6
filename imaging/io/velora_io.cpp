#include "velora_io.h"

#include "bitmap/view_link.h"

namespace velora {

TVeloraIO::TVeloraIO() : Params_(this) {}

TVeloraIO::~TVeloraIO() { LeaveView(); }

void TVeloraIO::LeaveView() {
  if (AttachedVelora_ && viewListenerId_) AttachedVelora_->RemoveChangeListener(viewListenerId_);
  viewListenerId_ = 0;
}

void TVeloraIO::SetAttachedVelora(TVLViewLink* view) {
  LeaveView();
  AttachedVelora_ = view;
  if (!view) return;
  Target_ = view->GetBitmap();
  AlphaMask_ = view->GetAlphaMask();
  viewListenerId_ = view->AddChangeListener([this](bool destroying) {
    if (destroying) {
      // The view is going away: its listener list goes with it.
      viewListenerId_ = 0;
      AttachedVelora_ = nullptr;
      AlphaMask_ = nullptr;
      Target_ = nullptr;
    } else if (AttachedVelora_) {
      Target_ = AttachedVelora_->GetBitmap();
      AlphaMask_ = AttachedVelora_->GetAlphaMask();
    }
  });
}

void TVeloraIO::AttachBitmap(TBitmap* bitmap) {
  LeaveView();
  if (!bitmap && AttachedVelora_) return;
  Target_ = bitmap;
  if (bitmap) {
    AttachedVelora_ = nullptr;
    AlphaMask_ = nullptr;
  }
}

TColor TVeloraIO::Background() const { return AttachedVelora_ ? AttachedVelora_->Background() : OwnBackground_; }

TRGB TVeloraIO::BackgroundPixel() const {
  return AttachedVelora_ ? AttachedVelora_->BackgroundPixel() : TColorToTRGB(OwnBackground_);
}

void TVeloraIO::SetBackground(TColor colour) {
  if (!AttachedVelora_)
    OwnBackground_ = colour;
  else if (!AttachedVelora_->IsMultiView())
    AttachedVelora_->SetBackground(colour);
}

TVLProgressRecord TVeloraIO::MakeProgress(bool withEvent) {
  TVLProgressRecord r;
  if (withEvent) r.fOnProgress = OnProgress;
  r.Sender = this;
  r.Aborting = &Aborting;
  r.Reason = &AbortReason;
  return r;
}

void TVeloraIO::RefreshTarget() {
  if (AttachedVelora_) {
    AttachedVelora_->Update();
    AttachedVelora_->NotifyImageChanged();
  } else if (Target_) {
    Target_->Modified();
  }
}

}  // namespace velora
