// TVLQuantizer: reduces a 24-bit image to a palette of at most N colours and answers, for any
// colour, the palette index to use. Fewer than 128 colours: variance split on a 5-bit
// histogram; 128 and more: the NeuQuant self-organising map.
#pragma once
#include <cstdint>
#include <memory>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_types.h"

namespace velora {

class TVLBitmap;

class TVLQuantizer {
 public:
  // Analyses the 24-bit source and writes up to colourCount entries into palette (an array of
  // at least colourCount entries; entries beyond the colours produced are left untouched).
  TVLQuantizer(const TBitmap& source, int colourCount, TRGB* palette);
  TVLQuantizer(TVLBitmap& source, int colourCount, TRGB* palette);
  ~TVLQuantizer();
  TVLQuantizer(const TVLQuantizer&) = delete;
  TVLQuantizer& operator=(const TVLQuantizer&) = delete;

  int32_t RGBIndex(TRGB colour);
  // 0 NeuQuant, 1 variance split.
  int32_t Method() const { return Method_; }
  // Number of palette entries the engine produced.
  int32_t ColorCount() const;

  class TEngine;

 private:
  int32_t Method_ = 0;
  std::unique_ptr<TEngine> Engine_;
};

}  // namespace velora
