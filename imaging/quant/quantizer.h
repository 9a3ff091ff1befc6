// TVLQuantizer: reduces a 24-bit image to a palette of at most N colours and answers, for any
// colour, the palette index to use. A picture of at most N distinct colours gets exactly those
// colours. Otherwise, fewer than 128 colours: variance split on a 5-bit histogram; 128 and
// more: the NeuQuant self-organising map.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "bitmap/toolkit_bitmap.h"
#include "base/vl_types.h"

namespace velora {

class TVLBitmap;

// The image a quantizer analyses, seen as rows of blue, green, red pixels. Row(y) (0 = top)
// must stay valid until the next call of Row; it is read only during construction.
struct TVLQuantizerSource {
  int Width = 0;
  int Height = 0;
  std::function<const TRGB*(int row)> Row;
};

class TVLQuantizer {
 public:
  // Analyses the 24-bit source and writes up to colourCount entries into palette (an array of
  // at least colourCount entries; entries beyond the colours produced are left untouched).
  // colourCount is taken within 1..256.
  TVLQuantizer(const TBitmap& source, int colourCount, TRGB* palette);
  TVLQuantizer(TVLBitmap& source, int colourCount, TRGB* palette);
  TVLQuantizer(const TVLQuantizerSource& source, int colourCount, TRGB* palette);
  ~TVLQuantizer();
  TVLQuantizer(const TVLQuantizer&) = delete;
  TVLQuantizer& operator=(const TVLQuantizer&) = delete;

  // Palette index for a colour; always within 0 .. ColorCount() - 1.
  int32_t RGBIndex(TRGB colour);
  // The engine for pictures with more colours than the palette: 0 NeuQuant, 1 variance split.
  int32_t Method() const { return Method_; }
  // True when the picture had no more colours than the palette: every one is kept as it is.
  bool Exact() const { return Exact_; }
  // Number of palette entries the engine produced.
  int32_t ColorCount() const;

  class TEngine;

 private:
  void Build(const TVLQuantizerSource& source, int colourCount, TRGB* palette);

  int32_t Method_ = 0;
  bool Exact_ = false;
  std::unique_ptr<TEngine> Engine_;
};

// Rows of a toolkit bitmap as 24-bit pixels; 1-, 4- and 8-bit rows are expanded through the
// bitmap's palette and 32-bit rows lose their fourth byte.
TVLQuantizerSource QuantizerSourceOf(const TBitmap& bitmap);

// The number of distinct colours of the source when it is at most limit, else limit + 1;
// counting stops at the first colour past the limit.
int DistinctColours(const TVLQuantizerSource& source, int limit);

}  // namespace velora
