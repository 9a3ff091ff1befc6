// Resampling of toolkit bitmaps and masks: the nine filter kernels with mirrored edges, the
// fast box-averaging resizers, the coverage reduction of 1-bit images and the plain stretch.
// Destinations are sized by the caller; only their pixels are produced.
#pragma once
#include <cstdint>
#include <memory>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include <string>

#include "base/vl_types.h"
#include "base/progress.h"

namespace velora {

enum TResampleFilter {
  rfNone,
  rfTriangle,
  rfHermite,
  rfBell,
  rfBSpline,
  rfLanczos3,
  rfMitchell,
  rfNearest,
  rfLinear,
  rfFastLinear,
};

// The filters' names as the tool and the demo take them: "none", "triangle", ... "fastlinear".
const char* ResampleFilterName(TResampleFilter filter);
// The filter of that name; false (filter unchanged) for any other name.
bool ResampleFilterByName(const std::string& name, TResampleFilter& filter);

void ResampleBitmap(const TBitmap& source, TBitmap& dest, TResampleFilter filter,
                    const TVLProgressRecord* progress = nullptr);
void ResampleBitmap1Bit(const TBitmap& source, TBitmap& dest, TResampleFilter filter);
void ResampleMask(const TVLMask& source, TVLMask& dest, TResampleFilter filter);
void FastResizeBitmap(const TBitmap& source, TBitmap& dest, const TVLProgressRecord* progress = nullptr);
void FastResizeBitmap1Bit(const TBitmap& source, TBitmap& dest);
void FastResizeMask(const TVLMask& source, TVLMask& dest);
// Rectangle of a 1-bit bitmap → 24-bit grey bitmap of dest's size (coverage reduction).
void ReduceBitmap1Bit(const TBitmap& source, const TRect& rect, TBitmap& dest);
// Rectangle of raw bottom-up 1-bit rows → a new bottom-up 24-bit block of W × H pixels.
std::unique_ptr<uint8_t[]> ReduceBits1Bit(const uint8_t* bits, int width, int height, const TRect& rect, int W,
                                          int H);
// Any 24- or 1-bit bitmap → dest of its preset size, same pixel format, nearest pixels.
void StretchBitmap(const TBitmap& source, TBitmap& dest);

}  // namespace velora
