// The library bitmap as a quantizer source: its rows through GetScanline.
#include "quant_engines.h"

#if __has_include("bitmap/vl_bitmap.h")
#include "bitmap/vl_bitmap.h"
#define VELORA_HAVE_VL_BITMAP 1
#endif

namespace velora {

TVLQuantizer::TVLQuantizer(TVLBitmap& source, int colourCount, TRGB* palette) {
  TVLQuantizerSource rows;
#ifdef VELORA_HAVE_VL_BITMAP
  rows.Width = source.Width;
  rows.Height = source.Height;
  rows.Row = [&source](int y) { return reinterpret_cast<const TRGB*>(source.GetScanline(y)); };
#else
  (void)source;
#endif
  Build(rows, colourCount, palette);
}

}  // namespace velora
