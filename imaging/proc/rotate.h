// The rotation by any angle behind TVeloraProc::RotateImage: three shears for 24-bit images,
// an inverse mapping for 1-bit ones. Both build the result in `dest` and leave the source alone.
#pragma once
#include "base/progress.h"
#include "base/vl_types.h"
#include "bitmap/toolkit_bitmap.h"

namespace velora {

// The angle reduced to whole thousandths of a degree in (−360, 360): trunc(angle × 1000) rem
// 360000, over 1000. False for an angle that is not a finite number of thousandths.
bool VLReduceAngle(double angle, double& reduced);

// 24-bit `source` turned counter-clockwise by `degrees` (|degrees| ≤ 45) into `dest`, which is
// made 24-bit and as large as the turned picture needs; corners take `background`. With
// `antialias` every shear blends neighbouring pixels in units of 1/4096. False, dest
// untouched, for another format or an empty source; throws std::bad_alloc when the buffers
// cannot be had.
bool VLShearRotate(const TBitmap& source, TBitmap& dest, double degrees, bool antialias, TRGB background,
                   const TVLProgressRecord* progress = nullptr);

// 1-bit `source` turned counter-clockwise by `degrees` into a 1-bit `dest`: each destination
// pixel takes the source pixel it comes from, or `fillBit` outside the source. The sine and
// cosine are cut to four decimals as the size is computed from them; the size is at least 1 × 1.
bool VLRotateBits1Bit(const TBitmap& source, TBitmap& dest, double degrees, bool fillBit,
                      const TVLProgressRecord* progress = nullptr);

}  // namespace velora
