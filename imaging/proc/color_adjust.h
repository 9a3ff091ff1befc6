// Colour adjustments over a rectangle of a 24-bit toolkit bitmap. (Only what the processing
// component calls is declared here; the routines themselves come with the adjustment set.)
#pragma once
#include <array>
#include <cstdint>

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

// Counts the pixels of columns x0..x1−1, rows y0..y1−1 into `table` (zeroed first).
void ComputeHistogram(const TBitmap& bitmap, int x0, int y0, int x1, int y1, THistogram& table);

}  // namespace velora
