// What the I/O front needs of a view it is attached to. The Qt views implement it; the core
// library knows views only through this interface, so it stays free of Qt.
#pragma once
#include <functional>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "bitmap/vl_types.h"

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
};

}  // namespace velora
