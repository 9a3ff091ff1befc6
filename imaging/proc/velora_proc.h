// TVeloraProc: the non-visual component through which every image operation runs. It is bound
// to one target — a view, a picture holder or a bare bitmap — and works on that target's
// bitmap in place, keeping a bounded store of whole-bitmap undo copies. Its launcher opens the
// preview dialog on a set of pages; the dialog is a widget, so the component reaches it through
// a hook that the widget library installs.
#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "base/preview_settings.h"
#include "base/progress.h"
#include "base/vl_types.h"
#include "bitmap/picture_holder.h"
#include "bitmap/toolkit_bitmap.h"
#include "bitmap/view_link.h"
#include "bitmap/vl_bitmap.h"
#include "bitmap/vl_mask.h"
#include "proc/color_adjust.h"
#include "proc/resample.h"

namespace velora {

class TVLFtImage;
class TVeloraProc;

// The pages of the preview dialog; a page set holds bit p for page p, bit 0 for all of them.
enum TPreviewPage : int {
  ppAllPages,
  ppContrast,
  ppHSV,
  ppHSL,
  ppRGB,
  ppUserFilter,
  ppEqualization,
  ppBumpMap,
  ppLens,
  ppWave,
  ppMorph,
  ppRotate,
  ppFFT,
};
using TPreviewPageSet = uint16_t;
constexpr TPreviewPageSet PreviewPageSet(std::initializer_list<TPreviewPage> pages) {
  TPreviewPageSet s = 0;
  for (TPreviewPage p : pages) s = TPreviewPageSet(s | (1u << p));
  return s;
}
// Whether the dialog shows `page` for `pages`: the set holds the page itself or ppAllPages.
constexpr bool PreviewPageShown(TPreviewPageSet pages, TPreviewPage page) {
  return (pages & (1u << ppAllPages)) || (pages & (1u << page));
}

enum TPRPreviewsParamsItem { prppDefaultLockPreview };
using TPRPreviewsParams = unsigned;  // bit i: item i

// Called with the dialog just before it is shown.
using TVLPreviewEvent = std::function<void(TVLObject* sender, TVLObject* previewForm)>;

// What the launcher gives the preview dialog. The dialog starts its Source view from Source
// and, when it closes with OK, leaves the applied result there (its size may differ: a
// rotation changes it). The launcher creates the dialog, calls Proc->NotifyPreview with it,
// shows it modally, releases it and answers whether it closed with OK.
struct TPreviewRequest {
  TVeloraProc* Proc = nullptr;  // the serving component and progress sender
  TPreviewPageSet Pages = 0;
  bool LockPreviewDefault = false;
  TMsgLanguage Language = msSystem;
  TVLFont Font;
  TVLProgressEvent OnProgress;
  TColor Background = clBlack;  // for both of the dialog's views
  TBitmap Source;
};
using TPreviewLauncher = std::function<bool(TPreviewRequest& request)>;

// The selection area of the component's bitmap: columns X0..X1−1, rows Y0..Y1−1.
struct TVLSelectionArea {
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
  TVLMask* Mask = nullptr;  // the view's selection mask
  const TPoint* Points = nullptr;
  int PointCount = 0;
  bool HasSelection = false;
  bool Empty() const { return X1 <= X0 || Y1 <= Y0; }
  // The applied result goes through the mask only when a selection holds set pixels.
  bool Masked() const { return HasSelection && Mask && !Mask->IsEmpty(); }
};

// The size ResizeImage makes of a width × height image asked to become newWidth × newHeight:
// a negative side keeps the aspect ratio (computed in 64 bits; a side that comes out 0 is 1).
// False when nothing would be resized: both sides negative, either side 0, or an empty image.
bool VLResizedSize(int width, int height, int newWidth, int newHeight, int64_t& outWidth, int64_t& outHeight);

class TVeloraProc : public TVLObject {
 public:
  TVeloraProc();
  ~TVeloraProc() override;
  TVeloraProc(const TVeloraProc&) = delete;
  TVeloraProc& operator=(const TVeloraProc&) = delete;

  // ---- published
  TVLViewLink* AttachedVelora() const { return AttachedVelora_; }
  void SetAttachedVelora(TVLViewLink* view);
  TVLPictureHolder* AttachedTImage() const { return AttachedTImage_; }
  void SetAttachedTImage(TVLPictureHolder* holder);
  bool AutoUndo = true;
  TColor Background() const;
  void SetBackground(TColor colour);
  TVLProgressEvent OnProgress;
  TMsgLanguage MsgLanguage = msSystem;
  TPRPreviewsParams PreviewsParams = 0;
  const TVLFont& PreviewFont() const { return PreviewFont_; }
  void SetPreviewFont(const TVLFont& font) { PreviewFont_ = font; }
  TVLPreviewEvent OnPreview;
  int UndoLimit = 1;

