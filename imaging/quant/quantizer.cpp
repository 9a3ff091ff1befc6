#include "quantizer.h"

#include <algorithm>
#include <vector>

#include "quant_engines.h"

namespace velora {

TVLQuantizerSource QuantizerSourceOf(const TBitmap& bitmap) {
  TVLQuantizerSource source;
  source.Width = std::max(bitmap.Width(), 0);
  source.Height = std::max(bitmap.Height(), 0);
  const TBitmap* bmp = &bitmap;
  const int bits = bitmap.BitCount();
  if (bits == 24) {
    source.Row = [bmp](int y) { return reinterpret_cast<const TRGB*>(bmp->ScanLine(y)); };
    return source;
  }
  // Any other layout goes through one converted row, so reads never pass the row's end.
  auto buffer = std::make_shared<std::vector<TRGB>>(size_t(source.Width));
  source.Row = [bmp, bits, buffer](int y) {
    const uint8_t* in = bmp->ScanLine(y);
    std::vector<TRGB>& out = *buffer;
    const int paletteCount = bmp->PaletteCount();
    auto entry = [&](int index) { return index < paletteCount ? bmp->PaletteEntry(index) : TRGB{}; };
    for (size_t x = 0; x < out.size(); ++x) {
      switch (bits) {
        case 1: out[x] = entry((in[x >> 3] >> (7 - (x & 7))) & 1); break;
        case 4: out[x] = entry((x & 1) ? (in[x >> 1] & 15) : (in[x >> 1] >> 4)); break;
        case 8: out[x] = entry(in[x]); break;
        case 32: out[x] = TRGB{in[x * 4], in[x * 4 + 1], in[x * 4 + 2]}; break;
        default: out[x] = TRGB{}; break;
      }
    }
    return static_cast<const TRGB*>(out.data());
  };
  return source;
}

TVLQuantizer::TVLQuantizer(const TBitmap& source, int colourCount, TRGB* palette) {
  Build(QuantizerSourceOf(source), colourCount, palette);
}

TVLQuantizer::TVLQuantizer(const TVLQuantizerSource& source, int colourCount, TRGB* palette) {
  Build(source, colourCount, palette);
}

TVLQuantizer::~TVLQuantizer() = default;

void TVLQuantizer::Build(const TVLQuantizerSource& source, int colourCount, TRGB* palette) {
  colourCount = std::clamp(colourCount, 1, 256);
  Method_ = colourCount < 128 ? 1 : 0;
  // Only a picture with more colours than the palette holds needs an engine that approximates.
  Engine_ = TExactEngine::TryBuild(source, colourCount, palette);
  Exact_ = Engine_ != nullptr;
  if (Exact_) return;
  if (Method_ == 1)
    Engine_ = std::make_unique<TVarianceSplitEngine>(source, colourCount, palette);
  else
    Engine_ = std::make_unique<TNeuQuantEngine>(source, colourCount, palette);
}

int32_t TVLQuantizer::RGBIndex(TRGB colour) { return Engine_->RGBIndex(colour); }

int32_t TVLQuantizer::ColorCount() const { return Engine_->ColorCount(); }

}  // namespace velora
