// What the I/O front and the processing component need of a view they are attached to. The Qt
// views implement it; the core library knows views only through this interface, so it stays
// free of Qt.
#pragma once
#include <functional>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "base/vl_types.h"

namespace velora {

class TVLViewLink {
 public:
  // A change listener: called with destroying = true when the view goes away.
  using TChangeListener = std::function<void(bool destroying)>;

  virtual ~TVLViewLink() = default;
  virtual TBitmap* GetBitmap() = 0;
  virtual TVLMask* GetAlphaMask() = 0;
  virtual int DpiX() const = 0;
  virtual int DpiY() const = 0;
  virtual void SetDpi(int dpiX, int dpiY) = 0;
  virtual void Update() = 0;
  virtual void NotifyImageChanged() = 0;
  virtual TColor Background() const = 0;
  virtual void SetBackground(TColor colour) = 0;
  // The background as the pixels the view paints: a system colour resolved to its real
  // value. Readers that composite over the background need pixels, not a colour's name.
  virtual TRGB BackgroundPixel() const { return TColorToTRGB(Background()); }
  // True for the thumbnail multi-view, whose background the I/O component does not set.
  virtual bool IsMultiView() const { return false; }
  // Returns an id for RemoveChangeListener.
  virtual int AddChangeListener(TChangeListener listener) = 0;
  virtual void RemoveChangeListener(int id) = 0;

  // The selection of a single-image view: its mask (bitmap-sized, 1 bit), the outline polygons
  // and whether a selection is shown. Views without selections (the thumbnail multi-view)
  // answer false and leave the record alone.
  struct TSelection {
    TVLMask* Mask = nullptr;
    const TPoint* Points = nullptr;
    int PointCount = 0;
    bool Active = false;
  };
  virtual bool GetSelection(TSelection& /*selection*/) { return false; }

  // The window canvas lock, held while something outside the view's own painting owns the
  // window (the preview launcher, while its modal dialog is open). Counted: every LockCanvas
  // is matched by one UnlockCanvas.
  virtual void LockCanvas() {}
  virtual void UnlockCanvas() {}
};

}  // namespace velora
