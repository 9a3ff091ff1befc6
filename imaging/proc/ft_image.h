// TVLFtImage: the two-dimensional Fourier transform of an image. (Only what the processing
// component calls is declared here; the transform itself comes with the frequency-domain set.)
#pragma once
#include "bitmap/toolkit_bitmap.h"

namespace velora {

class TVLFtImage {
 public:
  // The bitmap becomes 24-bit, N × N, holding the log-magnitude spectrum.
  void WriteSpectrum(TBitmap& bitmap);
  // The bitmap becomes 24-bit at the source size, holding the inverse transform.
  void WriteInverse(TBitmap& bitmap);
};

}  // namespace velora
