// The two palette engines behind TVLQuantizer.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "quantizer.h"

namespace velora {

class TVLQuantizer::TEngine {
 public:
  virtual ~TEngine() = default;
  virtual int32_t RGBIndex(TRGB colour) const = 0;
  virtual int32_t ColorCount() const = 0;
};

// The distinct colours of a picture, up to a capacity, each with its index in the order found.
class TColourSet {
 public:
  explicit TColourSet(int capacity);
  // False when the colour is new and the set already holds `capacity` colours.
  bool Add(TRGB colour);
  // Adds every pixel of the source; false as soon as one more colour than the capacity shows.
  bool AddAll(const TVLQuantizerSource& source);
  // Index of the colour, -1 when it is not in the set.
  int Find(TRGB colour) const;
  int Count() const { return int(Colours.size()); }
  TRGB Colour(int i) const { return Colours[size_t(i)]; }

 private:
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // no 24-bit key has its top byte set
  size_t SlotOf(uint32_t key) const;

  int Capacity;
  uint32_t Mask = 0;
  std::vector<uint32_t> Keys;
  std::vector<uint16_t> Indices;
  std::vector<TRGB> Colours;
};

// Every colour of a picture that has no more of them than the palette holds: the palette is
// those colours in the order first met, and each maps to its own entry.
class TExactEngine : public TVLQuantizer::TEngine {
 public:
  // The engine with the palette filled, or nullptr when the source has more than maxColors colours.
  static std::unique_ptr<TExactEngine> TryBuild(const TVLQuantizerSource& source, int maxColors, TRGB* palette);
  int32_t RGBIndex(TRGB colour) const override;
  int32_t ColorCount() const override { return Set.Count(); }

 private:
  explicit TExactEngine(int maxColors) : Set(maxColors) {}
  TColourSet Set;
};

// Box splitting on a 32 x 32 x 32 histogram: the box with the largest variance is cut where
// the two halves are best separated, until N boxes exist or none can be cut.
class TVarianceSplitEngine : public TVLQuantizer::TEngine {
 public:
  struct TBox {
    double Score = 0;
    double Mean[3] = {0, 0, 0};  // red, green, blue in 5-bit units
    int64_t Count = 0;
    int64_t Marginal[3][32] = {};
    int32_t Lo[3] = {0, 0, 0};   // inclusive
    int32_t Hi[3] = {0, 0, 0};   // exclusive
  };

  TVarianceSplitEngine(const TVLQuantizerSource& source, int maxColors, TRGB* palette);
  int32_t RGBIndex(TRGB colour) const override { return CellMap[CellOf(colour.r, colour.g, colour.b)]; }
  int32_t ColorCount() const override { return BoxCount; }

  static int CellOf(int r, int g, int b) { return ((r >> 3) << 10) + ((g >> 3) << 5) + (b >> 3); }
  const TBox& Box(int i) const { return Boxes[size_t(i)]; }

 private:
  void Statistics(TBox& box) const;
  bool SplitAlong(const TBox& box, int axis, TBox& low, TBox& high) const;
  bool Split(int c, int i);

  // Cell counts; 64-bit so that no image the size limit lets through can overflow them.
  std::vector<int64_t> Histogram;
  std::vector<TBox> Boxes;
  std::vector<uint8_t> CellMap;
  int64_t PixelCount = 0;
  int32_t MaxColors = 0;
  int32_t BoxCount = 0;
};

// NeuQuant: a one-dimensional Kohonen map of N neurons trained on a prime-step sample of the
// pixels; lookups search outwards from the neurons of the nearest green.
class TNeuQuantEngine : public TVLQuantizer::TEngine {
 public:
  TNeuQuantEngine(const TVLQuantizerSource& source, int netSize, TRGB* palette);
  int32_t RGBIndex(TRGB colour) const override;
  int32_t ColorCount() const override { return NetSize; }

  // Sampling factor for an image of `pixels` pixels: 1 below 2000, at most 30.
  static int SamplingFactor(int64_t pixels);

 private:
  void Learn(const TVLQuantizerSource& source);
  int Contest(int b, int g, int r);
  void MoveWinner(int alpha, int i, int b, int g, int r);
  void MoveNeighbours(int rad, int i, int b, int g, int r);
  void ComputeRadPower(int alpha, int rad);
  void Unbias();
  void BuildIndex();

  int NetSize = 0;
  std::vector<std::array<int32_t, 4>> Network;  // blue, green, red, palette index
  std::vector<int32_t> Freq, Bias, RadPower;
  std::array<int32_t, 256> NetIndex{};
};

}  // namespace velora
