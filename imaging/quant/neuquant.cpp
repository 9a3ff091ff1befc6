// NeuQuant engine: 128 colours and more. All arithmetic is integer; colours are held with
// four extra bits of precision during learning.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "quant_engines.h"

namespace velora {

namespace {
constexpr int kNetBiasShift = 4;
constexpr int kRadiusBiasShift = 6;
constexpr int kRadiusDec = 30;
constexpr int kInitAlpha = 1024;
constexpr int kCycles = 100;
constexpr int64_t kAlphaRadBias = 262144;
constexpr int kMinSampledPixels = 2000;  // below this every pixel is sampled

int RadFromRadius(int radius) { return radius > 127 ? radius >> kRadiusBiasShift : 0; }
}  // namespace

int TNeuQuantEngine::SamplingFactor(int64_t pixels) {
  if (pixels < kMinSampledPixels) return 1;
  const double f = std::nearbyint(double(pixels - kMinSampledPixels) * 13 / 148000 + 2);
  return int(std::clamp(f, 1.0, 30.0));
}

TNeuQuantEngine::TNeuQuantEngine(const TVLQuantizerSource& source, int netSize, TRGB* palette)
    : NetSize(netSize), Network(size_t(netSize)), Freq(size_t(netSize)), Bias(size_t(netSize)),
      RadPower(size_t(std::max(netSize / 8, 1))) {
  for (int i = 0; i < NetSize; ++i) {
    const int32_t v = int32_t(int64_t(i) * 4096 / NetSize);
    Network[size_t(i)] = {v, v, v, 0};
    Freq[size_t(i)] = 65536 / NetSize;
    Bias[size_t(i)] = 0;
  }
  Learn(source);
  Unbias();
  for (int i = 0; i < NetSize; ++i) {
    const auto& n = Network[size_t(i)];
    palette[i] = TRGB{uint8_t(n[0]), uint8_t(n[1]), uint8_t(n[2])};
  }
  BuildIndex();
}

void TNeuQuantEngine::ComputeRadPower(int alpha, int rad) {
  const int64_t rad2 = int64_t(rad) * rad;
  for (int k = 0; k < rad && k < int(RadPower.size()); ++k)
    RadPower[size_t(k)] = int32_t(alpha * (((rad2 - int64_t(k) * k) << 8) / rad2));
}

void TNeuQuantEngine::Learn(const TVLQuantizerSource& source) {
  const int64_t pixels = int64_t(source.Width) * source.Height;
  if (pixels <= 0) return;
  const int f = SamplingFactor(pixels);
  const int alphaDec = 30 + (f - 1) / 3;
  const int64_t lengthCount = 3 * pixels;
  const int64_t samplePixels = lengthCount / (3 * int64_t(f));
  const int64_t delta = std::max<int64_t>(samplePixels / kCycles, 1);
  int alpha = kInitAlpha;
  int radius = (NetSize / 8) << kRadiusBiasShift;
  int rad = RadFromRadius(radius);
  ComputeRadPower(alpha, rad);
  // A prime step that does not divide the data visits the pixels in a scattered order.
  int64_t step = 503;
  if (lengthCount % 499 != 0)
    step = 499;
  else if (lengthCount % 491 != 0)
    step = 491;
  else if (lengthCount % 487 != 0)
    step = 487;

  int64_t p = 0;
  for (int64_t i = 1; i <= samplePixels; ++i) {
    const TRGB* row = source.Row(int((p / source.Width) % source.Height));
    const TRGB px = row[p % source.Width];
    const int b = px.b << kNetBiasShift, g = px.g << kNetBiasShift, r = px.r << kNetBiasShift;
    const int winner = Contest(b, g, r);
    MoveWinner(alpha, winner, b, g, r);
    if (rad > 0) MoveNeighbours(rad, winner, b, g, r);
    p += step;
    if (p >= pixels) p -= pixels;
    if (i % delta == 0) {
      alpha -= alpha / alphaDec;
      radius -= radius / kRadiusDec;
      rad = RadFromRadius(radius);
      ComputeRadPower(alpha, rad);
    }
  }
}

// Finds the neuron nearest to the colour (counting its bias, which favours neurons that
// seldom win) and updates every neuron's frequency and bias.
int TNeuQuantEngine::Contest(int b, int g, int r) {
  int bestd = INT_MAX, bestbiasd = INT_MAX, bestpos = 0, bestbiaspos = 0;
  for (int i = 0; i < NetSize; ++i) {
    const auto& n = Network[size_t(i)];
    const int dist = std::abs(n[0] - b) + std::abs(n[1] - g) + std::abs(n[2] - r);
    if (dist < bestd) bestd = dist, bestpos = i;
    // Bias goes negative for frequent winners: an arithmetic shift keeps its sign.
    const int biasdist = dist - (Bias[size_t(i)] >> 12);
    if (biasdist < bestbiasd) bestbiasd = biasdist, bestbiaspos = i;
    const int betafreq = Freq[size_t(i)] >> 10;
    Freq[size_t(i)] -= betafreq;
    Bias[size_t(i)] += betafreq << 10;
  }
  Freq[size_t(bestpos)] += 64;
  Bias[size_t(bestpos)] -= 65536;
  return bestbiaspos;
}

void TNeuQuantEngine::MoveWinner(int alpha, int i, int b, int g, int r) {
  auto& n = Network[size_t(i)];
  n[0] -= alpha * (n[0] - b) / kInitAlpha;
  n[1] -= alpha * (n[1] - g) / kInitAlpha;
  n[2] -= alpha * (n[2] - r) / kInitAlpha;
}

void TNeuQuantEngine::MoveNeighbours(int rad, int i, int b, int g, int r) {
  auto move = [&](int idx, int64_t a) {
    auto& n = Network[size_t(idx)];
    n[0] -= int32_t(a * (n[0] - b) / kAlphaRadBias);
    n[1] -= int32_t(a * (n[1] - g) / kAlphaRadBias);
    n[2] -= int32_t(a * (n[2] - r) / kAlphaRadBias);
  };
  // The m-th pair of neighbours on both sides moves by RadPower[m].
  const int lo = std::max(i - rad, -1), hi = std::min(i + rad, NetSize);
  int j = i + 1, k = i - 1, m = 1;
  while (j < hi || k > lo) {
    const int64_t a = RadPower[size_t(m++)];
    if (j < hi) move(j++, a);
    if (k > lo) move(k--, a);
  }
}

void TNeuQuantEngine::Unbias() {
  for (int i = 0; i < NetSize; ++i) {
    auto& n = Network[size_t(i)];
    for (int c = 0; c < 3; ++c) n[size_t(c)] = std::clamp(n[size_t(c)], 0, 4095) >> kNetBiasShift;
    n[3] = i;
  }
}

// Sorts the neurons by green and records, for each green value, where a search should
// start: the middle of the run of neurons with that green.
void TNeuQuantEngine::BuildIndex() {
  int previous = 0, startPos = 0;
  for (int i = 0; i < NetSize; ++i) {
    int smallPos = i, smallVal = Network[size_t(i)][1];
    for (int j = i + 1; j < NetSize; ++j)
      if (Network[size_t(j)][1] < smallVal) smallPos = j, smallVal = Network[size_t(j)][1];
    if (smallPos != i) std::swap(Network[size_t(i)], Network[size_t(smallPos)]);
    if (smallVal != previous) {
      NetIndex[size_t(previous)] = (startPos + i) >> 1;
      for (int j = previous + 1; j < smallVal; ++j) NetIndex[size_t(j)] = i;
      previous = smallVal;
      startPos = i;
    }
  }
  const int maxPos = NetSize - 1;
  NetIndex[size_t(previous)] = (startPos + maxPos) >> 1;
  for (int j = previous + 1; j < 256; ++j) NetIndex[size_t(j)] = maxPos;
}

int32_t TNeuQuantEngine::RGBIndex(TRGB colour) const {
  const int b = colour.b, g = colour.g, r = colour.r;
  int bestd = 1000, best = -1;
  int i = NetIndex[g], j = i - 1;
  auto consider = [&](const std::array<int32_t, 4>& n, int greenDist) {
    int dist = std::abs(greenDist) + std::abs(n[0] - b);
    if (dist >= bestd) return;
    dist += std::abs(n[2] - r);
    if (dist < bestd) bestd = dist, best = n[3];
  };
  while (i < NetSize || j >= 0) {
    if (i < NetSize) {
      const auto& n = Network[size_t(i)];
      const int dist = n[1] - g;
      if (dist >= bestd) {
        i = NetSize;
      } else {
        ++i;
        consider(n, dist);
      }
    }
    if (j >= 0) {
      const auto& n = Network[size_t(j)];
      const int dist = g - n[1];
      if (dist >= bestd) {
        j = -1;
      } else {
        --j;
        consider(n, dist);
      }
    }
  }
  // Every colour lies within 765 of every neuron, so a match always exists; keep the answer
  // a valid index regardless.
  return best < 0 ? 0 : best;
}

}  // namespace velora
