// Square pixels after a read: an image whose horizontal and vertical resolutions differ is
// resampled along one axis so that both become the same.
#include <cmath>
#include <new>

#include "image_limits.h"
#include "velora_io.h"
#include "proc/resample.h"

namespace velora {

namespace {

// Real pixels are not that far from square: fax modes are about 2:1, scanners at most 4:1 or
// so. A header whose two resolutions differ by more than this does not describe a pixel shape
// but a broken or hostile file (29951864 x 96 dpi turned 75 bytes of BMP into a 160-megapixel
// stretch); such an image keeps its pixels as read.
constexpr double kMaxDpiRatio = 16;

bool PlausiblePixelShape(int32_t dpiX, int32_t dpiY) {
  const double ratio = dpiX > dpiY ? double(dpiX) / dpiY : double(dpiY) / dpiX;
  return ratio <= kMaxDpiRatio;
}

}  // namespace

void TVeloraIO::EqualizeDpi() {
  TIOParamsVals& p = Params_;
  if (p.DpiX == p.DpiY || p.DpiX <= 0 || p.DpiY <= 0 || !Target_ || Target_->Empty()) return;
  if (!PlausiblePixelShape(p.DpiX, p.DpiY)) return;
  const TPixelFormat pf = Target_->PixelFormat();
  if (pf != TPixelFormat::pf24bit && pf != TPixelFormat::pf1bit) return;

  // Sizes come from Params, not from Target.
  const bool stretchHeight = p.Height < p.Width;
  const double scaled = stretchHeight ? std::trunc(double(p.Height) / p.DpiY * p.DpiX)
                                      : std::trunc(double(p.Width) / p.DpiX * p.DpiY);
  const int64_t width = stretchHeight ? p.Width : int64_t(scaled);
  const int64_t height = stretchHeight ? int64_t(scaled) : p.Height;
  // A resolution pair from a hostile header could ask for an enormous (or empty) picture:
  // such an image keeps its pixels as read.
  if (scaled < 1 || scaled > 2147483647.0 || !VLImageSizeAllowed(width, height)) return;

  try {
    TBitmap source;
    source.Assign(*Target_);
    Target_->SetSize(int(width), int(height));
    if (pf == TPixelFormat::pf1bit)
      FastResizeBitmap1Bit(source, *Target_);
    else
      FastResizeBitmap(source, *Target_);
    if (AlphaMask_ && AlphaMask_->BitsPerPixel() == 8 && AlphaMask_->Width() > 0 && AlphaMask_->Height() > 0) {
      TVLMask alpha;
      alpha.Assign(AlphaMask_);
      AlphaMask_->Allocate(int(width), int(height), 8);
      FastResizeMask(alpha, *AlphaMask_);
    }
  } catch (const std::bad_alloc&) {
    Fail("out of memory while equalising the resolution");
    return;
  }
  if (stretchHeight) {
    p.DpiY = p.DpiX;
    p.Height = int32_t(height);
  } else {
    p.DpiX = p.DpiY;
    p.Width = int32_t(width);
  }
}

}  // namespace velora
