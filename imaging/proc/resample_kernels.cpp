// The filter kernels and the contributor lists of the two-pass resampler.
#include <cmath>

#include "resample_private.h"

namespace velora::resample_detail {

namespace {

double Sinc(double t) {
  if (t == 0) return 1;
  t = t * M_PI;
  return std::sin(t) / t;
}

}  // namespace

double Kernel(TResampleFilter filter, double x) {
  const double t = std::fabs(x);
  switch (filter) {
    case rfTriangle:
      return t < 1 ? 1 - t : 0;
    case rfHermite:
      return t < 1 ? (2 * t - 3) * (t * t) + 1 : 0;
    case rfBell:
      if (t < 0.5) return 0.75 - t * t;
      if (t < 1.5) return 0.5 * ((t - 1.5) * (t - 1.5));
      return 0;
    case rfBSpline:
      if (t < 1) return 0.5 * (t * t * t) - t * t + 2.0 / 3.0;
      if (t < 2) return (2 - t) * (2 - t) * (2 - t) / 6;
      return 0;
    case rfLanczos3:
      return t < 3 ? Sinc(x) * Sinc(x / 3) : 0;
    case rfMitchell:
      if (t < 1) return (7 * (t * t * t) - 12 * (t * t) + 16.0 / 3.0) / 6;
      if (t < 2) return (-(7.0 / 3.0) * (t * t * t) + 12 * (t * t) - 20 * t + 32.0 / 3.0) / 6;
      return 0;
    case rfNearest:
    case rfNone:  // never a resampler filter; treated as the box so that it still gives pixels
      return (x > -0.5 && x <= 0.5) ? 1 : 0;
    case rfLinear:
      if (x >= 0 && x < 1) return 1 - x;
      if (x >= -1 && x < 0) return 1 + x;
      return 0;
    default:
      return 0;
  }
}

double Support(TResampleFilter filter) {
  switch (filter) {
    case rfBell: return 1.5;
    case rfBSpline: return 2.0;
    case rfLanczos3: return 3.0;
    case rfMitchell: return 2.0;
    default: return 1.0;
  }
}

TContributors BuildContributors(TResampleFilter filter, int srcLen, int dstLen) {
  TContributors cl;
  cl.start.assign(size_t(dstLen) + 1, 0);
  const double scale = double(dstLen) / double(srcLen);
  const double support = Support(filter);
  const double width = scale >= 1 ? support : support / scale;
  cl.index.reserve(size_t(dstLen) * size_t(2 * width + 2));
  cl.weight.reserve(cl.index.capacity());
  for (int i = 0; i < dstLen; ++i) {
    cl.start[size_t(i)] = int32_t(cl.index.size());
    const double centre = double(i) / scale;
    const int64_t lo = int64_t(std::floor(centre - width));
    const int64_t hi = int64_t(std::ceil(centre + width));
    for (int64_t j = lo; j <= hi; ++j) {
      const double w = scale >= 1 ? Kernel(filter, centre - double(j))
                                  : Kernel(filter, (centre - double(j)) * scale) * scale;
      if (w == 0) continue;
      // Mirror at the edges, then clamp what is still outside (sources shorter than the kernel).
      int64_t k = j;
      if (k < 0)
        k = -k;
      else if (k >= srcLen)
        k = 2 * int64_t(srcLen) - 1 - k;
      if (k < 0) k = 0;
      if (k >= srcLen) k = srcLen - 1;
      cl.index.push_back(int32_t(k));
      cl.weight.push_back(w);
    }
  }
  cl.start[size_t(dstLen)] = int32_t(cl.index.size());
  return cl;
}

}  // namespace velora::resample_detail
