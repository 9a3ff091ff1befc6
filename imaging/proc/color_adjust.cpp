#include "color_adjust.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace velora {

namespace {

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
int RoundHalfEven(double v) { return int(std::nearbyint(v)); }

// The rectangle cut to the bitmap: callers may pass negative starts or ends beyond the size.
struct TArea {
  int x0, y0, x1, y1;
  bool Empty() const { return x0 >= x1 || y0 >= y1; }
  int Width() const { return x1 - x0; }
};

TArea CutArea(const TBitmap& bitmap, int x0, int y0, int x1, int y1) {
  return {std::max(x0, 0), std::max(y0, 0), std::min(x1, bitmap.Width()), std::min(y1, bitmap.Height())};
}

bool Takes(const TBitmap& bitmap) { return bitmap.PixelFormat() == TPixelFormat::pf24bit && !bitmap.Empty(); }

// After row y of the area: trunc((y − y0 + 1) × 100 / (y1 − 1 − y0 + 0.5)), which runs past
// 100 on short areas (200 for a single row); the listener gets it limited to 0..100.
void ReportRowDone(const TVLProgressRecord* progress, const TArea& a, int y) {
  if (!progress || !progress->fOnProgress) return;
  const double per = (y - a.y0 + 1) * 100.0 / (a.y1 - 1 - a.y0 + 0.5);
  progress->Report(std::clamp(int(per), 0, 100));
}

// Calls rowFn(first pixel of the area in row y, pixel count) for every row, with progress.
template <class RowFn>
void ForEachRow(TBitmap& bitmap, int x0, int y0, int x1, int y1, const TVLProgressRecord* progress, RowFn&& rowFn) {
  if (!Takes(bitmap)) return;
  const TArea a = CutArea(bitmap, x0, y0, x1, y1);
  if (a.Empty()) return;
  for (int y = a.y0; y < a.y1; ++y) {
    rowFn(bitmap.ScanLine(y) + 3 * a.x0, a.Width());
    ReportRowDone(progress, a, y);
  }
}

// A value-to-value table per channel. Every operation that depends on one channel's value
// alone runs through one, which gives the same bytes as the per-pixel formula for a fraction
// of the work.
struct TChannelTables {
  uint8_t red[256], green[256], blue[256];
  template <class Fn>
  void Fill(Fn&& fn) {  // fn(channel 0 red / 1 green / 2 blue, value) → new value
    for (int v = 0; v < 256; ++v) {
      red[v] = uint8_t(fn(0, v));
      green[v] = uint8_t(fn(1, v));
      blue[v] = uint8_t(fn(2, v));
    }
  }
};

void MapChannels(TBitmap& bitmap, int x0, int y0, int x1, int y1, const TChannelTables& t,
                 const TVLProgressRecord* progress) {
  ForEachRow(bitmap, x0, y0, x1, y1, progress, [&](uint8_t* p, int n) {
    for (int i = 0; i < n; ++i, p += 3) {
      p[0] = t.blue[p[0]];
      p[1] = t.green[p[1]];
      p[2] = t.red[p[2]];
    }
  });
}

int ChannelOf(TRGB c, int channel) { return channel == 0 ? c.r : (channel == 1 ? c.g : c.b); }

// The 0..99 scale of the integer HSV conversions.
int ToHundredLevels(int v) { return RoundHalfEven(v / 255.0 * 99); }
int FromHundredLevels(int v) { return RoundHalfEven(v / 99.0 * 255); }

void HundredLevelsToHSV(int r, int g, int b, int& h, int& s, int& v) {
  const int mx = std::max({r, g, b}), mn = std::min({r, g, b});
  v = mx;
  s = mx == 0 ? 0 : (mx - mn) * 99 / mx;
  if (s == 0) {
    h = 0;
    return;
  }
  const int d = mx - mn;
  if (r == mx)
    h = (g - b) * 60 / d;
  else if (g == mx)
    h = (b - r) * 60 / d + 120;
  else
    h = (r - g) * 60 / d + 240;
  if (h < 0) h += 360;
}

// The HSV shift of one colour whose channels are already on the 0..99 scale.
TRGB ShiftHundredLevels(int r, int g, int b, int dh, int ds, int dv) {
  int h, s, v;
  HundredLevelsToHSV(r, g, b, h, s, v);
  return HSVToRGB(h + dh, s + ds, v + dv);
}

// A 24-megapixel image holds at most 100³ distinct colours on the 0..99 scale, so past a
// million pixels each colour's shift is computed once and remembered.
constexpr int64_t kHsvMemoPixels = int64_t(1) << 20;

}  // namespace