  // ---- the target
  // A bare bitmap, for components made for one operation; nullptr while a view or picture
  // holder is attached changes nothing.
  void AttachBitmap(TBitmap* bitmap);
  TBitmap* WorkBitmap() const { return WorkBitmap_; }
  TVLMask* AlphaMask() const { return AlphaMask_; }
  void SetAlphaMask(TVLMask* mask) { AlphaMask_ = mask; }
  // Shows the target's new pixels: the view's Update and NotifyImageChanged, else the bitmap's
  // Modified notification.
  void RefreshTarget();

  // ---- undo
  virtual void PushUndo();
  void PushUndoCaptioned(const std::string& caption);
  virtual void RestoreUndo();
  // The entry `stepsBack` from the newest (0 = newest).
  virtual void RestoreUndoAt(int stepsBack);
  void ClearUndoStore();
  int UndoCount() const { return int(Undo_.size()); }
  // Captions parallel to the store, oldest first; empty unless set.
  const std::vector<std::string>& UndoCaptions() const { return UndoCaptions_; }
  // The copy `stepsBack` from the newest, nullptr when there is none.
  const TVLBitmap* UndoCopy(int stepsBack) const;
  TVLStorageLocation UndoLocation() const { return UndoLocation_; }
  void SetUndoLocation(TVLStorageLocation location) { UndoLocation_ = location; }

  // ---- operations
  bool GetSelectionArea(TVLSelectionArea& area);
  // Opens the preview dialog on `pages` and, on OK, applies its result to the target (inside
  // the selection, if there is one). False when refused, cancelled or without a launcher.
  bool ShowPreviews(TPreviewPageSet pages);
  // The launcher hook; the widget library installs the preview dialog here.
  TPreviewLauncher PreviewLauncher;
  // For the launcher: fires OnPreview with the dialog about to be shown.
  void NotifyPreview(TVLObject* previewForm);
  // The histogram of the selection area; nothing unless the bitmap is 24-bit.
  void ComputeHistogram(THistogram& table);
  // The transform's displayable spectrum, or its inverse, into the target.
  void WriteFtSpectrum(TVLFtImage& ft);
  void WriteFtInverse(TVLFtImage& ft);
  // Geometry of the target (24- or 1-bit), each with an undo copy captioned "Flip",
  // "Rotate <angle>" or "Resample <width>,<height>". Each answers false when it leaves the
  // image as it was because it refuses the target or the arguments, or because its result
  // cannot be allocated (the undo store is then left as it was too); callers that only show
  // the image may ignore the answer.
  // direction 0 mirrors left-right, 1 turns upside down.
  bool FlipImage(int direction);
  // Degrees, counter-clockwise; corners take Background. A multiple of 360 changes nothing
  // and answers true; a non-finite angle is refused.
  bool RotateImage(bool antialias, double angle);
  // −1 for one side keeps the aspect ratio; the alpha mask follows. Both sides negative
  // changes nothing and answers true; a side of 0 is refused.
  bool ResizeImage(int newWidth, int newHeight, TResampleFilter filter);

 private:
  void LeaveView();
  void LeavePicture();
  void ForgetTargets();
  void DiscardOldest();
  bool ApplyPreviewResult(TBitmap& result, const TVLSelectionArea& area);
  TVLProgressRecord OwnProgress();
  // Pushes the undo copy and puts `result` in the target's place.
  void CommitResult(TBitmap& result, const std::string& caption);

  TColor OwnBackground_ = clBlack;
  TBitmap* WorkBitmap_ = nullptr;
  TVLMask* AlphaMask_ = nullptr;
  std::vector<std::unique_ptr<TVLBitmap>> Undo_;
  TVLStorageLocation UndoLocation_ = slFile;
  std::vector<std::string> UndoCaptions_;
  uint64_t UndoPushes_ = 0;  // copies appended so far
  TVLViewLink* AttachedVelora_ = nullptr;
  int ViewListenerId_ = 0;
  TVLPictureHolder* AttachedTImage_ = nullptr;
  int PictureNotificationId_ = 0;
  TVLFont PreviewFont_;
};

}  // namespace velora
