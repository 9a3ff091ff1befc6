// Pixel-format helpers used by the writers and the processing layer: two-colour reduction,
// ordered dithering to 1 bit, 1-bit expansion, inversion and bitmap copies.
#pragma once
#include <cstdint>
#include <memory>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_types.h"
#include "io/progress.h"

namespace velora {

// A 24-bit bitmap of at most two colours → a new 1-bit bitmap (colour0 for 0 bits, colour1 for
// 1 bits), or nullptr when it has more colours.
std::unique_ptr<TBitmap> ReduceToTwoColours(const TBitmap& source, TRGB& colour0, TRGB& colour1);
// Replaces a 24-bit bitmap by its ordered-dithered 1-bit version.
void DitherToMono(TBitmap& bitmap, const TVLProgressRecord* progress = nullptr);
// Makes dest a 24-bit copy of a 1-bit source.
void ExpandMonoTo24(const TBitmap& source, TBitmap& dest, const TVLProgressRecord* progress = nullptr);
void CopyBitmap(const TBitmap& source, TBitmap& dest);
std::unique_ptr<TBitmap> CloneBitmap(const TBitmap& source);
// dest becomes the pixels of the rectangle (x0, y0)–(x1, y1) of source.
void CopyBitmapRect(const TBitmap& source, TBitmap& dest, int x0, int y0, int x1, int y1);
void InvertMono(TBitmap& bitmap);
int NearestPaletteIndex(const TRGB* palette, int n, TRGB colour);
void SwapRedBlue(uint8_t* entries, int n);

}  // namespace velora
