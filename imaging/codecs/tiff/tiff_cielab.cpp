// The standard sRGB to L*a*b* path: undo the sRGB transfer curve, the sRGB primaries to XYZ,
// XYZ relative to the D65 white, then the CIE cube-root curve.
#include "tiff_cielab.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace velora::tiff {

namespace {

// Linear light of an sRGB byte.
const std::array<double, 256>& LinearOfByte() {
  static const std::array<double, 256> table = [] {
    std::array<double, 256> t{};
    for (int v = 0; v < 256; ++v) {
      const double c = v / 255.0;
      t[size_t(v)] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    }
    return t;
  }();
  return table;
}

double CieCurve(double t) {
  constexpr double kEpsilon = 216.0 / 24389.0;
  constexpr double kKappa = 24389.0 / 27.0;
  return t > kEpsilon ? std::cbrt(t) : (kKappa * t + 16.0) / 116.0;
}

uint8_t SignedByte(double v) { return uint8_t(int8_t(std::clamp(std::lround(v), -128L, 127L))); }

}  // namespace

void SrgbToTiffLab(TRGB colour, uint8_t lab[3]) {
  const auto& linear = LinearOfByte();
  const double r = linear[colour.r], g = linear[colour.g], b = linear[colour.b];
  // sRGB primaries, D65 white, each row divided by the white's X, Y, Z.
  const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
  const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
  const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883;
  const double fx = CieCurve(x), fy = CieCurve(y), fz = CieCurve(z);
  const double lStar = 116.0 * fy - 16.0;
  lab[0] = uint8_t(std::clamp(std::lround(lStar * 255.0 / 100.0), 0L, 255L));
  lab[1] = SignedByte(500.0 * (fx - fy));
  lab[2] = SignedByte(200.0 * (fy - fz));
}

}  // namespace velora::tiff
