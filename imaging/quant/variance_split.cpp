// Variance-split engine: fewer than 128 colours.
#include <cmath>

#include "quant_engines.h"

namespace velora {

namespace {
// Cost of an axis that cannot be split: above any real cost, so such an axis never wins.
constexpr double kNoSplit = 17523.6;

double RoundHalfEven(double v) { return std::nearbyint(v); }
}  // namespace

TVarianceSplitEngine::TVarianceSplitEngine(const TVLQuantizerSource& source, int maxColors, TRGB* palette)
    : Histogram(32768, 0), Boxes(256), CellMap(32768, 0), MaxColors(maxColors) {
  PixelCount = int64_t(source.Width) * source.Height;
  TBox& first = Boxes[0];
  for (int y = 0; y < source.Height; ++y) {
    const TRGB* row = source.Row(y);
    for (int x = 0; x < source.Width; ++x) {
      const int r5 = row[x].r >> 3, g5 = row[x].g >> 3, b5 = row[x].b >> 3;
      ++Histogram[size_t((r5 << 10) + (g5 << 5) + b5)];
      ++first.Marginal[0][r5];
      ++first.Marginal[1][g5];
      ++first.Marginal[2][b5];
    }
  }
  for (int a = 0; a < 3; ++a) first.Lo[a] = 0, first.Hi[a] = 32;
  first.Count = PixelCount;
  Statistics(first);

  int i = 1;
  while (i < MaxColors) {
    int c = -1;
    for (int k = 0; k < i; ++k)
      if (Boxes[size_t(k)].Score > 0 && (c < 0 || Boxes[size_t(k)].Score > Boxes[size_t(c)].Score)) c = k;
    if (c < 0) break;
    if (Split(c, i))
      ++i;
    else
      Boxes[size_t(c)].Score = 0;
  }
  BoxCount = i;

  for (int k = 0; k < BoxCount; ++k) {
    const TBox& box = Boxes[size_t(k)];
    palette[k] = MakeRGB(uint8_t(int(RoundHalfEven(box.Mean[0])) << 3), uint8_t(int(RoundHalfEven(box.Mean[1])) << 3),
                         uint8_t(int(RoundHalfEven(box.Mean[2])) << 3));
    for (int r = box.Lo[0]; r < box.Hi[0]; ++r)
      for (int g = box.Lo[1]; g < box.Hi[1]; ++g)
        for (int b = box.Lo[2]; b < box.Hi[2]; ++b) CellMap[size_t((r << 10) + (g << 5) + b)] = uint8_t(k);
  }
}

// Score: the box's summed squared deviation on the three axes, over the whole image's pixel
// count, so that boxes of different sizes compare by their share of the total error.
void TVarianceSplitEngine::Statistics(TBox& box) const {
  if (box.Count == 0) {
    box.Score = 0;
    return;
  }
  double sum = 0;
  for (int a = 0; a < 3; ++a) {
    double s1 = 0, s2 = 0;
    for (int j = box.Lo[a]; j < box.Hi[a]; ++j) {
      s1 += double(j) * box.Marginal[a][j];
      s2 += double(j) * j * box.Marginal[a][j];
    }
    box.Mean[a] = s1 / box.Count;
    sum += s2 - box.Mean[a] * box.Mean[a] * box.Count;
  }
  box.Score = sum / PixelCount;
}

bool TVarianceSplitEngine::SplitAlong(const TBox& box, int a, TBox& low, TBox& high) const {
  if (box.Lo[a] + 1 == box.Hi[a]) return false;
  const double m = box.Mean[a];
  const int64_t total = box.Count;
  const int start = int(RoundHalfEven((box.Lo[a] + m) * 0.5));
  const int end = int(RoundHalfEven((m + box.Hi[a]) * 0.5));
  int64_t below = 0;
  for (int j = box.Lo[a]; j < start; ++j) below += box.Marginal[a][j];
  double moment = 0, best = -1;
  int splitPoint = -1;
  int64_t lowCount = 0;
  for (int e = start; e <= end && e < 32; ++e) {
    below += box.Marginal[a][e];
    if (below == total) break;
    moment += double(box.Marginal[a][e]) * e / double(total);
    const double d = m - moment;
    const double h = double(below) / double(total - below) * d * d;
    if (h > best) {
      best = h;
      splitPoint = e;
      lowCount = below;
    }
  }
  if (splitPoint < 0 || lowCount <= 0 || lowCount >= total) return false;

  low = box;
  high = box;
  low.Count = lowCount;
  low.Hi[a] = splitPoint + 1;
  high.Count = total - lowCount;
  high.Lo[a] = splitPoint + 1;
  for (auto& axis : low.Marginal)
    for (auto& v : axis) v = 0;
  for (int r = low.Lo[0]; r < low.Hi[0]; ++r)
    for (int g = low.Lo[1]; g < low.Hi[1]; ++g)
      for (int b = low.Lo[2]; b < low.Hi[2]; ++b) {
        const int64_t n = Histogram[size_t((r << 10) + (g << 5) + b)];
        if (n == 0) continue;
        low.Marginal[0][r] += n, low.Marginal[1][g] += n, low.Marginal[2][b] += n;
        high.Marginal[0][r] -= n, high.Marginal[1][g] -= n, high.Marginal[2][b] -= n;
      }
  for (TBox* part : {&low, &high}) {
    for (int ax = 0; ax < 3; ++ax) {
      int first = -1, last = -1;
      for (int j = 0; j < 32; ++j)
        if (part->Marginal[ax][j] != 0) {
          if (first < 0) first = j;
          last = j;
        }
      if (first >= 0) part->Lo[ax] = first, part->Hi[ax] = last + 1;
    }
    Statistics(*part);
  }
  return true;
}

bool TVarianceSplitEngine::Split(int c, int i) {
  const TBox& box = Boxes[size_t(c)];
  if (box.Score == 0 || box.Count == 0) return false;
  TBox low[3], high[3];
  double cost[3];
  for (int a = 0; a < 3; ++a)
    cost[a] = SplitAlong(box, a, low[a], high[a]) ? low[a].Score + high[a].Score : kNoSplit;
  int axis = -1;
  if (cost[0] < kNoSplit && cost[0] <= cost[1] && cost[0] <= cost[2])
    axis = 0;
  else if (cost[1] < kNoSplit && cost[1] <= cost[0] && cost[1] <= cost[2])
    axis = 1;
  else if (cost[2] < kNoSplit)
    axis = 2;
  if (axis < 0) return false;
  Boxes[size_t(i)] = high[axis];
  Boxes[size_t(c)] = low[axis];
  return true;
}

}  // namespace velora
