// The component's geometric operations: mirroring, rotation and resizing of the target.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>

#include "proc/flip_turn.h"
#include "proc/rotate.h"
#include "velora_proc.h"

namespace velora {

namespace {

// The general decimal format of a number: up to 15 significant digits, an exponent only where
// needed ("30", "-0.5", "1E20").
std::string GeneralFormat(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15G", v);
  std::string s = text;
  const size_t e = s.find('E');
  if (e == std::string::npos) return s;
  std::string mantissa = s.substr(0, e), exponent = s.substr(e + 1);
  const bool negative = exponent[0] == '-';
  exponent = exponent.substr(exponent[0] == '-' || exponent[0] == '+' ? 1 : 0);
  exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
  return mantissa + "E" + (negative ? "-" : "") + exponent;
}

bool Geometric(const TBitmap& b) {
  return !b.Empty() && (b.PixelFormat() == TPixelFormat::pf24bit || b.PixelFormat() == TPixelFormat::pf1bit);
}

}  // namespace

TVLProgressRecord TVeloraProc::OwnProgress() {
  TVLProgressRecord record;
  record.fOnProgress = OnProgress;
  record.Sender = this;
  return record;
}

void TVeloraProc::CommitResult(TBitmap& result, const std::string& caption) {
  if (AutoUndo) PushUndoCaptioned(caption);
  WorkBitmap_->SwapPixels(result);
}

bool VLResizedSize(int width, int height, int newWidth, int newHeight, int64_t& outWidth, int64_t& outHeight) {
  if ((newWidth < 0 && newHeight < 0) || newWidth == 0 || newHeight == 0 || width <= 0 || height <= 0) return false;
  // In 64 bits: width × height overflows 32 for large images.
  outWidth = newWidth, outHeight = newHeight;
  if (outWidth < 0) outWidth = std::max<int64_t>(1, int64_t(width) * newHeight / height);
  if (outHeight < 0) outHeight = std::max<int64_t>(1, outWidth * height / width);
  return true;
}

bool TVeloraProc::FlipImage(int direction) {
  if (!WorkBitmap_ || !Geometric(*WorkBitmap_) || (direction != fdHorizontal && direction != fdVertical)) return false;
  // The mirror works in place and needs no memory of its own, so the undo copy can go first.
  if (AutoUndo) PushUndoCaptioned("Flip");
  const TVLProgressRecord progress = OwnProgress();
  VLFlipBitmap(*WorkBitmap_, direction, &progress);
  RefreshTarget();
  return true;
}

bool TVeloraProc::RotateImage(bool antialias, double angle) {
  if (!WorkBitmap_ || !Geometric(*WorkBitmap_)) return false;
  double f = 0;
  if (!VLReduceAngle(angle, f)) return false;
  const std::string caption = "Rotate " + GeneralFormat(angle);
  if (f == 0) {
    if (AutoUndo) PushUndoCaptioned(caption);
    return true;
  }
  int quarters = 0;
  while (f > 45) ++quarters, f -= 90;
  while (f < -45) --quarters, f += 90;
  const TVLProgressRecord progress = OwnProgress();
  if (f == 0 && !AutoUndo) {
    // A whole turn builds its raster beside the picture's and hands it over only once it could
    // be allocated: with no undo copy to keep, it needs no working copy either.
    if (!VLTurnBitmap(*WorkBitmap_, quarters, &progress)) return false;
    RefreshTarget();
    return true;
  }
  const bool oneBit = WorkBitmap_->PixelFormat() == TPixelFormat::pf1bit;
  TBitmap result;
  try {
    if (oneBit && f != 0) {
      // 1-bit images take the inverse mapping over the whole angle; whole quarter turns go
      // through the exact turn, which the mapping's four-decimal sine could cut by a column.
      VLRotateBits1Bit(*WorkBitmap_, result, quarters * 90 + f, Background() != clBlack, &progress);
    } else if (quarters == 0) {
      // The shears read the picture and build the result beside it: no working copy.
      VLShearRotate(*WorkBitmap_, result, f, antialias, TColorToTRGB(Background()), &progress);
    } else {
      result.Assign(*WorkBitmap_);
      // A whole turn reports its own progress; with a remainder, the shears report it.
      if (!VLTurnBitmap(result, quarters, f == 0 ? &progress : nullptr)) return false;
      if (f != 0) {
        TBitmap turned;
        turned.SwapPixels(result);
        VLShearRotate(turned, result, f, antialias, TColorToTRGB(Background()), &progress);
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  CommitResult(result, caption);
  RefreshTarget();
  return true;
}

bool TVeloraProc::ResizeImage(int newWidth, int newHeight, TResampleFilter filter) {
  if (!WorkBitmap_) return false;
  const std::string caption = "Resample " + std::to_string(newWidth) + "," + std::to_string(newHeight);
  if (newWidth < 0 && newHeight < 0) {
    if (AutoUndo) PushUndoCaptioned(caption);
    return true;
  }
  TBitmap& source = *WorkBitmap_;
  int64_t w = 0, h = 0;
  if (!Geometric(source) || !VLResizedSize(source.Width(), source.Height(), newWidth, newHeight, w, h)) return false;
  if (w > INT32_MAX || h > INT32_MAX) return false;
  const TVLProgressRecord progress = OwnProgress();
  TBitmap result;
  TVLMask mask;
  try {
    const bool oneBit = source.PixelFormat() == TPixelFormat::pf1bit;
    result.Reset(int(w), int(h), oneBit && filter != rfNone ? TPixelFormat::pf24bit : source.PixelFormat());
    if (filter == rfNone)
      StretchBitmap(source, result);
    else if (oneBit)
      ResampleBitmap1Bit(source, result, filter);
    else
      ResampleBitmap(source, result, filter, &progress);
    if (AlphaMask_ && AlphaMask_->Width() > 0 && AlphaMask_->Height() > 0) {
      mask.Allocate(int(w), int(h), 8);
      if (AlphaMask_->Full())
        mask.Fill(255);
      else
        ResampleMask(*AlphaMask_, mask, filter);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  CommitResult(result, caption);
  if (AlphaMask_ && mask.Width() > 0) *AlphaMask_ = std::move(mask);
  RefreshTarget();
  return true;
}

}  // namespace velora