void ChannelMeans(const TBitmap& bitmap, int x0, int y0, int x1, int y1, int& meanRed, int& meanGreen,
                  int& meanBlue) {
  meanRed = meanGreen = meanBlue = 128;
  if (!Takes(bitmap)) return;
  const TArea a = CutArea(bitmap, x0, y0, x1, y1);
  if (a.Empty()) return;
  int64_t sum[3] = {0, 0, 0};
  for (int y = a.y0; y < a.y1; ++y) {
    const uint8_t* p = bitmap.ScanLine(y) + 3 * a.x0;
    for (int x = a.x0; x < a.x1; ++x, p += 3) {
      sum[0] += p[0];
      sum[1] += p[1];
      sum[2] += p[2];
    }
  }
  const int64_t count = int64_t(a.Width()) * (a.y1 - a.y0);
  meanBlue = int(sum[0] / count);
  meanGreen = int(sum[1] / count);
  meanRed = int(sum[2] / count);
}

void AdjustContrast(TBitmap& bitmap, int x0, int y0, int x1, int y1, int contrast, int meanRed,
                    int meanGreen, int meanBlue, const TVLProgressRecord* progress) {
  const double k = contrast >= 0 ? 1 + contrast / 10.0 : 1 - std::sqrt(double(-contrast)) / 10.0;
  const int means[3] = {meanRed, meanGreen, meanBlue};
  TChannelTables t;
  t.Fill([&](int channel, int v) {
    const int m = means[channel];
    return Clamp255(m + int(std::trunc((v - m) * k)));
  });
  MapChannels(bitmap, x0, y0, x1, y1, t, progress);
}

void ShiftRGB(TBitmap& bitmap, int x0, int y0, int x1, int y1, int dr, int dg, int db,
              const TVLProgressRecord* progress) {
  const int shift[3] = {dr, dg, db};
  TChannelTables t;
  t.Fill([&](int channel, int v) { return Clamp255(v + shift[channel]); });
  MapChannels(bitmap, x0, y0, x1, y1, t, progress);
}

void RGBToHSL(TRGB colour, double& h, double& s, double& l) {
  const double r = colour.r / 255.0, g = colour.g / 255.0, b = colour.b / 255.0;
  const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  l = (mx + mn) / 2;
  if (mx == mn) {
    h = s = 0;
    return;
  }
  const double d = mx - mn;
  s = l < 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
  if (mx == r)
    h = (g - b) / d;
  else if (mx != g)
    h = (r - g) / d + 4;
  else
    h = (b - r) / d + 2;
  h = h / 6;
  if (h < 0) h += 1;
}

TRGB HSLToRGB(double h, double s, double l) {
  h = std::clamp(h, 0.0, 1.0);
  s = std::clamp(s, 0.0, 1.0);
  l = std::clamp(l, 0.0, 1.0);
  // x × 255 lands a hair below a whole number for exact results (pure red turned by half a
  // turn gives 254.99999999999997 for green); the nudge lets such values reach it.
  auto toByte = [](double x) { return uint8_t(Clamp255(int(std::trunc(x * 255 + 1e-9)))); };
  if (s == 0) return MakeRGB(toByte(l), toByte(l), toByte(l));
  const double q = l <= 0.5 ? l * (1 + s) : l + s - l * s;
  const double p = 2 * l - q;
  auto f = [&](double t) {
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (6 * t < 1) return p + (q - p) * 6 * t;
    if (2 * t < 1) return q;
    if (3 * t < 2) return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
  };
  return MakeRGB(toByte(f(h + 1.0 / 3)), toByte(f(h)), toByte(f(h - 1.0 / 3)));
}

void AdjustHSL(TBitmap& bitmap, int x0, int y0, int x1, int y1, int dh, int ds, int dl,
               const TVLProgressRecord* progress) {
  // The round trip alone moves channels; no shift must leave the image as it is.
  if (dh == 0 && ds == 0 && dl == 0) return;
  const double sh = dh / 360.0, ss = ds / 100.0, sl = dl / 100.0;
  ForEachRow(bitmap, x0, y0, x1, y1, progress, [&](uint8_t* p, int n) {
    for (int i = 0; i < n; ++i, p += 3) {
      double h, s, l;
      RGBToHSL(MakeRGB(p[2], p[1], p[0]), h, s, l);
      const TRGB c = HSLToRGB(h + sh, s + ss, l + sl);
      p[0] = c.b;
      p[1] = c.g;
      p[2] = c.r;
    }
  });
}

void RGBToHSV(TRGB colour, int& h, int& s, int& v) {
  HundredLevelsToHSV(ToHundredLevels(colour.r), ToHundredLevels(colour.g), ToHundredLevels(colour.b), h, s, v);
}

