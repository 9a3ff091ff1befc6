// Colour adjustments: per-pixel operations over a rectangle of a 24-bit toolkit bitmap, the
// colour-space conversions they share with the HSV colour box, and the histogram.
//
// Every routine works in place on columns x0..x1−1 of rows y0..y1−1 (ends exclusive; the
// rectangle is cut to the bitmap) and returns at once, changing nothing, for any bitmap that
// is not 24-bit. Progress, when a record with a callback is given, is reported after each row
// as a percentage limited to 0..100.
//
// Arithmetic: doubles where the conversions say so, trunc toward zero, round half to even.
#pragma once
#include <array>
#include <cstdint>

#include "base/progress.h"
#include "base/vl_types.h"
#include "bitmap/toolkit_bitmap.h"

namespace velora {

// One level of the histogram: how many pixels have that value in each channel and as gray.
struct THistogramEntry {
  uint32_t Red = 0;
  uint32_t Green = 0;
  uint32_t Blue = 0;
  uint32_t Gray = 0;
};
using THistogram = std::array<THistogramEntry, 256>;

// The gray value every histogram and equalization works with. The weights sum to 99, so
// white is 252: kept, since the histogram box and the equalization are drawn on that scale.
inline int GrayOf(int r, int g, int b) { return (21 * r + 71 * g + 7 * b) / 100; }

// Mean of each channel over the rectangle, truncated; 128 each when it holds no pixel.
void ChannelMeans(const TBitmap& bitmap, int x0, int y0, int x1, int y1, int& meanRed, int& meanGreen,
                  int& meanBlue);
// contrast −100..100: v → clamp(m + trunc((v − m) × k)), k = 1 + c/10, or 1 − √−c / 10 below 0.
void AdjustContrast(TBitmap& bitmap, int x0, int y0, int x1, int y1, int contrast, int meanRed,
                    int meanGreen, int meanBlue, const TVLProgressRecord* progress = nullptr);
// Adds dr, dg, db to red, green, blue, clamped to 0..255.
void ShiftRGB(TBitmap& bitmap, int x0, int y0, int x1, int y1, int dr, int dg, int db,
              const TVLProgressRecord* progress = nullptr);
// Hue in degrees, saturation and lightness in percent; the hue saturates at its ends.
void AdjustHSL(TBitmap& bitmap, int x0, int y0, int x1, int y1, int dh, int ds, int dl,
               const TVLProgressRecord* progress = nullptr);
// Hue in degrees, saturation and value in percent, on the 100-level integer HSV scale.
void AdjustHSV(TBitmap& bitmap, int x0, int y0, int x1, int y1, int dh, int ds, int dv,
               const TVLProgressRecord* progress = nullptr);
// Per channel: a value ≤ low becomes lowColour's; then a value > high becomes highColour's.
void ApplyThreshold(TBitmap& bitmap, int x0, int y0, int x1, int y1, TRGB low, TRGB high, TRGB lowColour,
                    TRGB highColour, const TVLProgressRecord* progress = nullptr);
// Stretches low..255 over 0..255, then 0..high over 0..255, per channel.
void StretchLevels(TBitmap& bitmap, int x0, int y0, int x1, int y1, TRGB low, TRGB high,
                   const TVLProgressRecord* progress = nullptr);
// Spreads the gray levels of the whole bitmap evenly, deciding ties by the 3 × 3 neighbourhood.
void EqualizeHistogram(TBitmap& bitmap, int x0, int y0, int x1, int y1,
                       const TVLProgressRecord* progress = nullptr);
// Counts the pixels of the rectangle into `table` (zeroed first).
void ComputeHistogram(const TBitmap& bitmap, int x0, int y0, int x1, int y1, THistogram& table);

// H, S, L in [0, 1].
void RGBToHSL(TRGB colour, double& h, double& s, double& l);
// H, S, L are limited to [0, 1] first.
TRGB HSLToRGB(double h, double s, double l);
// H 0..359, S 0..99, V 0..99.
void RGBToHSV(TRGB colour, int& h, int& s, int& v);
// H is limited to 0..359, S and V to 0..99 first.
TRGB HSVToRGB(int h, int s, int v);

}  // namespace velora
