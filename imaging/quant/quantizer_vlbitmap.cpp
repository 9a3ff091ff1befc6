// The library bitmap as a quantizer source: its rows through GetScanline.
#include "bitmap/vl_bitmap.h"
#include "quant_engines.h"

namespace velora {

TVLQuantizer::TVLQuantizer(TVLBitmap& source, int colourCount, TRGB* palette) {
  TVLQuantizerSource rows;
  rows.Width = source.Width();
  rows.Height = source.Height();
  rows.Row = [&source](int y) { return reinterpret_cast<const TRGB*>(source.GetScanline(y)); };
  Build(rows, colourCount, palette);
}

}  // namespace velora