TRGB HSVToRGB(int h, int s, int v) {
  h = std::clamp(h, 0, 359);
  s = std::clamp(s, 0, 99);
  v = std::clamp(v, 0, 99);
  int r, g, b;
  if (s == 0) {
    r = g = b = v;
  } else {
    const int f = h % 60;
    const int rise = v - s * v * (60 - f) / 5940;
    const int fall = v - s * v * f / 5940;
    const int low = v - s * v / 99;
    switch (h / 60) {
      case 0: r = v, g = rise, b = low; break;
      case 1: r = fall, g = v, b = low; break;
      case 2: r = low, g = v, b = rise; break;
      case 3: r = low, g = fall, b = v; break;
      case 4: r = rise, g = low, b = v; break;
      default: r = v, g = low, b = fall; break;
    }
  }
  return MakeRGB(uint8_t(FromHundredLevels(r)), uint8_t(FromHundredLevels(g)), uint8_t(FromHundredLevels(b)));
}

void AdjustHSV(TBitmap& bitmap, int x0, int y0, int x1, int y1, int dh, int ds, int dv,
               const TVLProgressRecord* progress) {
  // The round trip quantises every channel to 100 levels; no shift must change nothing.
  if (dh == 0 && ds == 0 && dv == 0) return;
  uint8_t level[256];
  for (int v = 0; v < 256; ++v) level[v] = uint8_t(ToHundredLevels(v));
  const TArea a = CutArea(bitmap, x0, y0, x1, y1);
  // Entry r·10000 + g·100 + b: the shifted colour as blue | green << 8 | red << 16, plus a
  // bit that says it is filled.
  std::vector<uint32_t> memo;
  if (!a.Empty() && int64_t(a.Width()) * (a.y1 - a.y0) >= kHsvMemoPixels) memo.assign(100 * 100 * 100, 0);
  constexpr uint32_t kFilled = 1u << 24;
  ForEachRow(bitmap, x0, y0, x1, y1, progress, [&](uint8_t* p, int n) {
    for (int i = 0; i < n; ++i, p += 3) {
      const int r = level[p[2]], g = level[p[1]], b = level[p[0]];
      TRGB c;
      if (memo.empty()) {
        c = ShiftHundredLevels(r, g, b, dh, ds, dv);
      } else {
        uint32_t& e = memo[size_t(r * 10000 + g * 100 + b)];
        if (!e) {
          c = ShiftHundredLevels(r, g, b, dh, ds, dv);
          e = kFilled | c.b | uint32_t(c.g) << 8 | uint32_t(c.r) << 16;
        }
        c = TRGB{uint8_t(e), uint8_t(e >> 8), uint8_t(e >> 16)};
      }
      p[0] = c.b;
      p[1] = c.g;
      p[2] = c.r;
    }
  });
}

void ApplyThreshold(TBitmap& bitmap, int x0, int y0, int x1, int y1, TRGB low, TRGB high, TRGB lowColour,
                    TRGB highColour, const TVLProgressRecord* progress) {
  if (low == MakeRGB(0, 0, 0) && high == MakeRGB(255, 255, 255)) return;
  TChannelTables t;
  t.Fill([&](int channel, int v) {
    if (v <= ChannelOf(low, channel)) v = ChannelOf(lowColour, channel);
    if (v > ChannelOf(high, channel)) v = ChannelOf(highColour, channel);
    return v;
  });
  MapChannels(bitmap, x0, y0, x1, y1, t, progress);
}

void StretchLevels(TBitmap& bitmap, int x0, int y0, int x1, int y1, TRGB low, TRGB high,
                   const TVLProgressRecord* progress) {
  high = MakeRGB(std::max<uint8_t>(high.r, 1), std::max<uint8_t>(high.g, 1), std::max<uint8_t>(high.b, 1));
  if (low == high) return;
  TChannelTables t;
  t.Fill([&](int channel, int i) {
    const int lo = ChannelOf(low, channel), hi = ChannelOf(high, channel);
    const int t1 = Clamp255(RoundHalfEven(double(i - lo) / (lo == 255 ? 1 : 255 - lo) * 255));
    return Clamp255(RoundHalfEven(double(t1) / hi * 255));
  });
  MapChannels(bitmap, x0, y0, x1, y1, t, progress);
}

