// Placeholder until the quantizer engines land: a palette of the first distinct colours and
// a nearest-colour lookup.
#include <vector>

#include "quantizer.h"

namespace velora {

class TVLQuantizer::TEngine {
 public:
  std::vector<TRGB> palette;
};

TVLQuantizer::TVLQuantizer(const TBitmap& source, int colourCount, TRGB* palette) : Engine_(new TEngine) {
  Method_ = colourCount < 128 ? 1 : 0;
  for (int y = 0; y < source.Height(); ++y) {
    const auto* row = reinterpret_cast<const TRGB*>(source.ScanLine(y));
    for (int x = 0; x < source.Width() && int(Engine_->palette.size()) < colourCount; ++x) {
      bool known = false;
      for (auto& c : Engine_->palette) known = known || c == row[x];
      if (!known) Engine_->palette.push_back(row[x]);
    }
  }
  for (size_t i = 0; i < Engine_->palette.size(); ++i) palette[i] = Engine_->palette[i];
}

TVLQuantizer::TVLQuantizer(TVLBitmap&, int, TRGB*) : Engine_(new TEngine) {}
TVLQuantizer::~TVLQuantizer() = default;

int32_t TVLQuantizer::RGBIndex(TRGB c) {
  int best = 0, bestD = 1 << 30;
  for (size_t i = 0; i < Engine_->palette.size(); ++i) {
    const TRGB& p = Engine_->palette[i];
    int d = (p.r - c.r) * (p.r - c.r) + (p.g - c.g) * (p.g - c.g) + (p.b - c.b) * (p.b - c.b);
    if (d < bestD) bestD = d, best = int(i);
  }
  return best;
}

int32_t TVLQuantizer::ColorCount() const { return int32_t(Engine_->palette.size()); }

}  // namespace velora
