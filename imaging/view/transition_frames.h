// The frame rules of the thirty transition effects, without a window: each builds the frame
// for a progress p (0 .. 1024, in 1/1024 of the duration) from the rows of the picture being
// left (source) and the picture being shown (target). The engine of the views calls them at
// every tick; tests, the demo and the benchmark call them directly.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/vl_types.h"
#include "bitmap/toolkit_bitmap.h"

namespace velora {

enum TVLTransitionType : uint8_t {
  vlttNone,
  vlttCrossDissolve,
  vlttFadeOut,
  vlttFadeIn,
  vlttFadeOutIn,
  vlttLeftRight1,
  vlttLeftRight2,
  vlttRightLeft1,
  vlttRightLeft2,
  vlttUpDown1,
  vlttUpDown2,
  vlttDownUp1,
  vlttDownUp2,
  vlttFromUpLeft,
  vlttFromUpRight,
  vlttFromBottomLeft,
  vlttFromBottomRight,
  vlttMoveLeftRight1,
  vlttMoveLeftRight2,
  vlttMoveRightLeft1,
  vlttMoveRightLeft2,
  vlttMoveUpDown1,
  vlttMoveUpDown2,
  vlttMoveDownUp1,
  vlttMoveDownUp2,
  vlttRandomPoints,
  vlttRandomBoxes,
  vlttCenter1,
  vlttCenter2,
  vlttCenterZoom1,
  vlttCenterZoom2,
};
constexpr int kTransitionTypeCount = vlttCenterZoom2 + 1;
constexpr int kTransitionFull = 1024;  // p at the end of a transition

// "vlttCrossDissolve" for vlttCrossDissolve; "" out of range.
const char* TransitionName(TVLTransitionType effect);
// The effect named `name`, with or without the "vltt" prefix, any case; false if none is.
bool TransitionFromName(std::string_view name, TVLTransitionType& effect);

// The random columns and boxes: a small generator of our own, so that a seed gives the same
// frames on every platform (tests fix it; the engine seeds it from the clock).
class TTransitionRandom {
 public:
  explicit TTransitionRandom(uint64_t seed = 0x9E3779B97F4A7C15ull) { Seed(seed); }
  void Seed(uint64_t seed) { state_ = seed; }
  // Uniform in [0, bound), bound > 0.
  int Below(int bound) {
    state_ += 0x9E3779B97F4A7C15ull;  // splitmix64
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return int(((z >> 32) * uint64_t(uint32_t(bound))) >> 32);
  }

 private:
  uint64_t state_ = 0;
};

// What a frame is built from. Rows are 24-bit (blue, green, red), row 0 at the top; the three
// pictures are Width × Height.
struct TTransitionPictures {
  const uint8_t* const* Source = nullptr;
  const uint8_t* const* Target = nullptr;
  uint8_t* const* Frame = nullptr;
  int Width = 0;
  int Height = 0;
  TRGB Background{};  // the view's background, for the fades
};

// The row tables of a source, a target and a frame held in toolkit bitmaps of one size.
struct TTransitionRows {
  std::vector<const uint8_t*> Source, Target;
  std::vector<uint8_t*> Frame;
  int Width = 0, Height = 0;
  // Takes the rows of three 24-bit bitmaps of one size (the frame's size counts).
  void Take(const TBitmap& source, const TBitmap& target, TBitmap& frame);
  TTransitionPictures Pictures(TRGB background) const {
    return TTransitionPictures{Source.data(), Target.data(), Frame.data(), Width, Height, background};
  }
};

// The random effects' state: how many points (per row) or boxes have been placed so far.
struct TTransitionRandomState {
  int64_t Counter = 0;
  TTransitionRandom Generator;
};

// Builds the frame for progress `p` (clamped to 0 .. 1024). The wipes, the "From" effects and
// the growing centres only add to the frame after p = 0, where it becomes the source; the
// random effects add the points or boxes placed since the last frame. vlttNone shows the target.
void DrawTransitionFrame(TVLTransitionType effect, const TTransitionPictures& pictures, int p,
                         TTransitionRandomState& random);

// The frame a run shows when it jumps from the start straight to `p`: the frame at p = 0, then
// the frame at p (the counter starts again at 0). What the demo's still frames and the tests use.
void DrawTransitionFrameFromStart(TVLTransitionType effect, const TTransitionPictures& pictures, int p,
                                  TTransitionRandomState& random);

// The integer arithmetic of the rules, exposed for the tests: round(n / 1024) with ties to
// even, for n ≥ 0; and the random counts k for progress p.
int64_t RoundDiv1024(int64_t n);
int64_t RandomPointsCount(int p, int width);
int64_t RandomBoxesCount(int p, int width, int height);

}  // namespace velora
