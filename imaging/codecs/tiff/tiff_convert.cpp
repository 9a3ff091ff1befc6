// Samples to pixels: unpacking, the horizontal predictor, and one conversion per colour form.
// Samples arrive as 16-bit values at the file's depth; every colour form scales them to
// 0..255 the same way (4 bits × 17, 2 bits × 85, 16 bits by the high byte).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "tiff_decode.h"

namespace velora::tiff {

namespace {

inline uint8_t To8(uint32_t v, int bps) {
  if (bps == 8) return uint8_t(v);
  if (bps == 16) return uint8_t(v >> 8);
  return uint8_t(v * 255 / ((1u << bps) - 1));
}

inline uint8_t Clamp8(double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

// sRGB's transfer curve on a linear value.
double Companded(double c) {
  c = std::clamp(c, 0.0, 1.0);
  return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
}

// CIE L*a*b* (D65 white) to sRGB.
void LabToBgr(double L, double a, double b, uint8_t* bgr) {
  const double fy = (L + 16) / 116, fx = fy + a / 500, fz = fy - b / 200;
  auto inverse = [](double t) { return t > 6.0 / 29 ? t * t * t : 3 * (6.0 / 29) * (6.0 / 29) * (t - 4.0 / 29); };
  const double X = 0.95047 * inverse(fx), Y = inverse(fy), Z = 1.08883 * inverse(fz);
  const double r = 3.2404542 * X - 1.5371385 * Y - 0.4985314 * Z;
  const double g = -0.9692660 * X + 1.8760108 * Y + 0.0415560 * Z;
  const double bl = 0.0556434 * X - 0.2040259 * Y + 1.0572252 * Z;
  bgr[0] = Clamp8(Companded(bl) * 255), bgr[1] = Clamp8(Companded(g) * 255), bgr[2] = Clamp8(Companded(r) * 255);
}

// ReferenceBlackWhite and the luma coefficients, as the TIFF YCbCr model has them.
void YCbCrToBgr(const TTIFFVars& v, int Y, int Cb, int Cr, uint8_t* bgr) {
  const double* rbw = v.referenceBlackWhite;
  auto code = [](double c, double black, double white, double range) {
    return (c - black) * range / (white - black == 0 ? 1 : white - black);
  };
  const double y = code(Y, rbw[0], rbw[1], 255);
  const double cb = code(Cb, rbw[2], rbw[3], 127);
  const double cr = code(Cr, rbw[4], rbw[5], 127);
  const double r = y + cr * (2 - 2 * v.lumaRed);
  const double b = y + cb * (2 - 2 * v.lumaBlue);
  const double g = (y - v.lumaBlue * b - v.lumaRed * r) / v.lumaGreen;
  bgr[0] = Clamp8(b), bgr[1] = Clamp8(g), bgr[2] = Clamp8(r);
}

uint8_t GreyOf(const TTIFFVars& v, uint32_t s) {
  uint8_t g;
  // 12-bit data in 16-bit words, as one scanner's software writes it.
  if (v.bitsPerSample == 16 && v.software.compare(0, 15, "Xandelmoor v1.1") == 0)
    g = uint8_t(std::min<uint32_t>(s >> 4, 255));
  else
    g = To8(s, v.bitsPerSample);
  return v.photometric == pcWhiteIsZero ? uint8_t(255 - g) : g;
}

}  // namespace

void UnpackSamples(const uint8_t* src, int bps, bool motorola, int64_t count, uint16_t* out, int stride) {
  if (bps == 8) {
    for (int64_t i = 0; i < count; ++i) out[i * stride] = src[i];
  } else if (bps == 16) {
    for (int64_t i = 0; i < count; ++i, src += 2)
      out[i * stride] = motorola ? uint16_t(src[0] << 8 | src[1]) : uint16_t(src[1] << 8 | src[0]);
  } else {
    uint64_t bit = 0;
    for (int64_t i = 0; i < count; ++i) {
      uint32_t v = 0;
      for (int k = 0; k < bps; ++k, ++bit) v = v << 1 | ((src[bit >> 3] >> (7 - (bit & 7))) & 1);
      out[i * stride] = uint16_t(v);
    }
  }
}

void DivideAlphaOut(const TTIFFVars& v, uint16_t* s, int64_t count) {
  if (v.conversion != TConversion::cvRgb && v.conversion != TConversion::cvGrey) return;
  const int spp = v.samplesPerPixel, colours = v.alphaSample;
  const uint32_t max = v.bitsPerSample == 16 ? 0xFFFF : (1u << v.bitsPerSample) - 1;
  for (int64_t x = 0; x < count; ++x, s += spp) {
    const uint32_t a = s[colours];
    if (a == 0 || a == max) continue;  // nothing to show, or nothing to undo
    for (int c = 0; c < colours; ++c) s[c] = uint16_t(std::min<uint64_t>(max, (uint64_t(s[c]) * max + a / 2) / a));
  }
}

void UndoPredictor(uint16_t* s, int64_t pixels, int spp, int bps) {
  const uint32_t mask = bps == 16 ? 0xFFFF : (1u << bps) - 1;
  for (int64_t i = spp; i < pixels * spp; ++i) s[i] = uint16_t((s[i] + s[i - spp]) & mask);
}

void ConvertSamples(const TTIFFVars& v, const uint16_t* s, int64_t count, uint8_t* bgr, uint8_t* alpha) {
  const int spp = v.samplesPerPixel, bps = v.bitsPerSample;
  switch (v.conversion) {
    case TConversion::cvGrey:
      for (int64_t x = 0; x < count; ++x, s += spp, bgr += 3) bgr[0] = bgr[1] = bgr[2] = GreyOf(v, s[0]);
      break;
    case TConversion::cvPalette: {
      const int64_t last = int64_t(v.palette.size()) - 1;
      for (int64_t x = 0; x < count; ++x, s += spp, bgr += 3) {
        const TRGB& c = v.palette[size_t(std::min<int64_t>(s[0], last))];
        bgr[0] = c.b, bgr[1] = c.g, bgr[2] = c.r;
      }
      break;
    }
    case TConversion::cvRgb:
      if (bps == 8) {
        for (int64_t x = 0; x < count; ++x, s += spp, bgr += 3)
          bgr[0] = uint8_t(s[2]), bgr[1] = uint8_t(s[1]), bgr[2] = uint8_t(s[0]);
      } else {
        for (int64_t x = 0; x < count; ++x, s += spp, bgr += 3)
          bgr[0] = To8(s[2], bps), bgr[1] = To8(s[1], bps), bgr[2] = To8(s[0], bps);
      }
      break;
    case TConversion::cvRgb555:
      for (int64_t x = 0; x < count; ++x, s += spp, bgr += 3)
        bgr[0] = uint8_t((s[0] & 31) * 8), bgr[1] = uint8_t(((s[0] >> 5) & 31) * 8),
        bgr[2] = uint8_t(((s[0] >> 10) & 31) * 8);
      break;
    case TConversion::cvCmyk:
      for (int64_t x = 0; x < count; ++x, s += spp, bgr += 3) {
        const unsigned k = 255 - To8(s[3], bps);
        bgr[0] = uint8_t((255 - To8(s[2], bps)) * k / 255);
        bgr[1] = uint8_t((255 - To8(s[1], bps)) * k / 255);
        bgr[2] = uint8_t((255 - To8(s[0], bps)) * k / 255);
      }
      break;
    case TConversion::cvLab:
      for (int64_t x = 0; x < count; ++x, s += spp, bgr += 3) {
        if (bps == 8)
          LabToBgr(s[0] * 100.0 / 255, int8_t(s[1]), int8_t(s[2]), bgr);
        else
          LabToBgr(s[0] * 100.0 / 65535, int16_t(s[1]) / 256.0, int16_t(s[2]) / 256.0, bgr);
      }
      break;
    case TConversion::cvYCbCr:
      for (int64_t x = 0; x < count; ++x, s += spp, bgr += 3) YCbCrToBgr(v, s[0], s[1], s[2], bgr);
      break;
    default:
      break;
  }
  if (alpha && v.alphaSample >= 0) {
    s -= count * spp;
    for (int64_t x = 0; x < count; ++x) alpha[x] = To8(s[x * spp + v.alphaSample], bps);
  }
}

void ConvertRgb8(const uint8_t* line, int64_t count, bool predicted, uint8_t* bgr) {
  if (count <= 0) return;
  if (!predicted) {
    for (int64_t x = 0; x < count; ++x, line += 3, bgr += 3) bgr[0] = line[2], bgr[1] = line[1], bgr[2] = line[0];
    return;
  }
  // Bytes wrap as the predictor's sums should.
  uint8_t r = 0, g = 0, b = 0;
  for (int64_t x = 0; x < count; ++x, line += 3, bgr += 3) {
    r = uint8_t(r + line[0]), g = uint8_t(g + line[1]), b = uint8_t(b + line[2]);
    bgr[0] = b, bgr[1] = g, bgr[2] = r;
  }
}

void ConvertYCbCrUnits(const TTIFFVars& v, const uint8_t* units, int64_t pixels, int rows, uint8_t* const* bgrRows) {
  const int h = v.ycbcrH, vv = v.ycbcrV, lumas = h * vv;
  for (int64_t x0 = 0; x0 < pixels; x0 += h, units += lumas + 2) {
    const int cb = units[lumas], cr = units[lumas + 1];
    for (int j = 0; j < vv && j < rows; ++j) {
      if (!bgrRows[j]) continue;
      for (int i = 0; i < h && x0 + i < pixels; ++i)
        YCbCrToBgr(v, units[j * h + i], cb, cr, bgrRows[j] + (x0 + i) * 3);
    }
  }
}

}  // namespace velora::tiff
