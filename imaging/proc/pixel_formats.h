// Pixel-format helpers used by the writers and the processing layer: two-colour reduction,
// ordered dithering to 1 bit, 1-bit expansion, inversion and bitmap copies.
#pragma once
#include <cstdint>
#include <memory>

#include "bitmap/toolkit_bitmap.h"
#include "base/vl_types.h"
#include "base/progress.h"

namespace velora {

// A 24-bit bitmap of exactly two colours → a new 1-bit bitmap whose 0 bits are the darker
// colour (colour0) and 1 bits the lighter (colour1); nullptr for any other bitmap.
std::unique_ptr<TBitmap> ReduceToTwoColours(const TBitmap& source, TRGB& colour0, TRGB& colour1);
// Replaces a 24-bit bitmap by its ordered-dithered (8 x 8 Bayer) 1-bit version.
void DitherToMono(TBitmap& bitmap, const TVLProgressRecord* progress = nullptr);
// Makes dest a 24-bit copy of a 1-bit source (set bits white, clear bits black).
void ExpandMonoTo24(const TBitmap& source, TBitmap& dest, const TVLProgressRecord* progress = nullptr);
// dest takes the source's pixel format, palette, size and pixels (an empty source leaves dest 1 x 1).
void CopyBitmap(const TBitmap& source, TBitmap& dest);
std::unique_ptr<TBitmap> CloneBitmap(const TBitmap& source);
// dest becomes the pixels of the rectangle (x0, y0)–(x1, y1) of source, ends exclusive;
// x1 = 0 or y1 = 0 mean the full width or height; the ends are limited to the source.
void CopyBitmapRect(const TBitmap& source, TBitmap& dest, int x0, int y0, int x1, int y1);
// Converts a bitmap of any format but 1 and 24 bits to 24 bits, keeping its pixels.
void ConvertTo24Bit(TBitmap& bitmap);
// Complements every byte of every row, padding included.
void InvertMono(TBitmap& bitmap);
// Index of the entry nearest to colour by |dR| + |dG| + |dB|, the first one on ties.
int NearestPaletteIndex(const TRGB* palette, int n, TRGB colour);
// The grey level a file writer stores for a colour: the Rec. 709 proportions as 21, 72 and 7
// hundredths, which sum to one so that (v, v, v) is stored as v. (The processing formulas keep
// their own grey value.)
inline uint8_t StoredGreyOf(TRGB c) { return uint8_t((21 * c.r + 72 * c.g + 7 * c.b) / 100); }
// True when every pixel has red = green = blue; a 1-bit bitmap is black and white, so grey.
bool IsAllGrey(const TBitmap& bitmap);
// A channel of `width` bits (1..8) widened to 8 bits by repeating its bits below it, so that
// all ones reads 255 and zero reads 0 (5 bits: (v << 3) | (v >> 2)).
uint8_t WidenChannel(uint32_t value, int width);
// Exchanges the first and third byte of each of n 3-byte entries.
void SwapRedBlue(uint8_t* entries, int n);

// The 8 x 8 ordered-dither matrix, indexed [x mod 8][y mod 8].
extern const uint8_t kBayer8[8][8];

}  // namespace velora