void ComputeHistogram(const TBitmap& bitmap, int x0, int y0, int x1, int y1, THistogram& table) {
  table = THistogram{};
  if (!Takes(bitmap)) return;
  const TArea a = CutArea(bitmap, x0, y0, x1, y1);
  if (a.Empty()) return;
  for (int y = a.y0; y < a.y1; ++y) {
    const uint8_t* p = bitmap.ScanLine(y) + 3 * a.x0;
    for (int x = a.x0; x < a.x1; ++x, p += 3) {
      ++table[p[2]].Red;
      ++table[p[1]].Green;
      ++table[p[0]].Blue;
      ++table[GrayOf(p[2], p[1], p[0])].Gray;
    }
  }
}

namespace {

// The output levels each gray level spreads over: Left[g]..Right[g].
struct TEqualizeRanges {
  uint8_t left[256], right[256];
};

TEqualizeRanges SpreadGrayLevels(const TBitmap& bitmap) {
  // Counted in 64 bits here: the table's 32-bit counts would wrap on a huge flat image.
  int64_t gray[256] = {};
  for (int y = 0; y < bitmap.Height(); ++y) {
    const uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, p += 3) ++gray[GrayOf(p[2], p[1], p[0])];
  }
  // Under 256 pixels the share would be 0 and a level holding a pixel would never be left.
  const int64_t share = std::max<int64_t>(int64_t(bitmap.Width()) * bitmap.Height() / 256, 1);
  TEqualizeRanges ranges;
  int64_t i = 0, sum = 0;
  for (int level = 0; level < 256; ++level) {
    ranges.left[level] = uint8_t(std::min<int64_t>(i, 255));
    sum += gray[level];
    // sum div share steps at once what the one-share-at-a-time walk takes.
    if (sum > share) {
      const int64_t steps = (sum - 1) / share;
      sum -= steps * share;
      i += steps;
    }
    ranges.right[level] = uint8_t(std::min<int64_t>(i, 255));
  }
  return ranges;
}

}  // namespace

void EqualizeHistogram(TBitmap& bitmap, int x0, int y0, int x1, int y1, const TVLProgressRecord* progress) {
  if (!Takes(bitmap)) return;
  const TArea a = CutArea(bitmap, x0, y0, x1, y1);
  if (a.Empty()) return;
  const TEqualizeRanges ranges = SpreadGrayLevels(bitmap);
  const uint8_t* left = ranges.left;
  const uint8_t* right = ranges.right;

  // Every neighbourhood is read from the unprocessed image. Rows are written back as they
  // are finished, so the original of the row above and of the current row are kept aside;
  // the row below is still untouched.
  const int w = bitmap.Width(), h = bitmap.Height();
  const size_t rowBytes = size_t(w) * 3;
  std::vector<uint8_t> above(rowBytes), current(rowBytes), out(size_t(a.Width()) * 3);
  std::vector<int> columnSum(rowBytes);
  if (a.y0 > 0) std::memcpy(above.data(), bitmap.ScanLine(a.y0 - 1), rowBytes);
  for (int y = a.y0; y < a.y1; ++y) {
    std::memcpy(current.data(), bitmap.ScanLine(y), rowBytes);
    const uint8_t* up = y > 0 ? above.data() : current.data();
    const uint8_t* down = y + 1 < h ? bitmap.ScanLine(y + 1) : current.data();
    // Column sums over the rect plus one column each side (limited to the image).
    const int cx0 = std::max(a.x0 - 1, 0), cx1 = std::min(a.x1 + 1, w);
    for (size_t i = size_t(cx0) * 3; i < size_t(cx1) * 3; ++i) columnSum[i] = up[i] + current[i] + down[i];
    for (int x = a.x0; x < a.x1; ++x) {
      const int xl = std::max(x - 1, 0), xr = std::min(x + 1, w - 1);
      int n[3];
      for (int c = 0; c < 3; ++c)
        n[c] = (columnSum[size_t(xl) * 3 + c] + columnSum[size_t(x) * 3 + c] + columnSum[size_t(xr) * 3 + c]) / 9;
      const uint8_t* p = &current[size_t(x) * 3];
      uint8_t* o = &out[size_t(x - a.x0) * 3];
      const int g = GrayOf(p[2], p[1], p[0]);
      const int ng = GrayOf(n[2], n[1], n[0]);
      const uint8_t* map = nullptr;
      if (left[g] == right[g] || ng < left[g])
        map = left;
      else if (ng > right[g])
        map = right;
      if (map) {
        for (int c = 0; c < 3; ++c) o[c] = map[p[c]];
      } else {
        for (int c = 0; c < 3; ++c) o[c] = uint8_t(n[c]);
      }
    }
    std::memcpy(bitmap.ScanLine(y) + 3 * a.x0, out.data(), out.size());
    std::swap(above, current);
    ReportRowDone(progress, a, y);
  }
}

}  // namespace velora
