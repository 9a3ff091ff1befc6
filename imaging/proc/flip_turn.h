// Mirroring and quarter turns: the plain geometric moves that need no resampling. The
// processing component's flip and rotate, the TIFF reader's Orientation step and upright
// photos all go through these, for pictures (1, 8 and 24 bits per pixel) and their masks.
#pragma once
#include "base/progress.h"
#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"

namespace velora {

enum TVLFlipDirection : int {
  fdHorizontal = 0,  // mirror left-right
  fdVertical = 1,    // upside down
};

// In place, for 1-, 8- and 24-bit bitmaps; false (untouched) for other formats. Progress, when
// given, is reported as bands of rows finish.
bool VLFlipBitmap(TBitmap& bitmap, int direction, const TVLProgressRecord* progress = nullptr);

// Quarter turns counter-clockwise: 1 turns by +90 degrees, 3 or −1 by −90 (clockwise), 2 by
// half a turn; other counts reduce modulo 4. 1-, 8- and 24-bit bitmaps; odd turns swap the
// size. False, with the bitmap untouched, for other formats or when the turned pixels cannot
// be allocated.
bool VLTurnBitmap(TBitmap& bitmap, int quarters, const TVLProgressRecord* progress = nullptr);

// The same for a selection or alpha mask (1 or 8 bits per pixel); its bounding box follows.
bool VLFlipMask(TVLMask& mask, int direction);
bool VLTurnMask(TVLMask& mask, int quarters);

// Turns a picture stored with EXIF/TIFF Orientation 2..8 upright, as ImageMagick's
// -auto-orient does: 2 mirror, 3 half turn, 4 upside down, 5 transpose, 6 clockwise,
// 7 transverse, 8 counter-clockwise; each in one pass. The mask follows when given and
// allocated. Orientation 1 or an unknown value changes nothing and answers true.
bool VLApplyOrientation(TBitmap& bitmap, TVLMask* mask, int orientation);

}  // namespace velora
