#include "velora_proc.h"

#include <algorithm>
#include <new>

#include "proc/pixel_formats.h"

namespace velora {

namespace {

// Holds a view's canvas lock for one scope, so that every way out of the launcher releases it.
// The view may go while the dialog is open; the lock is then released only if the component
// still holds that view (its destroying listener clears the reference).
class TCanvasLockScope {
 public:
  TCanvasLockScope(TVLViewLink* view, TVLViewLink* const& current) : View_(view), Current_(current) {
    if (View_) View_->LockCanvas();
  }
  ~TCanvasLockScope() {
    if (View_ && Current_ == View_) View_->UnlockCanvas();
  }
  TCanvasLockScope(const TCanvasLockScope&) = delete;
  TCanvasLockScope& operator=(const TCanvasLockScope&) = delete;

 private:
  TVLViewLink* View_;
  TVLViewLink* const& Current_;
};

// The result as 24-bit pixels: a dialog always hands back 24 bits, but the bytes are copied
// three per pixel, so any other format is converted rather than read past its rows.
void MakeResult24(TBitmap& result) {
  if (result.BitCount() == 24) return;
  if (result.BitCount() == 1) {
    TBitmap wide;
    ExpandMonoTo24(result, wide);
    result.Assign(wide);
  } else {
    ConvertTo24Bit(result);
  }
}

// Draws a 24-bit source onto a 24-bit destination with its top-left corner at (x, y),
// clipped to the destination.
void DrawBitmapAt(TBitmap& dest, const TBitmap& source, int x, int y) {
  const int x0 = std::max(x, 0), x1 = std::min(x + source.Width(), dest.Width());
  const int y0 = std::max(y, 0), y1 = std::min(y + source.Height(), dest.Height());
  if (x1 <= x0) return;
  for (int row = y0; row < y1; ++row)
    std::copy_n(source.ScanLine(row - y) + 3 * (x0 - x), 3 * (x1 - x0), dest.ScanLine(row) + 3 * x0);
}

}  // namespace

TVeloraProc::TVeloraProc() = default;

TVeloraProc::~TVeloraProc() {
  LeaveView();
  LeavePicture();
  ClearUndoStore();
}

// ---- attachment -------------------------------------------------------------------------

void TVeloraProc::LeaveView() {
  if (AttachedVelora_ && ViewListenerId_) AttachedVelora_->RemoveChangeListener(ViewListenerId_);
  ViewListenerId_ = 0;
}

void TVeloraProc::LeavePicture() {
  if (AttachedTImage_ && PictureNotificationId_) AttachedTImage_->RemoveFreeNotification(PictureNotificationId_);
  PictureNotificationId_ = 0;
}

// Forgets every target; used when a bitmap of another owner is about to take their place.
void TVeloraProc::ForgetTargets() {
  LeaveView();
  LeavePicture();
  AttachedVelora_ = nullptr;
  AttachedTImage_ = nullptr;
  AlphaMask_ = nullptr;
  WorkBitmap_ = nullptr;
}

void TVeloraProc::SetAttachedVelora(TVLViewLink* view) {
  if (!view) {
    // The bitmap and the mask belonged to the view: keeping them after the listener is gone
    // would leave references that nothing clears when the view is freed.
    if (AttachedVelora_) ForgetTargets();
    return;
  }
  ForgetTargets();
  AttachedVelora_ = view;
  WorkBitmap_ = view->GetBitmap();
  ViewListenerId_ = view->AddChangeListener([this](bool destroying) {
    if (destroying) {
      // The view's listener list goes with it; its bitmap and mask as well.
      ViewListenerId_ = 0;
      AttachedVelora_ = nullptr;
      AlphaMask_ = nullptr;
      WorkBitmap_ = nullptr;
    } else if (AttachedVelora_) {
      WorkBitmap_ = AttachedVelora_->GetBitmap();
      AlphaMask_ = AttachedVelora_->GetAlphaMask();
    }
  });
  AlphaMask_ = view->GetAlphaMask();
}

void TVeloraProc::SetAttachedTImage(TVLPictureHolder* holder) {
  if (!holder) {
    if (AttachedTImage_) ForgetTargets();
    return;
  }
  ForgetTargets();
  AttachedTImage_ = holder;
  WorkBitmap_ = &holder->PictureBitmap();
  PictureNotificationId_ = holder->AddFreeNotification([this] {
    PictureNotificationId_ = 0;
    AttachedTImage_ = nullptr;
    WorkBitmap_ = nullptr;
  });
}

void TVeloraProc::AttachBitmap(TBitmap* bitmap) {
  if (!bitmap && (AttachedVelora_ || AttachedTImage_)) return;
  ForgetTargets();
  WorkBitmap_ = bitmap;
}

TColor TVeloraProc::Background() const { return AttachedVelora_ ? AttachedVelora_->Background() : OwnBackground_; }

void TVeloraProc::SetBackground(TColor colour) {
  if (AttachedVelora_)
    AttachedVelora_->SetBackground(colour);
  else
    OwnBackground_ = colour;
}

void TVeloraProc::RefreshTarget() {
  if (AttachedVelora_) {
    AttachedVelora_->Update();
    AttachedVelora_->NotifyImageChanged();
  } else if (WorkBitmap_) {
    WorkBitmap_->Modified();
  }
}

// ---- undo -------------------------------------------------------------------------------

void TVeloraProc::DiscardOldest() {
  Undo_.erase(Undo_.begin());
  UndoCaptions_.erase(UndoCaptions_.begin());
}

void TVeloraProc::PushUndo() {
  if (!WorkBitmap_ || WorkBitmap_->Width() < 1 || WorkBitmap_->Height() < 1) return;
  // An UndoLimit below 1 still keeps the newest copy: trimming stops at an empty store.
  while (!Undo_.empty() && UndoCount() >= UndoLimit) DiscardOldest();
  auto copy = std::make_unique<TVLBitmap>();
  copy->SetLocation(UndoLocation_);
  try {
    copy->CopyFromBitmap(*WorkBitmap_);
  } catch (const std::bad_alloc&) {
    return;  // no room for a copy: the operation goes on without one
  }
  // A pixel format the store does not take leaves the copy empty; restoring it would wipe
  // the image.
  if (copy->Empty()) return;
  Undo_.push_back(std::move(copy));
  UndoCaptions_.emplace_back();
  ++UndoPushes_;
}

void TVeloraProc::PushUndoCaptioned(const std::string& caption) {
  const uint64_t before = UndoPushes_;
  PushUndo();
  // Only a copy that was really taken gets the caption.
  if (UndoPushes_ != before && !UndoCaptions_.empty()) UndoCaptions_.back() = caption;
}

void TVeloraProc::RestoreUndo() { RestoreUndoAt(0); }

void TVeloraProc::RestoreUndoAt(int stepsBack) {
  if (!WorkBitmap_ || stepsBack < 0 || stepsBack >= UndoCount()) return;
  Undo_[size_t(UndoCount() - 1 - stepsBack)]->CopyToBitmap(*WorkBitmap_);
  RefreshTarget();
}

void TVeloraProc::ClearUndoStore() {
  Undo_.clear();
  UndoCaptions_.clear();
}

const TVLBitmap* TVeloraProc::UndoCopy(int stepsBack) const {
  if (stepsBack < 0 || stepsBack >= UndoCount()) return nullptr;
  return Undo_[size_t(UndoCount() - 1 - stepsBack)].get();
}

// ---- selection and launcher -------------------------------------------------------------

bool TVeloraProc::GetSelectionArea(TVLSelectionArea& area) {
  area = TVLSelectionArea{};
  if (!WorkBitmap_) return false;
  const int width = WorkBitmap_->Width(), height = WorkBitmap_->Height();
  area.X1 = width;
  area.Y1 = height;
  TVLViewLink::TSelection selection;
  if (!AttachedVelora_ || !AttachedVelora_->GetSelection(selection)) return false;
  area.Mask = selection.Mask;
  if (!selection.Active) return false;
  area.HasSelection = true;
  area.Points = selection.Points;
  area.PointCount = selection.PointCount;
  if (area.Mask && !area.Mask->IsEmpty()) {
    // The mask may come from an image of another size: its box is clipped to this one, and a
    // box wholly outside leaves an empty area.
    area.X0 = std::clamp<int>(area.Mask->X1, 0, width);
    area.Y0 = std::clamp<int>(area.Mask->Y1, 0, height);
    area.X1 = std::clamp<int>(int64_t(area.Mask->X2) + 1, area.X0, width);
    area.Y1 = std::clamp<int>(int64_t(area.Mask->Y2) + 1, area.Y0, height);
  }
  return true;
}

void TVeloraProc::NotifyPreview(TVLObject* previewForm) {
  if (OnPreview) OnPreview(this, previewForm);
}

bool TVeloraProc::ShowPreviews(TPreviewPageSet pages) {
  TCanvasLockScope lock(AttachedVelora_, AttachedVelora_);
  if (!WorkBitmap_ || WorkBitmap_->BitCount() != 24) return false;
  if (WorkBitmap_->Width() < 2 && WorkBitmap_->Height() < 2) return false;
  TVLSelectionArea area;
  GetSelectionArea(area);
  if (area.Empty() || !PreviewLauncher) return false;

  TPreviewRequest request;
  request.Proc = this;
  request.Pages = pages;
  request.LockPreviewDefault = (PreviewsParams >> prppDefaultLockPreview) & 1;
  request.Language = MsgLanguage;
  request.Font = PreviewFont_;
  request.OnProgress = OnProgress;
  request.Background = Background();
  try {
    CopyBitmapRect(*WorkBitmap_, request.Source, area.X0, area.Y0, area.X1, area.Y1);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!PreviewLauncher(request)) return false;
  // The target may have gone or changed while the dialog was open (its view freed).
  if (!WorkBitmap_ || WorkBitmap_->BitCount() != 24) return false;
  if (AutoUndo) PushUndoCaptioned("Previews");
  return ApplyPreviewResult(request.Source, area);
}

// Writes the dialog's result into the target: through the selection mask when there is a
// selection, else over the whole image, which takes the result's size.
bool TVeloraProc::ApplyPreviewResult(TBitmap& result, const TVLSelectionArea& area) {
  try {
    MakeResult24(result);
    if (area.Masked()) {
      area.Mask->CopyMasked(*WorkBitmap_, result, true, false);
    } else {
      if (result.Width() != WorkBitmap_->Width() || result.Height() != WorkBitmap_->Height())
        WorkBitmap_->SetSize(result.Width(), result.Height());
      DrawBitmapAt(*WorkBitmap_, result, area.X0, area.Y0);
    }
  } catch (const std::bad_alloc&) {
    RefreshTarget();
    return false;
  }
  RefreshTarget();
  return true;
}

}  // namespace velora
