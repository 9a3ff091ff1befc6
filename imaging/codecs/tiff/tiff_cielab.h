// The CIE L*a*b* samples of TIFF (PhotometricInterpretation 8) for sRGB colours: the D65
// white point, L* scaled to 0..255 (L = L* x 255 / 100), a* and b* as signed bytes.
#pragma once
#include <cstdint>

#include "base/vl_types.h"

namespace velora::tiff {

// L, a (as a two's-complement byte), b of an sRGB colour.
void SrgbToTiffLab(TRGB colour, uint8_t lab[3]);

}  // namespace velora::tiff
