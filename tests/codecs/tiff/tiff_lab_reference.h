// 8-bit L*a*b* samples as libtiff decodes them (TIFFCIELabToXYZ: L* = L x 100 / 255, a* and b*
// two's-complement bytes), relative to the D65 white, turned into sRGB by the standard curve.
// libtiff's RGBA reader is no yardstick for L*a*b*: it takes D50 for a missing WhitePoint, uses
// the D65 sRGB matrix on it unadapted and a plain 2.4 power, and so shows white as 255, 252, 222.
// ImageMagick 6.9 is none either: it reads and writes a negative a* or b* as the byte 255 + a*
// where TIFF and libtiff have 256 + a*, one unit off, which moves a saturated blue's red by 20.
#pragma once
#ifdef VELORA_HAVE_LIBTIFF
#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace velora::tifftest {

// Red, green, blue.
inline std::array<uint8_t, 3> LibtiffLabToSrgb(uint8_t l, uint8_t a, uint8_t b) {
  static TIFFCIELabToRGB* const cielab = [] {
    static TIFFCIELabToRGB state;
    // Only the white reaches TIFFCIELabToXYZ; the display is libtiff's sRGB, needed by the call.
    const TIFFDisplay display = {{{3.2410F, -1.5374F, -0.4986F}, {-0.9692F, 1.8760F, 0.0416F}, {0.0556F, -0.2040F, 1.0570F}},
                                 100.0F, 100.0F, 100.0F, 255, 255, 255, 1.0F, 1.0F, 1.0F, 2.4F, 2.4F, 2.4F};
    float d65[3] = {95.047F, 100.0F, 108.883F};
    TIFFCIELabToRGBInit(&state, &display, d65);
    return &state;
  }();
  float x = 0, y = 0, z = 0;
  TIFFCIELabToXYZ(cielab, l, int8_t(a), int8_t(b), &x, &y, &z);
  const double X = x / 100.0, Y = y / 100.0, Z = z / 100.0;
  auto encode = [](double c) {
    c = std::clamp(c, 0.0, 1.0);
    return uint8_t(std::lround(255 * (c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055)));
  };
  return {encode(3.2404542 * X - 1.5371385 * Y - 0.4985314 * Z), encode(-0.9692660 * X + 1.8760108 * Y + 0.0415560 * Z),
          encode(0.0556434 * X - 0.2040259 * Y + 1.0572252 * Z)};
}

}  // namespace velora::tifftest
#endif  // VELORA_HAVE_LIBTIFF
