// Neighbourhood filters and distortion effects over a 24-bit toolkit bitmap: the 3 × 3 user
// filter, the bump map, the lens, the wave and the morphological filters.
//
// As with the colour adjustments, routines that take a rectangle work on columns x0..x1−1 of
// rows y0..y1−1 (cut to the bitmap), the others on the whole bitmap; every one returns at once,
// changing nothing, for a bitmap that is not 24-bit or is empty. Progress, when a record with
// a callback is given, is a percentage limited to 0..100.
#pragma once
#include <array>
#include <cstdint>

#include "base/progress.h"
#include "base/vl_types.h"
#include "bitmap/toolkit_bitmap.h"

namespace velora {

// Each channel becomes clamp(Σ k[3r + c] × neighbour div divisor), with the image's edge pixels
// repeated beyond its border; a divisor of 0 counts as 1. Any 32-bit weights and divisor.
void ConvolveUserFilter(TBitmap& bitmap, const std::array<int32_t, 9>& kernel, int32_t divisor, int x0, int y0,
                        int x1, int y1, const TVLProgressRecord* progress = nullptr);

// Lights the relief of the grey gradients with a light of `colour` centred at (cx, cy) that fades
// out lightWidth and lightHeight pixels away; `share` percent of the unlit image is mixed in.
// Nothing when either light radius is 0.
void BumpMap(TBitmap& bitmap, int cx, int cy, int lightWidth, int lightHeight, TRGB colour, int share, int x0,
             int y0, int x1, int y1, const TVLProgressRecord* progress = nullptr);

// Looks at the image through an elliptic lens of width × height centred at (cx, cy) with
// refraction index `refraction` (values below 1 count as 1, which changes nothing). The lens is
// cut at the image border; nothing when less than one pixel of it remains.
void Lens(TBitmap& bitmap, int cx, int cy, int width, int height, double refraction,
          const TVLProgressRecord* progress = nullptr);

// Ripples spreading from the image centre: `amplitude` pixels, `length` pixels per period,
// `phase` in degrees; reflective ripples scale the distance to the centre instead of shifting
// it. Nothing when the amplitude or the length is 0.
void Wave(TBitmap& bitmap, int amplitude, int length, int phase, bool reflective,
          const TVLProgressRecord* progress = nullptr);

enum TVLMorphFilter : int { mfMaximum = 0, mfMinimum = 1, mfOpening = 2, mfClosing = 3 };

// Each pixel takes the colour of the brightest (maximum) or darkest (minimum) pixel of the
// (2 radius + 1)² window around it, cut to the rectangle; ties go to the first such pixel in row
// order, and under the maximum a pixel whose window is all grey 0 keeps its colour. Opening is
// a minimum then a maximum, closing the reverse. Time does not grow with the radius.
void MorphFilter(TBitmap& bitmap, int radius, int filter, int x0, int y0, int x1, int y1,
                 const TVLProgressRecord* progress = nullptr);

}  // namespace velora
