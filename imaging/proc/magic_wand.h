// The magic wand's two halves, apart from any view: the region of pixels similar to a seed
// pixel, and the outline polygon that walks around such a region.
#pragma once
#include <cstdint>
#include <vector>

#include "base/vl_types.h"
#include "bitmap/toolkit_bitmap.h"

namespace velora {

// One byte per pixel, row by row, 1 inside the region.
struct TVLRegion {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Inside;
  bool Contains(int x, int y) const {
    return x >= 0 && y >= 0 && x < Width && y < Height && Inside[size_t(y) * size_t(Width) + size_t(x)];
  }
};

// The pixels of a 24-bit bitmap whose every channel lies within tolerance of the seed
// pixel's: those 4-connected to the seed (connected), or all of them; with dilate, every
// region pixel also takes its eight neighbours. Empty for other depths or a seed outside.
TVLRegion MagicWandRegion(const TBitmap& bitmap, int seedX, int seedY, int tolerance, bool connected, bool dilate);

// The corners of the outer border of the region's first pixel's part (in row order), walked
// along pixel edges with the region on the right hand from that pixel's top-left corner;
// diagonal neighbours are not connected. Empty for an empty region.
std::vector<TPoint> TraceRegionOutline(const TVLRegion& region);

}  // namespace velora
