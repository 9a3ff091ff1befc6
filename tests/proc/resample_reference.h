// A plain, literal version of the resampling arithmetic: one loop per sum, columns of the
// second pass one by one. The library's optimised routines must give the same bytes.
#pragma once
#include <cmath>
#include <cstdint>
#include <vector>

#include "proc/resample.h"

namespace velora::reference {

inline double Sinc(double t) {
  if (t == 0) return 1;
  t = t * M_PI;
  return std::sin(t) / t;
}

inline double K(TResampleFilter f, double x) {
  double t = std::fabs(x);
  switch (f) {
    case rfTriangle: return t < 1 ? 1 - t : 0;
    case rfHermite: return t < 1 ? (2 * t - 3) * (t * t) + 1 : 0;
    case rfBell: return t < 0.5 ? 0.75 - t * t : t < 1.5 ? 0.5 * ((t - 1.5) * (t - 1.5)) : 0;
    case rfBSpline: return t < 1 ? 0.5 * (t * t * t) - t * t + 2.0 / 3.0 : t < 2 ? (2 - t) * (2 - t) * (2 - t) / 6 : 0;
    case rfLanczos3: return t < 3 ? Sinc(x) * Sinc(x / 3) : 0;
    case rfMitchell:
      return t < 1   ? (7 * (t * t * t) - 12 * (t * t) + 16.0 / 3.0) / 6
             : t < 2 ? (-(7.0 / 3.0) * (t * t * t) + 12 * (t * t) - 20 * t + 32.0 / 3.0) / 6
                     : 0;
    case rfNearest: return (x > -0.5 && x <= 0.5) ? 1 : 0;
    case rfLinear: return (x >= 0 && x < 1) ? 1 - x : (x >= -1 && x < 0) ? 1 + x : 0;
    default: return 0;
  }
}

inline double Support(TResampleFilter f) {
  return f == rfBell ? 1.5 : f == rfBSpline || f == rfMitchell ? 2.0 : f == rfLanczos3 ? 3.0 : 1.0;
}

struct Contrib {
  std::vector<int> j;
  std::vector<double> w;
};

inline std::vector<Contrib> Contributors(TResampleFilter f, int sn, int dn) {
  std::vector<Contrib> list(dn);
  double scale = double(dn) / double(sn), support = Support(f);
  for (int i = 0; i < dn; ++i) {
    double c = i / scale;
    double s = scale >= 1 ? support : support / scale;
    for (long j = long(std::floor(c - s)); j <= long(std::ceil(c + s)); ++j) {
      double w = scale >= 1 ? K(f, c - j) : K(f, (c - j) * scale) * scale;
      if (w == 0) continue;
      long n = j < 0 ? -j : j >= sn ? 2L * sn - 1 - j : j;
      n = n < 0 ? 0 : n >= sn ? sn - 1 : n;
      list[i].j.push_back(int(n));
      list[i].w.push_back(w);
    }
  }
  return list;
}

inline uint8_t Trunc(double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : int(v)); }
inline uint8_t Round(double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : int(std::nearbyint(v))); }

// Planes are top-down, ch bytes per pixel; returns dw × dh × ch bytes.
inline std::vector<uint8_t> TwoPass(const std::vector<uint8_t>& src, int sw, int sh, int ch, int dw, int dh,
                                    TResampleFilter f, bool round) {
  auto cx = Contributors(f, sw, dw);
  auto cy = Contributors(f, sh, dh);
  std::vector<uint8_t> work(size_t(dw) * sh * ch), out(size_t(dw) * dh * ch);
  for (int y = 0; y < sh; ++y)
    for (int i = 0; i < dw; ++i)
      for (int c = 0; c < ch; ++c) {
        double s = 0;
        for (size_t k = 0; k < cx[i].j.size(); ++k) s += cx[i].w[k] * src[(size_t(y) * sw + cx[i].j[k]) * ch + c];
        work[(size_t(y) * dw + i) * ch + c] = round ? Round(s) : Trunc(s);
      }
  for (int i = 0; i < dw; ++i)
    for (int r = 0; r < dh; ++r)
      for (int c = 0; c < ch; ++c) {
        double s = 0;
        for (size_t k = 0; k < cy[r].j.size(); ++k) s += cy[r].w[k] * work[(size_t(cy[r].j[k]) * dw + i) * ch + c];
        out[(size_t(r) * dw + i) * ch + c] = round ? Round(s) : Trunc(s);
      }
  return out;
}

// The fast resizer, literally.
inline std::vector<uint8_t> Fast(const std::vector<uint8_t>& src, int sw, int sh, int ch, int dw, int dh) {
  double ax = double(dw) / sw, ay = double(dh) / sh;
  std::vector<uint8_t> work(size_t(dw) * sh * ch), out(size_t(dw) * dh * ch);
  for (int y = 0; y < sh; ++y)
    for (int i = 0; i < dw; ++i) {
      double c = i / ax;
      int x0 = int(c), f = int((c - x0) * 131072);
      int x1 = int((i + 1 < dw - 1 ? i + 1 : dw - 1) / ax + 1e-10);
      if (x1 > sw - 1) x1 = sw - 1;
      for (int k = 0; k < ch; ++k) {
        uint8_t* o = &work[(size_t(y) * dw + i) * ch + k];
        const uint8_t* row = &src[size_t(y) * sw * ch];
        if (ax > 1) {
          int a = row[x0 * ch + k], b = row[(x0 + 1 < sw ? x0 + 1 : sw - 1) * ch + k];
          *o = uint8_t(a + (((b - a) * f) >> 17));
        } else {
          int s = 0;
          for (int x = x0; x <= x1; ++x) s += row[x * ch + k];
          *o = uint8_t(s / (x1 - x0 + 1));
        }
      }
    }
  for (int r = 0; r < dh; ++r) {
    double d = r / ay;
    int y0 = int(d), g = int((d - y0) * 131072);
    int y1 = int((r + 1 < dh - 1 ? r + 1 : dh - 1) / ay);
    for (int i = 0; i < dw * ch; ++i) {
      uint8_t* o = &out[size_t(r) * dw * ch + i];
      if (ay > 1) {
        int a = work[size_t(y0) * dw * ch + i], b = work[size_t(y0 + 1 < sh ? y0 + 1 : y0) * dw * ch + i];
        *o = uint8_t(a + (((b - a) * g) >> 17));
      } else {
        int s = 0;
        for (int y = y0; y <= y1; ++y) s += work[size_t(y) * dw * ch + i];
        *o = uint8_t(s / (y1 - y0 + 1));
      }
    }
  }
  return out;
}

}  // namespace velora::reference
